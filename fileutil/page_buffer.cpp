// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileutil/page_buffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <new>
#include <utility>

namespace relabo {

namespace {

size_t PageSize() {
  static const size_t size = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  return size;
}

size_t RoundToPages(size_t bytes) {
  const size_t page = PageSize();
  return (bytes + page - 1) / page * page;
}

}  // namespace

PageBuffer::~PageBuffer() { Release(); }

PageBuffer::PageBuffer(PageBuffer&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)),
      m_size(std::exchange(other.m_size, 0)),
      m_capacity(std::exchange(other.m_capacity, 0)) {}

PageBuffer& PageBuffer::operator=(PageBuffer&& other) noexcept {
  if (this != &other) {
    Release();
    m_data = std::exchange(other.m_data, nullptr);
    m_size = std::exchange(other.m_size, 0);
    m_capacity = std::exchange(other.m_capacity, 0);
  }
  return *this;
}

void PageBuffer::Reserve(size_t bytes) {
  if (bytes <= m_capacity) return;
  const size_t capacity = RoundToPages(bytes);
  void* data = m_data ? ::mremap(m_data, m_capacity, capacity, MREMAP_MAYMOVE)
                      : ::mmap(nullptr, capacity, PROT_READ | PROT_WRITE,
                               MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (data == MAP_FAILED) throw std::bad_alloc();
  m_data = static_cast<char*>(data);
  m_capacity = capacity;
}

void PageBuffer::Grow(size_t more) {
  if (more > SIZE_MAX / 2 - m_size) throw std::bad_alloc();
  // Doubling keeps the remaps few; the pages beyond the size cost nothing until written.
  Reserve(std::max({m_size + more, m_capacity * 2, size_t{64} * 1024}));
}

void PageBuffer::Release() {
  if (m_data) ::munmap(m_data, m_capacity);
  m_data = nullptr;
  m_size = 0;
  m_capacity = 0;
}

}  // namespace relabo
