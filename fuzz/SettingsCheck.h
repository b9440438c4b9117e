// A reference reading of the settings file and the properties the library
// must hold against it for any text (image, parameters, events, filter and
// time stamps); shared by the settings fuzz target and the logger's model test.
#pragma once

#include <algorithm>
#include <cctype>
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
namespace settings_check {

using TPairs = std::vector<std::pair<std::string, std::string>>;

struct TRefSection {
  std::string name;
  TPairs items;
};

inline bool SameNoCase(const std::string& a, const char* b) {
  return plat::TextCompareNoCase(a.c_str(), b) == 0;
}

// The lines of a text: between runs of CR and LF, up to the first zero byte,
// after a byte-order mark.
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string body = text.substr(0, text.find('\0'));
  if (body.rfind("\xEF\xBB\xBF", 0) == 0) body.erase(0, 3);
  for (size_t p = body.find_first_not_of("\r\n"); p != std::string::npos;
       p = body.find_first_not_of("\r\n", p)) {
    const size_t end = std::min(body.find_first_of("\r\n", p), body.size());
    lines.push_back(body.substr(p, end - p));
    p = end;
  }
  return lines;
}

// The text read plainly: "[name]" lines open or continue a section; any
// other line is key=value, split at its first "=".
struct TRefFile {
  std::vector<TRefSection> sections;
  bool hasHeader = false;

  explicit TRefFile(const std::string& text) {
    TRefSection* current = nullptr;
    for (const std::string& line : Lines(text)) {
      if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
        const std::string inner = line.substr(1, line.size() - 2);
        const size_t first = inner.find_first_not_of(" \t");
        current = &Section(
            first == std::string::npos ? "" : inner.substr(first, inner.find_last_not_of(" \t") - first + 1));
        hasHeader = true;
        continue;
      }
      if (current == nullptr) current = &Section("");
      const size_t equals = line.find('=');
      current->items.emplace_back(line.substr(0, equals),
                                  equals == std::string::npos ? "" : line.substr(equals + 1));
    }
  }

  TRefSection& Section(const std::string& name) {
    if (const TRefSection* s = Find(name.c_str())) return const_cast<TRefSection&>(*s);
    sections.push_back({name, {}});
    return sections.back();
  }

  const TRefSection* Find(const char* name) const {
    for (const TRefSection& s : sections) {
      if (SameNoCase(s.name, name)) return &s;
    }
    return nullptr;
  }

  // The value of the last item of `key` in section Prms, or null.
  const std::string* Prms(const char* key) const {
    const TRefSection* prms = Find("Prms");
    const std::string* value = nullptr;
    if (prms == nullptr) return nullptr;
    for (const auto& [k, v] : prms->items) {
      if (SameNoCase(k, key)) value = &v;
    }
    return value;
  }
};

// atol of a 32-bit runtime: strtoll's reading, saturated to 32 bits.
inline int32_t RefAtol(const std::string& text) {
  const long long v = std::strtoll(text.c_str(), nullptr, 10);
  return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : int32_t(v);
}

// The bytes of a BStr (its == compares in the user's locale).
inline std::string Text(const BStr& text) { return std::string(text.CStr(), text.Length()); }

class TChecker {
 public:
  // `raw` is the input itself, `size` bytes without a terminating zero, so
  // that a sanitizer sees any read past its end.
  TChecker(const char* raw, size_t size) : raw_(raw), text_(raw, size), ref_(text_) {}

  // The first property the library breaks for this text, or "".
  std::string Run() {
    try {
      file_.Parse(raw_, uint32_t(text_.size()));
      CheckImage();
      if (file_.HasHeader()) {
        CheckSections(ApplySections(file_, &params_).rereadPeriod);
      } else {
        ApplyLines(raw_, uint32_t(text_.size()), &params_);
        CheckLines();
      }
      CheckFilter();
      CheckTime();
    } catch (const std::string& broken) {
      return broken + "\n  file \"" + fuzz::Escaped(text_) + "\"";
    }
    return "";
  }

 private:
  static void Expect(bool holds, const std::string& what, const std::string& detail = "") {
    if (!holds) throw what + fuzz::Escaped(detail);
  }

  void CheckImage() const {
    Expect(file_.HasHeader() == ref_.hasHeader, "header flag");
    Expect(file_.SectionCount() == ref_.sections.size(), "section count");
    for (const TRefSection& r : ref_.sections) {
      const TSettingsSection* s = file_.FindSection(r.name.c_str());
      Expect(s != nullptr && SameNoCase(r.name, s->Name().CStr()), "section not found: ", r.name);
      TPairs held;
      for (unsigned i = 0; i < s->ItemCount(); ++i) {
        Expect(i == 0 || plat::TextCompareNoCase(s->Item(i - 1)->Key().CStr(), s->Item(i)->Key().CStr()) <= 0,
               "items out of key order in section ", r.name);
        held.emplace_back(Text(s->Item(i)->Key()), Text(s->Item(i)->Value()));
      }
      TPairs expected = r.items;
      std::sort(held.begin(), held.end());
      std::sort(expected.begin(), expected.end());
      Expect(held == expected, "items differ in section ", r.name);
      for (const auto& item : r.items) {
        const TSettingsItem* found = s->FindItem(item.first.c_str());
        Expect(found != nullptr && SameNoCase(item.first, found->Key().CStr()),
               "item not found: ", item.first);
      }
    }
    for (const char* name : {"Prms", "Evts", "", "No such section"}) {
      Expect((file_.FindSection(name) != nullptr) == (ref_.Find(name) != nullptr), "lookup of section ",
             name);
    }
  }

  void CheckSections(int32_t period) const {
    const std::string* pattern = ref_.Prms("TmFrmt");
    Expect(Text(params_.TimePattern()) == (pattern != nullptr ? *pattern : kDefaultTimePattern), "TmFrmt");
    auto flag = [&](const char* key) {
      return ref_.Prms(key) == nullptr || SameNoCase(*ref_.Prms(key), "On");
    };
    auto number = [&](const char* key, int32_t fallback) {
      return ref_.Prms(key) != nullptr ? RefAtol(*ref_.Prms(key)) : fallback;
    };
    Expect(params_.PidFlag() == flag("PID"), "PID");
    Expect(params_.TidFlag() == flag("TID"), "TID");
    int32_t mode = kStartAppend;
    if (const std::string* v = ref_.Prms("StrtMd")) {
      const char* const names[] = {"APPEND", "OVRWRT", "NEW"};
      for (int32_t m = 2; m >= 0; --m) {
        if (SameNoCase(*v, names[m])) mode = m;
      }
    }
    Expect(params_.StartMode() == mode, "StrtMd");
    Expect(params_.FlushSeconds() == number("FlshSec", 60), "FlshSec");
    Expect(params_.FlushLines() == number("FlshLns", 100), "FlshLns");
    Expect(period == number("PrmsRd", 0), "PrmsRd");
    const TRefSection* evts = ref_.Find("Evts");
    CheckEvents(evts != nullptr ? evts->items : TPairs());
  }

  // Of each line the first four characters other than blanks: "+XYZ" is an
  // event of category pattern XYZ, "!IMM" in any case sets flush lines 1.
  void CheckLines() const {
    TPairs events;
    bool immediate = false;
    for (const std::string& line : Lines(text_)) {
      std::string kept;
      for (const char c : line) {
        if (c != ' ' && kept.size() < 4) kept += c;
      }
      if (!kept.empty() && kept[0] == '+') events.emplace_back(kept.substr(1), "");
      if (!kept.empty() && kept[0] == '!' && SameNoCase(kept.substr(1), "IMM")) immediate = true;
    }
    Expect(params_.FlushLines() == (immediate ? 1 : 100), "!IMM");
    Expect(Text(params_.TimePattern()) == kDefaultTimePattern && params_.PidFlag() && params_.TidFlag() &&
               params_.StartMode() == kStartAppend && params_.FlushSeconds() == 60,
           "line format changed a parameter it has no line for");
    CheckEvents(events);
  }

  // One entry per category pattern of `items` distinct as lstrcmpA compares,
  // in strict order, each with the message of the last such item.
  void CheckEvents(const TPairs& items) const {
    std::vector<std::string> distinct;
    for (const auto& item : items) {
      if (std::none_of(distinct.begin(), distinct.end(), [&](const std::string& d) {
            return plat::TextCompare(d.c_str(), item.first.c_str()) == 0;
          })) {
        distinct.push_back(item.first);
      }
    }
    const TPtrArray<TLogEvent>& events = params_.Events();
    Expect(events.Count() == distinct.size(), "event count");
    for (unsigned i = 0; i < events.Count(); ++i) {
      const TLogEvent* e = events.At(i);
      Expect(i == 0 ||
                 plat::TextCompare(events.At(i - 1)->categoryPattern.CStr(), e->categoryPattern.CStr()) < 0,
             "event list not in strict order");
      const auto last = std::find_if(items.rbegin(), items.rend(), [&](const auto& item) {
        return plat::TextCompare(item.first.c_str(), e->categoryPattern.CStr()) == 0;
      });
      Expect(
          last != items.rend() && *last == std::make_pair(Text(e->categoryPattern), Text(e->messagePattern)),
          "event not the file's last of its category: ", Text(e->categoryPattern));
    }
  }

  bool Passes(const BStr& category, const BStr& message) const {
    const TPtrArray<TLogEvent>& events = params_.Events();
    for (unsigned i = 0; i < events.Count(); ++i) {
      const TLogEvent* e = events.At(i);
      if (category.FindPattern(e->categoryPattern.CStr(), 0, kIgnoreCase) != kNotFound &&
          (e->messagePattern.Length() == 0 ||
           message.FindPattern(e->messagePattern.CStr(), 0, 0) != kNotFound)) {
        return true;
      }
    }
    return false;
  }

  void CheckFilter() const {
    auto plain = [](const BStr& text) {
      return std::all_of(text.CStr(), text.CStr() + text.Length(),
                         [](char c) { return std::isalnum(uint8_t(c)); });
    };
    std::vector<BStr> categories = {BStr("AP."), BStr("WP."), BStr("ap"), BStr("")};
    std::vector<BStr> messages = {BStr("fail"), BStr("err 42"), BStr("")};
    const TPtrArray<TLogEvent>& events = params_.Events();
    // The entries' own patterns as records, also with the case of their
    // ASCII letters turned, which the message match must notice.
    for (unsigned i = 0; i < events.Count() && i < 6; ++i) {
      categories.push_back(events.At(i)->categoryPattern);
      messages.push_back(events.At(i)->messagePattern);
      std::string turned = Text(events.At(i)->messagePattern);
      for (char& c : turned) {
        if (std::isalpha(uint8_t(c)) && uint8_t(c) < 0x80) c = char(c ^ 0x20);
      }
      messages.push_back(BStr(turned.c_str()));
    }
    for (const BStr& category : categories) {
      for (const BStr& message : messages) {
        Expect(params_.PassesEvents(category, message) == Passes(category, message), "PassesEvents for ",
               Text(category) + " / " + Text(message));
      }
    }
    for (unsigned i = 0; i < events.Count(); ++i) {
      const TLogEvent* e = events.At(i);
      Expect(e->categoryPattern.Length() == 0 || !plain(e->categoryPattern) || !plain(e->messagePattern) ||
                 params_.PassesEvents(e->categoryPattern, e->messagePattern),
             "a record of an entry's own plain patterns did not pass: ", Text(e->categoryPattern));
    }
  }

  void CheckTime() {
    TDateTime first, second;
    first.Set(2005, 3, 7, 9, 5, 3, 45);
    second.Set(2005, 12, 31, 23, 59, 7, 5);
    for (const TDateTime* value : {&first, &second, &second, &first}) {
      BStr line("prefix|");
      params_.AppendTime(*value, &line);
      Expect(Text(line) == "prefix|" + Text(value->Format(params_.TimePattern().CStr(), kLocaleUserDefault)),
             "AppendTime gave ", Text(line));
    }
    BStr none("x");
    params_.AppendTime(TDateTime(), &none);
    Expect(Text(none) == "x", "AppendTime of an empty value appended ", Text(none));
  }

  const char* raw_;
  const std::string text_;
  const TRefFile ref_;
  TSettingsFile file_;
  TLogParams params_;
};

}  // namespace settings_check
}  // namespace yx
