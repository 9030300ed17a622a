#include "console/menus.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "ads.h"
#include "console/console.h"
#include "runtime/host_services.h"
#include "runtime/text.h"

namespace corvane {
namespace {

// An answer a prompt refused: said on the transcript, and a failed step.
void refuseAnswer(Console& console, const std::string& why) {
  hostPrint(why);
  console.noteStepFailed(why);
}

std::string trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r");
  if (a == std::string::npos) return "";
  size_t b = s.find_last_not_of(" \t\r");
  return s.substr(a, b - a + 1);
}

bool sameName(const std::string& a, const std::string& b) { return asciiUpper(a) == asciiUpper(b); }

// Labels are compared as the user reads them: no mnemonic marks, any case.
std::string plainLabel(const std::string& label) { return asciiUpper(trim(shownLabel(label))); }

// A label in the MENU listing; on a terminal the accelerator is underlined.
std::string listedLabel(const std::string& label) {
  static const bool toTerminal = isatty(STDOUT_FILENO) != 0;
  return shownLabel(label, toTerminal);
}

// An answer as the host reads options: without "_" (the language-neutral
// mark) and in upper case.
std::string option(const std::string& answer) {
  std::string s = trim(answer);
  while (!s.empty() && s[0] == '_') s.erase(0, 1);
  return asciiUpper(s);
}

bool parseInt(const std::string& s, int& value) {
  std::string t = trim(s);
  if (t.empty()) return false;
  auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
  return ec == std::errc() && end == t.data() + t.size();
}

MenuGroup* findGroup(const std::string& name) {
  for (MenuGroup& g : loadedMenuGroups())
    if (sameName(g.name, name)) return &g;
  return nullptr;
}

void say(Console& console, const std::string& text) {
  if (console.commandEcho()) hostPrint(text);
}

// ---- MENUUNLOAD -------------------------------------------------------------

void menuUnload(Console& console) {
  Answer answer = console.ask("\nEnter the name of the MENUGROUP to unload: ");
  if (answer.kind != Answer::kText) return;
  std::string name = trim(answer.text);
  if (name.empty()) return;
  auto& groups = loadedMenuGroups();
  for (auto it = groups.begin(); it != groups.end(); ++it) {
    if (sameName(it->name, name)) {
      std::string shown = it->name;
      groups.erase(it);
      say(console, "\nMenu group \"" + shown + "\" unloaded.");
      return;
    }
  }
  say(console, "\nMenu group \"" + name + "\" is not loaded.");
}

// ---- MENULOAD -----------------------------------------------------------------

void menuLoad(Console& console) {
  Answer answer = console.ask("\nEnter name of menu file to load: ");
  if (answer.kind != Answer::kText) return;
  std::string fileName = pathFromAnswer(answer.text);
  if (fileName.empty()) return;
  if (fileName.size() < 4 || asciiUpper(fileName.substr(fileName.size() - 4)) != ".MNU") fileName += ".mnu";
  char found[512];
  if (ads_findfile(fileName.c_str(), found) != RTNORM) {
    hostPrint("\nCannot find menu file \"" + fileName + "\".");
    return;
  }
  std::ifstream in(found, std::ios::binary);
  if (!in) {
    hostPrint("\nCannot read menu file \"" + std::string(found) + "\".");
    return;
  }
  MenuGroup group;
  const HostResult parsed = parseMenuFile(in, group);
  if (!parsed) {
    hostPrint("\n" + std::string(found) + ", " + parsed.error);
    return;
  }
  group.path = found;
  if (findGroup(group.name) != nullptr) {
    hostPrint("\nMenu group \"" + group.name + "\" is already loaded.");
    return;
  }
  std::string shown = group.name;
  loadedMenuGroups().push_back(std::move(group));
  say(console, "\nMenu group \"" + shown + "\" loaded.");
}

// ---- TOOLBAR ------------------------------------------------------------------

// Toolbars named "GROUP.NAME", "NAME" (any group) or "ALL".
std::vector<Toolbar*> findToolbars(const std::string& wanted) {
  std::vector<Toolbar*> found;
  bool all = sameName(wanted, "ALL");
  size_t dot = wanted.find('.');
  std::string groupName = dot == std::string::npos ? "" : wanted.substr(0, dot);
  std::string barName = dot == std::string::npos ? wanted : wanted.substr(dot + 1);
  for (MenuGroup& g : loadedMenuGroups()) {
    if (!all && !groupName.empty() && !sameName(g.name, groupName)) continue;
    for (Toolbar& t : g.toolbars)
      if (all || sameName(t.name, barName)) found.push_back(&t);
  }
  return found;
}

void toolbar(Console& console) {
  Answer answer = console.ask("\nEnter toolbar name or [ALL]: ");
  if (answer.kind != Answer::kText) return;
  std::string wanted = trim(answer.text);
  if (wanted.empty()) return;
  std::vector<Toolbar*> bars = findToolbars(wanted);
  if (bars.empty()) {
    hostPrint("\nToolbar \"" + wanted + "\" not found.");
    return;
  }
  answer = console.ask("\nEnter an option [Show/Hide/Left/Right/Top/Bottom/Float] <Show>: ");
  if (answer.kind != Answer::kText) return;
  std::string choice = option(answer.text);
  if (choice.empty()) choice = "SHOW";
  const char* const kOptions[] = {"SHOW", "HIDE", "LEFT", "RIGHT", "TOP", "BOTTOM", "FLOAT"};
  std::string picked;
  for (const char* o : kOptions)
    if (std::string(o).rfind(choice, 0) == 0) {
      picked = o;
      break;
    }
  if (picked.empty()) {
    refuseAnswer(console, "\nInvalid option keyword.");
    return;
  }
  if (picked == "SHOW" || picked == "HIDE") {
    for (Toolbar* t : bars) {
      if (picked == "HIDE") t->state = Toolbar::kHidden;
      else if (t->state == Toolbar::kHidden) t->state = Toolbar::kFloating;
    }
    return;
  }
  if (picked != "FLOAT") {
    const std::string side = picked.substr(0, 1) + asciiLower(picked.substr(1)); // "Left"
    for (Toolbar* t : bars) {
      t->state = Toolbar::kDocked;
      t->dockSide = side;
    }
    return;
  }
  answer = console.ask("\nEnter new position (screen coordinates) <0,0>: ");
  if (answer.kind != Answer::kText) return;
  int x = 0;
  int y = 0;
  std::string position = trim(answer.text);
  if (!position.empty()) {
    size_t comma = position.find(',');
    if (comma == std::string::npos || !parseInt(position.substr(0, comma), x) ||
        !parseInt(position.substr(comma + 1), y)) {
      refuseAnswer(console, "\nInvalid point.");
      return;
    }
  }
  answer = console.ask("\nEnter number of rows for toolbar <1>: ");
  if (answer.kind != Answer::kText) return;
  int rows = 1;
  if (!trim(answer.text).empty() && (!parseInt(answer.text, rows) || rows < 1)) {
    refuseAnswer(console, "\nRequires a positive whole number.");
    return;
  }
  for (Toolbar* t : bars) {
    t->state = Toolbar::kFloating;
    t->x = x;
    t->y = y;
    t->rows = rows;
  }
}

// ---- MENU -----------------------------------------------------------------------

std::string toolbarPlace(const Toolbar& t) {
  switch (t.state) {
  case Toolbar::kHidden: return "hidden";
  case Toolbar::kDocked: return "docked " + t.dockSide;
  case Toolbar::kFloating: break;
  }
  return "floating at " + std::to_string(t.x) + "," + std::to_string(t.y) + ", " + std::to_string(t.rows) +
         (t.rows == 1 ? " row" : " rows");
}

void menu(Console& console) {
  auto& groups = loadedMenuGroups();
  if (groups.empty()) {
    hostPrint("\nNo menus are loaded.");
    return;
  }
  // Entries the user can reach: every pull-down entry, and the buttons of
  // toolbars that are shown.
  std::vector<const MenuEntry*> reachable;
  std::string text = "\nMenus:";
  auto listEntries = [&](const std::vector<MenuEntry>& entries, bool pickable) {
    for (const MenuEntry& e : entries) {
      if (e.separator) {
        text += "\n        ----";
        continue;
      }
      if (!pickable) {
        text += "\n        " + listedLabel(e.label);
        continue;
      }
      reachable.push_back(&e);
      char number[16];
      std::snprintf(number, sizeof number, "\n  %4zu  ", reachable.size());
      text += number + listedLabel(e.label);
    }
  };
  for (const MenuGroup& g : groups) {
    text += "\n Menu group " + g.name + " (" + g.path + ")";
    for (const PullDownMenu& m : g.menus) {
      text += "\n  Pull-down menu \"" + listedLabel(m.label) + "\"";
      listEntries(m.entries, true);
    }
    for (const Toolbar& t : g.toolbars) {
      text += "\n  Toolbar " + g.name + "." + t.name + " \"" + listedLabel(t.label) + "\", " + toolbarPlace(t);
      listEntries(t.entries, t.state != Toolbar::kHidden);
    }
  }
  hostPrint(text);
  Answer answer = console.ask("\nEnter an entry number or label <none>: ");
  if (answer.kind != Answer::kText) return;
  std::string choice = trim(answer.text);
  if (choice.empty()) return;
  const MenuEntry* picked = nullptr;
  int number = 0;
  if (parseInt(choice, number)) {
    if (number >= 1 && static_cast<size_t>(number) <= reachable.size()) picked = reachable[static_cast<size_t>(number - 1)];
  } else {
    for (const MenuEntry* e : reachable)
      if (plainLabel(e->label) == plainLabel(choice)) {
        picked = e;
        break;
      }
  }
  if (picked == nullptr) {
    refuseAnswer(console, "\nNo menu entry \"" + choice + "\".");
    return;
  }
  // The entry's command runs as typed; copy it first, since the command may
  // unload the very menu it came from.
  std::string command = picked->command;
  console.execute(command);
}

} // namespace

HostResult parseMenuFile(std::istream& in, MenuGroup& group) {
  group = MenuGroup{};
  std::vector<MenuEntry>* entries = nullptr;
  std::string line;
  int number = 0;
  auto fail = [&](const std::string& what) { return HostResult{"line " + std::to_string(number) + ": " + what}; };
  while (std::getline(in, line)) {
    ++number;
    std::string s = trim(line);
    if (s.empty() || s[0] == ';') continue;
    size_t space = s.find_first_of(" \t");
    std::string keyword = asciiUpper(s.substr(0, space));
    std::string rest = space == std::string::npos ? "" : trim(s.substr(space));
    if (keyword == "GROUP") {
      if (!group.name.empty()) return fail("a second group");
      if (rest.empty() || rest.find_first_of(" \t.") != std::string::npos) return fail("group needs one name without dots");
      group.name = rest;
      continue;
    }
    if (group.name.empty()) return fail("the file must start with \"group NAME\"");
    if (keyword == "MENU") {
      if (rest.empty()) return fail("menu needs a label");
      group.menus.push_back(PullDownMenu{rest, {}});
      entries = &group.menus.back().entries;
    } else if (keyword == "TOOLBAR") {
      if (rest.empty()) return fail("toolbar needs a name");
      size_t gap = rest.find_first_of(" \t");
      Toolbar t;
      t.name = rest.substr(0, gap);
      t.label = gap == std::string::npos ? t.name : trim(rest.substr(gap));
      group.toolbars.push_back(std::move(t));
      entries = &group.toolbars.back().entries;
    } else if (keyword == "ITEM") {
      if (entries == nullptr) return fail("item outside a menu or toolbar");
      size_t equals = rest.find('=');
      if (equals == std::string::npos) return fail("item needs \"LABEL = COMMAND\"");
      MenuEntry e;
      e.label = trim(rest.substr(0, equals));
      e.command = trim(rest.substr(equals + 1));
      if (e.label.empty() || e.command.empty()) return fail("item needs a label and a command");
      entries->push_back(std::move(e));
    } else if (keyword == "SEPARATOR") {
      if (entries == nullptr) return fail("separator outside a menu or toolbar");
      MenuEntry e;
      e.separator = true;
      entries->push_back(std::move(e));
    } else {
      return fail("unknown statement \"" + keyword + "\"");
    }
  }
  if (group.name.empty()) {
    number = 0;
    return fail("no menu group");
  }
  return {};
}

std::vector<MenuGroup>& loadedMenuGroups() {
  static auto* groups = new std::vector<MenuGroup>;
  return *groups;
}

void registerMenuCommands(Console& console) {
  console.addHostCommand("MENULOAD", menuLoad, CommandWords::kRestOfLine);
  console.addHostCommand("MENUUNLOAD", menuUnload);
  console.addHostCommand("TOOLBAR", toolbar);
  console.addHostCommand("MENU", menu);
}

} // namespace corvane
