#include "jobs/card_name.h"

#include <algorithm>

#include "jobs/job_texts.h"
#include "platform/cp1251.h"

namespace cardpush {

const std::array<TranslitRow, 33> TranslitTable = {{
    {0xC0, "A"},  {0xC1, "B"},  {0xC2, "V"},    {0xC3, "G"}, {0xC4, "D"}, {0xC5, "E"},
    {0xA8, "E"},  {0xC6, "ZH"}, {0xC7, "Z"},    {0xC8, "I"}, {0xC9, "Y"}, {0xCA, "K"},
    {0xCB, "L"},  {0xCC, "M"},  {0xCD, "N"},    {0xCE, "O"}, {0xCF, "P"}, {0xD0, "R"},
    {0xD1, "S"},  {0xD2, "T"},  {0xD3, "U"},    {0xD4, "F"}, {0xD5, "H"}, {0xD6, "TS"},
    {0xD7, "CH"}, {0xD8, "SH"}, {0xD9, "SHCH"}, {0xDA, ""},  {0xDB, "Y"}, {0xDC, ""},
    {0xDD, "E"},  {0xDE, "YU"}, {0xDF, "YA"},
}};

namespace {

constexpr std::string_view kJobExtension = ".txt";

const TranslitRow* FindTranslit(unsigned char c)
{
    for (const TranslitRow& row : TranslitTable) {
        if (row.letter == c) {
            return &row;
        }
    }
    return nullptr;
}

}  // namespace

std::string CutBaseName(std::string_view fileName)
{
    // Windows spells the extension in any case ("A.TXT", "a.Txt"); a
    // case-sensitive search would upload such files under an empty name.
    for (std::size_t p = 0; p + kJobExtension.size() <= fileName.size(); ++p) {
        if (EqualIgnoringCaseCp1251(fileName.substr(p, kJobExtension.size()), kJobExtension)) {
            return std::string(fileName.substr(0, std::min(p, kMaxBaseName)));
        }
    }
    return {};
}

std::string MakeCardName(std::string_view baseName)
{
    std::string card;
    for (const char ch : UpperCaseLatinAndRussian(baseName)) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z')) {
            card.push_back(ch);
        } else if (const TranslitRow* row = FindTranslit(c)) {
            card.append(row->replacement);
        }
    }
    return card;
}

std::optional<std::string> NameChangeMessage(std::string_view baseName, std::string_view cardName)
{
    if (baseName == cardName) {
        return std::nullopt;
    }
    return job_texts::kNameChangedBefore.str() + std::string(baseName) +
           job_texts::kNameChangedBetween.str() + std::string(cardName);
}

}  // namespace cardpush
