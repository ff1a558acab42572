// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <exception>
#include <thread>

namespace relabo {

/// Runs body(from, to, half) over [0, count): in two halves at once, the second on a thread of
/// its own, when count reaches minimum and the machine has a second core; else in one piece
/// (half 0). Returns where the second half begins (count when there is none). An exception of
/// either half is thrown once both have ended.
template <typename Body>
size_t RunInHalves(size_t count, size_t minimum, const Body& body) {
  if (count < minimum || std::thread::hardware_concurrency() < 2) {
    body(size_t{0}, count, 0);
    return count;
  }
  const size_t middle = count / 2;
  std::exception_ptr failure;
  std::thread helper([&] {
    try {
      body(middle, count, 1);
    } catch (...) {
      failure = std::current_exception();
    }
  });
  try {
    body(size_t{0}, middle, 0);
  } catch (...) {
    helper.join();
    throw;
  }
  helper.join();
  if (failure) std::rethrow_exception(failure);
  return middle;
}

}  // namespace relabo
