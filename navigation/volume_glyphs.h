// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>

#include "navigation/volume.h"

namespace relabo {

/// The program's 16-pixel glyph of a volume kind, sharp on screens of any density.
QIcon VolumeGlyph(VolumeKind kind);

}  // namespace relabo
