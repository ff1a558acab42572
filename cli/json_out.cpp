// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/json_out.h"

#include "fileutil/utf8.h"

namespace relabo {
namespace {

constexpr char kHex[] = "0123456789abcdef";

void AppendUnicodeEscape(char32_t unit, std::string& out) {
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(unit >> shift) & 0xF];
}

}  // namespace

std::string JsonString(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + 2);
  out += '"';
  size_t pos = 0;
  while (pos < bytes.size()) {
    const size_t start = pos;
    // DecodeChar carries each byte that does not begin a valid sequence as 0xDC00 + byte.
    const char32_t c = DecodeChar(bytes, pos);
    if (IsEscapedByte(c)) {
      AppendUnicodeEscape(c, out);
      continue;
    }
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          AppendUnicodeEscape(c, out);
        } else {
          out.append(bytes.substr(start, pos - start));
        }
    }
  }
  out += '"';
  return out;
}

void JsonWriter::Separate() {
  if (m_afterKey) {
    m_afterKey = false;
    return;
  }
  if (m_filled.empty()) return;
  if (m_filled.back()) m_text += ',';
  m_filled.back() = true;
}

void JsonWriter::Open(char bracket) {
  Separate();
  m_text += bracket;
  m_filled.push_back(false);
}

void JsonWriter::Close(char bracket) {
  m_text += bracket;
  if (!m_filled.empty()) m_filled.pop_back();
}

JsonWriter& JsonWriter::BeginObject() {
  Open('{');
  return *this;
}

JsonWriter& JsonWriter::EndObject() {
  Close('}');
  return *this;
}

JsonWriter& JsonWriter::BeginArray() {
  Open('[');
  return *this;
}

JsonWriter& JsonWriter::EndArray() {
  Close(']');
  return *this;
}

JsonWriter& JsonWriter::Key(std::string_view name) {
  Separate();
  m_text += JsonString(name);
  m_text += ':';
  m_afterKey = true;
  return *this;
}

JsonWriter& JsonWriter::String(std::string_view bytes) {
  Separate();
  m_text += JsonString(bytes);
  return *this;
}

JsonWriter& JsonWriter::Int(int64_t value) {
  Separate();
  m_text += std::to_string(value);
  return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
  Separate();
  m_text += value ? "true" : "false";
  return *this;
}

JsonWriter& JsonWriter::Null() {
  Separate();
  m_text += "null";
  return *this;
}

}  // namespace relabo
