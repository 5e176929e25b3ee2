// Windows-1251, the code page of every string in the tool's core.
//
// Texts are converted only where they meet Unicode: widgets, and file names
// on a POSIX file system. Job-file bytes and frames are never converted.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace cardpush {

namespace cp1251_detail {

// Unicode code points of the bytes 0x80..0xFF. 0x98 has no character in the
// code page; it maps to U+0098 so that every byte survives a round trip.
inline constexpr char32_t kHighHalf[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039,
    0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408,
    0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB,
    0x0458, 0x0405, 0x0455, 0x0457, 0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423,
    0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B,
    0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

// The byte for a code point, or '?' when the code page has none (as Windows
// does for a name that the code page can't hold).
constexpr char FromCodePoint(char32_t cp)
{
    if (cp < 0x80) {
        return static_cast<char>(cp);
    }
    for (int i = 0; i < 128; ++i) {
        if (kHighHalf[i] == cp) {
            return static_cast<char>(0x80 + i);
        }
    }
    return '?';
}

// Decodes one UTF-8 sequence at text[i], advancing i. A malformed byte
// decodes as U+FFFD and is skipped alone.
constexpr char32_t NextCodePoint(std::string_view text, std::size_t& i)
{
    const auto lead = static_cast<unsigned char>(text[i++]);
    if (lead < 0x80) {
        return lead;
    }
    int extra = 0;
    char32_t cp = 0;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        cp = lead & 0x07;
    } else {
        return 0xFFFD;
    }
    const std::size_t start = i;
    for (int k = 0; k < extra; ++k) {
        if (i >= text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            i = start;
            return 0xFFFD;
        }
        cp = (cp << 6) | (static_cast<unsigned char>(text[i++]) & 0x3F);
    }
    return cp;
}

}  // namespace cp1251_detail

// A Windows-1251 text made at compile time from a UTF-8 literal, so that the
// tool's Russian texts stay readable in the source:
//     constexpr Cp1251Literal kBusy{"Порт занят другой программой"};
//     throw EComPort(kBusy);
template <std::size_t N>
struct Cp1251Literal {
    char bytes[N]{};
    std::size_t size = 0;

    consteval Cp1251Literal(const char (&utf8)[N])
    {
        const std::string_view text(utf8, N - 1);
        std::size_t i = 0;
        while (i < text.size()) {
            bytes[size++] = cp1251_detail::FromCodePoint(cp1251_detail::NextCodePoint(text, i));
        }
    }

    constexpr std::string_view view() const { return {bytes, size}; }
    std::string str() const { return std::string(bytes, size); }
    operator std::string() const { return str(); }
    constexpr operator std::string_view() const { return view(); }
};

std::string Cp1251ToUtf8(std::string_view cp1251);
// Characters without a Windows-1251 byte become '?'; a malformed UTF-8 byte
// is such a character. See UnicodeToCp1251 for letters written decomposed.
std::string Utf8ToCp1251(std::string_view utf8);

// Windows-1251 text of Unicode text, as its composed form (NFC) reads. A
// letter written decomposed, as file names copied from a Mac are (И and a
// combining breve), becomes the code page's one letter (Й). A character the
// code page lacks becomes '?'; so does a letter with combining marks that
// make no letter of the code page (e and an acute accent: é), as one
// character.
std::string UnicodeToCp1251(std::u32string_view text);

// --- letter case and order: the code page's one case table ---

// The case pairs of the code page: Latin A-Z, the Russian alphabet with Ё,
// and the other Cyrillic capitals of its upper half (Ђ, Ѓ, Љ, Њ, Ќ, Ћ, Џ, Ў,
// Ј, Ґ, Є, Ї, І, Ѕ). A byte without a pair comes back unchanged.
unsigned char LowerCp1251(unsigned char c);
unsigned char UpperCp1251(unsigned char c);

// The same text but for letter case, by the pairs above.
bool EqualIgnoringCaseCp1251(std::string_view a, std::string_view b);

// Order of two texts, as the port list is sorted: byte by byte once
// lower-cased, except that ё sorts right after е as in the alphabet; a text
// comes before the longer texts it begins. With ignoreCase the two letters
// of a case pair are equal; without it, texts that differ only in case are
// ordered by their first difference, lower case first. Negative, zero or
// positive as a comes before, with or after b.
int CompareCp1251(std::string_view a, std::string_view b, bool ignoreCase);

// A narrower upper case, which card names are made with: only a-z, а-я and
// ё change (to A-Z, А-Я and Ё); every other byte, the other Cyrillic
// letters of the upper half included, stays. Card names keep only Latin
// capitals and the Russian alphabet, so nothing else needs a capital there.
std::string UpperCaseLatinAndRussian(std::string_view text);

}  // namespace cardpush
