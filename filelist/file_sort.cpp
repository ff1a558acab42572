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
#include "fileutil/halves.h"
#include "fileutil/page_buffer.h"
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

std::string_view NameCollator::CollationKey(std::string_view name) const {
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
  return std::string_view(buffer.data(), static_cast<size_t>(n));
}

void NameCollator::AppendSortKey(std::string_view name, std::string& out) const {
  // The collation key holds no zero byte before its terminating one, so the name's bytes
  // after it decide only between keys that are otherwise equal, as in Compare.
  out.append(CollationKey(name));
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
  KeyArena first, second;
  const size_t middle = RunInHalves(n, kKeyHalvesFrom, [&](size_t from, size_t to, int half) {
    SortRange(collator, nameOf, descending, static_cast<uint32_t>(from),
              static_cast<uint32_t>(to), half == 0 ? first : second, order);
  });
  if (middle == n) return order;
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

uint64_t BigEndian(const char* bytes) {
  uint64_t value = 0;
  for (int i = 0; i < 8; ++i) value = (value << 8) | static_cast<unsigned char>(bytes[i]);
  return value;
}

// The slot of a key whose rest stays where it is.
void FillNameSortSlot(std::string_view key, uint32_t index, NameSortSlot& slot) {
  // Missing bytes count as zero, which no key holds before its end.
  char head[16] = {};
  const size_t headLength = std::min<size_t>(key.size(), 16);
  std::memcpy(head, key.data(), headLength);
  slot.prefix = BigEndian(head);
  slot.next = BigEndian(head + 8);
  slot.rest = key.data() + headLength;
  slot.restLength = static_cast<uint32_t>(key.size() - headLength);
  slot.index = index;
}

}  // namespace

void MakeNameSortSlot(std::string_view key, uint32_t index, NameSortSlot& slot,
                      PageBuffer& arena) {
  FillNameSortSlot(key, index, slot);
  const size_t offset = arena.Size();
  arena.Append(std::string_view(slot.rest, slot.restLength));
  slot.rest = reinterpret_cast<const char*>(offset);
}

void PlaceNameSortSlots(NameSortSlot* begin, NameSortSlot* end, const PageBuffer& arena) {
  for (NameSortSlot* slot = begin; slot != end; ++slot) {
    slot->rest = arena.Data() + reinterpret_cast<uintptr_t>(slot->rest);
  }
}

int CompareNameSortSlots(const NameSortSlot& a, const NameSortSlot& b) {
  if (a.prefix != b.prefix) return a.prefix < b.prefix ? -1 : 1;
  if (a.next != b.next) return a.next < b.next ? -1 : 1;
  // A key that ends within its sixteen bytes has no rest, and maybe no arena to point into.
  const uint32_t common = std::min(a.restLength, b.restLength);
  const int rest = common == 0 ? 0 : std::memcmp(a.rest, b.rest, common);
  if (rest != 0) return Sign(rest);
  if (a.restLength != b.restLength) return a.restLength < b.restLength ? -1 : 1;
  return 0;
}

namespace {

// Makes the slots [from, to) of the block starting at first.
void MakeNameSlots(const NameCollator& collator, const std::vector<TSortStringList::Item>& items,
                   int first, size_t from, size_t to, NameSortSlot* slots, PageBuffer& arena) {
  for (size_t k = from; k < to; ++k) {
    const auto index = static_cast<uint32_t>(first + k);
    MakeNameSortSlot(collator.CollationKey(items[index].text), index, slots[k], arena);
  }
  PlaceNameSortSlots(slots + from, slots + to, arena);
}

// Sorts the block of items that begins at first by its slots (tieBreak orders the items of
// slots with equal keys) and moves the items into that order. False, with the block
// untouched, when two items come out equal (one file listed twice): then the list's own sort
// decides their order, as it always did.
template <typename TieBreak>
bool SortBySlots(std::vector<TSortStringList::Item>& items, int first,
                 PageArray<NameSortSlot>& slots, int factor, const TieBreak& tieBreak) {
  const auto compare = [&](const NameSortSlot& a, const NameSortSlot& b) {
    const int order = CompareNameSortSlots(a, b);
    return order != 0 ? order : tieBreak(a.index, b.index);
  };
  if (factor < 0) {
    std::sort(slots.begin(), slots.end(),
              [&](const NameSortSlot& a, const NameSortSlot& b) { return compare(b, a) < 0; });
  } else {
    std::sort(slots.begin(), slots.end(),
              [&](const NameSortSlot& a, const NameSortSlot& b) { return compare(a, b) < 0; });
  }
  const size_t count = slots.Size();
  for (size_t k = 1; k < count; ++k) {
    if (compare(slots[k - 1], slots[k]) == 0) return false;
  }
  // Position k takes the item of slot k, moved along the cycles of the permutation in place,
  // so that no second array of items is needed; a slot done points at itself.
  for (size_t k = 0; k < count; ++k) slots[k].index -= static_cast<uint32_t>(first);
  for (size_t start = 0; start < count; ++start) {
    if (slots[start].index == start) continue;
    TSortStringList::Item held = std::move(items[first + start]);
    size_t to = start;
    for (;;) {
      const size_t from = slots[to].index;
      slots[to].index = static_cast<uint32_t>(to);
      if (from == start) {
        items[first + to] = std::move(held);
        break;
      }
      items[first + to] = std::move(items[first + from]);
      to = from;
    }
  }
  return true;
}

// The name sort of a block by the keys in its records, which end with the names' bytes.
bool SortByKeptKeys(std::vector<TSortStringList::Item>& items, int first, int last,
                    int factor) {
  PageArray<NameSortSlot> slots;
  slots.Resize(static_cast<size_t>(last - first + 1));
  for (int i = first; i <= last; ++i) {
    FillNameSortSlot(items[size_t(i)].object->SortKey, static_cast<uint32_t>(i),
                     slots[size_t(i - first)]);
  }
  return SortBySlots(items, first, slots, factor, [](uint32_t, uint32_t) { return 0; });
}

// The name sort of a block with keys made for it alone, in two halves at once for a large
// block; its order is that of the records' SortKey.
bool SortNamesOnce(std::vector<TSortStringList::Item>& items, int first, int last, int factor,
                   const NameCollator& collator) {
  const size_t count = static_cast<size_t>(last - first + 1);
  PageArray<NameSortSlot> slots;
  slots.Resize(count);
  PageBuffer arenas[2];
  RunInHalves(count, kKeyHalvesFrom, [&](size_t from, size_t to, int half) {
    MakeNameSlots(collator, items, first, from, to, slots.Data(), arenas[half]);
  });
  return SortBySlots(items, first, slots, factor, [&items](uint32_t a, uint32_t b) {
    return Sign(items[a].text.compare(items[b].text));
  });
}

}  // namespace

void SortItemRange(TSortStringList& store, int first, int last, TFileItem key, int factor,
                   bool numeric, bool keepKeys) {
  if (key == fiFileName) {
    const NameCollator& collator = NameCollator::Instance(numeric);
    if (!keepKeys) {
      if (last <= first || SortNamesOnce(store.Items(), first, last, factor, collator)) return;
    }
    for (int i = first; i <= last; ++i) {
      TSortStringList::Item& item = store.Items()[i];
      if (keepKeys && !item.object->SortKey.empty()) continue;
      item.object->SortKey = collator.SortKey(item.text);
    }
    if (keepKeys && last > first && SortByKeptKeys(store.Items(), first, last, factor)) return;
  }
  store.OnCompare = Comparison(store, key, factor);
  store.SortRange(first, last);
  if (key == fiFileName && !keepKeys) {
    for (int i = first; i <= last; ++i) std::string().swap(store.Items()[i].object->SortKey);
  }
}

void SortItems(TSortStringList& store, const ScanBlocks& blocks, const SortSettings& settings,
               bool keepKeys) {
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
      SortItemRange(store, blocks.firstFolder, blocks.lastFolder, fiFileName, 1, settings.numeric,
                keepKeys);
    } else {
      SortItemRange(store, blocks.firstFolder, blocks.lastFolder, settings.sortBy, factor,
                settings.numeric, keepKeys);
    }
  }
  int start = 0;
  if (blocks.lastFolder != -1) {
    start = blocks.lastFolder + 1;
  } else if (blocks.parentIndex != -1) {
    start = 1;
  }
  if (start < store.Count() - 1)
    SortItemRange(store, start, store.Count() - 1, settings.sortBy, factor, settings.numeric,
              keepKeys);
}

}  // namespace relabo
