// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fileutil/error.h"

namespace relabo {

/// The eight batch commands; the value is the command index (page, action tag, table row).
enum Command : int {
  kInsertString = 0,
  kRemoveString = 1,
  kReplaceString = 2,
  kChangeString = 3,
  kChangeCase = 4,
  kChangeNumber = 5,
  kRenameFiles = 6,
  kCopyFiles = 7,
};
constexpr int kCommandCount = 8;

/// The values of the command pages, one member per input field; defaults are the values at
/// first start.
struct CommandParameters {
  // 0: Insert / Add String
  std::string InsertString;
  int32_t InsertFrom = 1;  // 0 adds the string to the end
  // 1: Remove String
  int32_t RemoveFrom = 0;  // 0 begin, 1 end, 2 position
  int32_t RemoveNumber = 1;
  int32_t RemovePosition = 1;
  // 2: Replace String
  std::string ReplaceOrigString;
  std::string ReplaceNewString;
  bool ReplaceRegex = false;  // the original string is a regular expression
  // 3: Change String
  std::string ChangeString;
  int32_t ChangeFrom = 1;
  // 4: Change Case
  int32_t ChangeCaseMode = 0;
  std::string ChangeCaseSeparator = " ";
  // 5: Change Number
  int32_t ChangeNumberWhich = 1;
  int32_t ChangeNumberPlus = 1;
  // 6: Rename Files
  std::string RenameName;
  std::string RenameSeparator;
  int32_t RenameScheme = 0;
  int32_t RenameStart = 1;
  int32_t RenameStep = 1;
  int32_t RenameDigits = 3;
  // 7: Copy Files
  int32_t CopyNumber = 1;
  std::string CopySeparator;
  int32_t CopyScheme = 0;
  int32_t CopyStart = 1;
  int32_t CopyStep = 1;
  int32_t CopyDigits = 3;

  bool operator==(const CommandParameters&) const = default;
};

/// A new name that cannot be computed for this name alone (a regular expression that runs
/// too long on it): its operation fails with the reason, the batch goes on.
class NameFailure : public Error {
 public:
  using Error::Error;
};

/// The new name of an entry under a command: only the base name changes, the extension is
/// appended again as it was. The ordinal is the counter position (Rename Files: operations
/// started before this one; Copy Files: the copy's number from 0). A command index outside
/// 0-7 returns the name unchanged. Throws Error "'%s' is not a valid integer value" when
/// Change Number meets a digit run above 2147483647, and Replace String with a regular
/// expression throws RegexReplace's errors (NameFailure for this name only).
std::string TransformName(std::string_view entryName, int command, const CommandParameters& params,
                          int32_t ordinal);

/// A decimal integer: an optional sign and digits, nothing else; held at +-2^40 however many
/// digits it has, which is beyond the range of every number a command takes. Nothing for any
/// other text.
std::optional<int64_t> ParseSaturatedInteger(std::string_view text);

/// The longest file name Linux file systems take, in bytes; no counter is padded beyond it.
constexpr int32_t kMaxNameBytes = 255;

/// start + step * ordinal (32-bit, wrapping) in decimal, zeros put in front up to digits
/// characters (also in front of a minus sign: "0-5"); digits beyond kMaxNameBytes count as
/// kMaxNameBytes, so no call builds a text longer than a file name can be.
std::string CounterText(int32_t start, int32_t step, int32_t digits, int32_t ordinal);

/// Name, separator and counter joined in the order of scheme 0-5; any other scheme acts as 5.
std::string ArrangeScheme(int scheme, std::string_view name, std::string_view separator,
                          std::string_view counter);

/// 1-based character positions of a run of the digits 0-9.
struct NumberRun {
  bool found = false;
  int first = 0;
  int last = 0;
};

/// The which-th (from 1) maximal run of the digits 0-9 in the text.
NumberRun FindNumber(std::string_view text, int which);

}  // namespace relabo
