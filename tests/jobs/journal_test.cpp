#include "jobs/journal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/cp1251.h"

namespace cardpush {
namespace {

using Fields = JournalFields;

CardOperation Operation(CardOperation::Kind kind, const std::string& cardName = {})
{
    CardOperation operation;
    operation.kind = kind;
    operation.cardName = cardName;
    return operation;
}

struct LineCase {
    Fields fields;
    std::string line;
};

// Quoting as RFC 4180 asks; a line break inside a field becomes a blank,
// so that a record never spans two lines of the file. What a spreadsheet
// would take for a formula is quoted after an apostrophe, and so is a
// leading apostrophe, so that the reader gives back the text.
TEST(TransferJournal, FormatsAndParsesOneLinePerRecord)
{
    const LineCase cases[] = {
        {{"a", "b", ""}, "a,b,\r\n"},
        {{"a,b", "c"}, "\"a,b\",c\r\n"},
        {{"say \"hi\"", "x"}, "\"say \"\"hi\"\"\",x\r\n"},
        {{"two\r\nlines", "x"}, "two  lines,x\r\n"},
        {{"\"\n,", ""}, "\"\"\" ,\",\r\n"},
        {{"=HYPERLINK(\"http://x\")", "+1", "-2", "@A1"},
         "\"'=HYPERLINK(\"\"http://x\"\")\",\"'+1\",\"'-2\",\"'@A1\"\r\n"},
        {{"\t=1", "\r=1", "'a", "''", "it's"}, "\"'\t=1\", =1,\"''a\",\"'''\",it's\r\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.line, TransferJournal::FormatLine(c.fields)) << c.line;
        const std::string withoutEnd = c.line.substr(0, c.line.size() - 2);
        Fields expected = c.fields;
        for (auto& field : expected) {
            for (auto& ch : field) {
                ch = (ch == '\r' || ch == '\n') ? ' ' : ch;
            }
        }
        EXPECT_EQ(expected, TransferJournal::ParseLine(withoutEnd)) << c.line;
    }
}

TEST(TransferJournal, FieldsAreUtf8AndAResultOfNothingIsOk)
{
    CardOperation upload{CardOperation::Kind::Upload,
                         Utf8ToCp1251("ЗАДАНИЕ"),
                         std::filesystem::path(u8"/jobs/задание.txt"),
                         12,
                         {}};
    EXPECT_EQ((Fields{"2026-12-09T14:03:05+03:00", "SN-7", "ttyUSB0", "upload", "ЗАДАНИЕ",
                      "/jobs/задание.txt", "12", "ok", "window"}),
              TransferJournal::Fields("2026-12-09T14:03:05+03:00", "SN-7", "ttyUSB0", upload));

    const CardOperation deleteAll{
        CardOperation::Kind::DeleteAll, "OLD", {}, std::nullopt, Utf8ToCp1251("Ошибка записи")};
    EXPECT_EQ((Fields{"t", "", "", "delete-all", "OLD", "", "", "Ошибка записи", "command-line"}),
              TransferJournal::Fields("t", "", "", deleteAll, JournalOrigin::CommandLine));

    // A name's bytes that are not UTF-8 are escaped; the rest stays.
    const std::pair<std::filesystem::path, const char*> names[] = {
#ifdef _WIN32
        {std::wstring(L"C:\\jobs\\\x0437\xD800"
                      L"a.txt"),
         "C:\\jobs\\з\\xED\\xA0\\x80a.txt"},
#else
        {"/jobs/\xD0\xB7\xFF\xC3(\xE0\x80\xAF.txt", "/jobs/з\\xFF\\xC3(\\xE0\\x80\\xAF.txt"},
#endif
    };
    for (const auto& [path, text] : names) {
        upload.localFile = path;
        EXPECT_EQ(text, TransferJournal::Fields("t", "", "", upload)[5]);
    }

    const std::pair<CardOperation::Kind, const char*> kinds[] = {
        {CardOperation::Kind::Delete, "delete"},
        {CardOperation::Kind::LocalDelete, "local-delete"},
    };
    for (const auto& [kind, text] : kinds) {
        EXPECT_EQ(text, TransferJournal::Fields("t", "", "", Operation(kind))[3]);
    }
}

TEST(TransferJournal, LocalTimeCarriesItsOffset)
{
    std::tm local{};
    local.tm_year = 126;
    local.tm_mon = 11;
    local.tm_mday = 9;
    local.tm_hour = 4;
    local.tm_min = 3;
    local.tm_sec = 5;
    EXPECT_EQ("2026-12-09T04:03:05+03:00", TransferJournal::LocalTimeText(local, 180));
    EXPECT_EQ("2026-12-09T04:03:05-09:30", TransferJournal::LocalTimeText(local, -570));
    EXPECT_EQ("2026-12-09T04:03:05+00:00", TransferJournal::LocalTimeText(local, 0));
}

class JournalFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        folder_ =
            std::filesystem::temp_directory_path() / ("cardpush-journal-" + std::to_string(stamp));
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::filesystem::path File() const { return folder_ / TransferJournal::kFileName; }

    std::string FileText() const
    {
        std::ifstream file(File(), std::ios::binary);
        return {std::istreambuf_iterator<char>(file), {}};
    }

    void WriteFile(const std::string& text) const
    {
        std::ofstream(File(), std::ios::binary) << text;
    }

    std::vector<Fields> FileLines() const
    {
        const std::string text = FileText();
        std::vector<Fields> lines;
        for (std::size_t from = 0, end = 0; from < text.size(); from = end + 1) {
            end = std::min(text.find('\n', from), text.size());
            lines.push_back(TransferJournal::ParseLine(text.substr(from, end - from)));
        }
        return lines;
    }

    std::vector<std::string> CardNamesInFile() const
    {
        std::vector<std::string> names;
        for (const auto& line : FileLines()) {
            names.push_back(line.at(4));
        }
        return names;
    }

    std::filesystem::path folder_;
};

// The header goes into a new file only; each record is appended whole, and
// the tail reads back newest first.
TEST_F(JournalFileTest, AppendsAfterOneHeaderAndReadsTheTailNewestFirst)
{
    {
        std::ofstream keep(folder_ / TransferJournal::kFileName, std::ios::binary);
    }
    TransferJournal journal(folder_ / TransferJournal::kFileName);
    journal.SetController("SN1", "COM3");
    constexpr int kRecords = 1500;
    for (int i = 0; i < kRecords; ++i) {
        ASSERT_TRUE(
            journal.Append(Operation(CardOperation::Kind::Delete, "N" + std::to_string(i))));
    }
    TransferJournal again(folder_ / TransferJournal::kFileName);
    ASSERT_TRUE(again.Append(Operation(CardOperation::Kind::Delete, "LAST")));

    const std::string text = FileText();
    EXPECT_TRUE(text.starts_with(TransferJournal::FormatLine(TransferJournal::HeaderFields())));
    EXPECT_EQ(std::string::npos, text.find("time", 4));
    EXPECT_EQ(kRecords + 2, std::count(text.begin(), text.end(), '\n'));

    const auto latest = again.Latest(500);
    ASSERT_EQ(500u, latest.size());
    EXPECT_EQ("LAST", latest[0][4]);
    EXPECT_EQ("", latest[0][1]);
    EXPECT_EQ("N1499", latest[1][4]);
    EXPECT_EQ((Fields{"SN1", "COM3", "delete"}),
              Fields(latest[1].begin() + 1, latest[1].begin() + 4));
    EXPECT_EQ("N1001", latest[499][4]);
    EXPECT_EQ(kRecords + 1u, again.Latest(5000).size());
}

// A journal that can't be written now (on Windows a spreadsheet locks it;
// here its name is taken by a folder, which even root can't write as a file)
// holds its lines, says so once, shows them, and appends them in order
// before the next line that can be written.
TEST_F(JournalFileTest, LinesThatCannotBeWrittenAreHeldAndAppendedInOrderLater)
{
    std::filesystem::create_directory(File());
    {
        TransferJournal journal(File());
        EXPECT_FALSE(journal.TakeHoldNotice());
        for (const char* name : {"A", "B"}) {
            const auto fields = journal.Append(Operation(CardOperation::Kind::Delete, name));
            ASSERT_TRUE(fields);
            EXPECT_EQ(name, fields->at(4));
        }
        EXPECT_EQ(2u, journal.Held());
        EXPECT_TRUE(journal.TakeHoldNotice());
        EXPECT_FALSE(journal.TakeHoldNotice());
        const auto shown = journal.Latest(500);
        ASSERT_EQ(2u, shown.size());
        EXPECT_EQ("B", shown[0][4]);
        EXPECT_EQ("A", shown[1][4]);

        std::filesystem::remove(File());
        ASSERT_TRUE(journal.Append(Operation(CardOperation::Kind::Delete, "C")));
        EXPECT_EQ(0u, journal.Held());
        EXPECT_EQ((std::vector<std::string>{"card_name", "A", "B", "C"}), CardNamesInFile());

        // Held again: the notice was given; the line goes in as the journal
        // closes.
        std::filesystem::rename(File(), folder_ / "aside");
        std::filesystem::create_directory(File());
        ASSERT_TRUE(journal.Append(Operation(CardOperation::Kind::Delete, "D")));
        EXPECT_EQ(1u, journal.Held());
        EXPECT_FALSE(journal.TakeHoldNotice());
        std::filesystem::remove(File());
        std::filesystem::rename(folder_ / "aside", File());
    }
    EXPECT_EQ((std::vector<std::string>{"card_name", "A", "B", "C", "D"}), CardNamesInFile());
}

// Past the limit the oldest held lines give way, and one line says how many,
// where they stood.
TEST_F(JournalFileTest, HeldLinesBeyondTheLimitAreCountedInOneLine)
{
    std::filesystem::create_directory(File());
    TransferJournal journal(File());
    journal.SetController("SN1", "COM3");
    constexpr std::size_t kHeld = TransferJournal::kMaxHeldLines;
    for (std::size_t i = 0; i < kHeld + 2; ++i) {
        journal.Append(Operation(CardOperation::Kind::Delete, "N" + std::to_string(i)));
    }
    EXPECT_EQ(kHeld, journal.Held());

    std::filesystem::remove(File());
    journal.Append(Operation(CardOperation::Kind::Delete, "LAST"));
    const auto lines = FileLines();
    ASSERT_EQ(kHeld + 3, lines.size());
    EXPECT_EQ((Fields{"SN1", "COM3", TransferJournal::kUnrecorded, "", "", ""}),
              Fields(lines[1].begin() + 1, lines[1].end() - 2));
    EXPECT_TRUE(lines[1][7].ends_with(": 2")) << lines[1][7];
    EXPECT_EQ("window", lines[1][8]);
    EXPECT_EQ("N2", lines[2][4]);
    EXPECT_EQ("LAST", lines.back()[4]);
}

// A record cut short (a crash while it was written) is ended before the
// next one goes in, which stays whole.
TEST_F(JournalFileTest, ALineCutShortIsEndedBeforeTheNextRecord)
{
    WriteFile(TransferJournal::FormatLine(TransferJournal::HeaderFields()) + "2026-12-09,SN1,CO");
    TransferJournal journal(File());
    ASSERT_TRUE(journal.Append(Operation(CardOperation::Kind::Delete, "NEXT")));
    const auto lines = FileLines();
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ((Fields{"2026-12-09", "SN1", "CO"}), lines[1]);
    EXPECT_EQ("NEXT", lines[2].at(4));
}

// The tail comes from the file's last 1 MiB only: the line that limit cuts
// is left out, and a file without a line end gives none.
TEST_F(JournalFileTest, ReadsTheTailFromTheLastMebibyteOnly)
{
    constexpr std::size_t kTail = 1024 * 1024;
    const Fields record{"2026-12-09T14:03:05+03:00", "SN1", "COM3", "delete", "N", "", "", "ok"};
    std::string lines = TransferJournal::FormatLine(TransferJournal::HeaderFields());
    while (lines.size() < kTail + kTail / 2) {
        lines += TransferJournal::FormatLine(record);
    }
    const std::string tail = lines.substr(lines.size() - kTail);
    const std::pair<std::string, std::size_t> cases[] = {
        {lines, static_cast<std::size_t>(std::count(tail.begin(), tail.end(), '\n')) - 1},
        {std::string(kTail + 1, 'x'), 0},
    };
    for (const auto& [text, count] : cases) {
        WriteFile(text);
        const auto latest = TransferJournal(File()).Latest(1000000);
        EXPECT_EQ(count, latest.size());
        EXPECT_EQ(latest.size(), std::count(latest.begin(), latest.end(), record));
    }
}

}  // namespace
}  // namespace cardpush
