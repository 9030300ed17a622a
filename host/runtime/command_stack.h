// The command stack behind "ACAD_REGISTERED_COMMANDS": groups of commands
// that users run by name at the command line.
#pragma once

#include <string>
#include <vector>

#include "acrx.h"
#include "runtime/text.h"

namespace corvane {

struct LoadedModule;

struct RegisteredCommand {
  std::string group;
  std::string globalName;
  std::string localName;
  int flags = 0;
  AcRxFunctionPtr handler = nullptr;
  LoadedModule* module = nullptr; // the module that added it, null for the host
};

struct CommandGroup {
  std::string name;
  std::vector<RegisteredCommand> commands; // in the order they were added
};

class CommandStack : public AcEdCommandStack {
public:
  Acad::ErrorStatus addCommand(const char* cmdGroupName, const char* cmdGlobalName,
                               const char* cmdLocalName, int commandFlags,
                               AcRxFunctionPtr functionAddr) override;
  Acad::ErrorStatus removeGroup(const char* groupName) override;

  // The command a user typed: matched against global and local names,
  // ignoring case; groups are searched newest first. Null when unknown.
  const RegisteredCommand* lookup(const std::string& name) const;
  const std::vector<CommandGroup>& groups() const { return groups_; }
  // How many removeGroup calls have succeeded (for tests of unloading).
  int removedGroupCount() const { return removedGroups_; }

private:
  std::vector<CommandGroup> groups_;
  int removedGroups_ = 0;
};

// The host's command stack (the object registered in the system registry).
CommandStack& commandStack();
AcEdCommandStack* newCommandStack();

} // namespace corvane
