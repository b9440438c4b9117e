// The settings file: loading, parsing, the two readers and the application
// of the keys.

#include "Settings.h"

#include <climits>

#include "Log.h"
#include "plat/Error.h"
#include "plat/File.h"
#include "plat/Text.h"

namespace yx {
namespace {

constexpr unsigned kSettingsGrowth = 64;

bool IsBlankOrTab(char c) { return c == ' ' || c == '\t'; }

// Whether a read failed only because another program holds the file: the
// settings in force are then kept.
bool IsTransient(uint32_t code) {
  return code == plat::kErrorSharingViolation || code == plat::kErrorLockViolation;
}

// The n bytes at p as a string; the bytes need no terminating zero.
BStr Slice(const char* p, unsigned n) {
  BStr text;
  if (n != 0) text.Insert(p, 0, n);
  return text;
}

// Calls line(begin, end) for every non-empty line of the text up to `size`
// bytes or its first zero byte; any run of CR and LF ends a line.
template <class LineFn>
void ForEachLine(const char* text, uint32_t size, LineFn line) {
  const char* end = text;
  while (end < text + size && *end != '\0') ++end;
  const char* p = text;
  while (p < end) {
    const char* start = p;
    while (p < end && *p != '\r' && *p != '\n') ++p;
    if (p > start) line(start, p);
    while (p < end && (*p == '\r' || *p == '\n')) ++p;
  }
}

}  // namespace

int32_t Atol32(const char* text) {
  if (text == nullptr) return 0;
  while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  int64_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    value = value * 10 + (*text - '0');
    if (value > int64_t(INT32_MAX) + 1) value = int64_t(INT32_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return int32_t(value);
}

// ---------------------------------------------------------------------------
// Image of the file

int TSettingsItem::Compare(const TSettingsItem* other, int mode) const {
  return mode == 1 ? plat::TextCompareNoCase(key_.CStr(), other->key_.CStr()) : 0;
}

TSettingsSection::TSettingsSection(const char* name) : name_(name), items_(1, 0, kSettingsGrowth) {}

int TSettingsSection::Compare(const TSettingsSection* other, int mode) const {
  return mode == 1 ? plat::TextCompareNoCase(name_.CStr(), other->name_.CStr()) : 0;
}

const TSettingsItem* TSettingsSection::FindItem(const char* key) const {
  unsigned at = 0;
  if (!items_.SearchBy(&at, kEqual, [&](const TSettingsItem* item) {
        return plat::TextCompareNoCase(item->Key().CStr(), key);
      })) {
    return nullptr;
  }
  return items_.At(at);
}

TSettingsFile::TSettingsFile() : sections_(1, TPtrArray<TSettingsSection>::kUnique, kSettingsGrowth) {}

const TSettingsSection* TSettingsFile::FindSection(const char* name) const {
  unsigned at = 0;
  if (!sections_.SearchBy(&at, kEqual, [&](const TSettingsSection* section) {
        return plat::TextCompareNoCase(section->Name().CStr(), name);
      })) {
    return nullptr;
  }
  return sections_.At(at);
}

TSettingsSection* TSettingsFile::Section(const char* name) {
  if (const TSettingsSection* found = FindSection(name)) return const_cast<TSettingsSection*>(found);
  auto* section = new TSettingsSection(name);
  if (!sections_.Add(section)) {
    delete section;
    return const_cast<TSettingsSection*>(FindSection(name));
  }
  return section;
}

void TSettingsFile::Parse(const char* text, uint32_t size) {
  sections_.Clear();
  hasHeader_ = false;
  TSettingsSection* current = nullptr;
  ForEachLine(text, size, [&](const char* begin, const char* end) {
    if (*begin == '[' && end[-1] == ']' && end - begin >= 2) {
      const char* nameBegin = begin + 1;
      const char* nameEnd = end - 1;
      while (nameBegin < nameEnd && IsBlankOrTab(*nameBegin)) ++nameBegin;
      while (nameEnd > nameBegin && IsBlankOrTab(nameEnd[-1])) --nameEnd;
      current = Section(Slice(nameBegin, unsigned(nameEnd - nameBegin)).CStr());
      hasHeader_ = true;
      return;
    }
    if (current == nullptr) current = Section("");
    const char* equals = begin;
    while (equals < end && *equals != '=') ++equals;
    const char* value = equals < end ? equals + 1 : end;
    current->AddItem(
        new TSettingsItem(Slice(begin, unsigned(equals - begin)), Slice(value, unsigned(end - value))));
  });
}

uint32_t ReadWholeFile(const char* fileName, TCharBuffer* buffer, uint32_t* size) {
  *size = 0;
  plat::FileHandle file = nullptr;
  if (uint32_t code =
          plat::OpenFile(fileName, plat::kGenericRead, plat::kFileShareRead, plat::kOpenExisting, &file)) {
    return code;
  }
  uint64_t fileSize = 0;
  uint32_t code = plat::FileSize(file, &fileSize);
  if (code == 0 && fileSize >= 0x7FFFFFF0u) code = plat::kErrorNotEnoughMemory;
  if (code == 0) {
    buffer->Alloc(uint32_t(fileSize) + 1);
    uint32_t done = 0;
    code = plat::ReadAll(file, buffer->Chars(), uint32_t(fileSize), &done);
    if (code == 0) {
      buffer->Chars()[done] = '\0';
      *size = done;
    }
  }
  plat::CloseFile(file);
  return code;
}

uint32_t TSettingsFile::Load(const char* fileName) {
  TCharBuffer text;
  uint32_t size = 0;
  if (uint32_t code = ReadWholeFile(fileName, &text, &size)) return code;
  Parse(text.Chars(), size);
  return 0;
}

// ---------------------------------------------------------------------------
// Applying the keys

TSettingsOutcome ApplySections(const TSettingsFile& file, TLogParams* params) {
  TSettingsOutcome outcome;
  if (const TSettingsSection* prms = file.FindSection("Prms")) {
    auto value = [&](const char* key) -> const char* {
      const TSettingsItem* item = prms->FindItem(key);
      return item != nullptr ? item->Value().CStr() : nullptr;
    };
    if (const char* v = value("TmFrmt")) params->SetTimePattern(v);
    if (const char* v = value("PID")) params->SetPidFlag(plat::TextCompareNoCase(v, "On") == 0);
    if (const char* v = value("TID")) params->SetTidFlag(plat::TextCompareNoCase(v, "On") == 0);
    if (const char* v = value("StrtMd")) {
      const char* modes[3] = {"APPEND", "OVRWRT", "NEW"};
      for (int32_t mode = 0; mode < 3; ++mode) {
        if (plat::TextCompareNoCase(v, modes[mode]) == 0) {
          params->SetStartMode(mode);
          break;
        }
      }
    }
    if (const char* v = value("FlshSec")) params->SetFlushSeconds(Atol32(v));
    if (const char* v = value("FlshLns")) params->SetFlushLines(Atol32(v));
    if (const char* v = value("PrmsRd")) outcome.rereadPeriod = Atol32(v);
  }
  if (const TSettingsSection* evts = file.FindSection("Evts")) {
    for (unsigned i = 0; i < evts->ItemCount(); ++i) {
      const TSettingsItem* item = evts->Item(i);
      params->AddEvent(new TLogEvent(item->Key().CStr(), item->Value().CStr()));
    }
  }
  return outcome;
}

void ApplyLines(const char* text, uint32_t size, TLogParams* params) {
  ForEachLine(text, size, [&](const char* begin, const char* end) {
    char kept[5] = {};
    int n = 0;
    for (const char* p = begin; p < end && n < 4; ++p) {
      if (*p != ' ') kept[n++] = *p;
    }
    if (kept[0] == '+') {
      params->AddEvent(new TLogEvent(kept + 1, ""));
    } else if (kept[0] == '!' && plat::TextCompareNoCase(kept + 1, "IMM") == 0) {
      params->SetFlushLines(1);
    }
  });
}

// ---------------------------------------------------------------------------
// Readers

bool TSettingsReader::SettingsChanged() const {
  plat::SystemTime fileTime{};
  if (plat::LastWriteTimeLocal(log_->SettingsFileName().CStr(), &fileTime) != 0) return true;
  const TDateTime changed(fileTime);
  TDateTime& stored = log_->StoredSettingsTime();
  return stored.IsEmpty() || !changed.IsValid() || changed.IsLater(stored);
}

uint32_t TSettingsReader::Read() {
  if (!SettingsChanged()) return 0;
  TCharBuffer text;
  uint32_t size = 0;
  const uint32_t code = ReadWholeFile(log_->SettingsFileName().CStr(), &text, &size);
  if (code != 0 && IsTransient(code)) return code;
  log_->Params().SetDefaults();
  if (code != 0) return code;
  ApplyLines(text.Chars(), size, &log_->Params());
  return 0;
}

uint32_t TSectionSettingsReader::Read() {
  if (!SettingsChanged()) return 0;
  TSettingsFile file;
  const uint32_t code = file.Load(log_->SettingsFileName().CStr());
  if (code != 0) {
    if (!IsTransient(code)) log_->Params().SetDefaults();
    return code;
  }
  if (!file.HasHeader()) return kNoSectionHeader;
  log_->Params().SetDefaults();
  const TSettingsOutcome outcome = ApplySections(file, &log_->Params());
  if (outcome.rereadPeriod != 0) {
    log_->SetRereadPeriod(outcome.rereadPeriod);
    log_->StoredSettingsTime().SetNow();
  }
  return 0;
}

}  // namespace yx
