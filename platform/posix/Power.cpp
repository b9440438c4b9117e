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
//
// libsystemd is loaded with dlopen at the first power or session request, not
// linked: it and the six libraries it needs would otherwise be loaded at every
// start, help and bad arguments included, for about a quarter of the start-up
// time. A system without it (or with one too old to have the functions used
// here) fails the requests with 1062, as a bus that cannot be reached does.

#include "plat/Power.h"

#include <dlfcn.h>
#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "Clocks.h"
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

// The sd-bus functions this file calls, resolved from libsystemd. The header
// gives their types; the names are those of the library's exports.
struct TSdBus {
  decltype(&::sd_bus_open_system) open_system;
  decltype(&::sd_bus_flush_close_unref) flush_close_unref;
  decltype(&::sd_bus_call_method) call_method;
  decltype(&::sd_bus_match_signal) match_signal;
  decltype(&::sd_bus_add_match) add_match;
  decltype(&::sd_bus_process) process;
  decltype(&::sd_bus_wait) wait;
  decltype(&::sd_bus_message_read) message_read;
  decltype(&::sd_bus_error_free) error_free;
  decltype(&::sd_bus_error_is_set) error_is_set;
  decltype(&::sd_bus_error_get_errno) error_get_errno;
  // What the sd_bus_error_has_names macro calls: the names, then nullptr.
  decltype(&::sd_bus_error_has_names_sentinel) error_has_names_sentinel;
};

// Stores the address of the library's export `name` in *function; false if
// there is none.
template <typename F>
bool Resolve(void* library, const char* name, F* function) {
  *function = reinterpret_cast<F>(dlsym(library, name));
  return *function != nullptr;
}

// Loads libsystemd and resolves every function; nullptr (and the library
// unloaded again) if the library or any function is missing.
const TSdBus* LoadSdBus() {
  void* library = dlopen("libsystemd.so.0", RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return nullptr;
  static TSdBus api;
  const bool resolved = Resolve(library, "sd_bus_open_system", &api.open_system) &&
                        Resolve(library, "sd_bus_flush_close_unref", &api.flush_close_unref) &&
                        Resolve(library, "sd_bus_call_method", &api.call_method) &&
                        Resolve(library, "sd_bus_match_signal", &api.match_signal) &&
                        Resolve(library, "sd_bus_add_match", &api.add_match) &&
                        Resolve(library, "sd_bus_process", &api.process) &&
                        Resolve(library, "sd_bus_wait", &api.wait) &&
                        Resolve(library, "sd_bus_message_read", &api.message_read) &&
                        Resolve(library, "sd_bus_error_free", &api.error_free) &&
                        Resolve(library, "sd_bus_error_is_set", &api.error_is_set) &&
                        Resolve(library, "sd_bus_error_get_errno", &api.error_get_errno) &&
                        Resolve(library, "sd_bus_error_has_names_sentinel", &api.error_has_names_sentinel);
  if (!resolved) {
    dlclose(library);
    return nullptr;
  }
  return &api;
}

// The sd-bus functions, or nullptr if libsystemd cannot be used. The first
// caller loads the library (the initialisation of a local static runs once,
// and concurrent callers wait for it); it stays loaded for the process.
const TSdBus* SdBus() {
  static const TSdBus* const api = LoadSdBus();
  return api;
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
uint32_t CodeOfCallError(const TSdBus& sd, const sd_bus_error* error, int r) {
  if (!sd.error_is_set(error)) return CodeOfErrno(-r);
  for (const char* prefix : {"org.freedesktop.DBus.Error.", "org.freedesktop.login1."}) {
    const size_t length = std::strlen(prefix);
    if (std::strncmp(error->name, prefix, length) != 0) continue;
    for (const TBusErrorCode& entry : kBusErrorCodes) {
      if (std::strcmp(error->name + length, entry.name) == 0) return entry.code;
    }
  }
  // sd-bus names its own local failures after the errno value.
  if (std::strncmp(error->name, "System.Error.", 13) == 0) return CodeOfErrno(sd.error_get_errno(error));
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
    if (bus_ != nullptr) sd_->flush_close_unref(bus_);
  }

  // Loads libsystemd if no request has yet, and connects; a library that
  // cannot be loaded or a bus that cannot be reached fails with 1062.
  bool Open() {
    sd_ = SdBus();
    if (sd_ == nullptr) return Fail(kErrorServiceNotActive);
    if (sd_->open_system(&bus_) < 0) {
      bus_ = nullptr;
      return Fail(kErrorServiceNotActive);
    }
    return true;
  }

  sd_bus* Get() const { return bus_; }
  // The sd-bus functions; only after Open has succeeded.
  const TSdBus& Sd() const { return *sd_; }

 private:
  const TSdBus* sd_ = nullptr;
  sd_bus* bus_ = nullptr;
};

// Calls a method of the logind manager with one argument of D-Bus type
// `type` ("b" takes an int, "t" a uint64_t, "s" a const char*). On failure
// leaves the error in *error and returns the negative errno.
template <typename T>
int CallManager(const TSystemBus& bus, const char* member, const char* type, T arg, sd_bus_error* error) {
  return bus.Sd().call_method(bus.Get(), kLogindService, kLogindPath, kLogindManager, member, error, nullptr,
                              type, arg);
}

// One logind request on a connection of its own: true, or false with the code.
template <typename T>
bool Request(const char* member, const char* type, T arg) {
  TSystemBus bus;
  if (!bus.Open()) return false;
  sd_bus_error error = SD_BUS_ERROR_NULL;
  const int r = CallManager(bus, member, type, arg, &error);
  const uint32_t code = r < 0 ? CodeOfCallError(bus.Sd(), &error, r) : 0;
  bus.Sd().error_free(&error);
  return r < 0 ? Fail(code) : true;
}

// What the signals have told about the sleep so far, and the functions with
// which the callbacks read the signals.
struct TSleepState {
  const TSdBus* sd = nullptr;
  bool sleeping = false;  // PrepareForSleep(true) has come
  bool over = false;      // PrepareForSleep(false) has come, or logind left the bus
};

int OnPrepareForSleep(sd_bus_message* message, void* userdata, sd_bus_error*) {
  auto* state = static_cast<TSleepState*>(userdata);
  int start = 0;
  if (state->sd->message_read(message, "b", &start) < 0) return 0;
  if (start) {
    state->sleeping = true;
  } else {
    state->over = true;
  }
  return 0;
}

int OnLogindOwnerChanged(sd_bus_message* message, void* userdata, sd_bus_error*) {
  auto* state = static_cast<TSleepState*>(userdata);
  const char* name = nullptr;
  const char* oldOwner = nullptr;
  const char* newOwner = nullptr;
  if (state->sd->message_read(message, "sss", &name, &oldOwner, &newOwner) < 0) return 0;
  if (newOwner[0] == '\0') state->over = true;
  return 0;
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
void WaitForResume(const TSystemBus& bus, const TSleepState& state) {
  const TSdBus& sd = bus.Sd();
  const uint64_t deadline = detail::MonotonicMs() + SleepSignalTimeoutMs();
  while (!state.over) {
    const int r = sd.process(bus.Get(), nullptr);
    if (r < 0) return;
    if (r > 0) continue;
    uint64_t timeoutUs = UINT64_MAX;
    if (!state.sleeping) {
      const uint64_t now = detail::MonotonicMs();
      if (now >= deadline) return;
      timeoutUs = (deadline - now) * 1000;
    }
    if (sd.wait(bus.Get(), timeoutUs) < 0) return;
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
    const TSdBus& sd = bus.Sd();
    state.sd = &sd;
    // The signals are matched before the request, so none that logind sends
    // while handling it is missed.
    int r = sd.match_signal(bus.Get(), nullptr, kLogindService, kLogindPath, kLogindManager,
                            "PrepareForSleep", OnPrepareForSleep, &state);
    if (r >= 0) {
      r = sd.add_match(bus.Get(), nullptr,
                       "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
                       "interface='org.freedesktop.DBus',member='NameOwnerChanged',"
                       "arg0='org.freedesktop.login1'",
                       OnLogindOwnerChanged, &state);
    }
    if (r < 0) return Fail(CodeOfErrno(-r));

    const char* plain = suspend ? "Suspend" : "Hibernate";
    sd_bus_error error = SD_BUS_ERROR_NULL;
    if (force) {
      r = CallManager(bus, suspend ? "SuspendWithFlags" : "HibernateWithFlags", "t", kSkipInhibitors, &error);
      // An older logind knows neither the method nor the flag.
      if (r < 0 &&
          sd.error_has_names_sentinel(&error, SD_BUS_ERROR_UNKNOWN_METHOD, SD_BUS_ERROR_INVALID_ARGS,
                                      SD_BUS_ERROR_NOT_SUPPORTED, static_cast<const char*>(nullptr))) {
        sd.error_free(&error);
        r = CallManager(bus, plain, "b", 0, &error);
      }
    } else {
      r = CallManager(bus, plain, "b", 0, &error);
    }
    const uint32_t code = r < 0 ? CodeOfCallError(sd, &error, r) : 0;
    sd.error_free(&error);
    if (r < 0) return Fail(code);

    WaitForResume(bus, state);
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
