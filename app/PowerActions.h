// The eight power and session actions. Each enables the shutdown privilege
// in the process token, makes one system call, logs one "WP." record with
// the outcome, and returns the outcome.
#pragma once

#include "Status.h"
#include "plat/Power.h"

namespace yx {

// Enables SeShutdownPrivilege: open the process token (TOKEN_ADJUST_PRIVILEGES),
// look up the privilege, adjust the token, close it. Code 0, or the failing
// step's code.
TStatus EnableShutdownPrivilege();

TStatus WindowsSuspend();         // suspend at once
TStatus WindowsSuspendQuery();    // suspend after asking the applications
TStatus WindowsHibernate();       // hibernate at once
TStatus WindowsHibernateQuery();  // hibernate after asking the applications
TStatus WindowsLock();            // lock the workstation
TStatus WindowsLogoff();          // log the interactive user off
TStatus WindowsShutdown();        // shut down and switch off
TStatus WindowsRestart();         // restart

// One action: its mode keyword (upper case), the text its record starts
// with, and its system call.
struct TPowerAction {
  const char* mode;
  const char* logText;
  bool (*call)(plat::TPowerServices& services);
};

// The eight actions, in the order of the functions above, which is the order
// the modes are compared in.
constexpr int kPowerActionCount = 8;
extern const TPowerAction kPowerActions[kPowerActionCount];

// Enables the privilege, makes the action's call if that worked, logs the
// outcome ("WP.") and returns it.
TStatus RunPowerAction(const TPowerAction& action);

// The services the actions call: the system's unless a test installs others
// (null restores the system's).
void SetPowerServices(plat::TPowerServices* services);

}  // namespace yx
