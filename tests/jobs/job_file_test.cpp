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
        {"a\rb\n", {"ab"}},
        {"a\r\r\nb\r", {"a", "b"}},
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

class PrepareJobUploadTest : public ::testing::Test {
protected:
    std::optional<JobUpload> Prepare(std::string_view card, std::string_view bytes)
    {
        return PrepareJobUpload(
            card, bytes, [this](const std::string& m) { messages.push_back(m); },
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
    EXPECT_EQ((Lines{"10 a", "20 b"}), upload->lines);
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
                                 "10 a\r\n20 b\x1Ajunk\r\n", "10 a\r\r\n20 b\r\n"};
    for (const char* bytes : files) {
        log.clear();
        const std::optional<JobUpload> upload = Prepare("ABC", bytes);
        ASSERT_TRUE(upload) << testing::PrintToString(bytes);
        EXPECT_EQ("<ABC\\12\\", upload->header) << testing::PrintToString(bytes);
        EXPECT_EQ((Lines{"10 a", "20 b"}), upload->lines) << testing::PrintToString(bytes);
    }
}

TEST_F(PrepareJobUploadTest, EmptyFileAnnouncesZeroAndHasNoLines)
{
    const std::optional<JobUpload> upload = Prepare("E", "");
    ASSERT_TRUE(upload);
    EXPECT_EQ("<E\\0\\", upload->header);
    EXPECT_EQ(Lines{}, upload->lines);
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

TEST_F(PrepareJobUploadTest, EmptyCardNameStillGivesAHeader)
{
    const std::optional<JobUpload> upload = Prepare("", "1 x\n");
    ASSERT_TRUE(upload);
    EXPECT_EQ("<\\5\\", upload->header);
}

}  // namespace
}  // namespace cardpush
