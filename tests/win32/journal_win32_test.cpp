// The transfer journal on the system's own file layer, against what only
// Windows does: a spreadsheet that has the journal open locks it against
// writing.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "jobs/journal.h"

namespace cardpush {
namespace {

namespace fs = std::filesystem;

CardOperation Delete(const std::string& cardName)
{
    return CardOperation{CardOperation::Kind::Delete, cardName, {}, std::nullopt, {}};
}

std::vector<std::string> CardNamesIn(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    std::vector<std::string> names;
    for (std::size_t from = 0, end = 0; from < text.size(); from = end + 1) {
        end = std::min(text.find('\n', from), text.size());
        names.push_back(TransferJournal::ParseLine(text.substr(from, end - from)).at(4));
    }
    return names;
}

// Opened as a spreadsheet opens it (read access, read sharing only), the
// file takes no line: the line is held, and goes in before the next one
// once the spreadsheet has closed it.
TEST(Win32Journal, ALineHeldWhileASpreadsheetHasTheFileOpenGoesInFirstAfterwards)
{
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const fs::path folder = fs::temp_directory_path() / ("cpj" + std::to_string(stamp));
    fs::create_directories(folder);
    const fs::path file = folder / TransferJournal::kFileName;
    {
        TransferJournal journal(file);
        ASSERT_TRUE(journal.Append(Delete("FIRST")));
        const HANDLE sheet = ::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(sheet, INVALID_HANDLE_VALUE);
        ASSERT_TRUE(journal.Append(Delete("HELD")));
        EXPECT_EQ(1u, journal.Held());
        EXPECT_TRUE(journal.TakeHoldNotice());
        // The file can still be read meanwhile.
        const auto shown = journal.Latest(10);
        ::CloseHandle(sheet);
        ASSERT_EQ(2u, shown.size());
        EXPECT_EQ("HELD", shown[0][4]);
        EXPECT_EQ("FIRST", shown[1][4]);

        ASSERT_TRUE(journal.Append(Delete("AFTER")));
        EXPECT_EQ(0u, journal.Held());
    }
    EXPECT_EQ((std::vector<std::string>{"card_name", "FIRST", "HELD", "AFTER"}), CardNamesIn(file));
    fs::remove_all(folder);
}

}  // namespace
}  // namespace cardpush
