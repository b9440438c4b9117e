// yxtk: puts the computer into the power or session state its mode names.

#include <cstdio>

#include "Command.h"
#include "Log.h"
#include "plat/Console.h"
#include "plat/Error.h"
#include "plat/Process.h"

int main(int argc, char** argv) {
  // The exit status is the action's, whatever becomes of standard output.
  plat::StartConsole();
  try {
    const int code = yx::RunCommand(argc, plat::AnsiArguments(argc, argv));
    plat::FlushConsole();
    return code;
  } catch (const yx::EException& e) {
    // Only exhausted memory or a broken invariant raises; say what it was
    // rather than abort silently.
    plat::FlushConsole();
    std::fprintf(stderr, "%s\n", e.What());
    yx::TLog::Instance().Close();
    return int(plat::kErrorInternalError);
  }
}
