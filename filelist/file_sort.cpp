// SPDX-License-Identifier: GPL-3.0-or-later
#include "filelist/file_sort.h"

#include <unicode/ucol.h>
#include <unicode/uloc.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <numeric>
#include <string>
#include <thread>
#include <utility>

#include "fileutil/error.h"
#include "fileutil/utf8.h"

namespace relabo {

namespace {

// Names are bytes (ToUtf16): a byte that is not valid UTF-8 becomes its lone surrogate, which
// ICU collates as a code point of its own, so such names still sort apart.

const UChar* Data(const std::u16string& s) { return reinterpret_cast<const UChar*>(s.data()); }
int32_t Length(const std::u16string& s) { return static_cast<int32_t>(s.size()); }

int Sign(int v) { return (v > 0) - (v < 0); }

template <typename T>
int Order(T a, T b) {
  return (a > b) - (a < b);
}

// Buffers of the comparisons, kept per thread so that comparing does not allocate.
struct Scratch {
  std::u16string a, b, foldedA, foldedB;
  std::string key;
};
Scratch& ThreadScratch() {
  thread_local Scratch scratch;
  return scratch;
}

}  // namespace

struct NameCollator::Impl {
  UCollator* collator = nullptr;
  uint32_t foldOptions = U_FOLD_CASE_DEFAULT;

  // Full case folding; under Turkish and Azeri the dotted and dotless i pair as there.
  void Fold(const std::u16string& in, std::u16string& out) const {
    out.resize(in.size() * 3 + 1);
    UErrorCode status = U_ZERO_ERROR;
    const int32_t n = u_strFoldCase(reinterpret_cast<UChar*>(out.data()), Length(out), Data(in),
                                    Length(in), foldOptions, &status);
    out.resize(U_SUCCESS(status) ? n : 0);
    if (U_FAILURE(status)) out = in;
  }
};

const NameCollator& NameCollator::Instance(bool numeric) {
  static const NameCollator plain([] {
    // The C and POSIX locales choose no language: ICU calls them en_US_POSIX, whose
    // collation is code-point order of ASCII. They get the root collation.
    const char* locale = uloc_getDefault();
    if (locale == nullptr || std::strcmp(locale, "en_US_POSIX") == 0) locale = "";
    return locale;
  }());
  if (!numeric) return plain;
  static const NameCollator byValue(plain, true);
  return byValue;
}

namespace {

// Hyphens and apostrophes weigh nothing at all levels, so "co-op" sorts beside "coop" and
// "it's" beside "its"; every other character, spaces, dots and brackets included, keeps the
// locale's weight. Quoted: they are syntax characters of the rules.
constexpr char16_t kIgnorableRule[] =
    u"&[last tertiary ignorable]='-'='\u2010'='\u2011'='\u00AD'=''='\u2019'";

// Settings a locale name may carry beside its rules (keywords such as "colNumeric").
constexpr UColAttribute kLocaleAttributes[] = {UCOL_FRENCH_COLLATION, UCOL_CASE_LEVEL,
                                               UCOL_NORMALIZATION_MODE, UCOL_NUMERIC_COLLATION};

// The locale's own collation with the ignorable rule added on top of its rules.
UCollator* OpenTailored(const char* locale, UErrorCode& status) {
  UCollator* base = ucol_open(locale, &status);
  if (U_FAILURE(status)) return nullptr;
  int32_t length = 0;
  const UChar* localeRules = ucol_getRules(base, &length);
  std::u16string rules(reinterpret_cast<const char16_t*>(localeRules), length);
  rules += kIgnorableRule;
  UParseError where;
  UCollator* tailored =
      ucol_openRules(Data(rules), Length(rules), UCOL_DEFAULT, UCOL_DEFAULT, &where, &status);
  for (const UColAttribute attribute : kLocaleAttributes) {
    if (U_FAILURE(status)) break;
    ucol_setAttribute(tailored, attribute, ucol_getAttribute(base, attribute, &status), &status);
  }
  ucol_close(base);
  if (U_FAILURE(status)) {
    ucol_close(tailored);
    return nullptr;
  }
  return tailored;
}

}  // namespace

NameCollator::NameCollator(const char* locale, bool numeric) : m_impl(new Impl) {
  UErrorCode status = U_ZERO_ERROR;
  m_impl->collator = OpenTailored(locale, status);
  if (U_FAILURE(status)) {
    status = U_ZERO_ERROR;
    m_impl->collator = OpenTailored("", status);
  }
  if (U_FAILURE(status)) {
    delete m_impl;
    throw Error(Format("Cannot open the collation of locale %s", locale));
  }
  // Not shifted: spaces and punctuation count as the characters they are ("report.pdf" before
  // "report2.pdf"). Case decides at the third level, after letters and accents; a locale that
  // asks for more levels keeps them.
  ucol_setAttribute(m_impl->collator, UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
  if (ucol_getAttribute(m_impl->collator, UCOL_STRENGTH, &status) < UCOL_TERTIARY) {
    ucol_setAttribute(m_impl->collator, UCOL_STRENGTH, UCOL_TERTIARY, &status);
  }
  ucol_setAttribute(m_impl->collator, UCOL_CASE_FIRST, UCOL_LOWER_FIRST, &status);
  char language[ULOC_LANG_CAPACITY] = "";
  UErrorCode langStatus = U_ZERO_ERROR;
  uloc_getLanguage(locale, language, sizeof language, &langStatus);
  if (std::strcmp(language, "tr") == 0 || std::strcmp(language, "az") == 0) {
    m_impl->foldOptions = U_FOLD_CASE_EXCLUDE_SPECIAL_I;
  }
  if (numeric) ucol_setAttribute(m_impl->collator, UCOL_NUMERIC_COLLATION, UCOL_ON, &status);
}

NameCollator::NameCollator(const NameCollator& base, bool numeric) : m_impl(new Impl) {
  UErrorCode status = U_ZERO_ERROR;
  m_impl->collator = ucol_clone(base.m_impl->collator, &status);
  if (U_FAILURE(status)) {
    delete m_impl;
    throw Error("Cannot copy the collation of names");
  }
  m_impl->foldOptions = base.m_impl->foldOptions;
  if (numeric) ucol_setAttribute(m_impl->collator, UCOL_NUMERIC_COLLATION, UCOL_ON, &status);
}

NameCollator::~NameCollator() {
  ucol_close(m_impl->collator);
  delete m_impl;
}

int NameCollator::Compare(std::string_view a, std::string_view b) const {
  Scratch& s = ThreadScratch();
  ToUtf16(a, s.a);
  ToUtf16(b, s.b);
  const int v = ucol_strcoll(m_impl->collator, Data(s.a), Length(s.a), Data(s.b), Length(s.b));
  // Names the collation calls equal (other normalisation forms, ignorable characters) still
  // differ: their bytes decide, so the name sort is a total order.
  if (v != UCOL_EQUAL) return v;
  return Sign(a.compare(b));
}

int NameCollator::CompareIgnoreCase(std::string_view a, std::string_view b) const {
  // Folding the case first, and not a lower strength: the folded texts then settle what the
  // collation calls equal.
  Scratch& s = ThreadScratch();
  ToUtf16(a, s.a);
  ToUtf16(b, s.b);
  m_impl->Fold(s.a, s.foldedA);
  m_impl->Fold(s.b, s.foldedB);
  const int v = ucol_strcoll(m_impl->collator, Data(s.foldedA), Length(s.foldedA), Data(s.foldedB),
                             Length(s.foldedB));
  // The collation passes over hyphens, apostrophes and other ignorable characters, but
  // "co-op" and "coop" are two names: only names of the same folded text are equal.
  if (v != UCOL_EQUAL) return v;
  return Sign(
      u_strCompare(Data(s.foldedA), Length(s.foldedA), Data(s.foldedB), Length(s.foldedB), true));
}

std::string NameCollator::SortKey(std::string_view name) const {
  std::string key;
  AppendSortKey(name, key);
  return key;
}

void NameCollator::AppendSortKey(std::string_view name, std::string& out) const {
  Scratch& s = ThreadScratch();
  ToUtf16(name, s.a);
  std::string& buffer = s.key;
  if (buffer.size() < s.a.size() * 4 + 32) buffer.resize(s.a.size() * 4 + 32);
  int32_t n = ucol_getSortKey(m_impl->collator, Data(s.a), Length(s.a),
                              reinterpret_cast<uint8_t*>(buffer.data()),
                              static_cast<int32_t>(buffer.size()));
  if (n > static_cast<int32_t>(buffer.size())) {
    buffer.resize(n);
    n = ucol_getSortKey(m_impl->collator, Data(s.a), Length(s.a),
                        reinterpret_cast<uint8_t*>(buffer.data()), n);
  }
  // The collation key holds no zero byte before its terminating one, so the name's bytes
  // after it decide only between keys that are otherwise equal, as in Compare.
  out.append(buffer.data(), n);
  out.append(name);
}

namespace {

// Sort keys one after another in one string: no allocation per name.
struct KeyArena {
  std::string bytes;
  std::vector<size_t> ends;
  std::string_view Key(size_t i) const {
    const size_t start = i == 0 ? 0 : ends[i - 1];
    return std::string_view(bytes).substr(start, ends[i] - start);
  }
};

// Makes the keys of the names [from, to) and sorts those indices by them.
void SortRange(const NameCollator& collator, const std::function<std::string_view(size_t)>& nameOf,
               bool descending, uint32_t from, uint32_t to, KeyArena& keys,
               std::vector<uint32_t>& order) {
  keys.bytes.reserve(size_t(to - from) * 32);
  keys.ends.reserve(to - from);
  for (uint32_t i = from; i < to; ++i) {
    collator.AppendSortKey(nameOf(i), keys.bytes);
    keys.ends.push_back(keys.bytes.size());
  }
  std::stable_sort(order.begin() + from, order.begin() + to, [&](uint32_t a, uint32_t b) {
    return descending ? keys.Key(b - from) < keys.Key(a - from)
                      : keys.Key(a - from) < keys.Key(b - from);
  });
}

}  // namespace

std::vector<uint32_t> NameOrder(size_t count, const std::function<std::string_view(size_t)>& nameOf,
                                bool descending, const NameCollator& collator) {
  if (count > UINT32_MAX) throw Error("Too many names to sort", EOVERFLOW);
  std::vector<uint32_t> order(count);
  std::iota(order.begin(), order.end(), 0u);
  const auto n = static_cast<uint32_t>(count);
  // Below this the second thread costs more than it saves.
  constexpr uint32_t kHalves = 20000;
  KeyArena first, second;
  if (n < kHalves || std::thread::hardware_concurrency() < 2) {
    SortRange(collator, nameOf, descending, 0, n, first, order);
    return order;
  }
  const uint32_t middle = n / 2;
  std::exception_ptr failure;
  std::thread helper([&] {
    try {
      SortRange(collator, nameOf, descending, middle, n, second, order);
    } catch (...) {
      failure = std::current_exception();
    }
  });
  try {
    SortRange(collator, nameOf, descending, 0, middle, first, order);
  } catch (...) {
    helper.join();
    throw;
  }
  helper.join();
  if (failure) std::rethrow_exception(failure);
  const auto key = [&](uint32_t i) { return i < middle ? first.Key(i) : second.Key(i - middle); };
  // Stable: of equal names, those of the first half stay first.
  std::inplace_merge(order.begin(), order.begin() + middle, order.end(), [&](uint32_t a, uint32_t b) {
    return descending ? key(b) < key(a) : key(a) < key(b);
  });
  return order;
}

namespace {

// The comparisons of the file list: each reads the records of two positions and multiplies
// its result by the direction factor.
int CompareNames(const TEntryInfo& a, const TEntryInfo& b) {
  return Sign(a.SortKey.compare(b.SortKey));
}
int CompareSizes(const TEntryInfo& a, const TEntryInfo& b) { return Order(a.Size, b.Size); }
// Day and time of day from the day count rounded to whole milliseconds: the fraction of a
// day count carries a rounding error that depends on the day, and the same time of day on
// two days must compare equal.
constexpr int64_t kMillisecondsPerDay = 86400000;
int64_t Milliseconds(double time) {
  if (!(time > -1e9 && time < 1e9)) return 0;  // not a time (NaN, infinite): no overflow
  return static_cast<int64_t>(time * kMillisecondsPerDay + (time < 0 ? -0.5 : 0.5));
}
int64_t DayOf(double time) {
  const int64_t ms = Milliseconds(time);
  return ms / kMillisecondsPerDay - (ms % kMillisecondsPerDay < 0);
}
int64_t TimeOfDay(double time) {
  const int64_t ms = Milliseconds(time) % kMillisecondsPerDay;
  return ms < 0 ? ms + kMillisecondsPerDay : ms;
}
int CompareDates(const TEntryInfo& a, const TEntryInfo& b) {
  return Order(DayOf(a.Time), DayOf(b.Time));
}
int CompareTimes(const TEntryInfo& a, const TEntryInfo& b) {
  return Order(TimeOfDay(a.Time), TimeOfDay(b.Time));
}
int CompareAttributes(const TEntryInfo& a, const TEntryInfo& b) { return Order(a.Attr, b.Attr); }

template <int (*Compare)(const TEntryInfo&, const TEntryInfo&)>
TSortStringList::CompareFn Bind(std::vector<TSortStringList::Item>& items, int factor) {
  return [&items, factor](int i, int j) {
    return factor * Compare(*items[i].object, *items[j].object);
  };
}

TSortStringList::CompareFn Comparison(TSortStringList& store, TFileItem key, int factor) {
  std::vector<TSortStringList::Item>& items = store.Items();
  switch (key) {
    case fiSize:
      return Bind<CompareSizes>(items, factor);
    case fiDate:
      return Bind<CompareDates>(items, factor);
    case fiTime:
      return Bind<CompareTimes>(items, factor);
    case fiAttribute:
      return Bind<CompareAttributes>(items, factor);
    case fiFileName:
      break;
  }
  return Bind<CompareNames>(items, factor);
}

// Eight bytes of a key from an offset as a number that orders as the bytes do (missing bytes
// count as zero, which no key holds before its end).
uint64_t KeyPrefix(const std::string& key, size_t offset) {
  unsigned char bytes[8] = {};
  if (offset < key.size()) {
    std::memcpy(bytes, key.data() + offset, std::min<size_t>(key.size() - offset, 8));
  }
  uint64_t prefix = 0;
  for (unsigned char b : bytes) prefix = (prefix << 8) | b;
  return prefix;
}

// The name sort of a block whose keys all differ, as any correct sort orders it: keys are
// compared by their first sixteen bytes as two numbers (names of a camera or a scanner share
// long beginnings) and only on a tie byte by byte, without a call through a function object. False, with the block untouched, when two keys are equal
// (one file listed twice): then the list's own sort decides their order, as it always did.
bool SortDistinctNames(std::vector<TSortStringList::Item>& items, int first, int last,
                       int factor) {
  struct Slot {
    uint64_t prefix;
    uint64_t next;
    const std::string* key;
    int index;
  };
  std::vector<Slot> slots(static_cast<size_t>(last - first + 1));
  for (int i = first; i <= last; ++i) {
    const std::string& key = items[size_t(i)].object->SortKey;
    slots[size_t(i - first)] = {KeyPrefix(key, 0), KeyPrefix(key, 8), &key, i};
  }
  auto compare = [](const Slot& a, const Slot& b) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix ? -1 : 1;
    if (a.next != b.next) return a.next < b.next ? -1 : 1;
    return Sign(a.key->compare(*b.key));
  };
  if (factor < 0) {
    std::sort(slots.begin(), slots.end(),
              [&](const Slot& a, const Slot& b) { return compare(b, a) < 0; });
  } else {
    std::sort(slots.begin(), slots.end(),
              [&](const Slot& a, const Slot& b) { return compare(a, b) < 0; });
  }
  for (size_t i = 1; i < slots.size(); ++i) {
    if (compare(slots[i - 1], slots[i]) == 0) return false;
  }
  std::vector<TSortStringList::Item> sorted;
  sorted.reserve(slots.size());
  for (const Slot& slot : slots) sorted.push_back(std::move(items[size_t(slot.index)]));
  std::move(sorted.begin(), sorted.end(), items.begin() + first);
  return true;
}

void SortBlock(TSortStringList& store, int first, int last, TFileItem key, int factor,
               bool numeric) {
  if (key == fiFileName) {
    const NameCollator* collator = nullptr;
    for (int i = first; i <= last; ++i) {
      TSortStringList::Item& item = store.Items()[i];
      if (!item.object->SortKey.empty()) continue;
      if (!collator) collator = &NameCollator::Instance(numeric);
      item.object->SortKey = collator->SortKey(item.text);
    }
    if (last > first && SortDistinctNames(store.Items(), first, last, factor)) return;
  }
  store.OnCompare = Comparison(store, key, factor);
  store.SortRange(first, last);
}

}  // namespace

void SortItems(TSortStringList& store, const ScanBlocks& blocks, const SortSettings& settings) {
  const int factor = settings.sortOrder == soDescending ? -1 : 1;
  struct Restore {
    TSortStringList& store;
    TSortStringList::CompareFn compare;
    ~Restore() {
      store.OnCompare = std::move(compare);
      store.EndUpdate();
    }
  } restore{store, store.OnCompare};
  store.BeginUpdate();

  if (blocks.firstFolder != -1) {
    if (settings.sortFolders == sfAlwaysByName) {
      SortBlock(store, blocks.firstFolder, blocks.lastFolder, fiFileName, 1, settings.numeric);
    } else {
      SortBlock(store, blocks.firstFolder, blocks.lastFolder, settings.sortBy, factor,
                settings.numeric);
    }
  }
  int start = 0;
  if (blocks.lastFolder != -1) {
    start = blocks.lastFolder + 1;
  } else if (blocks.parentIndex != -1) {
    start = 1;
  }
  if (start < store.Count() - 1)
    SortBlock(store, start, store.Count() - 1, settings.sortBy, factor, settings.numeric);
}

}  // namespace relabo
