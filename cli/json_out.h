// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace relabo {

/// A JSON string literal, quotes included, of a byte string such as a file name. Valid UTF-8
/// stays as it is apart from the escapes JSON needs (\" \\ \b \f \n \r \t, other control
/// characters as \u00xx); each byte that is not part of valid UTF-8 (overlong forms, UTF-8
/// encoded surrogates and values beyond U+10FFFF included) becomes the lone surrogate \udcxx,
/// xx being the byte, as Python's surrogateescape decodes it, so os.fsencode of the decoded
/// string gives back the exact bytes.
std::string JsonString(std::string_view bytes);

/// Builds compact JSON text, putting in the commas: a value directly in an object must follow
/// a Key. Nesting is not checked beyond that.
class JsonWriter {
 public:
  JsonWriter& BeginObject();
  JsonWriter& EndObject();
  JsonWriter& BeginArray();
  JsonWriter& EndArray();
  JsonWriter& Key(std::string_view name);
  JsonWriter& String(std::string_view bytes);
  JsonWriter& Int(int64_t value);
  JsonWriter& Bool(bool value);
  JsonWriter& Null();

  const std::string& Text() const { return m_text; }

 private:
  /// Writes the comma before a key or a value that is not the first in its container.
  void Separate();
  void Open(char bracket);
  void Close(char bracket);

  std::string m_text;
  /// One entry per open container: true once it holds something.
  std::vector<bool> m_filled;
  bool m_afterKey = false;
};

}  // namespace relabo
