// The power and session actions.

#include "PowerActions.h"

#include "Log.h"
#include "plat/Error.h"

namespace yx {
namespace {

plat::TPowerServices* gServices = nullptr;

plat::TPowerServices& Services() { return gServices != nullptr ? *gServices : plat::SystemPowerServices(); }

// The code of a failed call; a call that failed without saying why counts
// as an internal error rather than as success.
uint32_t FailureCode() {
  const uint32_t code = plat::LastError();
  return code != 0 ? code : plat::kErrorInternalError;
}

void Record(TStatus* status, bool succeeded) { status->SetCode(succeeded ? 0 : FailureCode()); }

// Enables the privilege, makes the call if that worked, logs the outcome.
template <class Call>
TStatus Run(const char* logText, Call call) {
  TStatus status = EnableShutdownPrivilege();
  if (status.Succeeded()) Record(&status, call(Services()));
  // The composed text goes into the record as it is: a percent sign in a
  // message is not a formatting directive.
  const BStr text = BStr(logText) + status.Text(kStatusContext | kStatusMessage).CStr() + ")";
  TLog::Instance().Log("WP.", "%s", text.CStr());
  return status;
}

}  // namespace

void SetPowerServices(plat::TPowerServices* services) { gServices = services; }

TStatus EnableShutdownPrivilege() {
  TStatus status;
  plat::TPowerServices& services = Services();
  plat::TokenHandle token = 0;
  const bool opened = services.OpenProcessTokenForAdjust(&token);
  Record(&status, opened);
  plat::Luid luid{};
  if (status.Succeeded()) Record(&status, services.LookupShutdownPrivilege(&luid));
  // Only the call's result counts: a token that could not get the privilege
  // still passes, and the action's own call reports the refusal.
  if (status.Succeeded()) Record(&status, services.EnablePrivilege(token, luid));
  if (opened) services.CloseToken(token);
  return status;
}

TStatus WindowsSuspend() {
  return Run("WindowsSuspend() end (", [](plat::TPowerServices& s) { return s.SetSystemPowerState(true, true); });
}

TStatus WindowsSuspendQuery() {
  return Run("WindowsSuspendQuery() end (",
             [](plat::TPowerServices& s) { return s.SetSystemPowerState(true, false); });
}

TStatus WindowsHibernate() {
  return Run("WindowsHibernate() end (", [](plat::TPowerServices& s) { return s.SetSystemPowerState(false, true); });
}

TStatus WindowsHibernateQuery() {
  return Run("WindowsHibernateQuery() end (",
             [](plat::TPowerServices& s) { return s.SetSystemPowerState(false, false); });
}

TStatus WindowsLock() {
  return Run("WindowsLock() end (", [](plat::TPowerServices& s) { return s.LockWorkStation(); });
}

TStatus WindowsLogoff() {
  return Run("WindowsLogoff() end (",
             [](plat::TPowerServices& s) { return s.ExitWindows(plat::kEwxLogoff, plat::kShutdownReasonApplication); });
}

TStatus WindowsShutdown() {
  return Run("WindowsShutdown() end (", [](plat::TPowerServices& s) {
    return s.ExitWindows(plat::kEwxPowerOff, plat::kShutdownReasonApplication);
  });
}

TStatus WindowsRestart() {
  return Run("WindowsRestart() end (",
             [](plat::TPowerServices& s) { return s.ExitWindows(plat::kEwxReboot, plat::kShutdownReasonApplication); });
}

}  // namespace yx
