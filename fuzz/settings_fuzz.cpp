// Fuzz target of the settings file (input: its bytes): parsing, applying and
// using it, checked against the reference reading of SettingsCheck.h.

#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "SettingsCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char kNothing = 0;
  const std::string broken =
      yx::settings_check::TChecker(data != nullptr ? reinterpret_cast<const char*>(data) : &kNothing, size)
          .Run();
  if (!broken.empty()) yx::fuzz::Fail("settings: %s", broken.c_str());
  return 0;
}
