// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>

namespace relabo {

/// The one error type of the program; what() is the text shown to the user.
class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message, int code = 0)
      : std::runtime_error(message), m_code(code) {}
  /// The system error number behind the failure, 0 when there is none.
  int Code() const noexcept { return m_code; }

 private:
  int m_code;
};

namespace detail {
inline void AppendArg(std::string& out, std::string_view s) { out += s; }
inline void AppendArg(std::string& out, const char* s) { out += s; }
inline void AppendArg(std::string& out, const std::string& s) { out += s; }
template <typename T>
requires std::is_integral_v<T>
void AppendArg(std::string& out, T v) { out += std::to_string(v); }
inline void FormatInto(std::string& out, std::string_view pattern) {
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == '%') ++i;
    out += pattern[i];
  }
}
template <typename First, typename... Rest>
void FormatInto(std::string& out, std::string_view pattern, const First& first,
                const Rest&... rest) {
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%' || i + 1 >= pattern.size()) {
      out += pattern[i];
      continue;
    }
    const char c = pattern[i + 1];
    if (c == '%') {
      out += '%';
      ++i;
    } else if (c == 's' || c == 'd' || c == 'u') {
      AppendArg(out, first);
      FormatInto(out, pattern.substr(i + 2), rest...);
      return;
    } else {
      out += '%';
    }
  }
}
}  // namespace detail

/// Fills the %s, %d and %u placeholders of a message in order ("%%" is a percent sign).
template <typename... Args>
std::string Format(std::string_view pattern, const Args&... args) {
  std::string out;
  out.reserve(pattern.size() + 32);
  detail::FormatInto(out, pattern, args...);
  return out;
}

}  // namespace relabo
