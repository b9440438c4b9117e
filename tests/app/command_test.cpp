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

  // Runs the command with these arguments and returns the exit code; the
  // output goes to output_.
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

  // What print() writes to the console, in the console's code page.
  template <class Print>
  static std::string Printed(Print print) {
    TConsoleWriter writer;
    return test::CapturedStdout([&] { print(writer); });
  }
  static std::string Banner() { return Printed(PrintBanner); }
  static std::string Usage() { return Printed(PrintUsage); }
  static std::string Text(uint32_t code) {
    TStatus status;
    status.SetCode(code);
    return Printed([&](TConsoleWriter& writer) { writer.Write(status.Text(3).CStr()); });
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
  // clang-format off
  const std::pair<const char*, const char*> modes[] = {
    {"-s", "power suspend force"}, {"/Sq", "power suspend ask"}, {"\\h", "power hibernate force"},
    {"-hQ", "power hibernate ask"}, {"-L", "lock"}, {"/lo", "exit 0"}, {"\\sD", "exit 8"}, {"-r", "exit 2"},
  };
  // clang-format on
  for (const auto& [argument, call] : modes) {
    fake_.calls.clear();
    EXPECT_EQ(Run({argument}), 0) << argument;
    EXPECT_EQ(fake_.calls, With(kPrivilege, call)) << argument;
    EXPECT_EQ(output_, Banner() + Text(0)) << argument;
  }
}

TEST_F(CommandTest, HelpAndWrongArgumentCounts) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"-?"}, {}, {"-s", "-h"}}) {
    EXPECT_EQ(Run(args), 0);
    EXPECT_EQ(output_, Banner() + Usage() + Text(0));
  }
  EXPECT_TRUE(fake_.calls.empty());
}

TEST_F(CommandTest, UnusableArgumentsGive87WithUsage) {
  const std::string expected = Banner() + Text(87) + "\r\n" + Usage();
  for (const char* argument : {"", "-", "s", "xs", "-sd ", " -sd", "-s\td", "-x", "--sd", "-sdx", "-\xe0"}) {
    EXPECT_EQ(Run({argument}), 87) << argument;
    EXPECT_EQ(output_, expected) << argument;
  }
  EXPECT_EQ(Run({std::string(100000, 's')}), 87);
  EXPECT_EQ(Run({"-" + std::string(100000, 'S')}), 87);
  EXPECT_TRUE(fake_.calls.empty());
}

// A failing action gives its code without the usage; a failure that leaves
// no error code is no success.
TEST_F(CommandTest, AFailingActionGivesItsCode) {
  // clang-format off
  const struct { const char* mode; uint32_t failure, code; const char* call; } cases[] = {
    {"-sd", 1314, 1314, "exit 8"}, {"-h", 50, 50, "power hibernate force"}, {"-r", 0xFFFFFFFFu, 1359, "exit 2"},
  };
  // clang-format on
  for (const auto& c : cases) {
    fake_.calls.clear();
    fake_.failCall = c.failure;
    EXPECT_EQ(Run({c.mode}), int(c.code)) << c.mode;
    EXPECT_EQ(output_, Banner() + Text(c.code)) << c.mode;
    EXPECT_EQ(fake_.calls, With(kPrivilege, c.call)) << c.mode;
  }
}

// A failed privilege step stops every action; an opened token is closed.
TEST_F(CommandTest, AFailedPrivilegeStepStopsEveryAction) {
  // clang-format off
  const struct { uint32_t FakePower::*step; const char* mode; uint32_t code; std::vector<std::string> calls; } cases[] = {
    {&FakePower::failOpen, "-l", 5, {"open"}},
    {&FakePower::failLookup, "-lo", 1168, {"open", "lookup", "close"}},
    {&FakePower::failAdjust, "-s", 1300, kPrivilege},
  };
  // clang-format on
  for (const auto& c : cases) {
    FakePower fresh;
    fresh.*c.step = c.code;
    SetPowerServices(&fresh);
    EXPECT_EQ(Run({c.mode}), int(c.code)) << c.mode;
    EXPECT_EQ(fresh.calls, c.calls) << c.mode;
  }
}

}  // namespace
}  // namespace yx
