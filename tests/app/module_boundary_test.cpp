// The real Vrml.arx loaded by the host's own loader, in process: what it
// registers, how it answers each message, and that it gives back every
// block it took.
#include <gtest/gtest.h>

#include <string>

#include "app/registration.h"
#include "runtime/command_stack.h"
#include "runtime/host_services.h"
#include "runtime/list_functions.h"
#include "runtime/module_loader.h"
#include "support/run_process.h"

namespace corvane {
namespace {

class ModuleBoundary : public ::testing::Test {
protected:
  void SetUp() override {
    setOutputSink([this](std::string_view text) { output_ += text; });
    listFunctions().setHasDrawing(true);
    listFunctions().queue().clear();
    std::string error;
    module_ = moduleLoader().load(testing::modulePath(), error);
    ASSERT_NE(module_, nullptr) << error;
  }
  void TearDown() override {
    if (module_ != nullptr && module_->handle != nullptr) moduleLoader().unload(module_);
    listFunctions().refuseName("");
    setOutputSink(nullptr);
  }
  const CommandGroup* vrmlGroup() const {
    for (const CommandGroup& g : commandStack().groups())
      if (g.name == "Vrml_Commands") return &g;
    return nullptr;
  }
  std::vector<std::pair<std::string, int>> definedFunctions() const {
    std::vector<std::pair<std::string, int>> defined;
    for (const ListFunction& f : listFunctions().functions())
      if (f.module == module_) defined.emplace_back(f.name, f.code);
    return defined;
  }
  ListCallResult callCode(int code) {
    ListFunction f{"probe", code, module_, nullptr};
    return listFunctions().call(f, nullptr);
  }

  std::string output_;
  LoadedModule* module_ = nullptr;
};

const std::vector<std::pair<std::string, int>> kTableOrder = {
    {"vrml_wrlout", 0}, {"vrml_geturl", 1}, {"vrml_getmaterial", 2}, {"vrml_init", 3}};

TEST_F(ModuleBoundary, StartRegistersCommandsBannerAndInitExpression) {
  const CommandGroup* group = vrmlGroup();
  ASSERT_NE(group, nullptr);
  std::vector<std::string> names;
  for (const RegisteredCommand& c : group->commands) {
    names.push_back(c.globalName);
    EXPECT_EQ(c.globalName, c.localName);
    EXPECT_EQ(c.flags, 0);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"vrmlprop", "vrmlout", "vrmlabout", "vrmlhelp"}));
  EXPECT_EQ(output_, "\nCorvane loaded.\nUse VRMLHELP for list of commands.\n");
  ASSERT_EQ(listFunctions().queue().size(), 1u);
  EXPECT_EQ(listFunctions().queue().front(), "(vrml_init)");
  EXPECT_TRUE(module_->unlocked);
  EXPECT_EQ(definedFunctions(), kTableOrder);
  EXPECT_NE(commandStack().lookup("VRMLOUT"), nullptr); // as users type it
}

TEST_F(ModuleBoundary, EveryDrawingGetsTheFunctionsAgain) {
  EXPECT_EQ(moduleLoader().sendMessage(module_, AcRx::kUnloadDwgMsg), 0);
  EXPECT_TRUE(definedFunctions().empty());
  EXPECT_EQ(moduleLoader().sendMessage(module_, AcRx::kLoadDwgMsg), 0);
  EXPECT_EQ(definedFunctions(), kTableOrder);
  for (const ListFunction& f : listFunctions().functions()) {
    if (f.module == module_) {
      EXPECT_NE(f.handler, nullptr) << f.name;
    }
  }
}

TEST_F(ModuleBoundary, UnknownMessagesDoNothing) {
  size_t groups = commandStack().groups().size();
  output_.clear();
  for (unsigned msg : {0u, 6u, 7u, 42u, 0xFFFFFFFFu}) EXPECT_EQ(moduleLoader().sendMessage(module_, msg), 0);
  EXPECT_EQ(output_, "");
  EXPECT_EQ(commandStack().groups().size(), groups);
  EXPECT_EQ(definedFunctions(), kTableOrder);
}

TEST_F(ModuleBoundary, NonexistentFunctionCodesFail) {
  for (int code : {4, -1, 100}) {
    output_.clear();
    ListCallResult result = callCode(code);
    EXPECT_EQ(result.kind, ListCallResult::kError) << code;
    EXPECT_EQ(result.error, "Received nonexistent function code.");
    EXPECT_EQ(output_, "") << "the module prints nothing of its own";
  }
}

TEST_F(ModuleBoundary, DispatcherReturnsErrorForCodesOutsideTheTable) {
  // The module's dispatcher, linked into this test, inside a host call.
  ListFunction f{"probe", 4, nullptr, &dispatchListFunction};
  ListCallResult result = listFunctions().call(f, nullptr);
  EXPECT_EQ(result.handlerResult, -5001);
  EXPECT_EQ(result.error, "Received nonexistent function code.");
}

TEST_F(ModuleBoundary, RefusedDefinitionStopsRegistrationThere) {
  moduleLoader().sendMessage(module_, AcRx::kUnloadDwgMsg);
  listFunctions().refuseName("vrml_getmaterial");
  EXPECT_EQ(moduleLoader().sendMessage(module_, AcRx::kLoadDwgMsg), 0);
  EXPECT_EQ(definedFunctions(),
            (std::vector<std::pair<std::string, int>>{{"vrml_wrlout", 0}, {"vrml_geturl", 1}}));
}

TEST_F(ModuleBoundary, UnloadRemovesTheGroupOnceAndGivesBackEveryBlock) {
  int removedBefore = commandStack().removedGroupCount();
  EXPECT_EQ(moduleLoader().unload(module_), 0);
  EXPECT_EQ(commandStack().removedGroupCount(), removedBefore + 1);
  EXPECT_EQ(vrmlGroup(), nullptr);
  EXPECT_EQ(module_->blocks, 0);
  EXPECT_EQ(module_->bytes, 0);
}

TEST(ModuleLoading, RefusesWhatIsNotAModule) {
  std::string dir = testing::makeTempDir();
  testing::writeFile(dir + "/bogus.arx", "not a shared object");
  std::string error;
  EXPECT_EQ(moduleLoader().load(dir + "/missing.arx", error), nullptr);
  EXPECT_NE(error.find("no such file"), std::string::npos) << error;
  EXPECT_EQ(moduleLoader().load(dir + "/bogus.arx", error), nullptr);
  EXPECT_NE(error.find("not a module"), std::string::npos) << error;
  // A shared object without the entry points: the host runtime itself.
  EXPECT_EQ(moduleLoader().load(std::string(CORVANE_BIN_DIR) + "/libcorvane-host.so", error), nullptr);
  EXPECT_NE(error.find("lacks the entry point"), std::string::npos) << error;
}

TEST(ModuleLoading, ReportsAModuleThatKeepsMemory) {
  std::string error;
  LoadedModule* leaky = moduleLoader().load(LEAKY_MODULE, error);
  ASSERT_NE(leaky, nullptr) << error;
  EXPECT_EQ(moduleLoader().unload(leaky), 3);
}

} // namespace
} // namespace corvane
