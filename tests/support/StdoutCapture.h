// What a piece of code writes to standard output through the console layer.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "plat/Console.h"

namespace yx::test {

// Runs write() with standard output captured, flushes the console stream,
// and returns the bytes that reached standard output.
template <class Write>
std::string CapturedStdout(Write&& write) {
  testing::internal::CaptureStdout();
  std::forward<Write>(write)();
  plat::FlushConsole();
  return testing::internal::GetCapturedStdout();
}

}  // namespace yx::test
