#include "jobs/job_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/cp1251.h"

namespace cardpush {
namespace {

using Lines = std::vector<std::string>;

struct ReadCase {
    std::string bytes;
    Lines lines;
};

TEST(ReadJobLines, LineEndsLoneCrAndEndOfFileByte)
{
    const ReadCase cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\n", {"a"}},
        {"a\r\n", {"a"}},
        {"a\r\nb\nc", {"a", "b", "c"}},
        {"\n", {""}},
        {"\r\n\r\n", {"", ""}},
        // A CR without LF ends its line too (such a file is refused).
        {"a\rb\n", {"a", "b"}},
        {"a\r\r\nb\r", {"a", "", "b"}},
        {"\r", {""}},
        {"\x1A", {}},
        {"a\n\x1A"
         "b\nc\n",
         {"a"}},
        {"ab\x1A"
         "cd\r\nef",
         {"ab", "ef"}},
        {"ab\x1A"
         "cd",
         {"ab"}},
        {"ab\x1A\r\n\x1A", {"ab"}},
        {"\x1A"
         "a\n",
         {}},
        {std::string("a\0b\n\0", 5), {std::string("a\0b", 3), std::string(1, '\0')}},
    };
    for (const ReadCase& c : cases) {
        EXPECT_EQ(c.lines, ReadJobLines(c.bytes)) << "bytes: " << testing::PrintToString(c.bytes);
    }
}

TEST(ReadJobLines, LongLinesAreReadWhole)
{
    const std::string longLine(1 << 20, 'x');
    EXPECT_EQ((Lines{"1 a", longLine, "2 b"}), ReadJobLines("1 a\r\n" + longLine + "\n2 b"));
}

struct ShapeCase {
    std::string bytes;
    std::size_t lines;
    std::uint64_t payload;
    std::size_t loneCrLine;
    std::string loneCrText;
};

// The controller takes CR LF apart into lines; a CR alone would merge two
// lines into one on the card, so the first such line is found.
TEST(ShapeOfJob, CountsLinesAndFindsTheFirstCrWithoutLf)
{
    const ShapeCase cases[] = {
        {"10 a\r\n20 b\r\n", 2, 12, 0, ""},
        {"10 a\n20 b", 2, 12, 0, ""},
        {"10 first\r20 second\r", 2, 21, 1, "10 first"},
        {"a\r\nb\rc\n", 3, 9, 2, "b"},
        {"a\r\r\n", 2, 5, 1, "a"},
        // After an end-of-file byte nothing is read, nor looked at.
        {"ab\x1A\rcd\r\n\x1A\r", 1, 4, 0, ""},
    };
    for (const ShapeCase& c : cases) {
        const JobShape shape = ShapeOfJob(c.bytes);
        EXPECT_EQ(c.lines, shape.lines) << testing::PrintToString(c.bytes);
        EXPECT_EQ(c.payload, shape.payloadBytes) << testing::PrintToString(c.bytes);
        EXPECT_EQ(c.loneCrLine, shape.loneCrLine) << testing::PrintToString(c.bytes);
        EXPECT_EQ(c.loneCrText, shape.loneCrText) << testing::PrintToString(c.bytes);
    }
}

// Whole frames share a write up to the limit; a longer one goes alone. Each
// write says how many lines it carries, and the bytes are those of the
// frames in order.
TEST(GatherLineFrames, WholeFramesUpToTheLimitALongerOneAlone)
{
    const std::string longLine(20, 'x');
    std::vector<std::pair<std::string, std::size_t>> writes;
    GatherLineFrames("1 a\n2 b\n3 c\n" + longLine + "\n4 d", 12,
                     [&](std::string_view bytes, std::size_t lines) {
                         writes.emplace_back(std::string(bytes), lines);
                     });
    const std::vector<std::pair<std::string, std::size_t>> expected = {
        {"1 a\r\n2 b\r\n", 2}, {"3 c\r\n", 1}, {longLine + "\r\n", 1}, {"4 d\r\n", 1}};
    EXPECT_EQ(expected, writes);
    EXPECT_EQ((Lines{"3 c", longLine}),
              SentLinesToLog("1 a\n2 b\n3 c\n" + longLine + "\n4 d", 4, 2));
}

class PrepareJobUploadTest : public ::testing::Test {
protected:
    std::optional<JobUpload> Prepare(std::string_view card, std::string_view bytes)
    {
        return PrepareJobUpload(
            card, "JOB.txt", bytes, [this](const std::string& m) { messages.push_back(m); },
            [this](const std::string& l) { log.push_back(l); });
    }

    Lines messages;
    Lines log;
};

TEST_F(PrepareJobUploadTest, CrLfFileAnnouncesItsSizeOnDisk)
{
    const std::optional<JobUpload> upload = Prepare("ABC", "10 a\r\n20 b\r\n");
    ASSERT_TRUE(upload);
    EXPECT_EQ(std::string("\x3C\x41\x42\x43\x5C\x31\x32\x5C"), upload->header);
    EXPECT_EQ(2u, upload->lines);
    EXPECT_EQ(12u, upload->payloadBytes);
    EXPECT_EQ(20u, upload->TotalBytes());
    EXPECT_EQ((Lines{"<ABC\\12\\"}), log);
    EXPECT_EQ(Lines{}, messages);
}

// The header tells the controller how many bytes follow, so it counts the
// bytes the line frames carry (each line with CR LF), not the file's size.
TEST_F(PrepareJobUploadTest, HeaderCountsTheBytesTheLineFramesCarry)
{
    const char* const files[] = {"10 a\n20 b\n", "10 a\r\n20 b", "10 a\r\n20 b\r\n\x1A\x1A\x1A",
                                 "10 a\r\n20 b\x1Ajunk\r\n"};
    for (const char* bytes : files) {
        log.clear();
        const std::optional<JobUpload> upload = Prepare("ABC", bytes);
        ASSERT_TRUE(upload) << testing::PrintToString(bytes);
        EXPECT_EQ("<ABC\\12\\", upload->header) << testing::PrintToString(bytes);
        EXPECT_EQ(2u, upload->lines) << testing::PrintToString(bytes);
    }
}

TEST_F(PrepareJobUploadTest, EmptyFileAnnouncesZeroAndHasNoLines)
{
    const std::optional<JobUpload> upload = Prepare("E", "");
    ASSERT_TRUE(upload);
    EXPECT_EQ("<E\\0\\", upload->header);
    EXPECT_EQ(0u, upload->lines);
    EXPECT_EQ((Lines{"<E\\0\\"}), log);
}

TEST_F(PrepareJobUploadTest, RejectedLineStopsValidationAndLogsFalse)
{
    const std::optional<JobUpload> upload = Prepare("JOB", "10 a\r\n20 b\r\n1.2.3 c\r\nx- d\r\n");
    EXPECT_FALSE(upload);
    EXPECT_EQ((Lines{"<JOB\\27\\", "false"}), log);
    EXPECT_EQ((Lines{Utf8ToCp1251("Ошибка в файле: Встретилась десятичная точка в размере более "
                                  "одного раза - 1.2.3")}),
              messages);
}

TEST_F(PrepareJobUploadTest, CrWithoutLfRefusesTheFileWithOneMessage)
{
    EXPECT_FALSE(Prepare("JOB", "10 first\r\n20 second\r30 third\r\n"));
    EXPECT_EQ((Lines{"<JOB\\31\\", "false"}), log);
    EXPECT_EQ((Lines{Utf8ToCp1251("Ошибка в файле JOB.txt: строка 2 оканчивается знаком CR без "
                                  "LF - 20 second")}),
              messages);
}

TEST_F(PrepareJobUploadTest, EmptyCardNameStillGivesAHeader)
{
    const std::optional<JobUpload> upload = Prepare("", "1 x\n");
    ASSERT_TRUE(upload);
    EXPECT_EQ("<\\5\\", upload->header);
}

}  // namespace
}  // namespace cardpush
