// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileutil/mask.h"

#include "fileutil/error.h"
#include "fileutil/utf8.h"

namespace relabo {

namespace {

// Only a-z fold; accented letters and every other character compare exactly.
constexpr char32_t Upper(char32_t c) { return c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c; }

[[noreturn]] void ThrowInvalid(std::string_view mask, size_t position) {
  throw Error(Format("'%s' is an invalid mask at (%d)", mask, position));
}

// Names longer than this are decoded onto the heap; file names rarely are.
constexpr size_t kStackChars = 256;

}  // namespace

TMask::State TMask::ReadSet(std::string_view text, const std::u32string& mask, size_t& pos) {
  State state;
  state.kind = Kind::Set;
  state.rangeBegin = m_ranges.size();
  ++pos;
  if (pos < mask.size() && mask[pos] == '!') {
    state.negate = true;
    ++pos;
  }
  bool haveStart = false;
  char32_t start = 0;
  while (pos < mask.size() && mask[pos] != ']') {
    if (mask[pos] == '-') {
      if (!haveStart) ThrowInvalid(text, pos + 1);
      if (++pos == mask.size()) break;
      // The range end may be any character, "]" included; the start stays for a following "-".
      const char32_t last = Upper(mask[pos]);
      if (start <= last) m_ranges.push_back({start, last});
    } else {
      start = Upper(mask[pos]);
      haveStart = true;
      m_ranges.push_back({start, start});
    }
    ++pos;
  }
  state.rangeEnd = m_ranges.size();
  if (pos == mask.size() || state.rangeBegin == state.rangeEnd) ThrowInvalid(text, pos + 1);
  // Most names are ASCII: their membership is one bit test instead of a walk over the ranges.
  for (size_t i = state.rangeBegin; i < state.rangeEnd; ++i) {
    for (char32_t c = m_ranges[i].first; c <= m_ranges[i].last && c < 128; ++c) {
      state.ascii[c >> 6] |= uint64_t{1} << (c & 63);
    }
  }
  return state;
}

TMask::TMask(std::string_view text) {
  const std::u32string mask = DecodeUtf8(text);
  bool skip = false;
  int stars = 0;
  for (size_t pos = 0; pos <= mask.size(); ++pos) {
    State state;
    if (pos == mask.size()) {
      state.kind = Kind::End;
    } else if (mask[pos] == '*') {
      skip = true;
      continue;
    } else if (mask[pos] == '?') {
      // After a "*" the "?" adds nothing: "*?" is the same as "*".
      if (skip) continue;
      state.kind = Kind::AnyChar;
    } else if (mask[pos] == '[') {
      state = ReadSet(text, mask, pos);
    } else {
      state.kind = Kind::Literal;
      state.literal = Upper(mask[pos]);
    }
    state.skip = skip;
    if (skip && ++stars > kMaxStars) ThrowInvalid(text, pos + 1);
    skip = false;
    m_states.push_back(state);
  }
}

bool TMask::Passes(const State& state, const char32_t* name, size_t length, size_t pos) const {
  switch (state.kind) {
    case Kind::Literal:
      return pos < length && name[pos] == state.literal;
    case Kind::AnyChar:
      return pos < length;
    case Kind::Set: {
      if (pos >= length) return false;
      const char32_t c = name[pos];
      if (c < 128) return (((state.ascii[c >> 6] >> (c & 63)) & 1) != 0) != state.negate;
      bool member = false;
      for (size_t i = state.rangeBegin; i < state.rangeEnd && !member; ++i) {
        member = c >= m_ranges[i].first && c <= m_ranges[i].last;
      }
      return member != state.negate;
    }
    case Kind::End:
      return pos == length;
  }
  return false;
}

// Backtracks only to the most recent skip state: whatever an earlier "*" could absorb in
// another try, the later one absorbs as well, so the answer is that of a full search. For the
// same reason a skip state that finds no place in the rest of the name ends the search: an
// earlier "*" absorbing more would only start it further on. Each try of the most recent skip
// state starts after the place of the one before, so the time stays within name length x
// mask length.
bool TMask::MatchChars(const char32_t* name, size_t length) const {
  size_t pos = 0;
  size_t s = 0;
  bool canResume = false;
  size_t resumePos = 0;
  size_t resumeState = 0;
  for (;;) {
    for (; s < m_states.size(); ++s) {
      const State& state = m_states[s];
      if (state.skip) {
        while (pos < length && !Passes(state, name, length, pos)) ++pos;
        if (!Passes(state, name, length, pos)) return false;
        canResume = pos < length;
        resumePos = pos + 1;
        resumeState = s;
      }
      if (!Passes(state, name, length, pos)) break;
      ++pos;
    }
    if (s == m_states.size()) return true;
    if (!canResume) return false;
    pos = resumePos;
    s = resumeState;
  }
}

bool TMask::Matches(std::string_view name) const {
  char32_t stackChars[kStackChars];
  std::u32string heapChars;
  char32_t* chars = stackChars;
  if (name.size() > kStackChars) {
    heapChars.resize(name.size());
    chars = heapChars.data();
  }
  size_t length = 0;
  size_t pos = 0;
  while (pos < name.size()) {
    const auto byte = static_cast<unsigned char>(name[pos]);
    char32_t c = byte;
    if (byte < 0x80) {
      ++pos;
    } else {
      c = DecodeChar(name, pos);
    }
    chars[length++] = Upper(c);
  }
  return MatchChars(chars, length);
}

bool MaskMatches(std::string_view name, std::string_view mask) { return TMask(mask).Matches(name); }

}  // namespace relabo
