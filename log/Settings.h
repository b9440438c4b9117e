// The settings file: its in-memory image (sections of key=value items), the
// reading of the sectioned format and of the older line format, and their
// application to a logger's parameters.
//
// Sectioned format: lines end at any run of CR and LF; "[name]" (first and
// last character of the line) starts or continues a section, the name
// trimmed of blanks and tabs and compared without regard to case; any other
// line is an item "key=value" split at its first "=" (a line without "=" is
// a key with an empty value), nothing trimmed, keys compared without regard
// to case. Lines before the first header belong to a section with an empty
// name. The text ends at its first zero byte.
//
// Line format, read when the file has no section header at all: of each
// line only the first four characters that are not blanks count; "+XYZ"
// adds an event whose category pattern is XYZ, "!IMM" (any case) sets the
// flush lines to 1.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "BStr.h"
#include "LogParams.h"

namespace yx {

class TSettingsLog;

class TSettingsItem : public TYxBsMem {
 public:
  TSettingsItem(BStr key, BStr value) : key_(std::move(key)), value_(std::move(value)) {}
  // By key without regard to case (mode 1); every other mode: equal.
  int Compare(const TSettingsItem* other, int mode) const;
  const BStr& Key() const { return key_; }
  const BStr& Value() const { return value_; }

 private:
  BStr key_;
  BStr value_;
};

class TSettingsSection : public TYxBsMem {
 public:
  explicit TSettingsSection(const char* name);
  // By name without regard to case (mode 1); every other mode: equal.
  int Compare(const TSettingsSection* other, int mode) const;
  const BStr& Name() const { return name_; }
  void AddItem(TSettingsItem* item) { items_.Add(item); }
  // Replaces the items by `items` (taken over, the vector left empty),
  // sorted by key without regard to case; of items with equal keys the
  // last in `items` comes first.
  void TakeItems(std::vector<std::unique_ptr<TSettingsItem>>* items);
  // The item of this key (any case), or null; of several, the one that
  // stands last in the file.
  const TSettingsItem* FindItem(const char* key) const;
  unsigned ItemCount() const { return items_.Count(); }
  // The item at `index` in key order; raises EOutOfRange past the count.
  const TSettingsItem* Item(unsigned index) const { return items_.At(index); }

 private:
  BStr name_;
  TPtrArray<TSettingsItem> items_;
};

class TSettingsFile : public TYxBsMem {
 public:
  TSettingsFile();
  // Reads and parses the file; returns 0 or a Windows error code. Replaces
  // what was loaded before.
  uint32_t Load(const char* fileName);
  // Parses `size` bytes of text (up to a zero byte among them; a UTF-8
  // byte-order mark at the start is skipped). O(n log n) in the items.
  void Parse(const char* text, uint32_t size);
  // The section of this name (any case), or null.
  const TSettingsSection* FindSection(const char* name) const;
  unsigned SectionCount() const { return sections_.Count(); }
  // Whether the text had any section header.
  bool HasHeader() const { return hasHeader_; }

 private:
  TPtrArray<TSettingsSection> sections_;
  bool hasHeader_ = false;
};

// The reread period the settings ask for: 0 when they do not set one.
struct TSettingsOutcome {
  int32_t rereadPeriod = 0;
};

// Applies the Prms and Evts sections to parameters already at their
// defaults.
TSettingsOutcome ApplySections(const TSettingsFile& file, TLogParams* params);
// Applies a text in the line format to parameters already at their
// defaults.
void ApplyLines(const char* text, uint32_t size, TLogParams* params);

// atol of a 32-bit C runtime: leading white space, an optional sign, digits
// up to the first other character; no digits give 0; out-of-range values
// saturate.
int32_t Atol32(const char* text);

// Reader of the line format; also the base of the sectioned reader. Both
// read the logger's settings file into its parameters.
class TSettingsReader : public TYxBsMem {
 public:
  explicit TSettingsReader(TSettingsLog* log) : log_(log) {}
  ~TSettingsReader() override = default;
  // Returns 0 or a Windows error code.
  virtual uint32_t Read();
  // Whether the file must be read: it cannot be queried, its time is
  // unknown, or it changed after the stored settings-file time.
  bool SettingsChanged() const;

 protected:
  TSettingsLog* log_;
};

class TSectionSettingsReader : public TSettingsReader {
 public:
  explicit TSectionSettingsReader(TSettingsLog* log) : TSettingsReader(log) {}
  // Returns 0, a Windows error code, or kNoSectionHeader when the file has
  // no section header (it is then for the line reader).
  uint32_t Read() override;
};

// Result of the sectioned reader for a file without any section header:
// ERROR_BAD_FORMAT.
inline constexpr uint32_t kNoSectionHeader = 11;

// Reads a whole file into `buffer`, a zero byte after the data; returns 0 or
// a Windows error code. A file held for writing by another handle gives 32;
// one larger than 16 MiB gives 8; as root, a file that another user owns or
// may write gives 2, as a missing one. What is not a regular file (a FIFO,
// a device, a directory) gives 5 at once and, as for a missing file, the
// defaults apply.
uint32_t ReadWholeFile(const char* fileName, TCharBuffer* buffer, uint32_t* size);

}  // namespace yx
