#include "jobs/card_name.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/cp1251.h"

namespace cardpush {
namespace {

struct NameCase {
    const char* fileName;  // UTF-8 here, Windows-1251 when used
    const char* base;
    const char* card;
    bool message;
};

TEST(CardName, FileNamesGiveBaseNameCardNameAndNotice)
{
    const NameCase cases[] = {
        {"abc.txt", "abc", "ABC", true},
        {"ABC123.txt", "ABC123", "ABC123", false},
        {"ABCDEFGHIJ.txt", "ABCDEFGH", "ABCDEFGH", false},
        {"Щука.txt", "Щука", "SHCHUKA", true},
        {"Объём 1.txt", "Объём 1", "OBEM1", true},
        {"my file_1.txt", "my file_", "MYFILE", true},
        {"щщщщщщщщ.txt", "щщщщщщщщ", "SHCHSHCHSHCHSHCHSHCHSHCHSHCHSHCH", true},
        {"a.txt.txt", "a", "A", true},
        {".txt", "", "", false},
        {"___.txt", "___", "", true},
        {"ЇЄІ.txt", "ЇЄІ", "", true},
        {"readme", "", "", false},
        {"ЁЖИКЪЬ.txt", "ЁЖИКЪЬ", "EZHIK", true},
        {"эюя-ЭЮЯ.txt", "эюя-ЭЮЯ", "EYUYAEYUYA", true},
        // The extension is found in any letter case, as Windows spells it.
        {"A.TXT", "A", "A", false},
        {"a.Txt", "a", "A", true},
        {"JOB.TxT.txt", "JOB", "JOB", false},
    };
    for (const NameCase& c : cases) {
        const std::string fileName = Utf8ToCp1251(c.fileName);
        const std::string base = CutBaseName(fileName);
        EXPECT_EQ(Utf8ToCp1251(c.base), base) << "file: " << c.fileName;
        const std::string card = MakeCardName(base);
        EXPECT_EQ(c.card, card) << "file: " << c.fileName;
        const std::optional<std::string> notice = NameChangeMessage(base, card);
        EXPECT_EQ(c.message, notice.has_value()) << "file: " << c.fileName;
    }
}

TEST(CardName, NoticeNamesBaseNameAndCardName)
{
    EXPECT_EQ(Utf8ToCp1251("Имя файла abc изменено на ABC"), NameChangeMessage("abc", "ABC"));
    EXPECT_EQ(Utf8ToCp1251("Имя файла ___ изменено на "), NameChangeMessage("___", ""));
    EXPECT_EQ(std::nullopt, NameChangeMessage("ABC", "ABC"));
}

TEST(CardName, EveryRussianLetterTransliteratesAlikeInBothCases)
{
    const std::string capitals = Utf8ToCp1251("АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ");
    const std::string small = Utf8ToCp1251("абвгдеёжзийклмнопрстуфхцчшщъыьэюя");
    const std::string expected = "ABVGDEEZHZIYKLMNOPRSTUFHTSCHSHSHCHYEYUYA";
    EXPECT_EQ(expected, MakeCardName(capitals));
    EXPECT_EQ(expected, MakeCardName(small));
    EXPECT_EQ(33u, TranslitTable.size());
}

TEST(CardName, BytesOutsideDigitsLettersAndTableAreDropped)
{
    std::string others;
    for (int b = 1; b < 256; ++b) {
        const bool kept = (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') ||
                          (b >= 'a' && b <= 'z') || b >= 0xC0 || b == 0xA8 || b == 0xB8;
        if (!kept) {
            others.push_back(static_cast<char>(b));
        }
    }
    others.push_back('\0');
    EXPECT_EQ("", MakeCardName(others));
    EXPECT_EQ("Z9", MakeCardName(others + "z" + others + "9"));
}

}  // namespace
}  // namespace cardpush
