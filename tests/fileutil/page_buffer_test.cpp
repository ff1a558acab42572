// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileutil/page_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "fileutil/halves.h"

namespace relabo {
namespace {

TEST(PageBuffer, GrowingKeepsTheBytesWrittenBefore) {
  // Sizes below a page, across the first remap and across several.
  for (const size_t total : {size_t{10}, size_t{70000}, size_t{3000000}}) {
    SCOPED_TRACE(total);
    PageBuffer buffer;
    std::string expected;
    for (size_t i = 0; expected.size() < total; ++i) {
      const std::string piece = std::to_string(i) + ",";
      buffer.Append(piece);
      expected += piece;
    }
    ASSERT_EQ(buffer.Size(), expected.size());
    EXPECT_EQ(std::string(buffer.Data(), buffer.Size()), expected);

    PageBuffer moved = std::move(buffer);
    EXPECT_TRUE(buffer.Empty());
    EXPECT_EQ(std::string(moved.Data(), moved.Size()), expected);
    moved.Release();
    EXPECT_EQ(moved.Size(), 0u);
    moved.Append({});
    EXPECT_EQ(moved.Size(), 0u);
    moved.Append("again");
    EXPECT_EQ(std::string(moved.Data(), moved.Size()), "again");
  }
}

TEST(PageArray, ValuesSurviveGrowingAndShrinking) {
  PageArray<uint64_t> values;
  for (uint64_t i = 0; i < 100000; ++i) values.PushBack(i * i);
  ASSERT_EQ(values.Size(), 100000u);
  for (uint64_t i = 0; i < 100000; i += 997) ASSERT_EQ(values[i], i * i);
  values.Resize(3);
  EXPECT_EQ(values.Size(), 3u);
  values.Resize(5);
  EXPECT_EQ(values[2], 4u);
  EXPECT_EQ(values.end() - values.begin(), 5);
}

TEST(RunInHalves, CoversEveryIndexOnceAndPassesAnErrorOn) {
  for (const size_t count : {size_t{0}, size_t{7}, size_t{100001}}) {
    SCOPED_TRACE(count);
    std::vector<int> seen(count, 0);
    const size_t middle = RunInHalves(count, 1000, [&](size_t from, size_t to, int half) {
      for (size_t i = from; i < to; ++i) seen[i] += 1 + half * 10;
    });
    for (size_t i = 0; i < count; ++i) ASSERT_EQ(seen[i], i < middle ? 1 : 11) << i;
    EXPECT_EQ(middle, count < 1000 || std::thread::hardware_concurrency() < 2 ? count : count / 2);
  }
  for (const int failing : {0, 1}) {
    if (failing == 1 && std::thread::hardware_concurrency() < 2) continue;  // no second half
    EXPECT_THROW(RunInHalves(5000, 1000,
                             [&](size_t, size_t, int half) {
                               if (half == failing) throw std::runtime_error("no");
                             }),
                 std::runtime_error);
  }
}

}  // namespace
}  // namespace relabo
