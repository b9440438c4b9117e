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
// The requests that let applications refuse on Windows (suspend and
// hibernate after asking, shut down, restart) first list logind's
// inhibitors, as systemctl does without -i: a block inhibitor for sleep
// (respectively shutdown) held by another process refuses the request with
// 1223 before any call. Suspend and hibernate at once skip the inhibitors.
//
// libsystemd is loaded with dlopen at the first power or session request, not
// linked: it and the six libraries it needs would otherwise be loaded at every
// start, help and bad arguments included, for about a quarter of the start-up
// time. Only functions that libsystemd has exported since version 221 are
// used, each looked up with that version, so that every libsystemd from 221 on
// serves. A system without it fails the requests with 1062, as a bus that
// cannot be reached does.
//
// Every failure also writes one line to standard error naming its cause (the
// D-Bus error's name and message, the loader's error, the inhibitor), for the
// user who has to find out why; standard output keeps the system's texts.

#include "plat/Power.h"

#include <dlfcn.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
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
    // A logind without the method or object: the request is not supported.
    {"UnknownMethod", kErrorNotSupported},
    {"UnknownObject", kErrorNotSupported},
};

// Records a failure: the code (1359 in place of 0) becomes the last error.
bool Fail(uint32_t code) {
  SetLastError(code == 0 ? kErrorInternalError : code);
  return false;
}

// Writes one line naming the cause of a failure to standard error, after the
// program's name.
void Diagnose(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Diagnose(const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, text);
}

// Records a failure and names its cause on standard error.
template <typename... Args>
bool FailWith(uint32_t code, const char* format, Args... args) {
  Diagnose(format, args...);
  return Fail(code);
}

// The sd-bus functions this file calls, resolved from libsystemd. The header
// gives their types; the names are those of the library's exports.
struct TSdBus {
  decltype(&::sd_bus_open_system) open_system;
  decltype(&::sd_bus_flush) flush;
  decltype(&::sd_bus_close) close;
  decltype(&::sd_bus_unref) unref;
  decltype(&::sd_bus_call_method) call_method;
  decltype(&::sd_bus_add_match) add_match;
  decltype(&::sd_bus_process) process;
  decltype(&::sd_bus_wait) wait;
  decltype(&::sd_bus_message_read) message_read;
  decltype(&::sd_bus_message_enter_container) message_enter_container;
  decltype(&::sd_bus_message_exit_container) message_exit_container;
  decltype(&::sd_bus_message_unref) message_unref;
  decltype(&::sd_bus_error_free) error_free;
  decltype(&::sd_bus_error_is_set) error_is_set;
  decltype(&::sd_bus_error_get_errno) error_get_errno;
  decltype(&::sd_bus_error_has_name) error_has_name;
};

// The library, and the version node every function is looked up in: the
// first public sd-bus API. A function added later would not be found here,
// so using one fails on every system, not only on older ones.
constexpr const char* kLibSystemd = "libsystemd.so.0";
constexpr const char* kSdBusVersion = "LIBSYSTEMD_221";

// Why libsystemd cannot be used, when it cannot.
char gLoadError[512];

// Stores the address of the library's export `name` in *function; false,
// with the cause in gLoadError, if there is none.
template <typename F>
bool Resolve(void* library, const char* name, F* function) {
  *function = reinterpret_cast<F>(dlvsym(library, name, kSdBusVersion));
  if (*function == nullptr) {
    std::snprintf(gLoadError, sizeof gLoadError, "%s has no %s (%s)", kLibSystemd, name, kSdBusVersion);
  }
  return *function != nullptr;
}

// Loads libsystemd and resolves every function; nullptr (with the cause in
// gLoadError, and the library unloaded again) if the library or any function
// is missing.
const TSdBus* LoadSdBus() {
  void* library = dlopen(kLibSystemd, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* cause = dlerror();
    std::snprintf(gLoadError, sizeof gLoadError, "%s", cause != nullptr ? cause : kLibSystemd);
    return nullptr;
  }
  static TSdBus api;
  const bool resolved =
      Resolve(library, "sd_bus_open_system", &api.open_system) &&
      Resolve(library, "sd_bus_flush", &api.flush) && Resolve(library, "sd_bus_close", &api.close) &&
      Resolve(library, "sd_bus_unref", &api.unref) &&
      Resolve(library, "sd_bus_call_method", &api.call_method) &&
      Resolve(library, "sd_bus_add_match", &api.add_match) &&
      Resolve(library, "sd_bus_process", &api.process) && Resolve(library, "sd_bus_wait", &api.wait) &&
      Resolve(library, "sd_bus_message_read", &api.message_read) &&
      Resolve(library, "sd_bus_message_enter_container", &api.message_enter_container) &&
      Resolve(library, "sd_bus_message_exit_container", &api.message_exit_container) &&
      Resolve(library, "sd_bus_message_unref", &api.message_unref) &&
      Resolve(library, "sd_bus_error_free", &api.error_free) &&
      Resolve(library, "sd_bus_error_is_set", &api.error_is_set) &&
      Resolve(library, "sd_bus_error_get_errno", &api.error_get_errno) &&
      Resolve(library, "sd_bus_error_has_name", &api.error_has_name);
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
    if (bus_ == nullptr) return;
    sd_->flush(bus_);
    sd_->close(bus_);
    sd_->unref(bus_);
  }

  // Loads libsystemd if no request has yet, and connects; a library that
  // cannot be loaded or a bus that cannot be reached fails with 1062.
  bool Open() {
    sd_ = SdBus();
    if (sd_ == nullptr) return FailWith(kErrorServiceNotActive, "cannot use libsystemd: %s", gLoadError);
    const int r = sd_->open_system(&bus_);
    if (r < 0) {
      bus_ = nullptr;
      return FailWith(kErrorServiceNotActive, "cannot connect to the system bus: %s", std::strerror(-r));
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

// One method call of the logind manager: its reply, or its error.
class TManagerCall {
 public:
  explicit TManagerCall(const TSystemBus& bus) : bus_(bus) {}
  TManagerCall(const TManagerCall&) = delete;
  TManagerCall& operator=(const TManagerCall&) = delete;
  ~TManagerCall() {
    bus_.Sd().error_free(&error_);
    if (reply_ != nullptr) bus_.Sd().message_unref(reply_);
  }

  // Calls `member` with the arguments of the D-Bus signature `types` ("b"
  // takes an int, "t" a uint64_t, "s" a const char*, "" none). True when it
  // succeeded.
  template <typename... Args>
  bool Run(const char* member, const char* types, Args... args) {
    member_ = member;
    r_ = bus_.Sd().call_method(bus_.Get(), kLogindService, kLogindPath, kLogindManager, member, &error_,
                               &reply_, types, args...);
    return r_ >= 0;
  }

  // True when the call failed with the D-Bus error `name`.
  bool FailedWith(const char* name) const { return r_ < 0 && bus_.Sd().error_has_name(&error_, name) > 0; }

  // Records the call's failure as its Windows code and names it on standard
  // error; returns false.
  bool Fail() const {
    const TSdBus& sd = bus_.Sd();
    const uint32_t code = CodeOfCallError(sd, &error_, r_);
    if (!sd.error_is_set(&error_)) return FailWith(code, "%s: %s", member_, std::strerror(-r_));
    return FailWith(code, "%s: %s: %s", member_, error_.name,
                    error_.message != nullptr ? error_.message : "");
  }

  sd_bus_message* Reply() const { return reply_; }

 private:
  const TSystemBus& bus_;
  const char* member_ = "";
  int r_ = 0;
  sd_bus_error error_ = SD_BUS_ERROR_NULL;
  sd_bus_message* reply_ = nullptr;
};

// True when the colon-separated list `what` ("shutdown:sleep:idle") holds `kind`.
bool ListHolds(const char* what, const char* kind) {
  const size_t length = std::strlen(kind);
  for (const char* p = what; p != nullptr && *p != '\0';) {
    const char* colon = std::strchr(p, ':');
    const size_t n = colon != nullptr ? size_t(colon - p) : std::strlen(p);
    if (n == length && std::strncmp(p, kind, n) == 0) return true;
    p = colon != nullptr ? colon + 1 : nullptr;
  }
  return false;
}

// Refuses a request that a block inhibitor of `kind` ("sleep" or
// "shutdown") held by another process stands against, as systemctl does
// without -i: true (with 1223 and the inhibitor named on standard error)
// when it is refused. A list that cannot be had refuses nothing: the request
// then meets logind's own check.
bool RefusedByInhibitor(const TSystemBus& bus, const char* kind, const char* member) {
  TManagerCall list(bus);
  if (!list.Run("ListInhibitors", "")) return false;
  const TSdBus& sd = bus.Sd();
  sd_bus_message* reply = list.Reply();
  if (sd.message_enter_container(reply, SD_BUS_TYPE_ARRAY, "(ssssuu)") <= 0) return false;
  const uint32_t self = uint32_t(getpid());
  const char* what = nullptr;
  const char* who = nullptr;
  const char* why = nullptr;
  const char* mode = nullptr;
  uint32_t uid = 0;
  uint32_t pid = 0;
  while (sd.message_read(reply, "(ssssuu)", &what, &who, &why, &mode, &uid, &pid) > 0) {
    if (std::strcmp(mode, "block") != 0 || pid == self || !ListHolds(what, kind)) continue;
    FailWith(kErrorCancelled, "%s: inhibited by \"%s\" (PID %u, user %u), reason is \"%s\"", member, who,
             unsigned(pid), unsigned(uid), why);
    return true;
  }
  return false;
}

// One logind request on a connection of its own, refused first when a block
// inhibitor of `inhibitor` stands against it (null: none is asked for): true,
// or false with the code.
template <typename T>
bool Request(const char* member, const char* inhibitor, const char* type, T arg) {
  TSystemBus bus;
  if (!bus.Open()) return false;
  if (inhibitor != nullptr && RefusedByInhibitor(bus, inhibitor, member)) return false;
  TManagerCall call(bus);
  return call.Run(member, type, arg) || call.Fail();
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
    const char* plain = suspend ? "Suspend" : "Hibernate";
    if (!force && RefusedByInhibitor(bus, "sleep", plain)) return false;
    // The signals are matched before the request, so none that logind sends
    // while handling it is missed.
    int r = sd.add_match(bus.Get(), nullptr,
                         "type='signal',sender='org.freedesktop.login1',path='/org/freedesktop/login1',"
                         "interface='org.freedesktop.login1.Manager',member='PrepareForSleep'",
                         OnPrepareForSleep, &state);
    if (r >= 0) {
      r = sd.add_match(bus.Get(), nullptr,
                       "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
                       "interface='org.freedesktop.DBus',member='NameOwnerChanged',"
                       "arg0='org.freedesktop.login1'",
                       OnLogindOwnerChanged, &state);
    }
    if (r < 0) return FailWith(CodeOfErrno(-r), "cannot watch for PrepareForSleep: %s", std::strerror(-r));

    if (force) {
      TManagerCall withFlags(bus);
      if (!withFlags.Run(suspend ? "SuspendWithFlags" : "HibernateWithFlags", "t", kSkipInhibitors)) {
        // A logind older than the method, or one that knows the method but
        // not the flag, gets the plain request.
        if (!withFlags.FailedWith(SD_BUS_ERROR_UNKNOWN_METHOD) &&
            !withFlags.FailedWith(SD_BUS_ERROR_INVALID_ARGS)) {
          return withFlags.Fail();
        }
        TManagerCall call(bus);
        if (!call.Run(plain, "b", 0)) return call.Fail();
      }
    } else {
      TManagerCall call(bus);
      if (!call.Run(plain, "b", 0)) return call.Fail();
    }

    WaitForResume(bus, state);
    return true;
  }

  bool LockWorkStation() override { return Request("LockSession", nullptr, "s", "auto"); }

  bool ExitWindows(uint32_t flags, uint32_t) override {
    switch (flags) {
      case kEwxLogoff: return Request("TerminateSession", nullptr, "s", "auto");
      case kEwxPowerOff: return Request("PowerOff", "shutdown", "b", 0);
      case kEwxReboot: return Request("Reboot", "shutdown", "b", 0);
      default:
        return FailWith(kErrorInvalidParameter, "no logind request for the exit flags %u", unsigned(flags));
    }
  }
};

}  // namespace

TPowerServices& SystemPowerServices() {
  static TLogindPowerServices services;
  return services;
}

}  // namespace plat
