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

using TServices = plat::TPowerServices;
constexpr uint32_t kReason = plat::kShutdownReasonApplication;

}  // namespace

// clang-format off
const TPowerAction kPowerActions[kPowerActionCount] = {
    {"S",  "WindowsSuspend() end (",        [](TServices& s) { return s.SetSystemPowerState(true, true); }},
    {"SQ", "WindowsSuspendQuery() end (",   [](TServices& s) { return s.SetSystemPowerState(true, false); }},
    {"H",  "WindowsHibernate() end (",      [](TServices& s) { return s.SetSystemPowerState(false, true); }},
    {"HQ", "WindowsHibernateQuery() end (", [](TServices& s) { return s.SetSystemPowerState(false, false); }},
    {"L",  "WindowsLock() end (",           [](TServices& s) { return s.LockWorkStation(); }},
    {"LO", "WindowsLogoff() end (",         [](TServices& s) { return s.ExitWindows(plat::kEwxLogoff, kReason); }},
    {"SD", "WindowsShutdown() end (",       [](TServices& s) { return s.ExitWindows(plat::kEwxPowerOff, kReason); }},
    {"R",  "WindowsRestart() end (",        [](TServices& s) { return s.ExitWindows(plat::kEwxReboot, kReason); }},
};
// clang-format on

TStatus RunPowerAction(const TPowerAction& action) {
  TStatus status = EnableShutdownPrivilege();
  if (status.Succeeded()) Record(&status, action.call(Services()));
  // The composed text goes into the record as it is: a percent sign in a
  // message is not a formatting directive.
  const BStr text = BStr(action.logText) + status.Text(kStatusContext | kStatusMessage).CStr() + ")";
  TLog::Instance().Log("WP.", "%s", text.CStr());
  return status;
}

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

TStatus WindowsSuspend() { return RunPowerAction(kPowerActions[0]); }
TStatus WindowsSuspendQuery() { return RunPowerAction(kPowerActions[1]); }
TStatus WindowsHibernate() { return RunPowerAction(kPowerActions[2]); }
TStatus WindowsHibernateQuery() { return RunPowerAction(kPowerActions[3]); }
TStatus WindowsLock() { return RunPowerAction(kPowerActions[4]); }
TStatus WindowsLogoff() { return RunPowerAction(kPowerActions[5]); }
TStatus WindowsShutdown() { return RunPowerAction(kPowerActions[6]); }
TStatus WindowsRestart() { return RunPowerAction(kPowerActions[7]); }

}  // namespace yx
