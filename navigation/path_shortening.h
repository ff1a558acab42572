// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "fileutil/path.h"

namespace relabo {

/// Measures the drawn width of a text in pixels.
using TextMeasure = std::function<int(std::string_view)>;

/// The text to show for a path in `width` pixels: while it is too wide, the leftmost folder is
/// cut and "..." with a separator stands for what was cut ("C:\...\Sub\file.txt"); then the
/// drive goes, then the whole folder part. The last component (file name or mask) always
/// stays, so the result may still be too wide. A text that fits is returned unchanged.
std::string ShortenPath(std::string_view text, const TextMeasure& measure, int width,
                        PathStyle style = PathStyle::Posix);

/// The text to show in `width` pixels with its middle left out: as many characters as fit are
/// kept from both ends (one more at the start when the count is odd), joined by "...". A text
/// that fits, or that "..." alone is not narrower than, is returned unchanged; when nothing
/// fits, "..." is returned.
std::string ElideMiddle(std::string_view text, const TextMeasure& measure, int width);

}  // namespace relabo
