// Power and session services on Windows: the Win32 calls themselves.

#include "plat/Power.h"

#include <windows.h>

// winuser.h makes ExitWindows a macro; here it is the name of a method.
#undef ExitWindows

#include "Failure.h"

namespace plat {
namespace {

// The result of a Win32 call; a failure that left no error code reports 1359.
bool Result(BOOL ok) {
  if (!ok) detail::Failure();
  return ok != FALSE;
}

class TWin32PowerServices final : public TPowerServices {
 public:
  bool OpenProcessTokenForAdjust(TokenHandle* token) override {
    HANDLE handle = nullptr;
    if (!Result(::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &handle))) return false;
    *token = reinterpret_cast<TokenHandle>(handle);
    return true;
  }

  bool LookupShutdownPrivilege(Luid* luid) override {
    LUID value;
    if (!Result(::LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &value))) return false;
    luid->low = value.LowPart;
    luid->high = value.HighPart;
    return true;
  }

  bool EnablePrivilege(TokenHandle token, const Luid& luid) override {
    TOKEN_PRIVILEGES privileges;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Luid.LowPart = luid.low;
    privileges.Privileges[0].Luid.HighPart = luid.high;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    return Result(
        ::AdjustTokenPrivileges(reinterpret_cast<HANDLE>(token), FALSE, &privileges, 0, nullptr, nullptr));
  }

  bool CloseToken(TokenHandle token) override {
    return Result(::CloseHandle(reinterpret_cast<HANDLE>(token)));
  }

  bool SetSystemPowerState(bool suspend, bool force) override {
    return Result(::SetSystemPowerState(suspend ? TRUE : FALSE, force ? TRUE : FALSE));
  }

  bool LockWorkStation() override { return Result(::LockWorkStation()); }

  bool ExitWindows(uint32_t flags, uint32_t reason) override {
    return Result(::ExitWindowsEx(flags, reason));
  }
};

}  // namespace

TPowerServices& SystemPowerServices() {
  static TWin32PowerServices services;
  return services;
}

}  // namespace plat
