// yxtk: puts the computer into the power or session state its mode names.

#include <cstdio>
#include <exception>

#include "Command.h"
#include "Log.h"
#include "plat/Console.h"
#include "plat/Error.h"
#include "plat/Process.h"

namespace {

// The end of a run that an exception broke off (exhausted memory, a broken
// invariant): what it was on standard error, the logger closed, 1359.
int Failed(const char* what) {
  plat::FlushConsole();
  std::fprintf(stderr, "%s\n", what != nullptr ? what : "");
  std::fflush(stderr);
  try {
    yx::TLog::Instance().Close();
  } catch (...) {
  }
  return int(plat::kErrorInternalError);
}

}  // namespace

int main(int argc, char** argv) {
  // The exit status is the action's, whatever becomes of standard output.
  plat::StartConsole();
  try {
    const int code = yx::RunCommand(argc, plat::AnsiArguments(argc, argv));
    plat::FlushConsole();
    return code;
  } catch (const yx::EException& e) {
    return Failed(e.What());
  } catch (const std::exception& e) {
    return Failed(e.what());
  } catch (...) {
    return Failed("yxtk: unexpected exception");
  }
}
