// Card names: the short names (digits and Latin capitals only) under which
// job files are stored on the controller's memory card.
//
// Pure functions over Windows-1251 text; no system locale is consulted.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace cardpush {

// The Latin letters that replace each capital of the Russian alphabet,
// matched by its Windows-1251 code. Ъ and Ь are replaced by nothing.
struct TranslitRow {
    unsigned char letter;
    std::string_view replacement;
};
extern const std::array<TranslitRow, 33> TranslitTable;

// A base name holds at most this many characters of the file name; a card
// name, four Latin letters for each of them at most.
inline constexpr std::size_t kMaxBaseName = 8;
inline constexpr std::size_t kMaxCardName = 32;

// The file name up to its first ".txt" (found whatever the letter case, so
// "A.TXT" gives "A"), at most its first 8 characters. Empty when the name
// holds no ".txt".
std::string CutBaseName(std::string_view fileName);

// The base name upper-cased (UpperCaseLatinAndRussian: a-z, а-я and ё only),
// with digits and Latin capitals kept, Russian capitals transliterated and
// every other character dropped.
std::string MakeCardName(std::string_view baseName);

// The operator's notice that a file goes to the card under another name, or
// nothing when the card name equals the base name exactly.
std::optional<std::string> NameChangeMessage(std::string_view baseName, std::string_view cardName);

}  // namespace cardpush
