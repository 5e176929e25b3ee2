// Validation of one job-file line.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace cardpush {

// Shows one operator message and returns when the operator has closed it.
using ShowMessageFn = std::function<void(const std::string&)>;

// Checks the line's size field, the text before its first blank (0x20; a
// line without a blank has an empty size field, which passes). After an
// optional leading "-", only digits and at most one decimal separator ("."
// or ",") may stand there. Every fault is shown at once, one message per
// offending character in character order, each naming the whole size field,
// and the check goes on to the end of the field. Returns whether the line is
// acceptable. The rest of the line is never looked at.
bool ValidateJobLine(std::string_view line, const ShowMessageFn& showMessage);

}  // namespace cardpush
