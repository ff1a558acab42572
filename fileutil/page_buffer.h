// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>

namespace relabo {

/// A growing run of bytes in pages of its own, mapped from the system and given back whole
/// when it goes: the working storage of a folder read. Growing moves no bytes (the pages are
/// remapped), pages that were never written take no memory, and memory given back does not
/// stay in the heap of whichever thread used it.
class PageBuffer {
 public:
  PageBuffer() = default;
  ~PageBuffer();
  PageBuffer(PageBuffer&& other) noexcept;
  PageBuffer& operator=(PageBuffer&& other) noexcept;
  PageBuffer(const PageBuffer&) = delete;
  PageBuffer& operator=(const PageBuffer&) = delete;

  size_t Size() const { return m_size; }
  bool Empty() const { return m_size == 0; }
  /// Bytes that may still be added without growing (and so without moving the bytes).
  size_t Room() const { return m_capacity - m_size; }
  char* Data() { return m_data; }
  const char* Data() const { return m_data; }

  /// Room for at least bytes in all; throws std::bad_alloc when the system has no more.
  void Reserve(size_t bytes);
  /// bytes more at the end, uninitialized; their address.
  char* Extend(size_t bytes) {
    if (m_capacity - m_size < bytes) Grow(bytes);
    char* at = m_data + m_size;
    m_size += bytes;
    return at;
  }
  void Append(std::string_view bytes) {
    // Nothing to copy may come as a null pointer, which memcpy must not be given.
    if (!bytes.empty()) std::memcpy(Extend(bytes.size()), bytes.data(), bytes.size());
  }
  void Shrink(size_t size) {
    if (size < m_size) m_size = size;
  }
  /// Gives every page back.
  void Release();

 private:
  void Grow(size_t more);

  char* m_data = nullptr;
  size_t m_size = 0;
  size_t m_capacity = 0;
};

/// An array of plain values in a PageBuffer.
template <typename T>
class PageArray {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

 public:
  size_t Size() const { return m_bytes.Size() / sizeof(T); }
  bool Empty() const { return m_bytes.Empty(); }
  size_t Room() const { return m_bytes.Room() / sizeof(T); }
  T* Data() { return reinterpret_cast<T*>(m_bytes.Data()); }
  const T* Data() const { return reinterpret_cast<const T*>(m_bytes.Data()); }
  T& operator[](size_t i) { return Data()[i]; }
  const T& operator[](size_t i) const { return Data()[i]; }
  T* begin() { return Data(); }
  T* end() { return Data() + Size(); }
  const T* begin() const { return Data(); }
  const T* end() const { return Data() + Size(); }

  void Reserve(size_t count) { m_bytes.Reserve(count * sizeof(T)); }
  /// count values more, uninitialized; the first of them.
  T* Extend(size_t count) { return reinterpret_cast<T*>(m_bytes.Extend(count * sizeof(T))); }
  void PushBack(const T& value) { *Extend(1) = value; }
  void Resize(size_t count) {
    if (count > Size()) {
      Extend(count - Size());
    } else {
      m_bytes.Shrink(count * sizeof(T));
    }
  }
  void Release() { m_bytes.Release(); }

 private:
  PageBuffer m_bytes;
};

}  // namespace relabo
