// SPDX-License-Identifier: GPL-3.0-or-later
#include "filelist/entry.h"

#include <iterator>

#include "fileutil/path.h"

namespace relabo {

uint32_t AttributeBit(TXFileAttr kind) {
  switch (kind) {
    case xftNormal:
      return kAttrNormal;
    case xftDirectory:
      return kAttrDirectory;
    case xftReadOnly:
      return kAttrReadOnly;
    case xftArchive:
      return kAttrArchive;
    case xftHidden:
      return kAttrHidden;
    case xftSystem:
      return kAttrSystem;
    case xftCompressed:
      return kAttrCompressed;
    case xftOffline:
      return kAttrOffline;
    case xftTemporary:
      return kAttrTemporary;
    case xftVolumeID:
      return kAttrVolumeID;
  }
  return 0;
}

uint32_t AttributeMask(TXFileType type) {
  uint32_t mask = 0;
  for (int k = xftNormal; k <= xftVolumeID; ++k) {
    const auto kind = static_cast<TXFileAttr>(k);
    if (type.Contains(kind)) mask |= AttributeBit(kind);
  }
  return mask;
}

std::string AttributeText(uint32_t attr) {
  static constexpr struct {
    uint32_t bit;
    char letter;
  } kLetters[] = {{kAttrReadOnly, 'r'},
                  {kAttrArchive, 'a'},
                  {kAttrHidden, 'h'},
                  {kAttrSystem, 's'},
                  {kAttrCompressed, 'c'}};
  std::string text(std::size(kLetters), '-');
  for (size_t i = 0; i < std::size(kLetters); ++i) {
    if (attr & kLetters[i].bit) text[i] = kLetters[i].letter;
  }
  return text;
}

TEntryKind EntryKindOf(int32_t glyphCode) {
  switch (glyphCode) {
    case kGlyphFolderParent:
      return ekParentFolder;
    case kGlyphFolder:
    case kGlyphFolderOpen:
    case kGlyphFolderShared:
    case kGlyphFolderSystem:
      return ekFolder;
    default:
      return ekFile;
  }
}

int32_t BuiltInFileGlyph(std::string_view name, uint32_t attr) {
  std::string ext = ExtensionPart(name);
  for (char& c : ext) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
  }
  if (ext == ".exe" || ext == ".com" || ext == ".bat") return kGlyphExeWin;
  if (ext == ".pif") return kGlyphExeDos;
  if (ext == ".lnk") return kGlyphShortcut;
  if (ext == ".zip" || ext == ".rar" || ext == ".arj" || ext == ".jar") return kGlyphCompress;
  return attr & (kAttrHidden | kAttrSystem) ? kGlyphDefaultHidden : kGlyphDefault;
}

}  // namespace relabo
