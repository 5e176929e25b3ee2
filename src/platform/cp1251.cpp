#include "platform/cp1251.h"

#include <algorithm>
#include <array>

namespace cardpush {
namespace {

// The capitals outside the two contiguous alphabets (A-Z, А-Я), with their
// small letters.
constexpr unsigned char kOtherPairs[][2] = {
    {0x80, 0x90}, {0x81, 0x83}, {0x8A, 0x9A}, {0x8C, 0x9C}, {0x8D, 0x9D},
    {0x8E, 0x9E}, {0x8F, 0x9F}, {0xA1, 0xA2}, {0xA3, 0xBC}, {0xA5, 0xB4},
    {0xA8, 0xB8}, {0xAA, 0xBA}, {0xAF, 0xBF}, {0xB2, 0xB3}, {0xBD, 0xBE},
};

struct CaseTable {
    std::array<unsigned char, 256> lower{};
    std::array<unsigned char, 256> upper{};
};

constexpr CaseTable MakeCaseTable()
{
    CaseTable table;
    for (int c = 0; c < 256; ++c) {
        table.lower[c] = table.upper[c] = static_cast<unsigned char>(c);
    }
    const auto pair = [&table](int capital, int small) {
        table.lower[capital] = static_cast<unsigned char>(small);
        table.upper[small] = static_cast<unsigned char>(capital);
    };
    for (int c = 'A'; c <= 'Z'; ++c) {
        pair(c, c + 0x20);
    }
    for (int c = 0xC0; c <= 0xDF; ++c) {
        pair(c, c + 0x20);
    }
    for (const auto& [capital, small] : kOtherPairs) {
        pair(capital, small);
    }
    return table;
}

constexpr CaseTable kCase = MakeCaseTable();

constexpr unsigned char kSmallYo = 0xB8;
constexpr unsigned char kSmallYe = 0xE5;

// Sort weight of a lower-case byte: its code, except that ё sorts right
// after е.
unsigned Weight(unsigned char lower)
{
    return lower == kSmallYo ? kSmallYe * 2u + 1u : lower * 2u;
}

unsigned char Byte(char c)
{
    return static_cast<unsigned char>(c);
}

}  // namespace

unsigned char LowerCp1251(unsigned char c)
{
    return kCase.lower[c];
}

unsigned char UpperCp1251(unsigned char c)
{
    return kCase.upper[c];
}

bool EqualIgnoringCaseCp1251(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return LowerCp1251(Byte(x)) == LowerCp1251(Byte(y)); });
}

int CompareCp1251(std::string_view a, std::string_view b, bool ignoreCase)
{
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const unsigned wa = Weight(LowerCp1251(Byte(a[i])));
        const unsigned wb = Weight(LowerCp1251(Byte(b[i])));
        if (wa != wb) {
            return wa < wb ? -1 : 1;
        }
    }
    if (a.size() != b.size()) {
        return a.size() < b.size() ? -1 : 1;
    }
    if (ignoreCase) {
        return 0;
    }
    // Same letters: the first difference of case decides, lower case first.
    for (std::size_t i = 0; i < common; ++i) {
        if (a[i] != b[i]) {
            return LowerCp1251(Byte(a[i])) == Byte(a[i]) ? -1 : 1;
        }
    }
    return 0;
}

std::string UpperCaseLatinAndRussian(std::string_view text)
{
    std::string upper(text);
    for (char& ch : upper) {
        const unsigned char c = Byte(ch);
        if ((c >= 'a' && c <= 'z') || c >= 0xE0 || c == kSmallYo) {
            ch = static_cast<char>(UpperCp1251(c));
        }
    }
    return upper;
}

std::string Cp1251ToUtf8(std::string_view cp1251)
{
    std::string out;
    out.reserve(cp1251.size() * 2);
    for (const char c : cp1251) {
        const auto byte = static_cast<unsigned char>(c);
        const char32_t cp = byte < 0x80 ? byte : cp1251_detail::kHighHalf[byte - 0x80];
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

std::string Utf8ToCp1251(std::string_view utf8)
{
    std::u32string text;
    text.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        text += cp1251_detail::NextCodePoint(utf8, i);
    }
    return UnicodeToCp1251(text);
}

namespace {

// The letters of the code page that have a decomposed form: a base letter
// and one combining mark.
struct Composition {
    char32_t base;
    char32_t mark;
    char32_t letter;
};
constexpr Composition kCompositions[] = {
    {0x0415, 0x0308, 0x0401}, {0x0435, 0x0308, 0x0451},  // Ё ё
    {0x0418, 0x0306, 0x0419}, {0x0438, 0x0306, 0x0439},  // Й й
    {0x0406, 0x0308, 0x0407}, {0x0456, 0x0308, 0x0457},  // Ї ї
    {0x0423, 0x0306, 0x040E}, {0x0443, 0x0306, 0x045E},  // Ў ў
    {0x0413, 0x0301, 0x0403}, {0x0433, 0x0301, 0x0453},  // Ѓ ѓ
    {0x041A, 0x0301, 0x040C}, {0x043A, 0x0301, 0x045C},  // Ќ ќ
};

// The combining diacritical marks.
bool IsCombiningMark(char32_t cp)
{
    return cp >= 0x0300 && cp <= 0x036F;
}

}  // namespace

std::string UnicodeToCp1251(std::u32string_view text)
{
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        char32_t letter = text[i++];
        std::size_t marks = 0;
        while (i + marks < text.size() && IsCombiningMark(text[i + marks])) {
            ++marks;
        }
        if (marks > 0) {
            const char32_t mark = text[i];
            const auto* composed = std::find_if(
                std::begin(kCompositions), std::end(kCompositions),
                [&](const Composition& c) { return c.base == letter && c.mark == mark; });
            letter =
                marks == 1 && composed != std::end(kCompositions) ? composed->letter : U'\uFFFD';
            i += marks;
        }
        out += cp1251_detail::FromCodePoint(letter);
    }
    return out;
}

}  // namespace cardpush
