// The host's own commands on the current drawing: SAVE, SAVEAS, LIST, QUIT,
// and HOLDOPEN (keeps an object open the way another program would, so that
// scripts can meet objects that can't be opened).
#pragma once

namespace corvane {

class Console;

void registerHostCommands(Console& console);

} // namespace corvane
