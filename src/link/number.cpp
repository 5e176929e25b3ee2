#include "link/number.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "link/link_texts.h"

namespace cardpush {

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

[[noreturn]] void ThrowNotAnInteger(std::string_view text)
{
    throw EConvertError(link_texts::kNotAnIntegerBefore.str() + std::string(text) +
                        link_texts::kNotAnIntegerAfter.str());
}

[[noreturn]] void ThrowNotANumber(std::string_view text)
{
    throw EConvertError(link_texts::kNotANumberBefore.str() + std::string(text) +
                        link_texts::kNotANumberAfter.str());
}

// Digits only, no sign. Empty means not an integer; so does a magnitude above
// limit. Any number of leading zeros is fine.
bool DigitsToMagnitude(std::string_view digits, std::uint64_t limit, std::uint64_t& magnitude)
{
    if (digits.empty()) {
        return false;
    }
    magnitude = 0;
    for (const char c : digits) {
        if (!IsDigit(c)) {
            return false;
        }
        magnitude = magnitude * 10 + static_cast<std::uint64_t>(c - '0');
        if (magnitude > limit) {
            return false;
        }
    }
    return true;
}

constexpr std::uint64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::size_t kMaxFractionDigits = 11;

}  // namespace

std::int32_t StrToInt(std::string_view text)
{
    bool negative = false;
    std::string_view digits = text;
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    std::uint64_t magnitude = 0;
    if (!DigitsToMagnitude(digits, negative ? kInt32Max + 1 : kInt32Max, magnitude)) {
        ThrowNotAnInteger(text);
    }
    return static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(magnitude)
                                              : static_cast<std::int64_t>(magnitude));
}

double ParseNumber(std::string_view text)
{
    std::size_t pos = 0;
    const bool negative = !text.empty() && text.front() == '-';
    if (negative) {
        pos = 1;
    }

    const std::size_t integerStart = pos;
    while (pos < text.size() && IsDigit(text[pos])) {
        ++pos;
    }
    std::uint64_t integerPart = 0;
    if (!DigitsToMagnitude(text.substr(integerStart, pos - integerStart), kInt32Max, integerPart)) {
        ThrowNotANumber(text);
    }

    // Whatever single byte ended the integer digits is the decimal separator,
    // so the controller's "." and "," read alike on any system.
    std::uint64_t fraction = 0;
    std::size_t fractionDigits = 0;
    if (pos < text.size()) {
        ++pos;
        while (pos < text.size() && IsDigit(text[pos]) && fractionDigits < kMaxFractionDigits) {
            fraction = fraction * 10 + static_cast<std::uint64_t>(text[pos] - '0');
            ++fractionDigits;
            ++pos;
        }
    }

    // Extended precision for the division and the sum: 10^11 and every
    // 11-digit fraction are exact in it, so only the final narrowing rounds
    // to within a hair of the nearest double.
    long double value = static_cast<long double>(integerPart);
    if (fractionDigits > 0) {
        long double scale = 1;
        for (std::size_t i = 0; i < fractionDigits; ++i) {
            scale *= 10;
        }
        value += static_cast<long double>(fraction) / scale;
    }
    if (negative) {
        value = -value;
    }
    return static_cast<double>(value);
}

bool FirmwareSupportsUpload(std::string_view version)
{
    return StrToInt(version) >= kFirstUploadFirmware;
}

std::string FloatToText(double value, char decimalSeparator)
{
    if (std::isnan(value)) {
        return "NAN";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-INF" : "INF";
    }
    if (value == 0) {
        return "0";
    }

    constexpr int kSignificant = 15;
    // "%.14e" rounds to 15 significant digits and gives them as d.ddd...e±x;
    // it reads the digits only, never the locale's separator.
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.*e", kSignificant - 1, std::fabs(value));
    std::string digits;
    const char* p = buffer;
    for (; *p != 'e'; ++p) {
        if (IsDigit(*p)) {
            digits.push_back(*p);
        }
    }
    const int exponent = std::atoi(p + 1);
    while (digits.size() > 1 && digits.back() == '0') {
        digits.pop_back();
    }

    std::string text = value < 0 ? "-" : "";
    const bool fixed = exponent < kSignificant && exponent >= -5;
    if (!fixed) {
        text += digits.front();
        if (digits.size() > 1) {
            text += decimalSeparator;
            text.append(digits, 1);
        }
        text += 'E';
        text += std::to_string(exponent);
        return text;
    }
    if (exponent < 0) {
        text += '0';
        text += decimalSeparator;
        text.append(static_cast<std::size_t>(-exponent - 1), '0');
        text += digits;
        return text;
    }
    const auto integerDigits = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= integerDigits) {
        text += digits;
        text.append(integerDigits - digits.size(), '0');
    } else {
        text.append(digits, 0, integerDigits);
        text += decimalSeparator;
        text.append(digits, integerDigits);
    }
    return text;
}

std::string IntegerText(std::int32_t value)
{
    return std::to_string(value);
}

}  // namespace cardpush
