// ParseNumber and StrToInt on any text: a number or a conversion error,
// never anything else; a number is finite, within the 32-bit integer range
// plus a fraction (which may round up to 2^31 itself: 2147483647.99999999999
// has no double below it), and agrees with a reference reading. The information
// window's text of it reads back to the same value within its 15 digits.
#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "link/link_texts.h"
#include "link/number.h"
#include "link/number_reference.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::optional<double> expected = cardpush::testing_reference::ReferenceNumber(text);

    std::optional<double> parsed;
    try {
        parsed = cardpush::ParseNumber(text);
    } catch (const cardpush::EConvertError&) {
    }
    FUZZ_CHECK(parsed.has_value() == expected.has_value());
    if (parsed) {
        FUZZ_CHECK(std::isfinite(*parsed));
        FUZZ_CHECK(std::fabs(*parsed) <= 2147483648.0);
        FUZZ_CHECK(cardpush::testing_reference::CloseEnough(*expected, *parsed));

        const std::string shown = cardpush::FloatToText(*parsed, '.');
        double back = 0;
        const auto [end, error] = std::from_chars(shown.data(), shown.data() + shown.size(), back);
        FUZZ_CHECK(error == std::errc() && end == shown.data() + shown.size());
        FUZZ_CHECK(std::fabs(back - *parsed) <= std::fabs(*parsed) * 1e-14);
    }

    try {
        const std::int32_t value = cardpush::StrToInt(text);
        FUZZ_CHECK(cardpush::IntegerText(value) == std::to_string(std::stoll(std::string(text))));
    } catch (const cardpush::EConvertError& error) {
        namespace texts = cardpush::link_texts;
        // what() is a C string: it ends at the first NUL of the text it names.
        const std::string expected =
            texts::kNotAnIntegerBefore.str() + std::string(text) + texts::kNotAnIntegerAfter.str();
        FUZZ_CHECK(std::strcmp(error.what(), expected.c_str()) == 0);
    }
    return 0;
}
