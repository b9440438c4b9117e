// Power and session services on Linux: systemd-logind on the system bus.
//
// Linux has no shutdown privilege to enable (polkit decides at each call), so
// the token steps succeed with a token and identifier of their own. Each power
// or session request is one method call on org.freedesktop.login1 (the system
// bus comes from DBUS_SYSTEM_BUS_ADDRESS when it is set); a D-Bus error
// becomes the Windows code of the same meaning.
//
// Suspend and hibernation return only after the resume, as SetSystemPowerState
// does: PrepareForSleep is matched before the call, and after an accepted call
// the wait lasts until PrepareForSleep(false). While no PrepareForSleep(true)
// has come the wait is bounded, so that a logind that accepts the request but
// never sleeps cannot hold the command forever: 30 s, or the milliseconds in
// YX_SLEEP_SIGNAL_TIMEOUT_MS (meant for tests). Once the machine is going to
// sleep, the wait ends only at PrepareForSleep(false) or when logind leaves
// the bus.

#include "plat/Power.h"

#include <systemd/sd-bus.h>
#include <time.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "plat/Error.h"

namespace plat {
namespace {

constexpr const char* kLogindService = "org.freedesktop.login1";
constexpr const char* kLogindPath = "/org/freedesktop/login1";
constexpr const char* kLogindManager = "org.freedesktop.login1.Manager";
constexpr uint64_t kSkipInhibitors = 0x10;  // SD_LOGIND_SKIP_INHIBITORS
constexpr uint64_t kDefaultSleepSignalTimeoutMs = 30000;
constexpr uint64_t kMaxSleepSignalTimeoutMs = 0xFFFFFFFFu;

// The token and privilege identifier the token steps hand out (19 is the
// identifier Windows gives SeShutdownPrivilege).
constexpr TokenHandle kProcessToken = 0x5EED;
constexpr Luid kShutdownPrivilege = {19, 0};

// D-Bus error names (after "org.freedesktop.DBus.Error." or
// "org.freedesktop.login1.") and their Windows codes; any other name is 1359.
struct TBusErrorCode {
  const char* name;
  uint32_t code;
};
const TBusErrorCode kBusErrorCodes[] = {
    {"AccessDenied", kErrorPrivilegeNotHeld},
    {"InteractiveAuthorizationRequired", kErrorPrivilegeNotHeld},
    {"BlockedByInhibitorLock", kErrorCancelled},
    {"OperationInProgress", kErrorShutdownInProgress},
    {"SleepVerbNotSupported", kErrorNotSupported},
    {"NotSupported", kErrorNotSupported},
    {"NoSuchSession", kErrorNotFound},
    {"NoSessionForPID", kErrorNotFound},
    {"ServiceUnknown", kErrorServiceNotActive},
    {"NameHasNoOwner", kErrorServiceNotActive},
    {"Disconnected", kErrorServiceNotActive},  // the bus went away during the call
    {"NoReply", kErrorTimeout},
    {"Timeout", kErrorTimeout},
    {"TimedOut", kErrorTimeout},
};

// Records a failure: the code (1359 in place of 0) becomes the last error.
bool Fail(uint32_t code) {
  SetLastError(code == 0 ? kErrorInternalError : code);
  return false;
}

// The code of a local failure of the connection (an errno value).
uint32_t CodeOfErrno(int error) {
  switch (error) {
    case ENOENT:
    case ECONNREFUSED:
    case ECONNRESET:
    case ECONNABORTED:
    case ENOTCONN:
    case EPIPE:
    case ESHUTDOWN: return kErrorServiceNotActive;
    case ETIMEDOUT: return kErrorTimeout;
    default: return kErrorInternalError;
  }
}

// The code of a failed method call: r is the negative errno sd-bus returned.
uint32_t CodeOfCallError(const sd_bus_error* error, int r) {
  if (!sd_bus_error_is_set(error)) return CodeOfErrno(-r);
  for (const char* prefix : {"org.freedesktop.DBus.Error.", "org.freedesktop.login1."}) {
    const size_t length = std::strlen(prefix);
    if (std::strncmp(error->name, prefix, length) != 0) continue;
    for (const TBusErrorCode& entry : kBusErrorCodes) {
      if (std::strcmp(error->name + length, entry.name) == 0) return entry.code;
    }
  }
  // sd-bus names its own local failures after the errno value.
  if (std::strncmp(error->name, "System.Error.", 13) == 0) return CodeOfErrno(sd_bus_error_get_errno(error));
  return kErrorInternalError;
}

// A connection to the system bus, closed (after sending what is queued) at
// the end of its scope.
class TSystemBus {
 public:
  TSystemBus() = default;
  TSystemBus(const TSystemBus&) = delete;
  TSystemBus& operator=(const TSystemBus&) = delete;
  ~TSystemBus() {
    if (bus_ != nullptr) sd_bus_flush_close_unref(bus_);
  }

  // Connects; a bus that cannot be reached fails with 1062.
  bool Open() {
    if (sd_bus_open_system(&bus_) < 0) {
      bus_ = nullptr;
      return Fail(kErrorServiceNotActive);
    }
    return true;
  }

  sd_bus* Get() const { return bus_; }

 private:
  sd_bus* bus_ = nullptr;
};

// Calls a method of the logind manager with one argument of D-Bus type
// `type` ("b" takes an int, "t" a uint64_t, "s" a const char*). On failure
// leaves the error in *error and returns the negative errno.
template <typename T>
int CallManager(sd_bus* bus, const char* member, const char* type, T arg, sd_bus_error* error) {
  return sd_bus_call_method(bus, kLogindService, kLogindPath, kLogindManager, member, error, nullptr, type,
                            arg);
}

// One logind request on a connection of its own: true, or false with the code.
template <typename T>
bool Request(const char* member, const char* type, T arg) {
  TSystemBus bus;
  if (!bus.Open()) return false;
  sd_bus_error error = SD_BUS_ERROR_NULL;
  const int r = CallManager(bus.Get(), member, type, arg, &error);
  const uint32_t code = r < 0 ? CodeOfCallError(&error, r) : 0;
  sd_bus_error_free(&error);
  return r < 0 ? Fail(code) : true;
}

// What the signals have told about the sleep so far.
struct TSleepState {
  bool sleeping = false;  // PrepareForSleep(true) has come
  bool over = false;      // PrepareForSleep(false) has come, or logind left the bus
};

int OnPrepareForSleep(sd_bus_message* message, void* userdata, sd_bus_error*) {
  auto* state = static_cast<TSleepState*>(userdata);
  int start = 0;
  if (sd_bus_message_read(message, "b", &start) < 0) return 0;
  if (start) {
    state->sleeping = true;
  } else {
    state->over = true;
  }
  return 0;
}

int OnLogindOwnerChanged(sd_bus_message* message, void* userdata, sd_bus_error*) {
  const char* name = nullptr;
  const char* oldOwner = nullptr;
  const char* newOwner = nullptr;
  if (sd_bus_message_read(message, "sss", &name, &oldOwner, &newOwner) < 0) return 0;
  if (newOwner[0] == '\0') static_cast<TSleepState*>(userdata)->over = true;
  return 0;
}

uint64_t NowMs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return uint64_t(now.tv_sec) * 1000 + uint64_t(now.tv_nsec) / 1000000;
}

// The bound of the wait for PrepareForSleep(true), in milliseconds.
uint64_t SleepSignalTimeoutMs() {
  const char* value = std::getenv("YX_SLEEP_SIGNAL_TIMEOUT_MS");
  if (value == nullptr || *value < '0' || *value > '9') return kDefaultSleepSignalTimeoutMs;
  char* end = nullptr;
  errno = 0;
  const unsigned long long ms = std::strtoull(value, &end, 10);
  if (errno != 0 || *end != '\0') return kDefaultSleepSignalTimeoutMs;
  return ms < kMaxSleepSignalTimeoutMs ? ms : kMaxSleepSignalTimeoutMs;
}

// Processes the connection's messages until the sleep is over, or, while
// the machine has not started to sleep, until the bound has passed. A broken
// connection ends the wait: no signal can come any more.
void WaitForResume(sd_bus* bus, const TSleepState& state) {
  const uint64_t deadline = NowMs() + SleepSignalTimeoutMs();
  while (!state.over) {
    const int r = sd_bus_process(bus, nullptr);
    if (r < 0) return;
    if (r > 0) continue;
    uint64_t timeoutUs = UINT64_MAX;
    if (!state.sleeping) {
      const uint64_t now = NowMs();
      if (now >= deadline) return;
      timeoutUs = (deadline - now) * 1000;
    }
    if (sd_bus_wait(bus, timeoutUs) < 0) return;
  }
}

class TLogindPowerServices final : public TPowerServices {
 public:
  bool OpenProcessTokenForAdjust(TokenHandle* token) override {
    if (token == nullptr) return Fail(kErrorInvalidParameter);
    *token = kProcessToken;
    return true;
  }

  bool LookupShutdownPrivilege(Luid* luid) override {
    if (luid == nullptr) return Fail(kErrorInvalidParameter);
    *luid = kShutdownPrivilege;
    return true;
  }

  bool EnablePrivilege(TokenHandle token, const Luid&) override {
    return token == kProcessToken ? true : Fail(kErrorInvalidHandle);
  }

  bool CloseToken(TokenHandle token) override {
    return token == kProcessToken ? true : Fail(kErrorInvalidHandle);
  }

  bool SetSystemPowerState(bool suspend, bool force) override {
    TSleepState state;
    TSystemBus bus;  // closed before `state`, which its callbacks write
    if (!bus.Open()) return false;
    // The signals are matched before the request, so none that logind sends
    // while handling it is missed.
    int r = sd_bus_match_signal(bus.Get(), nullptr, kLogindService, kLogindPath, kLogindManager,
                                "PrepareForSleep", OnPrepareForSleep, &state);
    if (r >= 0) {
      r = sd_bus_add_match(bus.Get(), nullptr,
                           "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
                           "interface='org.freedesktop.DBus',member='NameOwnerChanged',"
                           "arg0='org.freedesktop.login1'",
                           OnLogindOwnerChanged, &state);
    }
    if (r < 0) return Fail(CodeOfErrno(-r));

    const char* plain = suspend ? "Suspend" : "Hibernate";
    sd_bus_error error = SD_BUS_ERROR_NULL;
    if (force) {
      r = CallManager(bus.Get(), suspend ? "SuspendWithFlags" : "HibernateWithFlags", "t", kSkipInhibitors,
                      &error);
      // An older logind knows neither the method nor the flag.
      if (r < 0 && sd_bus_error_has_names(&error, SD_BUS_ERROR_UNKNOWN_METHOD, SD_BUS_ERROR_INVALID_ARGS,
                                          SD_BUS_ERROR_NOT_SUPPORTED)) {
        sd_bus_error_free(&error);
        r = CallManager(bus.Get(), plain, "b", 0, &error);
      }
    } else {
      r = CallManager(bus.Get(), plain, "b", 0, &error);
    }
    const uint32_t code = r < 0 ? CodeOfCallError(&error, r) : 0;
    sd_bus_error_free(&error);
    if (r < 0) return Fail(code);

    WaitForResume(bus.Get(), state);
    return true;
  }

  bool LockWorkStation() override { return Request("LockSession", "s", "auto"); }

  bool ExitWindows(uint32_t flags, uint32_t) override {
    switch (flags) {
      case kEwxLogoff: return Request("TerminateSession", "s", "auto");
      case kEwxPowerOff: return Request("PowerOff", "b", 0);
      case kEwxReboot: return Request("Reboot", "b", 0);
      default: return Fail(kErrorInvalidParameter);
    }
  }
};

}  // namespace

TPowerServices& SystemPowerServices() {
  static TLogindPowerServices services;
  return services;
}

}  // namespace plat
