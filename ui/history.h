// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace relabo {

/// A history is cut back to this many entries when a new text comes in at exactly this many.
inline constexpr std::size_t kHistoryLimit = 10;

/// True when a and b are the same text without regard to letter case (simple case folding of
/// each character; bytes that are not UTF-8 compare exactly).
bool SameTextIgnoringCase(std::string_view a, std::string_view b);

/// Records an accepted text in a history, most recent first, and returns the history's new first
/// entry. An entry equal to text without regard to case moves to the top with its stored case;
/// otherwise text goes on top, and the tenth entry is dropped first when there are exactly ten
/// (a longer history, possible only through stored settings, is never shortened).
std::string UpdateHistory(std::vector<std::string>& history, const std::string& text);

}  // namespace relabo
