// A second reading of numeric reply fields for tests and fuzzing, written
// another way than the tool's own: it cuts the text into its pieces first
// and lets the standard library convert "integer.fraction".
#pragma once

#include <algorithm>
#include <charconv>
#include <optional>
#include <string>
#include <string_view>

namespace cardpush::testing_reference {

// The value of a numeric field, or nothing for a conversion error.
inline std::optional<double> ReferenceNumber(std::string_view text)
{
    const std::size_t start = text.substr(0, 1) == "-" ? 1 : 0;
    const bool negative = start == 1;
    const std::size_t intEnd = std::min(text.find_first_not_of("0123456789", start), text.size());
    const std::string_view intDigits = text.substr(start, intEnd - start);
    if (intDigits.empty()) {
        return std::nullopt;
    }
    const std::size_t nonZero = intDigits.find_first_not_of('0');
    const std::string_view significant =
        nonZero == std::string_view::npos ? std::string_view("0") : intDigits.substr(nonZero);
    if (significant.size() > 10 || (significant.size() == 10 && significant > "2147483647")) {
        return std::nullopt;
    }
    std::string_view fraction;
    if (intEnd < text.size()) {
        const std::string_view rest = text.substr(intEnd + 1);
        fraction = rest.substr(0, std::min<std::size_t>(11, rest.find_first_not_of("0123456789")));
    }
    const std::string decimal = std::string(significant) + "." + std::string(fraction) + "0";
    double value = 0;
    std::from_chars(decimal.data(), decimal.data() + decimal.size(), value);
    return negative ? -value : value;
}

// ParseNumber rounds twice (extended precision, then double); the reference
// once. Both stay within two units in the last place of the double.
inline bool CloseEnough(double expected, double actual)
{
    const double tolerance = std::max(expected, -expected) * 4.5e-16;
    return actual - expected <= tolerance && expected - actual <= tolerance;
}

}  // namespace cardpush::testing_reference
