// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace relabo {

/// The attribute kinds the file list knows, in the order of their set bits.
enum TXFileAttr : int {
  xftNormal = 0,
  xftDirectory = 1,
  xftReadOnly = 2,
  xftArchive = 3,
  xftHidden = 4,
  xftSystem = 5,
  xftCompressed = 6,
  xftOffline = 7,
  xftTemporary = 8,
  xftVolumeID = 9,
};

/// A set of attribute kinds.
class TXFileType {
 public:
  constexpr TXFileType() = default;
  constexpr TXFileType(std::initializer_list<TXFileAttr> kinds) {
    for (TXFileAttr k : kinds) m_bits |= 1u << k;
  }
  constexpr bool Contains(TXFileAttr k) const { return (m_bits >> k) & 1u; }
  constexpr TXFileType& Include(TXFileAttr k) { return m_bits |= 1u << k, *this; }
  constexpr TXFileType& Exclude(TXFileAttr k) { return m_bits &= ~(1u << k), *this; }
  /// The set as stored (bit k for kind k).
  constexpr uint32_t Bits() const { return m_bits; }
  static constexpr TXFileType FromBits(uint32_t bits) {
    TXFileType t;
    t.m_bits = bits & 0x3FFu;
    return t;
  }
  constexpr bool operator==(const TXFileType&) const = default;

 private:
  uint32_t m_bits = 0;
};

/// What the file list takes unless told otherwise.
constexpr TXFileType kDefaultFileType = {xftNormal, xftDirectory, xftReadOnly,  xftArchive,
                                         xftHidden, xftSystem,    xftCompressed};

/// The attribute bits of the attribute word.
enum : uint32_t {
  kAttrReadOnly = 0x01,
  kAttrHidden = 0x02,
  kAttrSystem = 0x04,
  kAttrVolumeID = 0x08,
  kAttrDirectory = 0x10,
  kAttrArchive = 0x20,
  kAttrNormal = 0x80,
  kAttrTemporary = 0x100,
  kAttrCompressed = 0x800,
  kAttrOffline = 0x1000,
};

/// The attribute bit of one kind.
uint32_t AttributeBit(TXFileAttr kind);
/// The OR of the attribute bits of the kinds in the set.
uint32_t AttributeMask(TXFileType type);

/// Five letters "rahsc" for read-only, archive, hidden, system and compressed; "-" where the
/// bit is not set.
std::string AttributeText(uint32_t attr);

/// Glyph codes: negative codes name a built-in glyph; 0 and above index the icon cache.
enum GlyphCode : int32_t {
  kGlyphShellIcon = -2,
  kGlyphDefault = -3,
  kGlyphDefaultHidden = -4,
  kGlyphFolder = -5,
  kGlyphFolderOpen = -6,
  kGlyphFolderParent = -7,
  kGlyphFolderShared = -8,
  kGlyphFolderSystem = -9,
  kGlyphExeDos = -10,
  kGlyphExeWin = -11,
  kGlyphCompress = -12,
  kGlyphCompressOpen = -13,
  kGlyphShortcut = -14,
};

enum TEntryKind : int { ekParentFolder = 0, ekFolder = 1, ekFile = 2, ekNone = 3 };

/// The kind of an entry follows from its glyph code alone.
TEntryKind EntryKindOf(int32_t glyphCode);

/// The built-in glyph of a file entry when desktop icons are off or the desktop has none: by
/// extension (".exe", ".com", ".bat", ".pif", ".lnk", archives) first, then hidden or system,
/// else the default.
int32_t BuiltInFileGlyph(std::string_view name, uint32_t attr);

/// What the list keeps for each entry besides its text.
struct TEntryInfo {
  int32_t GlyphCode = kGlyphDefault;
  /// Last write, local time, as days since 30 December 1899 (fraction = time of day).
  double Time = 0;
  /// Size in bytes (all 64 bits).
  uint64_t Size = 0;
  uint32_t Attr = 0;
  /// Length of the entry's text in characters (code points; a byte that begins no valid UTF-8
  /// sequence counts as one), folders with their brackets.
  int32_t NameLength = 0;
  /// The collation key of the entry's text, for the name sort.
  std::string SortKey;
};

}  // namespace relabo
