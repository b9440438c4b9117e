// The message catalogue on POSIX: the system's own texts of the Windows error
// codes the program can produce, in English and in Russian (code page 1251),
// each ending in "\r\n" as the Windows catalogue's texts do.

#include "plat/Messages.h"

#include <cstring>

#include "plat/Error.h"
#include "plat/Locale.h"
#include "plat/Text.h"

namespace plat {
namespace {

struct TCatalogueEntry {
  uint32_t code;
  const char* english;
  const char* russian;  // code page 1251
};

// Sorted by code.
const TCatalogueEntry kCatalogue[] = {
    {0, "The operation completed successfully.\r\n",
     // Операция успешно завершена.
     "\xce\xef\xe5\xf0\xe0\xf6\xe8\xff \xf3\xf1\xef\xe5\xf8\xed\xee \xe7\xe0\xe2\xe5\xf0\xf8\xe5\xed"
     "\xe0.\r\n"},
    {1, "Incorrect function.\r\n",
     // Неверная функция.
     "\xcd\xe5\xe2\xe5\xf0\xed\xe0\xff \xf4\xf3\xed\xea\xf6\xe8\xff.\r\n"},
    {2, "The system cannot find the file specified.\r\n",
     // Не удается найти указанный файл.
     "\xcd\xe5 \xf3\xe4\xe0\xe5\xf2\xf1\xff \xed\xe0\xe9\xf2\xe8 \xf3\xea\xe0\xe7\xe0\xed\xed\xfb"
     "\xe9 \xf4\xe0\xe9\xeb.\r\n"},
    {3, "The system cannot find the path specified.\r\n",
     // Системе не удается найти указанный путь.
     "\xd1\xe8\xf1\xf2\xe5\xec\xe5 \xed\xe5 \xf3\xe4\xe0\xe5\xf2\xf1\xff \xed\xe0\xe9\xf2\xe8 \xf3"
     "\xea\xe0\xe7\xe0\xed\xed\xfb\xe9 \xef\xf3\xf2\xfc.\r\n"},
    {4, "The system cannot open the file.\r\n",
     // Системе не удается открыть файл.
     "\xd1\xe8\xf1\xf2\xe5\xec\xe5 \xed\xe5 \xf3\xe4\xe0\xe5\xf2\xf1\xff \xee\xf2\xea\xf0\xfb\xf2"
     "\xfc \xf4\xe0\xe9\xeb.\r\n"},
    {5, "Access is denied.\r\n",
     // Отказано в доступе.
     "\xce\xf2\xea\xe0\xe7\xe0\xed\xee \xe2 \xe4\xee\xf1\xf2\xf3\xef\xe5.\r\n"},
    {6, "The handle is invalid.\r\n",
     // Неверный дескриптор.
     "\xcd\xe5\xe2\xe5\xf0\xed\xfb\xe9 \xe4\xe5\xf1\xea\xf0\xe8\xef\xf2\xee\xf0.\r\n"},
    {8, "Not enough memory resources are available to process this command.\r\n",
     // Недостаточно ресурсов памяти для обработки этой команды.
     "\xcd\xe5\xe4\xee\xf1\xf2\xe0\xf2\xee\xf7\xed\xee \xf0\xe5\xf1\xf3\xf0\xf1\xee\xe2 \xef\xe0\xec"
     "\xff\xf2\xe8 \xe4\xeb\xff \xee\xe1\xf0\xe0\xe1\xee\xf2\xea\xe8 \xfd\xf2\xee\xe9 \xea\xee\xec"
     "\xe0\xed\xe4\xfb.\r\n"},
    {19, "The media is write protected.\r\n",
     // Носитель защищен от записи.
     "\xcd\xee\xf1\xe8\xf2\xe5\xeb\xfc \xe7\xe0\xf9\xe8\xf9\xe5\xed \xee\xf2 \xe7\xe0\xef\xe8\xf1"
     "\xe8.\r\n"},
    {31, "A device attached to the system is not functioning.\r\n",
     // Присоединенное к системе устройство не работает.
     "\xcf\xf0\xe8\xf1\xee\xe5\xe4\xe8\xed\xe5\xed\xed\xee\xe5 \xea \xf1\xe8\xf1\xf2\xe5\xec\xe5 "
     "\xf3\xf1\xf2\xf0\xee\xe9\xf1\xf2\xe2\xee \xed\xe5 \xf0\xe0\xe1\xee\xf2\xe0\xe5\xf2.\r\n"},
    {32, "The process cannot access the file because it is being used by another process.\r\n",
     // Процесс не может получить доступ к файлу, так как этот файл занят другим процессом.
     "\xcf\xf0\xee\xf6\xe5\xf1\xf1 \xed\xe5 \xec\xee\xe6\xe5\xf2 \xef\xee\xeb\xf3\xf7\xe8\xf2\xfc "
     "\xe4\xee\xf1\xf2\xf3\xef \xea \xf4\xe0\xe9\xeb\xf3, \xf2\xe0\xea \xea\xe0\xea \xfd\xf2\xee\xf2"
     " \xf4\xe0\xe9\xeb \xe7\xe0\xed\xff\xf2 \xe4\xf0\xf3\xe3\xe8\xec \xef\xf0\xee\xf6\xe5\xf1\xf1"
     "\xee\xec.\r\n"},
    {33,
     "The process cannot access the file because another process has locked a portion of the file.\r"
     "\n",
     // Процесс не может получить доступ к файлу, так как часть этого файла заблокирована другим процессом.
     "\xcf\xf0\xee\xf6\xe5\xf1\xf1 \xed\xe5 \xec\xee\xe6\xe5\xf2 \xef\xee\xeb\xf3\xf7\xe8\xf2\xfc "
     "\xe4\xee\xf1\xf2\xf3\xef \xea \xf4\xe0\xe9\xeb\xf3, \xf2\xe0\xea \xea\xe0\xea \xf7\xe0\xf1\xf2"
     "\xfc \xfd\xf2\xee\xe3\xee \xf4\xe0\xe9\xeb\xe0 \xe7\xe0\xe1\xeb\xee\xea\xe8\xf0\xee\xe2\xe0"
     "\xed\xe0 \xe4\xf0\xf3\xe3\xe8\xec \xef\xf0\xee\xf6\xe5\xf1\xf1\xee\xec.\r\n"},
    {38, "Reached the end of the file.\r\n",
     // Достигнут конец файла.
     "\xc4\xee\xf1\xf2\xe8\xe3\xed\xf3\xf2 \xea\xee\xed\xe5\xf6 \xf4\xe0\xe9\xeb\xe0.\r\n"},
    {50, "The request is not supported.\r\n",
     // Такой запрос не поддерживается.
     "\xd2\xe0\xea\xee\xe9 \xe7\xe0\xef\xf0\xee\xf1 \xed\xe5 \xef\xee\xe4\xe4\xe5\xf0\xe6\xe8\xe2"
     "\xe0\xe5\xf2\xf1\xff.\r\n"},
    {80, "The file exists.\r\n",
     // Файл существует.
     "\xd4\xe0\xe9\xeb \xf1\xf3\xf9\xe5\xf1\xf2\xe2\xf3\xe5\xf2.\r\n"},
    {87, "The parameter is incorrect.\r\n",
     // Параметр задан неверно.
     "\xcf\xe0\xf0\xe0\xec\xe5\xf2\xf0 \xe7\xe0\xe4\xe0\xed \xed\xe5\xe2\xe5\xf0\xed\xee.\r\n"},
    {112, "There is not enough space on the disk.\r\n",
     // Недостаточно места на диске.
     "\xcd\xe5\xe4\xee\xf1\xf2\xe0\xf2\xee\xf7\xed\xee \xec\xe5\xf1\xf2\xe0 \xed\xe0 \xe4\xe8\xf1"
     "\xea\xe5.\r\n"},
    {120, "This function is not supported on this system.\r\n",
     // Эта функция не поддерживается для этой системы.
     "\xdd\xf2\xe0 \xf4\xf3\xed\xea\xf6\xe8\xff \xed\xe5 \xef\xee\xe4\xe4\xe5\xf0\xe6\xe8\xe2\xe0"
     "\xe5\xf2\xf1\xff \xe4\xeb\xff \xfd\xf2\xee\xe9 \xf1\xe8\xf1\xf2\xe5\xec\xfb.\r\n"},
    {122, "The data area passed to a system call is too small.\r\n",
     // Область данных, переданная системному вызову, слишком мала.
     "\xce\xe1\xeb\xe0\xf1\xf2\xfc \xe4\xe0\xed\xed\xfb\xf5, \xef\xe5\xf0\xe5\xe4\xe0\xed\xed\xe0"
     "\xff \xf1\xe8\xf1\xf2\xe5\xec\xed\xee\xec\xf3 \xe2\xfb\xe7\xee\xe2\xf3, \xf1\xeb\xe8\xf8\xea"
     "\xee\xec \xec\xe0\xeb\xe0.\r\n"},
    {161, "The specified path is invalid.\r\n",
     // Указан недопустимый путь.
     "\xd3\xea\xe0\xe7\xe0\xed \xed\xe5\xe4\xee\xef\xf3\xf1\xf2\xe8\xec\xfb\xe9 \xef\xf3\xf2\xfc.\r"
     "\n"},
    {183, "Cannot create a file when that file already exists.\r\n",
     // Невозможно создать файл, так как он уже существует.
     "\xcd\xe5\xe2\xee\xe7\xec\xee\xe6\xed\xee \xf1\xee\xe7\xe4\xe0\xf2\xfc \xf4\xe0\xe9\xeb, \xf2"
     "\xe0\xea \xea\xe0\xea \xee\xed \xf3\xe6\xe5 \xf1\xf3\xf9\xe5\xf1\xf2\xe2\xf3\xe5\xf2.\r\n"},
    {206, "The filename or extension is too long.\r\n",
     // Имя файла или его расширение имеет слишком большую длину.
     "\xc8\xec\xff \xf4\xe0\xe9\xeb\xe0 \xe8\xeb\xe8 \xe5\xe3\xee \xf0\xe0\xf1\xf8\xe8\xf0\xe5\xed"
     "\xe8\xe5 \xe8\xec\xe5\xe5\xf2 \xf1\xeb\xe8\xf8\xea\xee\xec \xe1\xee\xeb\xfc\xf8\xf3\xfe \xe4"
     "\xeb\xe8\xed\xf3.\r\n"},
    {258, "The wait operation timed out.\r\n",
     // Время ожидания операции истекло.
     "\xc2\xf0\xe5\xec\xff \xee\xe6\xe8\xe4\xe0\xed\xe8\xff \xee\xef\xe5\xf0\xe0\xf6\xe8\xe8 \xe8"
     "\xf1\xf2\xe5\xea\xeb\xee.\r\n"},
    {1060, "The specified service does not exist as an installed service.\r\n",
     // Указанная служба не установлена.
     "\xd3\xea\xe0\xe7\xe0\xed\xed\xe0\xff \xf1\xeb\xf3\xe6\xe1\xe0 \xed\xe5 \xf3\xf1\xf2\xe0\xed"
     "\xee\xe2\xeb\xe5\xed\xe0.\r\n"},
    {1062, "The service has not been started.\r\n",
     // Служба не запущена.
     "\xd1\xeb\xf3\xe6\xe1\xe0 \xed\xe5 \xe7\xe0\xef\xf3\xf9\xe5\xed\xe0.\r\n"},
    {1115, "A system shutdown is in progress.\r\n",
     // Идет завершение работы системы.
     "\xc8\xe4\xe5\xf2 \xe7\xe0\xe2\xe5\xf0\xf8\xe5\xed\xe8\xe5 \xf0\xe0\xe1\xee\xf2\xfb \xf1\xe8"
     "\xf1\xf2\xe5\xec\xfb.\r\n"},
    {1168, "Element not found.\r\n",
     // Элемент не найден.
     "\xdd\xeb\xe5\xec\xe5\xed\xf2 \xed\xe5 \xed\xe0\xe9\xe4\xe5\xed.\r\n"},
    {1223, "The operation was canceled by the user.\r\n",
     // Операция была отменена пользователем.
     "\xce\xef\xe5\xf0\xe0\xf6\xe8\xff \xe1\xfb\xeb\xe0 \xee\xf2\xec\xe5\xed\xe5\xed\xe0 \xef\xee"
     "\xeb\xfc\xe7\xee\xe2\xe0\xf2\xe5\xeb\xe5\xec.\r\n"},
    {1314, "A required privilege is not held by the client.\r\n",
     // Клиент не обладает требуемыми правами.
     "\xca\xeb\xe8\xe5\xed\xf2 \xed\xe5 \xee\xe1\xeb\xe0\xe4\xe0\xe5\xf2 \xf2\xf0\xe5\xe1\xf3\xe5"
     "\xec\xfb\xec\xe8 \xef\xf0\xe0\xe2\xe0\xec\xe8.\r\n"},
    {1359, "An internal error occurred.\r\n",
     // Внутренняя ошибка.
     "\xc2\xed\xf3\xf2\xf0\xe5\xed\xed\xff\xff \xee\xf8\xe8\xe1\xea\xe0.\r\n"},
    {1444, "Invalid thread identifier.\r\n",
     // Неверный идентификатор потока.
     "\xcd\xe5\xe2\xe5\xf0\xed\xfb\xe9 \xe8\xe4\xe5\xed\xf2\xe8\xf4\xe8\xea\xe0\xf2\xee\xf0 \xef\xee"
     "\xf2\xee\xea\xe0.\r\n"},
    {1460, "This operation returned because the timeout period expired.\r\n",
     // Эта операция возвратила результат, так как истекло время ожидания.
     "\xdd\xf2\xe0 \xee\xef\xe5\xf0\xe0\xf6\xe8\xff \xe2\xee\xe7\xe2\xf0\xe0\xf2\xe8\xeb\xe0 \xf0"
     "\xe5\xe7\xf3\xeb\xfc\xf2\xe0\xf2, \xf2\xe0\xea \xea\xe0\xea \xe8\xf1\xf2\xe5\xea\xeb\xee \xe2"
     "\xf0\xe5\xec\xff \xee\xe6\xe8\xe4\xe0\xed\xe8\xff.\r\n"},
};

enum class TLanguage { kEnglish, kRussian, kMissing };

// The catalogue language of a language identifier. As FormatMessageA does,
// the neutral language and the user and system defaults stand for the
// user's language, and a primary language without sublanguage matches.
TLanguage LanguageOf(uint16_t langId) {
  switch (langId) {
    case 0x0000:  // LANG_NEUTRAL
    case 0x0400:  // LANG_USER_DEFAULT
    case 0x0800:  // LANG_SYSTEM_DEFAULT
      return LanguageOf(UserLanguageId());
    case 0x0009:
    case kLangEnglishUS: return TLanguage::kEnglish;
    case 0x0019:
    case kLangRussian: return TLanguage::kRussian;
    default: return TLanguage::kMissing;
  }
}

const TCatalogueEntry* Find(uint32_t code) {
  for (const auto& entry : kCatalogue) {
    if (entry.code == code) return &entry;
  }
  return nullptr;
}

}  // namespace

uint32_t SystemMessage(uint32_t code, uint16_t langId, char* buf, uint32_t size) {
  if (buf == nullptr && size > 0) {
    SetLastError(kErrorInvalidParameter);
    return 0;
  }
  // An HRESULT of the Win32 facility carries its error code in the low word.
  if ((code & 0xFFFF0000u) == 0x80070000u) code &= 0xFFFFu;
  const TLanguage language = LanguageOf(langId);
  if (language == TLanguage::kMissing) {
    SetLastError(kErrorMuiFileNotFound);
    return 0;
  }
  const TCatalogueEntry* entry = Find(code);
  if (entry == nullptr) {
    SetLastError(kErrorMrMidNotFound);
    return 0;
  }
  const char* text = language == TLanguage::kRussian ? entry->russian : entry->english;
  const uint32_t length = static_cast<uint32_t>(std::strlen(text));
  if (length + 1 > size) {
    SetLastError(kErrorInsufficientBuffer);
    return 0;
  }
  std::memcpy(buf, text, length + 1);
  // FormatMessageA hands the text over in the user's ANSI code page: Cyrillic
  // letters have no place in code page 1252 and become question marks.
  if (language == TLanguage::kRussian && AnsiCodePage() != 1251) {
    for (uint32_t i = 0; i < length; ++i) {
      if (static_cast<unsigned char>(buf[i]) >= 0x80) buf[i] = '?';
    }
  }
  return length;
}

}  // namespace plat
