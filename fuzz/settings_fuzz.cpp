// Fuzz target of the settings file: parsing, applying it to a logger's
// parameters, and using the parameters it gives.
//
// Input: the bytes of a settings file.
//
// The text is parsed with TSettingsFile::Parse and, as the readers do,
// applied by sections when it has a section header and in the line format
// otherwise, to fresh TLogParams. Properties held for every input:
// - the image agrees with a plain reading of the text: the same sections
//   (names equal without regard to case merged), and in each the same
//   key=value items, held in key order and found by key;
// - a UTF-8 byte-order mark at the start is no part of the text;
// - each parameter is its default or what the file's last item for it says;
// - the event list holds one entry per distinct category pattern, in order,
//   each with the message of the file's last item (or "+" line) of exactly
//   that category pattern;
// - PassesEvents agrees with matching the entries one by one, and a record
//   whose category and message are an entry's plain patterns passes;
// - AppendTime appends exactly what Format gives for the time pattern, also
//   when its compiled pattern is reused, and the default pattern gives the
//   text of the log lines.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "BStr.h"
#include "DateTime.h"
#include "FuzzCheck.h"
#include "LogParams.h"
#include "Settings.h"
#include "plat/Text.h"

namespace yx {
namespace {

using fuzz::Escaped;
using fuzz::Fail;

using TPairs = std::vector<std::pair<std::string, std::string>>;

struct TRefSection {
  std::string name;
  TPairs items;
};

// The text read plainly: lines between runs of CR and LF up to the first
// zero byte; "[name]" lines open or continue a section (names equal without
// regard to case); any other line is key=value, split at its first "=".
struct TRefFile {
  std::vector<TRefSection> sections;
  bool hasHeader = false;

  explicit TRefFile(const std::string& text) {
    TRefSection* current = nullptr;
    for (const std::string& line : Lines(text)) {
      if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
        std::string name = line.substr(1, line.size() - 2);
        const size_t first = name.find_first_not_of(" \t");
        name = first == std::string::npos ? "" : name.substr(first, name.find_last_not_of(" \t") - first + 1);
        current = &Section(name);
        hasHeader = true;
        continue;
      }
      if (current == nullptr) current = &Section("");
      const size_t equals = line.find('=');
      if (equals == std::string::npos) {
        current->items.emplace_back(line, "");
      } else {
        current->items.emplace_back(line.substr(0, equals), line.substr(equals + 1));
      }
    }
  }

  static std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string body = text.substr(0, text.find('\0'));
    if (body.rfind("\xEF\xBB\xBF", 0) == 0) body.erase(0, 3);
    size_t p = 0;
    while (p < body.size()) {
      const size_t end = std::min(body.find_first_of("\r\n", p), body.size());
      if (end > p) lines.push_back(body.substr(p, end - p));
      p = body.find_first_not_of("\r\n", end);
      if (p == std::string::npos) break;
    }
    return lines;
  }

  TRefSection& Section(const std::string& name) {
    for (TRefSection& s : sections) {
      if (plat::TextCompareNoCase(s.name.c_str(), name.c_str()) == 0) return s;
    }
    sections.push_back({name, {}});
    return sections.back();
  }

  const TRefSection* Find(const char* name) const {
    for (const TRefSection& s : sections) {
      if (plat::TextCompareNoCase(s.name.c_str(), name) == 0) return &s;
    }
    return nullptr;
  }
};

// atol of a 32-bit runtime: strtoll's reading, saturated to 32 bits.
int32_t RefAtol(const char* text) {
  const long long v = std::strtoll(text, nullptr, 10);
  return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : int32_t(v);
}

// The bytes of a BStr (its == compares in the user's locale).
std::string Text(const BStr& text) { return std::string(text.CStr(), text.Length()); }

std::string TurnedCase(std::string text) {
  for (char& c : text) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) c = char(c ^ 0x20);
  }
  return text;
}

bool IsPlain(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  });
}

class TChecker {
 public:
  // `raw` is the input itself, `size` bytes without a terminating zero, so
  // that a sanitizer sees any read past its end.
  TChecker(const char* raw, size_t size) : raw_(raw), text_(raw, size), ref_(text_) {}

  void Run() {
    file_.Parse(raw_, uint32_t(text_.size()));
    CheckImage();
    if (file_.HasHeader()) {
      const TSettingsOutcome outcome = ApplySections(file_, &params_);
      CheckSections(outcome);
    } else {
      ApplyLines(raw_, uint32_t(text_.size()), &params_);
      CheckLines();
    }
    CheckEventList();
    CheckFilter();
    CheckTime();
  }

 private:
  [[noreturn]] void Report(const char* what, const std::string& detail = "") const {
    Fail("settings: %s%s\n  file \"%s\"", what, detail.c_str(), Escaped(text_).c_str());
  }

  void CheckImage() const {
    if (file_.HasHeader() != ref_.hasHeader) Report("header flag");
    if (file_.SectionCount() != ref_.sections.size()) Report("section count");
    for (const TRefSection& r : ref_.sections) {
      const TSettingsSection* s = file_.FindSection(r.name.c_str());
      if (s == nullptr) Report("section not found: ", Escaped(r.name));
      if (plat::TextCompareNoCase(s->Name().CStr(), r.name.c_str()) != 0) {
        Report("other section found: ", Escaped(r.name));
      }
      if (s->ItemCount() != r.items.size()) Report("item count of section ", Escaped(r.name));
      TPairs held;
      for (unsigned i = 0; i < s->ItemCount(); ++i) {
        const TSettingsItem* item = s->Item(i);
        if (i > 0 && plat::TextCompareNoCase(s->Item(i - 1)->Key().CStr(), item->Key().CStr()) > 0) {
          Report("items out of key order in section ", Escaped(r.name));
        }
        held.emplace_back(item->Key().CStr(), item->Value().CStr());
      }
      bool raised = false;
      try {
        s->Item(s->ItemCount());
      } catch (const EOutOfRange&) {
        raised = true;
      }
      if (!raised) Report("item past the count did not raise");
      TPairs expected = r.items;
      std::sort(held.begin(), held.end());
      std::sort(expected.begin(), expected.end());
      if (held != expected) Report("items differ in section ", Escaped(r.name));
      for (const auto& [key, value] : r.items) {
        const TSettingsItem* item = s->FindItem(key.c_str());
        if (item == nullptr) Report("item not found: ", Escaped(key));
        if (plat::TextCompareNoCase(item->Key().CStr(), key.c_str()) != 0) {
          Report("other item found: ", Escaped(key));
        }
      }
    }
    for (const char* name : {"Prms", "Evts", "", "No such section"}) {
      if ((file_.FindSection(name) != nullptr) != (ref_.Find(name) != nullptr)) {
        Report("lookup of section ", name);
      }
    }
  }

  // The value the library took for `key` of Prms, checked to be one of the
  // file's values for it; null when the file has none.
  const char* PrmsValue(const char* key) const {
    const TRefSection* r = ref_.Find("Prms");
    const TSettingsSection* s = file_.FindSection("Prms");
    const TSettingsItem* item = s != nullptr ? s->FindItem(key) : nullptr;
    bool inFile = false;
    bool sameValue = false;  // as the last of the file's items for the key
    for (const auto& [k, v] : r != nullptr ? r->items : TPairs()) {
      if (plat::TextCompareNoCase(k.c_str(), key) != 0) continue;
      inFile = true;
      sameValue = item != nullptr && v == item->Value().CStr();
    }
    if (inFile != (item != nullptr) || (inFile && !sameValue)) Report("Prms lookup of ", key);
    return item != nullptr ? item->Value().CStr() : nullptr;
  }

  void CheckSections(const TSettingsOutcome& outcome) const {
    const char* pattern = PrmsValue("TmFrmt");
    if (Text(params_.TimePattern()) != (pattern != nullptr ? pattern : kDefaultTimePattern)) Report("TmFrmt");
    const char* pid = PrmsValue("PID");
    if (params_.PidFlag() != (pid == nullptr || plat::TextCompareNoCase(pid, "On") == 0)) Report("PID");
    const char* tid = PrmsValue("TID");
    if (params_.TidFlag() != (tid == nullptr || plat::TextCompareNoCase(tid, "On") == 0)) Report("TID");
    int32_t mode = kStartAppend;
    if (const char* v = PrmsValue("StrtMd")) {
      if (plat::TextCompareNoCase(v, "APPEND") == 0) {
        mode = kStartAppend;
      } else if (plat::TextCompareNoCase(v, "OVRWRT") == 0) {
        mode = kStartOverwrite;
      } else if (plat::TextCompareNoCase(v, "NEW") == 0) {
        mode = kStartNew;
      }
    }
    if (params_.StartMode() != mode) Report("StrtMd");
    const char* seconds = PrmsValue("FlshSec");
    if (params_.FlushSeconds() != (seconds != nullptr ? RefAtol(seconds) : 60)) Report("FlshSec");
    const char* lines = PrmsValue("FlshLns");
    if (params_.FlushLines() != (lines != nullptr ? RefAtol(lines) : 100)) Report("FlshLns");
    const char* period = PrmsValue("PrmsRd");
    if (outcome.rereadPeriod != (period != nullptr ? RefAtol(period) : 0)) Report("PrmsRd");

    const TRefSection* evts = ref_.Find("Evts");
    CheckEvents(evts != nullptr ? evts->items : TPairs());
  }

  void CheckLines() const {
    TPairs events;
    bool immediate = false;
    for (const std::string& line : TRefFile::Lines(text_)) {
      std::string kept;
      for (const char c : line) {
        if (c != ' ' && kept.size() < 4) kept += c;
      }
      if (!kept.empty() && kept[0] == '+') events.emplace_back(kept.substr(1), "");
      if (!kept.empty() && kept[0] == '!' && plat::TextCompareNoCase(kept.c_str() + 1, "IMM") == 0) {
        immediate = true;
      }
    }
    if (params_.FlushLines() != (immediate ? 1 : 100)) Report("!IMM");
    if (Text(params_.TimePattern()) != kDefaultTimePattern || !params_.PidFlag() || !params_.TidFlag() ||
        params_.StartMode() != kStartAppend || params_.FlushSeconds() != 60) {
      Report("line format changed a parameter it has no line for");
    }
    CheckEvents(events);
  }

  // The event list holds one entry per category pattern of `items` that is
  // distinct as lstrcmpA compares, each with the message of such an item.
  void CheckEvents(const TPairs& items) const {
    std::vector<std::string> distinct;
    for (const auto& item : items) {
      const bool seen = std::any_of(distinct.begin(), distinct.end(), [&](const std::string& d) {
        return plat::TextCompare(d.c_str(), item.first.c_str()) == 0;
      });
      if (!seen) distinct.push_back(item.first);
    }
    const TPtrArray<TLogEvent>& events = params_.Events();
    if (events.Count() != distinct.size()) {
      Report("event count ", std::to_string(events.Count()) + " for " + std::to_string(distinct.size()));
    }
    for (unsigned i = 0; i < events.Count(); ++i) {
      const TLogEvent* e = events.At(i);
      const std::pair<std::string, std::string> held(e->categoryPattern.CStr(), e->messagePattern.CStr());
      const auto last = std::find_if(items.rbegin(), items.rend(), [&](const auto& item) {
        return plat::TextCompare(item.first.c_str(), held.first.c_str()) == 0;
      });
      if (last == items.rend() || *last != held) {
        Report("event not the file's last of its category: ",
               Escaped(held.first) + "=" + Escaped(held.second));
      }
    }
  }

  void CheckEventList() const {
    const TPtrArray<TLogEvent>& events = params_.Events();
    for (unsigned i = 1; i < events.Count(); ++i) {
      if (plat::TextCompare(events.At(i - 1)->categoryPattern.CStr(), events.At(i)->categoryPattern.CStr()) >=
          0) {
        Report("event list not in strict order at ", std::to_string(i));
      }
    }
  }

  bool Passes(const BStr& category, const BStr& message) const {
    const TPtrArray<TLogEvent>& events = params_.Events();
    for (unsigned i = 0; i < events.Count(); ++i) {
      const TLogEvent* e = events.At(i);
      if (category.FindPattern(e->categoryPattern.CStr(), 0, kIgnoreCase) == kNotFound) continue;
      if (e->messagePattern.Length() == 0 ||
          message.FindPattern(e->messagePattern.CStr(), 0, 0) != kNotFound) {
        return true;
      }
    }
    return false;
  }

  void CheckFilter() const {
    std::vector<BStr> categories = {BStr("AP."), BStr("WP."), BStr("ap"), BStr("")};
    std::vector<BStr> messages = {BStr("fail"), BStr("err 42"), BStr("")};
    const TPtrArray<TLogEvent>& events = params_.Events();
    // The entries' own patterns as records, also with the case of their
    // ASCII letters turned, which the message match must notice.
    for (unsigned i = 0; i < events.Count() && i < 6; ++i) {
      categories.push_back(events.At(i)->categoryPattern);
      messages.push_back(events.At(i)->messagePattern);
      messages.push_back(BStr(TurnedCase(Text(events.At(i)->messagePattern)).c_str()));
    }
    for (const BStr& category : categories) {
      for (const BStr& message : messages) {
        if (params_.PassesEvents(category, message) != Passes(category, message)) {
          Report("PassesEvents for ", Escaped(category.CStr()) + " / " + Escaped(message.CStr()));
        }
      }
    }
    for (unsigned i = 0; i < events.Count(); ++i) {
      const TLogEvent* e = events.At(i);
      if (e->categoryPattern.Length() == 0 || !IsPlain(e->categoryPattern.CStr()) ||
          !IsPlain(e->messagePattern.CStr())) {
        continue;
      }
      if (!params_.PassesEvents(e->categoryPattern, e->messagePattern)) {
        Report("a record of an entry's own plain patterns did not pass: ",
               Escaped(e->categoryPattern.CStr()));
      }
    }
  }

  void CheckTime() {
    TDateTime first;
    first.Set(2005, 3, 7, 9, 5, 3, 45);
    TDateTime second;
    second.Set(2005, 12, 31, 23, 59, 7, 5);
    for (const TDateTime* value : {&first, &second, &second, &first}) {
      BStr line("prefix|");
      params_.AppendTime(*value, &line);
      const std::string expected =
          std::string("prefix|") + value->Format(params_.TimePattern().CStr(), kLocaleUserDefault).CStr();
      if (Text(line) != expected) {
        Report("AppendTime gave ", Escaped(line.CStr()) + " for " + Escaped(expected));
      }
    }
    if (Text(params_.TimePattern()) == kDefaultTimePattern) {
      BStr line;
      params_.AppendTime(first, &line);
      if (Text(line) != "07.03.2005 09:05:03.045") Report("default time pattern gave ", Escaped(line.CStr()));
    }
    BStr none("x");
    params_.AppendTime(TDateTime(), &none);
    if (Text(none) != "x") Report("AppendTime of an empty value appended ", Escaped(none.CStr()));
  }

  const char* raw_;
  const std::string text_;
  const TRefFile ref_;
  TSettingsFile file_;
  TLogParams params_;
};

}  // namespace
}  // namespace yx

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char kNothing = 0;
  yx::TChecker checker(data != nullptr ? reinterpret_cast<const char*>(data) : &kNothing, size);
  checker.Run();
  return 0;
}
