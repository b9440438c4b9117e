// The command's dispatch and the power actions, against fake power services
// that record every call (no test reaches a real power action).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Command.h"
#include "PowerActions.h"
#include "plat/Error.h"
#include "support/StdoutCapture.h"

namespace yx {
namespace {

class FakePower : public plat::TPowerServices {
 public:
  bool OpenProcessTokenForAdjust(plat::TokenHandle* token) override {
    *token = 77;
    return Step("open", failOpen);
  }
  bool LookupShutdownPrivilege(plat::Luid* luid) override {
    *luid = {19, 0};
    return Step("lookup", failLookup);
  }
  bool EnablePrivilege(plat::TokenHandle token, const plat::Luid& luid) override {
    EXPECT_EQ(token, 77u);
    EXPECT_EQ(luid.low, 19u);
    return Step("adjust", failAdjust);
  }
  bool CloseToken(plat::TokenHandle token) override {
    EXPECT_EQ(token, 77u);
    calls.push_back("close");
    return true;
  }
  bool SetSystemPowerState(bool suspend, bool force) override {
    return Step(std::string("power ") + (suspend ? "suspend" : "hibernate") + (force ? " force" : " ask"),
                failCall);
  }
  bool LockWorkStation() override { return Step("lock", failCall); }
  bool ExitWindows(uint32_t flags, uint32_t reason) override {
    EXPECT_EQ(reason, 0x40000u);
    return Step("exit " + std::to_string(flags), failCall);
  }

  std::vector<std::string> calls;
  uint32_t failOpen = 0, failLookup = 0, failAdjust = 0, failCall = 0;

 private:
  bool Step(const std::string& name, uint32_t failure) {
    calls.push_back(name);
    if (failure == 0) return true;
    plat::SetLastError(failure == 0xFFFFFFFFu ? 0 : failure);
    return false;
  }
};

class CommandTest : public ::testing::Test {
 protected:
  void SetUp() override { SetPowerServices(&fake_); }
  void TearDown() override { SetPowerServices(nullptr); }

  // Runs the command with one argument (or none for nullptr) and returns
  // the exit code; the output goes to output_.
  int Run(std::vector<std::string> args) {
    std::vector<char*> argv;
    std::string program = "yxtk";
    argv.push_back(program.data());
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int code = 0;
    output_ = test::CapturedStdout([&] { code = RunCommand(int(args.size()) + 1, argv.data()); });
    return code;
  }

  static std::string Usage() {
    TConsoleWriter writer;
    return test::CapturedStdout([&] { PrintUsage(writer); });
  }
  static std::string Banner() {
    TConsoleWriter writer;
    return test::CapturedStdout([&] { PrintBanner(writer); });
  }
  static std::string Oem(const BStr& text) {
    TConsoleWriter writer;
    return test::CapturedStdout([&] { writer.Write(text.CStr()); });
  }

  FakePower fake_;
  std::string output_;
};

const std::vector<std::string> kPrivilege = {"open", "lookup", "adjust", "close"};

std::vector<std::string> With(std::vector<std::string> steps, const std::string& call) {
  steps.push_back(call);
  return steps;
}

TEST_F(CommandTest, EveryModeCallsItsAction) {
  const std::pair<const char*, const char*> modes[] = {{"-s", "power suspend force"},
                                                       {"/Sq", "power suspend ask"},
                                                       {"\\h", "power hibernate force"},
                                                       {"-hQ", "power hibernate ask"},
                                                       {"-L", "lock"},
                                                       {"/lo", "exit 0"},
                                                       {"\\sD", "exit 8"},
                                                       {"-r", "exit 2"}};
  for (const auto& [argument, call] : modes) {
    fake_.calls.clear();
    EXPECT_EQ(Run({argument}), 0) << argument;
    EXPECT_EQ(fake_.calls, With(kPrivilege, call)) << argument;
    EXPECT_EQ(output_, Banner() + Oem(TStatus().Text(3))) << argument;
  }
}

TEST_F(CommandTest, HelpAndWrongArgumentCounts) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"-?"}, {}, {"-s", "-h"}}) {
    EXPECT_EQ(Run(args), 0);
    EXPECT_EQ(output_, Banner() + Usage() + Oem(TStatus().Text(3)));
  }
  EXPECT_TRUE(fake_.calls.empty());
}

TEST_F(CommandTest, UnusableArgumentsGive87WithUsage) {
  TStatus invalid;
  invalid.SetCode(87);
  const std::string expected = Banner() + Oem(invalid.Text(3)) + "\r\n" + Usage();
  for (const char* argument : {"", "-", "s", "xs", "-sd ", " -sd", "-s\td", "-x", "--sd", "-sdx", "-\xe0"}) {
    EXPECT_EQ(Run({argument}), 87) << argument;
    EXPECT_EQ(output_, expected) << argument;
  }
  EXPECT_EQ(Run({std::string(100000, 's')}), 87);
  EXPECT_EQ(Run({"-" + std::string(100000, 'S')}), 87);
  EXPECT_TRUE(fake_.calls.empty());
}

TEST_F(CommandTest, AFailingActionGivesItsCodeWithoutUsage) {
  fake_.failCall = 1314;
  EXPECT_EQ(Run({"-sd"}), 1314);
  TStatus refused;
  refused.SetCode(1314);
  EXPECT_EQ(output_, Banner() + Oem(refused.Text(3)));
  EXPECT_EQ(fake_.calls, With(kPrivilege, "exit 8"));
}

TEST_F(CommandTest, AFailedPrivilegeStepStopsEveryAction) {
  fake_.failOpen = 5;
  EXPECT_EQ(Run({"-l"}), 5);
  EXPECT_EQ(fake_.calls, (std::vector<std::string>{"open"}));  // nothing to close
  fake_.calls.clear();
  fake_.failOpen = 0;
  fake_.failLookup = 1168;
  EXPECT_EQ(Run({"-lo"}), 1168);
  EXPECT_EQ(fake_.calls, (std::vector<std::string>{"open", "lookup", "close"}));
  fake_.calls.clear();
  fake_.failLookup = 0;
  fake_.failAdjust = 1300;
  EXPECT_EQ(Run({"-s"}), 1300);
  EXPECT_EQ(fake_.calls, (std::vector<std::string>{"open", "lookup", "adjust", "close"}));
}

TEST_F(CommandTest, AFailureWithoutAnErrorCodeIsNotASuccess) {
  fake_.failCall = 0xFFFFFFFFu;  // fails, leaving the last error 0
  EXPECT_EQ(Run({"-r"}), 1359);
}

TEST_F(CommandTest, ActionsReturnWhatTheyLogged) {
  fake_.failCall = 50;
  const TStatus s = WindowsHibernate();
  EXPECT_EQ(s.Code(), 50u);
  EXPECT_TRUE(s.IsError());
  fake_.failCall = 0;
  EXPECT_EQ(WindowsLock().Code(), 0u);
  EXPECT_EQ(EnableShutdownPrivilege().Code(), 0u);
}

}  // namespace
}  // namespace yx
