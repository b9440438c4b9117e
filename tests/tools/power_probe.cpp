// Runs one call of the system's power services and reports its outcome, for
// the end-to-end tests against a mock logind on a private bus:
//   power_probe <call>
// Prints "ok" or "error <code>" and exits with the Windows code (0 = ok).
// Refuses to run unless DBUS_SYSTEM_BUS_ADDRESS is set, so that it never
// reaches the machine's own system bus.

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "PowerActions.h"
#include "plat/Error.h"
#include "plat/Power.h"

namespace {

// The privilege steps the power actions run before their call.
bool EnableShutdownPrivilege() {
  const yx::TStatus status = yx::EnableShutdownPrivilege();
  plat::SetLastError(status.Code());
  return status.Succeeded();
}

bool Run(const char* call, bool* known) {
  plat::TPowerServices& power = plat::SystemPowerServices();
  *known = true;
  if (std::strcmp(call, "privilege") == 0) return EnableShutdownPrivilege();
  if (std::strcmp(call, "suspend-force") == 0) return power.SetSystemPowerState(true, true);
  if (std::strcmp(call, "suspend") == 0) return power.SetSystemPowerState(true, false);
  if (std::strcmp(call, "hibernate-force") == 0) return power.SetSystemPowerState(false, true);
  if (std::strcmp(call, "hibernate") == 0) return power.SetSystemPowerState(false, false);
  if (std::strcmp(call, "lock") == 0) return power.LockWorkStation();
  const uint32_t reason = plat::kShutdownReasonApplication;
  if (std::strcmp(call, "logoff") == 0) return power.ExitWindows(plat::kEwxLogoff, reason);
  if (std::strcmp(call, "poweroff") == 0) return power.ExitWindows(plat::kEwxPowerOff, reason);
  if (std::strcmp(call, "reboot") == 0) return power.ExitWindows(plat::kEwxReboot, reason);
  *known = false;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  const char* bus = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
  if (bus == nullptr || *bus == '\0') {
    std::fprintf(stderr, "power_probe: DBUS_SYSTEM_BUS_ADDRESS must name a private bus\n");
    return 2;
  }
  if (argc != 2) {
    std::fprintf(stderr,
                 "usage: power_probe privilege|suspend-force|suspend|hibernate-force|hibernate|lock|logoff|"
                 "poweroff|reboot\n");
    return 2;
  }
  bool known = false;
  const bool ok = Run(argv[1], &known);
  if (!known) {
    std::fprintf(stderr, "power_probe: unknown call %s\n", argv[1]);
    return 2;
  }
  if (ok) {
    std::printf("ok\n");
    return 0;
  }
  const uint32_t code = plat::LastError();
  std::printf("error %u\n", static_cast<unsigned>(code));
  return static_cast<int>(code);
}
