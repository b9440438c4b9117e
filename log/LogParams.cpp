// TLogParams and the event filter.

#include "LogParams.h"

#include <cstring>

#include "plat/Text.h"

namespace yx {
namespace {
constexpr unsigned kEventListGrowth = 64;
}  // namespace

int TLogEvent::Compare(const TLogEvent* other, int) const {
  return Sign(plat::TextCompare(categoryPattern.CStr(), other->categoryPattern.CStr()));
}

TLogParams::TLogParams() : events_(1, TPtrArray<TLogEvent>::kUnique, kEventListGrowth) { SetDefaults(); }

void TLogParams::SetDefaults() {
  SetTimePattern(kDefaultTimePattern);
  pid_ = true;
  tid_ = true;
  startMode_ = kStartAppend;
  flushSeconds_ = 60;
  flushLines_ = 100;
  events_.Clear();
}

void TLogParams::SetTimePattern(const char* pattern) {
  // The compiled pattern, with its formatted second, outlives a re-read of
  // the settings that keeps the pattern.
  if (std::strcmp(timePattern_.CStr(), pattern != nullptr ? pattern : "") == 0) return;
  timePattern_ = pattern;
  compiledTime_.reset();
}

bool TLogParams::AddEvent(TLogEvent* event) {
  if (events_.Add(event)) return true;
  delete event;
  return false;
}

bool TLogParams::PassesEvents(const char* category, unsigned categoryLength, const char* message,
                              unsigned messageLength) const {
  TPtrArrayIter<TLogEvent> it(events_);
  for (it.First(0); it.Valid(); it.Next()) {
    const TLogEvent* event = it.Current();
    if (FindPatternIn(category, categoryLength, event->categoryPattern.CStr(), 0, kIgnoreCase) == kNotFound)
      continue;
    if (event->messagePattern.Length() == 0) return true;
    if (FindPatternIn(message, messageLength, event->messagePattern.CStr(), 0, 0) != kNotFound) return true;
  }
  return false;
}

void TLogParams::AppendTime(const TDateTime& value, BStr* out) {
  if (const std::string* text = TimeText(value)) out->Append(text->data(), unsigned(text->size()));
}

const std::string* TLogParams::TimeText(const TDateTime& value) {
  if (compiledTime_ == nullptr) compiledTime_ = std::make_unique<TDatePattern>(timePattern_.CStr());
  return compiledTime_->Render(value, kLocaleUserDefault);
}

}  // namespace yx
