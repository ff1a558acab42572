// SPDX-License-Identifier: GPL-3.0-or-later
#include "filelist/entry.h"

#include <gtest/gtest.h>

namespace relabo {
namespace {

TEST(Entry, AttributeTextHasFiveLetters) {
  struct Case {
    const char* name;
    uint32_t attr;
    const char* text;
  } cases[] = {
      {"every bit", 0xFFFFFFFFu, "rahsc"},
      {"none of the five", kAttrNormal | kAttrDirectory | kAttrOffline | kAttrTemporary, "-----"},
      {"zero", 0, "-----"},
      {"archive only", kAttrArchive, "-a---"},
      {"read-only hidden system", kAttrReadOnly | kAttrHidden | kAttrSystem, "r-hs-"},
      {"compressed directory", kAttrCompressed | kAttrDirectory, "----c"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(AttributeText(c.attr), c.text);
  }
}

TEST(Entry, AttributeMaskJoinsTheBitsOfTheKinds) {
  EXPECT_EQ(AttributeMask({}), 0u);
  EXPECT_EQ(AttributeMask({xftVolumeID}), 0x08u);
  EXPECT_EQ(AttributeMask({xftReadOnly, xftHidden, xftCompressed}), 0x803u);
  EXPECT_EQ(AttributeMask(kDefaultFileType), 0x80u | 0x10 | 0x01 | 0x20 | 0x02 | 0x04 | 0x800);
  uint32_t all = 0;
  for (int k = xftNormal; k <= xftVolumeID; ++k) {
    const uint32_t bit = AttributeBit(static_cast<TXFileAttr>(k));
    EXPECT_EQ(all & bit, 0u) << "kind " << k << " shares a bit";
    all |= bit;
  }
  EXPECT_EQ(AttributeMask(TXFileType::FromBits(0x3FF)), all);
}

TEST(Entry, KindFollowsFromTheGlyphCode) {
  struct Case {
    int32_t code;
    TEntryKind kind;
  } cases[] = {
      {-1, ekFile},   {-2, ekFile},         {-3, ekFile},   {-4, ekFile},   {-5, ekFolder},
      {-6, ekFolder}, {-7, ekParentFolder}, {-8, ekFolder}, {-9, ekFolder}, {-10, ekFile},
      {-11, ekFile},  {-12, ekFile},        {-13, ekFile},  {-14, ekFile},  {0, ekFile},
      {5, ekFile},    {-100, ekFile},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EntryKindOf(c.code), c.kind) << "code " << c.code;
  }
}

}  // namespace
}  // namespace relabo
