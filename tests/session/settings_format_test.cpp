#include "session/settings_format.h"

#include <gtest/gtest.h>

#include "platform/cp1251.h"

namespace cardpush {
namespace {

using Lines = std::vector<SettingLine>;

std::string Cp(const char* utf8)
{
    return Utf8ToCp1251(utf8);
}

TEST(FormatSettingsTest, WritesTheEightLinesByteForByte)
{
    Settings settings;
    settings.sourceFolder = Cp("C:\\Job files\\Задания");
    settings.port = "COM2";
    settings.deleteAfterUpload = false;
    settings.deleteBeforeUpload = true;
    EXPECT_EQ(Cp1251ToUtf8(FormatSettings(settings)),
              " каталог входных файлов\r\n"
              "a=C:\\Job files\\Задания\r\n"
              " COM порт\r\n"
              "c=COM2\r\n"
              " удалять или нет исходные файлы после конвертации\r\n"
              "p=0\r\n"
              " удалять или нет файлы до конвертации\r\n"
              "d=-1\r\n");
}

// The controller last worked with is a ninth line, with no comment before
// it, and only once known: a file written before any controller answered is
// the eight lines. Its key is one the eight-line readers pass over.
TEST(FormatSettingsTest, SerialNumberFollowsTheEightLinesOnceKnown)
{
    Settings settings;
    settings.serialNumber = "12345 B";
    const std::string file = FormatSettings(settings);
    EXPECT_TRUE(file.starts_with(FormatSettings(Settings{}))) << file;
    EXPECT_TRUE(file.ends_with("\r\nd=-1\r\nn=12345 B\r\n")) << file;
    EXPECT_EQ(ParseSettings(file).back(), (SettingLine{'n', "12345 B"}));
}

TEST(FormatSettingsTest, DefaultsAreAnEmptyFolderAndPortAndBothBoxesChecked)
{
    const std::string file = FormatSettings(Settings{});
    EXPECT_NE(file.find("\r\na=\r\n"), std::string::npos) << file;
    EXPECT_NE(file.find("\r\nc=\r\n"), std::string::npos) << file;
    EXPECT_NE(file.find("\r\np=-1\r\n"), std::string::npos) << file;
    EXPECT_NE(file.find("\r\nd=-1\r\n"), std::string::npos) << file;
}

TEST(ParseSettingsTest, ReadsWhatFormatWrites)
{
    Settings settings;
    settings.sourceFolder = Cp("/home/оператор/Job files ");
    settings.port = "ttyUSB0";
    settings.deleteBeforeUpload = false;
    EXPECT_EQ(ParseSettings(FormatSettings(settings)),
              (Lines{{'a', settings.sourceFolder}, {'c', "ttyUSB0"}, {'p', "-1"}, {'d', "0"}}));
}

TEST(ParseSettingsTest, AcceptsLoneLineFeedsAndALastLineWithoutEnd)
{
    EXPECT_EQ(ParseSettings("a=X\nc=COM1\r\np=0"), (Lines{{'a', "X"}, {'c', "COM1"}, {'p', "0"}}));
    EXPECT_EQ(ParseSettings("d=0\r"), (Lines{{'d', "0"}}));
}

TEST(ParseSettingsTest, PassesOverLinesThatAreNoSettings)
{
    const std::string file =
        Cp(" каталог входных файлов\r\n"
           "A=upper\r\n"
           "P=0\r\n"
           "1=digit\r\n"
           "#=sign\r\n"
           "\r\n"
           "\n"
           "b=unused key\r\n"
           "o=unused key\r\n"
           "q=beyond p\r\n"
           "z=beyond p\r\n"
           "Я=cyrillic\r\n");
    EXPECT_EQ(ParseSettings(file), Lines{});
}

TEST(ParseSettingsTest, ValueBeginsAtTheThirdCharacterWhateverTheSecond)
{
    EXPECT_EQ(ParseSettings("c:COM3\r\npx0\r\nd\r\n"), (Lines{{'c', "COM3"}, {'p', "0"}}));
}

TEST(ParseSettingsTest, EmptyValuesAreSkipped)
{
    EXPECT_EQ(ParseSettings("a=\r\nc=\r\np=\r\nd= remark\r\n"), Lines{});
}

// The folder and the port are kept whole: a folder with a blank must come
// back as it was saved.
TEST(ParseSettingsTest, FolderAndPortKeepTheirBlanksCheckBoxesEndAtTheFirst)
{
    EXPECT_EQ(ParseSettings("a=C:\\Job files\r\nc=COM 7\r\np=0 keep files\r\nd=-1 \r\n"),
              (Lines{{'a', "C:\\Job files"}, {'c', "COM 7"}, {'p', "0"}, {'d', "-1"}}));
}

TEST(ParseSettingsTest, RepeatedKeysComeInFileOrder)
{
    EXPECT_EQ(ParseSettings("a=first\r\np=0\r\na=second\r\np=-1\r\n"),
              (Lines{{'a', "first"}, {'p', "0"}, {'a', "second"}, {'p', "-1"}}));
}

TEST(IsCheckedValueTest, OnlyExactlyZeroClears)
{
    EXPECT_FALSE(IsCheckedValue("0"));
    for (const char* value : {"-1", "1", "00", "False", "false", " 0", "0 "}) {
        EXPECT_TRUE(IsCheckedValue(value)) << value;
    }
}

}  // namespace
}  // namespace cardpush
