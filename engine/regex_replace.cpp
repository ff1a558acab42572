// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/regex_replace.h"

#include <unicode/regex.h>
#include <unicode/utext.h>
#include <unicode/utf16.h>

#include <cerrno>
#include <optional>
#include <vector>

#include "engine/transform.h"
#include "fileutil/error.h"
#include "fileutil/utf8.h"

namespace relabo {
namespace {

// ICU's time limit counts steps of its match engine in ticks of about 10,000 (0.1 to 0.2 ms
// here). A name gets 50 ticks; once a pattern has run out of time on a few names, which
// happens when it backtracks without end, the rest get 5, so that a folder of such names
// fails in seconds instead of hanging the preview for minutes.
constexpr int32_t kTimeLimit = 50;
constexpr int32_t kShortTimeLimit = 5;
constexpr int kSlowNamesBeforeShortLimit = 4;

// The number of characters (code points) in the first units of a UTF-16 text.
int32_t CharactersIn(const std::u16string& text, size_t units) {
  int32_t count = 0;
  for (size_t i = 0; i < units && i < text.size(); ++i) {
    if (!(U16_IS_TRAIL(text[i]) && i > 0 && U16_IS_LEAD(text[i - 1]))) ++count;
  }
  return count;
}

}  // namespace

struct RegexReplace::Impl {
  // A piece of the new string: literal bytes, or a group of the match (group >= 0).
  struct Piece {
    std::string text;
    int32_t group = -1;
  };

  std::unique_ptr<icu::RegexPattern> pattern;
  std::unique_ptr<icu::RegexMatcher> matcher;
  std::vector<Piece> pieces;
  int slowNames = 0;

  // The name being matched as UTF-16, and where each of its units starts in its bytes (one
  // more entry for the end), so that unmatched text and groups are copied as the very bytes
  // they were.
  std::u16string units;
  std::vector<uint32_t> byteAt;
  UText* text = nullptr;

  ~Impl() { utext_close(text); }

  void Compile(std::string_view source, std::string_view replacement) {
    std::u16string patternText;
    ToUtf16(source, patternText);
    UParseError where{};
    UErrorCode status = U_ZERO_ERROR;
    pattern.reset(icu::RegexPattern::compile(
        icu::UnicodeString(false, patternText.data(), static_cast<int32_t>(patternText.size())),
        0, where, status));
    if (U_FAILURE(status)) {
      // The parser names the line and the unit within it where it stopped.
      size_t lineStart = 0;
      for (int32_t line = 1; line < where.line; ++line) {
        const size_t next = patternText.find(u'\n', lineStart);
        if (next == std::u16string::npos) break;
        lineStart = next + 1;
      }
      const size_t stop = lineStart + static_cast<size_t>(std::max<int32_t>(where.offset, 0));
      const int32_t position = std::max<int32_t>(CharactersIn(patternText, stop), 1);
      throw Error(Format("'%s' is not a valid regular expression at (%d)", source, position));
    }
    matcher.reset(pattern->matcher(status));
    if (U_FAILURE(status)) throw Error(Format("Cannot use the regular expression '%s'", source));
    ParseReplacement(source, replacement);
  }

  void AddLiteral(char32_t c) {
    if (pieces.empty() || pieces.back().group >= 0) pieces.push_back({});
    EncodeChar(c, pieces.back().text);
  }

  void AddGroup(int32_t group, std::string_view reference, std::string_view source) {
    if (group < 0 || group > matcher->groupCount()) {
      throw Error(Format("'%s' refers to a group that '%s' does not have", reference, source));
    }
    pieces.push_back({{}, group});
  }

  void ParseReplacement(std::string_view source, std::string_view replacement) {
    const std::u32string chars = DecodeUtf8(replacement);
    for (size_t i = 0; i < chars.size(); ++i) {
      const char32_t c = chars[i];
      if (c == U'\\') {
        // A backslash makes the next character literal; one at the end is itself.
        AddLiteral(i + 1 < chars.size() ? chars[++i] : c);
      } else if (c == U'$' && i + 1 < chars.size() && chars[i + 1] >= U'0' &&
                 chars[i + 1] <= U'9') {
        AddGroup(static_cast<int32_t>(chars[i + 1] - U'0'), EncodeUtf8(chars.substr(i, 2)),
                 source);
        ++i;
      } else if (c == U'$' && i + 1 < chars.size() && chars[i + 1] == U'{' &&
                 chars.find(U'}', i + 2) != std::u32string::npos) {
        const size_t close = chars.find(U'}', i + 2);
        const std::u32string name = chars.substr(i + 2, close - i - 2);
        std::u16string name16;
        for (char32_t n : name) AppendUtf16(n, name16);
        UErrorCode status = U_ZERO_ERROR;
        const int32_t group = pattern->groupNumberFromName(
            icu::UnicodeString(false, name16.data(), static_cast<int32_t>(name16.size())),
            status);
        AddGroup(U_SUCCESS(status) ? group : -1, EncodeUtf8(chars.substr(i, close - i + 1)),
                 source);
        i = close;
      } else {
        AddLiteral(c);
      }
    }
  }

  void Load(std::string_view base) {
    units.clear();
    byteAt.clear();
    for (size_t pos = 0; pos < base.size();) {
      const size_t start = pos;
      const char32_t c = DecodeChar(base, pos);
      AppendUtf16(c, units);
      byteAt.resize(units.size(), static_cast<uint32_t>(start));
    }
    byteAt.push_back(static_cast<uint32_t>(base.size()));
    UErrorCode status = U_ZERO_ERROR;
    text = utext_openUChars(text, units.data(), static_cast<int64_t>(units.size()), &status);
    matcher->reset(text);
    matcher->setTimeLimit(slowNames < kSlowNamesBeforeShortLimit ? kTimeLimit : kShortTimeLimit,
                          status);
  }

  std::string Apply(std::string_view base) {
    Load(base);
    std::string out;
    out.reserve(base.size() + 16);
    uint32_t copied = 0;
    UErrorCode status = U_ZERO_ERROR;
    while (matcher->find(status)) {
      const auto start = static_cast<size_t>(matcher->start(status));
      const auto end = static_cast<size_t>(matcher->end(status));
      out.append(base, copied, byteAt[start] - copied);
      for (const Piece& piece : pieces) {
        if (piece.group < 0) {
          out += piece.text;
          continue;
        }
        const int64_t from = matcher->start64(piece.group, status);
        if (from < 0) continue;  // a group that took no part in the match
        const int64_t to = matcher->end64(piece.group, status);
        out.append(base, byteAt[static_cast<size_t>(from)],
                   byteAt[static_cast<size_t>(to)] - byteAt[static_cast<size_t>(from)]);
      }
      copied = byteAt[end];
    }
    if (status == U_REGEX_TIME_OUT) {
      ++slowNames;
      throw NameFailure("the regular expression takes too long on this name", ETIMEDOUT);
    }
    if (status == U_REGEX_STACK_OVERFLOW || status == U_MEMORY_ALLOCATION_ERROR) {
      throw NameFailure("the regular expression needs too much memory on this name", ENOMEM);
    }
    if (U_FAILURE(status)) {
      throw NameFailure(Format("the regular expression failed on this name (%s)",
                               u_errorName(status)));
    }
    out.append(base, copied, base.size() - copied);
    return out;
  }
};

RegexReplace::RegexReplace(std::string_view pattern, std::string_view replacement)
    : m_impl(std::make_unique<Impl>()) {
  m_impl->Compile(pattern, replacement);
}

RegexReplace::~RegexReplace() = default;

std::string RegexReplace::Apply(std::string_view base) { return m_impl->Apply(base); }

std::string RegexReplaceName(std::string_view base, std::string_view pattern,
                             std::string_view replacement) {
  struct Compiled {
    std::string pattern;
    std::string replacement;
    std::unique_ptr<RegexReplace> replace;
    std::optional<Error> error;
  };
  thread_local std::optional<Compiled> last;
  if (!last || last->pattern != pattern || last->replacement != replacement) {
    last.reset();
    Compiled compiled{std::string(pattern), std::string(replacement), nullptr, std::nullopt};
    try {
      compiled.replace = std::make_unique<RegexReplace>(pattern, replacement);
    } catch (const Error& e) {
      compiled.error = e;
    }
    last = std::move(compiled);
  }
  if (last->error) throw *last->error;
  return last->replace->Apply(base);
}

}  // namespace relabo
