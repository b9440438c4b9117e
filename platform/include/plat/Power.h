// Power and session services: enabling the shutdown privilege, suspend and
// hibernation, locking the workstation, ending the session, shutting down and
// restarting. One virtual per system call, so that tests can put a fake in
// place of the real services; SystemPowerServices() is the real one.
//
// Windows makes the Win32 calls. Linux has no shutdown privilege (polkit
// decides at the call), so the token steps succeed there, and the power and
// session calls go to systemd-logind on the system bus.
#pragma once

#include <cstdint>

namespace plat {

// An access token opened for adjusting privileges (a Windows HANDLE); 0 is none.
using TokenHandle = uintptr_t;

// A locally unique identifier (LUID): LowPart and HighPart.
struct Luid {
  uint32_t low;
  int32_t high;
};

// ExitWindowsEx flags and the shutdown reason of the power actions.
enum : uint32_t {
  kEwxLogoff = 0,                        // EWX_LOGOFF
  kEwxReboot = 2,                        // EWX_REBOOT
  kEwxPowerOff = 8,                      // EWX_POWEROFF
  kShutdownReasonApplication = 0x40000,  // SHTDN_REASON_MAJOR_APPLICATION
};

// Every call returns true on success; on failure it returns false and leaves
// the Windows error code (never 0) in LastError().
class TPowerServices {
 public:
  virtual ~TPowerServices() = default;

  // OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES): stores the token in *token.
  virtual bool OpenProcessTokenForAdjust(TokenHandle* token) = 0;
  // LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege"): stores the identifier in *luid.
  virtual bool LookupShutdownPrivilege(Luid* luid) = 0;
  // AdjustTokenPrivileges(token, FALSE, {1, luid, SE_PRIVILEGE_ENABLED}, 0, null, null);
  // success is the call's return value alone (the privilege may still be unassigned).
  virtual bool EnablePrivilege(TokenHandle token, const Luid& luid) = 0;
  // CloseHandle of a token from OpenProcessTokenForAdjust.
  virtual bool CloseToken(TokenHandle token) = 0;
  // SetSystemPowerState: suspend (true) or hibernate (false), at once (force)
  // or after asking applications. Returns after the computer has resumed.
  virtual bool SetSystemPowerState(bool suspend, bool force) = 0;
  // LockWorkStation: returns once the request is accepted.
  virtual bool LockWorkStation() = 0;
  // ExitWindowsEx(flags, reason) with kEwxLogoff, kEwxPowerOff or kEwxReboot:
  // returns once the request is accepted.
  virtual bool ExitWindows(uint32_t flags, uint32_t reason) = 0;
};

// The real services of this system; lives for the whole process.
TPowerServices& SystemPowerServices();

}  // namespace plat
