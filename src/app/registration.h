// The module's commands and list functions and their registration with the
// host: the command group "Vrml_Commands" and the list functions of each
// drawing, dispatched by function code.
#pragma once

// Adds the four commands to "Vrml_Commands", in table order.
void registerCommands();
// Removes the whole group in one call.
void removeCommands();
// Defines the four list functions for the current drawing: 1 when all are
// defined, -5001 at the first failure (earlier ones stay defined).
int registerListFunctions();
// Undefines the four functions; always 5100.
int unregisterListFunctions();
// Calls the handler of the function code in progress: its result, or -5001
// (after ads_fail) for a code outside the table.
int dispatchListFunction();
