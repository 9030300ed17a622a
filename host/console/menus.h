// Menus and toolbars that modules load into the host: the menu file format,
// the loaded menu groups, and the host commands MENULOAD, MENUUNLOAD,
// TOOLBAR and MENU.
//
// Menu file (plain text, one statement a line; ';' starts a comment line):
//
//   group NAME                 the menu group the file defines (first)
//   menu LABEL                 a pull-down menu
//   toolbar NAME [LABEL]       a toolbar
//   item LABEL = COMMAND       an entry of the menu or toolbar above it;
//                              COMMAND is a command line, run as if typed
//   separator                  a line between entries
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "runtime/host_result.h"

namespace corvane {

class Console;

struct MenuEntry {
  std::string label; // empty for a separator
  std::string command;
  bool separator = false;
};

struct PullDownMenu {
  std::string label;
  std::vector<MenuEntry> entries;
};

struct Toolbar {
  enum State { kHidden, kFloating, kDocked };
  std::string name;
  std::string label;
  std::vector<MenuEntry> entries;
  State state = kHidden;
  std::string dockSide; // "Left", "Right", "Top" or "Bottom" while docked
  int x = 0;            // floating position (screen coordinates)
  int y = 0;
  int rows = 1;
};

struct MenuGroup {
  std::string name;
  std::string path; // the file it came from
  std::vector<PullDownMenu> menus;
  std::vector<Toolbar> toolbars;
};

// Parses a menu file into GROUP. Fails with "line N: what" when a line
// can't be read; GROUP is then unspecified.
HostResult parseMenuFile(std::istream& in, MenuGroup& group);

// The loaded menu groups, in load order. Names are unique, ignoring case.
std::vector<MenuGroup>& loadedMenuGroups();

// Adds MENULOAD, MENUUNLOAD, TOOLBAR and MENU to CONSOLE. Their own
// messages of success show only while CMDECHO is on; refusals always show.
void registerMenuCommands(Console& console);

} // namespace corvane
