#include "filelist/entry.h"

#include <iterator>

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

}  // namespace relabo
