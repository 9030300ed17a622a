#include "runtime/command_stack.h"

#include <cctype>

#include "runtime/module_loader.h"

namespace corvane {

Acad::ErrorStatus CommandStack::addCommand(const char* cmdGroupName, const char* cmdGlobalName,
                                           const char* cmdLocalName, int commandFlags,
                                           AcRxFunctionPtr functionAddr) {
  if (cmdGroupName == nullptr || cmdGlobalName == nullptr || cmdLocalName == nullptr ||
      *cmdGroupName == '\0' || *cmdGlobalName == '\0' || *cmdLocalName == '\0' ||
      functionAddr == nullptr)
    return Acad::eInvalidInput;
  CommandGroup* group = nullptr;
  for (CommandGroup& g : groups_)
    if (equalsIgnoreCase(g.name, cmdGroupName)) group = &g;
  if (group == nullptr) {
    groups_.push_back(CommandGroup{cmdGroupName, {}});
    group = &groups_.back();
  }
  for (const RegisteredCommand& c : group->commands)
    if (equalsIgnoreCase(c.globalName, cmdGlobalName)) return Acad::eDuplicateKey;
  group->commands.push_back(RegisteredCommand{group->name, cmdGlobalName, cmdLocalName,
                                              commandFlags, functionAddr, currentModule()});
  return Acad::eOk;
}

Acad::ErrorStatus CommandStack::removeGroup(const char* groupName) {
  if (groupName == nullptr) return Acad::eInvalidInput;
  for (auto it = groups_.begin(); it != groups_.end(); ++it) {
    if (equalsIgnoreCase(it->name, groupName)) {
      groups_.erase(it);
      ++removedGroups_;
      return Acad::eOk;
    }
  }
  return Acad::eKeyNotFound;
}

const RegisteredCommand* CommandStack::lookup(const std::string& name) const {
  for (auto g = groups_.rbegin(); g != groups_.rend(); ++g)
    for (const RegisteredCommand& c : g->commands)
      if (equalsIgnoreCase(c.globalName, name) || equalsIgnoreCase(c.localName, name)) return &c;
  return nullptr;
}

AcEdCommandStack* newCommandStack() { return new CommandStack; }

CommandStack& commandStack() {
  return *static_cast<CommandStack*>(acrxSysRegistry()->at("ACAD_REGISTERED_COMMANDS"));
}

} // namespace corvane
