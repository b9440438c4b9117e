// The entry point's run: logging, banner, argument check, mode dispatch,
// outcome and usage texts, exit code.

#include "Command.h"

#include <cstdlib>

#include "Log.h"
#include "PowerActions.h"
#include "Status.h"
#include "plat/Error.h"
#include "plat/Locale.h"

namespace yx {
namespace {

constexpr char kBannerEnglish[] = "yxtk.exe v1.0 (c) 2026 *** freeware\n";
// yxtk.exe v1.0 (c) 2026 *** бесплатно
constexpr char kBannerRussian[] = "yxtk.exe v1.0 (c) 2026 *** \xe1\xe5\xf1\xef\xeb\xe0\xf2\xed\xee\n";

constexpr char kUsageEnglish[] =
    "Command line parameters\n"
    "yxtk.exe -<mode>\n"
    "s  enters suspend mode immediately\n"
    "sq enters suspend mode with requesting permissions from other applications\n"
    "h  enters hibernation mode immediately\n"
    "hq enters hibernation mode with requesting permissions from other applications\n"
    "l  locks the workstation\n"
    "lo logs the user off\n"
    "sd shuts down the computer\n"
    "r  restarts the computer\n";

// Code page 1251. The "c" before the word for "preliminary" in the sq line
// is the Latin letter, as the text has always had it.
constexpr char kUsageRussian[] =
    // Параметры запуска
    "\xcf\xe0\xf0\xe0\xec\xe5\xf2\xf0\xfb \xe7\xe0\xef\xf3\xf1\xea\xe0\r\n"
    // yxtk.exe -<режим>
    "yxtk.exe -<\xf0\xe5\xe6\xe8\xec>\n"
    // s  ждущий режим
    "s  \xe6\xe4\xf3\xf9\xe8\xe9 \xf0\xe5\xe6\xe8\xec\n"
    // sq ждущий режим c предварительным запросом разрешения от других программ
    "sq \xe6\xe4\xf3\xf9\xe8\xe9 \xf0\xe5\xe6\xe8\xec c \xef\xf0\xe5\xe4\xe2\xe0\xf0\xe8\xf2\xe5\xeb\xfc\xed"
    "\xfb\xec \xe7\xe0\xef\xf0\xee\xf1\xee\xec \xf0\xe0\xe7\xf0\xe5\xf8\xe5\xed\xe8\xff \xee\xf2 \xe4\xf0\xf3"
    "\xe3\xe8\xf5 \xef\xf0\xee\xe3\xf0\xe0\xec\xec\n"
    // h  спящий режим
    "h  \xf1\xef\xff\xf9\xe8\xe9 \xf0\xe5\xe6\xe8\xec\n"
    // hq спящий режим с предварительным запросом разрешения от других программ
    "hq \xf1\xef\xff\xf9\xe8\xe9 \xf0\xe5\xe6\xe8\xec \xf1 \xef\xf0\xe5\xe4\xe2\xe0\xf0\xe8\xf2\xe5\xeb\xfc"
    "\xed\xfb\xec \xe7\xe0\xef\xf0\xee\xf1\xee\xec \xf0\xe0\xe7\xf0\xe5\xf8\xe5\xed\xe8\xff \xee\xf2 \xe4\xf0"
    "\xf3\xe3\xe8\xf5 \xef\xf0\xee\xe3\xf0\xe0\xec\xec\n"
    // l  блокировка рабочей станции
    "l  \xe1\xeb\xee\xea\xe8\xf0\xee\xe2\xea\xe0 \xf0\xe0\xe1\xee\xf7\xe5\xe9 \xf1\xf2\xe0\xed\xf6\xe8\xe8\n"
    // lo завершение сеанса пользователя
    "lo \xe7\xe0\xe2\xe5\xf0\xf8\xe5\xed\xe8\xe5 \xf1\xe5\xe0\xed\xf1\xe0 "
    "\xef\xee\xeb\xfc\xe7\xee\xe2\xe0\xf2"
    "\xe5\xeb\xff\n"
    // sd выключение компьютера
    "sd \xe2\xfb\xea\xeb\xfe\xf7\xe5\xed\xe8\xe5 \xea\xee\xec\xef\xfc\xfe\xf2\xe5\xf0\xe0\n"
    // r  перезагрузка компьютера
    "r  \xef\xe5\xf0\xe5\xe7\xe0\xe3\xf0\xf3\xe7\xea\xe0 \xea\xee\xec\xef\xfc\xfe\xf2\xe5\xf0\xe0\n";

// Запуск (argc=%i,argv[1]="%s")
constexpr char kStartRecord[] = "\xc7\xe0\xef\xf3\xf1\xea (argc=%i,argv[1]=\"%s\")";
// Завершение (
constexpr char kEndRecord[] = "\xc7\xe0\xe2\xe5\xf0\xf8\xe5\xed\xe8\xe5 (";

constexpr unsigned kContextAndMessage = kStatusContext | kStatusMessage;

// The action whose keyword equals the upper-cased mode, compared in the
// actions' order; null when none does.
const TPowerAction* FindAction(const BStr& mode) {
  for (const TPowerAction& action : kPowerActions) {
    if (mode == action.mode) return &action;
  }
  return nullptr;
}

bool IsSwitch(char c) { return c == '-' || c == '/' || c == '\\'; }

}  // namespace

bool UserWantsRussian() {
  // The language identifier comes as four hexadecimal digits; read as a
  // decimal number, Russian (0419) is 419. A failed query means English.
  const int size = plat::LocaleInfo(plat::kLocaleUserDefault, plat::kLocaleILanguage, nullptr, 0);
  if (size <= 0 || size > 64) return false;
  char value[64] = {};
  if (plat::LocaleInfo(plat::kLocaleUserDefault, plat::kLocaleILanguage, value, size) == 0) return false;
  return std::atol(value) == 419;
}

void PrintBanner(TConsoleWriter& writer) {
  writer.Write(UserWantsRussian() ? kBannerRussian : kBannerEnglish);
}

void PrintUsage(TConsoleWriter& writer) { writer.Write(UserWantsRussian() ? kUsageRussian : kUsageEnglish); }

int RunCommand(int argc, char** argv) {
  TLog::Instance().Open();
  const char* argument = argc >= 2 && argv[1] != nullptr ? argv[1] : nullptr;
  TLog::Instance().Log("AP.", kStartRecord, argc, argument != nullptr ? argument : "(null)");

  TStatus status;
  TConsoleWriter writer;
  PrintBanner(writer);
  if (argc != 2 || argument == nullptr) {
    PrintUsage(writer);
  } else if (!IsSwitch(argument[0])) {
    status.SetCode(plat::kErrorInvalidParameter);
  } else {
    BStr mode(argument + 1);
    mode.ChangeCase(0, 0, 0);
    if (mode == "?") {
      PrintUsage(writer);
    } else if (const TPowerAction* action = FindAction(mode)) {
      status = RunPowerAction(*action);
    } else {
      status.SetCode(plat::kErrorInvalidParameter);
    }
  }

  const BStr outcome = status.Text(kContextAndMessage);
  writer.Write(outcome.CStr());
  if (status.Code() == plat::kErrorInvalidParameter) {
    writer.Write("\r\n");
    PrintUsage(writer);
  }
  const BStr endText = BStr(kEndRecord) + outcome.CStr() + ")";
  TLog::Instance().Log("AP.", "%s", endText.CStr());
  TLog::Instance().Close();
  return int(status.Code());
}

}  // namespace yx
