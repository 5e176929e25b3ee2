// Reading and writing the numbers of the controller's reply fields.
//
// Every function here is pure and independent of the process's locale.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace cardpush {

// A text that should have held a number and did not. The message (Windows-1251)
// names the text.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The standard decimal text-to-integer conversion: an optional "+" or "-",
// then one or more digits "0".."9" and nothing else, within the 32-bit signed
// range. Leading zeros are allowed ("0072" is 72). Throws EConvertError.
std::int32_t StrToInt(std::string_view text);

// The value of a numeric reply field (minimum, maximum, mode). An optional
// leading "-", integer digits (32-bit signed range), then optionally any one
// byte as the decimal separator followed by up to 11 fraction digits; every
// byte after those is ignored. "12.5", "12,5" and "12x5" are all 12.5.
// Throws EConvertError when no integer digit stands where one is required or
// the integer part is out of range.
double ParseNumber(std::string_view text);

// The firmware gate: whether a firmware version (as received) allows card
// uploads, which it does from 72 on. Throws EConvertError for a version that
// is not an integer.
bool FirmwareSupportsUpload(std::string_view version);
inline constexpr std::int32_t kFirstUploadFirmware = 72;

// The general float text of the information window: the shortest form with
// up to 15 significant digits, fixed-point unless the value has more than 15
// integer digits or is below 0.00001 in magnitude, then as mantissa "E"
// exponent ("1E20", "1.5E-7"). Zero is "0". The decimal separator is the
// caller's (the system's).
std::string FloatToText(double value, char decimalSeparator);

// Decimal text of an integer, "-" for negatives.
std::string IntegerText(std::int32_t value);

}  // namespace cardpush
