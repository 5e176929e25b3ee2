#include "link/number.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>

#include "link/number_reference.h"
#include "platform/cp1251.h"

namespace cardpush {
namespace {

struct NumberCase {
    const char* text;
    double value;
};

TEST(ParseNumber, ReadsIntegerAndFractionWithAnySeparatorByte)
{
    const NumberCase cases[] = {
        {"12", 12},
        {"12.5", 12.5},
        {"12,5", 12.5},
        {"12x5", 12.5},
        {"-1.5", -1.5},
        {"-0.25", -0.25},
        {"0.05", 0.05},
        {"5.", 5},
        {"5.x", 5},
        {"1.2.3", 1.2},
        {"7e3", 7.3},
        {"3.123456789012345", 3.12345678901},
        {"12 ", 12},
        {"0", 0},
        {"2147483647", 2147483647.0},
        // The largest integer part with a fraction of nines rounds to 2^31.
        {"2147483647.99999999999", 2147483648.0},
        {"000000000000000000012.5", 12.5},
        {"1.2147483648", 1.2147483648},
        {"1+5", 1.5},
        {"1\xFF"
         "5",
         1.5},
    };
    for (const NumberCase& c : cases) {
        EXPECT_EQ(c.value, ParseNumber(c.text)) << "text: " << c.text;
    }
}

TEST(ParseNumber, WithoutIntegerDigitsOrBeyondInt32IsAConversionError)
{
    const char* const cases[] = {"",  "-",   ".5",         "-.5",         "+5",           " 5",
                                 "x", "--5", "2147483648", "-2147483648", "99999999999.5"};
    for (const char* text : cases) {
        EXPECT_THROW(ParseNumber(text), EConvertError) << "text: " << text;
    }
}

// The message of the conversion error that convert throws, or "no error".
template <typename Convert>
std::string ConversionMessage(Convert convert)
{
    try {
        convert();
    } catch (const EConvertError& e) {
        return e.what();
    }
    return "no error";
}

TEST(ConversionError, MessageNamesTheText)
{
    EXPECT_EQ(Utf8ToCp1251("'-.5' не является числом"),
              ConversionMessage([] { ParseNumber("-.5"); }));
    EXPECT_EQ(Utf8ToCp1251("'7.2' не является целым числом"),
              ConversionMessage([] { StrToInt("7.2"); }));
    EXPECT_EQ(Utf8ToCp1251("'' не является целым числом"),
              ConversionMessage([] { FirmwareSupportsUpload(""); }));
}

TEST(ParseNumber, NegativeZeroReadsAsZero)
{
    EXPECT_EQ(0.0, ParseNumber("-0"));
    EXPECT_EQ(0.0, ParseNumber("-0.0"));
}

TEST(ParseNumber, AgreesWithReferenceOnRandomTexts)
{
    std::mt19937 random(20240607);
    const std::string alphabet = "0123456789012345678901234567890123456789-.,xe+ \xC0";
    std::uniform_int_distribution<std::size_t> length(0, 24);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    for (int i = 0; i < 20000; ++i) {
        std::string text;
        for (std::size_t n = length(random); n > 0; --n) {
            text.push_back(alphabet[pick(random)]);
        }
        const std::optional<double> expected = testing_reference::ReferenceNumber(text);
        if (!expected) {
            EXPECT_THROW(ParseNumber(text), EConvertError) << "text: " << text;
            continue;
        }
        const double actual = ParseNumber(text);
        EXPECT_TRUE(testing_reference::CloseEnough(*expected, actual))
            << "text: " << text << " reference " << *expected << " parsed " << actual;
    }
}

TEST(StrToInt, AcceptsOptionalSignAndDigitsOnlyWithinInt32)
{
    EXPECT_EQ(72, StrToInt("72"));
    EXPECT_EQ(72, StrToInt("0072"));
    EXPECT_EQ(5, StrToInt("+5"));
    EXPECT_EQ(-5, StrToInt("-5"));
    EXPECT_EQ(2147483647, StrToInt("2147483647"));
    EXPECT_EQ(-2147483647 - 1, StrToInt("-2147483648"));
    EXPECT_EQ(0, StrToInt("-0"));
    for (const char* text : {"", "-", "+", "7.2", " 7", "7 ", "2147483648", "-2147483649", "0x10",
                             "1e3", "99999999999999999999"}) {
        EXPECT_THROW(StrToInt(text), EConvertError) << "text: " << text;
    }
}

TEST(FirmwareGate, PassesFrom72On)
{
    EXPECT_TRUE(FirmwareSupportsUpload("72"));
    EXPECT_TRUE(FirmwareSupportsUpload("0072"));
    EXPECT_TRUE(FirmwareSupportsUpload("100"));
    EXPECT_FALSE(FirmwareSupportsUpload("71"));
    EXPECT_FALSE(FirmwareSupportsUpload("0"));
    EXPECT_FALSE(FirmwareSupportsUpload("-5"));
    EXPECT_THROW(FirmwareSupportsUpload("7.2"), EConvertError);
    EXPECT_THROW(FirmwareSupportsUpload(""), EConvertError);
}

TEST(FloatToText, ShortestFormWithFifteenDigitsAndCallersSeparator)
{
    EXPECT_EQ("0", FloatToText(0.0, '.'));
    EXPECT_EQ("0", FloatToText(-0.0, '.'));
    EXPECT_EQ("12,5", FloatToText(12.5, ','));
    EXPECT_EQ("12.5", FloatToText(12.5, '.'));
    EXPECT_EQ("-1.5", FloatToText(-1.5, '.'));
    EXPECT_EQ("100", FloatToText(100, '.'));
    EXPECT_EQ("0.05", FloatToText(0.05, '.'));
    EXPECT_EQ("0.3", FloatToText(0.1 + 0.2, '.'));
    EXPECT_EQ("0.333333333333333", FloatToText(1.0 / 3, '.'));
    EXPECT_EQ("3.12345678901", FloatToText(3.12345678901, '.'));
    EXPECT_EQ("2147483647.12346", FloatToText(2147483647.12345678901, '.'));
    EXPECT_EQ("-2147483647", FloatToText(-2147483647.0, '.'));
    EXPECT_EQ("123456789012345", FloatToText(123456789012345.0, '.'));
    EXPECT_EQ("1E15", FloatToText(1e15, '.'));
    EXPECT_EQ("1,5E20", FloatToText(1.5e20, ','));
    EXPECT_EQ("0.00001", FloatToText(0.00001, '.'));
    EXPECT_EQ("0,000015", FloatToText(0.000015, ','));
    EXPECT_EQ("-1.5E-7", FloatToText(-1.5e-7, '.'));
    EXPECT_EQ("1E-300", FloatToText(1e-300, '.'));
}

}  // namespace
}  // namespace cardpush
