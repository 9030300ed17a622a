// The About box and the help file commands.
#pragma once

// Shows the About box (dialog template 129) modally. Prints nothing.
void vrmlabout();
// Opens the help file named after the module file (extension "hlp") at its
// topics. Prints nothing.
void vrmlhelp();
