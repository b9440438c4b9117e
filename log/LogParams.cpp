// TLogParams and the event filter.

#include "LogParams.h"

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
  timePattern_ = kDefaultTimePattern;
  pid_ = true;
  tid_ = true;
  startMode_ = kStartAppend;
  flushSeconds_ = 60;
  flushLines_ = 100;
  events_.Clear();
}

bool TLogParams::AddEvent(TLogEvent* event) {
  if (events_.Add(event)) return true;
  delete event;
  return false;
}

bool TLogParams::PassesEvents(const BStr& category, const BStr& message) const {
  TPtrArrayIter<TLogEvent> it(events_);
  for (it.First(0); it.Valid(); it.Next()) {
    const TLogEvent* event = it.Current();
    if (category.FindPattern(event->categoryPattern.CStr(), 0, kIgnoreCase) == kNotFound) continue;
    if (event->messagePattern.Length() == 0) return true;
    if (message.FindPattern(event->messagePattern.CStr(), 0, 0) != kNotFound) return true;
  }
  return false;
}

void TLogParams::AppendTime(const TDateTime& value, BStr* out) {
  if (compiledTime_ == nullptr || compiledTime_->Source() != timePattern_.CStr()) {
    compiledTime_ = std::make_unique<TDatePattern>(timePattern_.CStr());
  }
  compiledTime_->Append(value, kLocaleUserDefault, out);
}

}  // namespace yx
