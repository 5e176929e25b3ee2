// COMMTIMEOUTS read as Windows reads them: the limits of one transfer, one
// row per rule, without a device.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>

#include "platform/posix/timeouts.h"

namespace cardpush::platform::posix {

void PrintTo(const TransferLimits& limits, std::ostream* out)
{
    *out << "{total " << (limits.total ? std::to_string(limits.total->count()) : "none")
         << ", interval " << limits.interval.count()
         << (limits.returnOnFirstByte ? ", first byte}" : "}");
}

namespace {

using std::chrono::milliseconds;

constexpr DWORD kMax = MAXDWORD;
constexpr std::uint64_t kLongest = std::uint64_t{1} << 33;

const TransferLimits kNone{};

TransferLimits Within(std::uint64_t ms)
{
    return {.total = milliseconds(ms)};
}

struct LimitsRow {
    const char* rule;
    COMMTIMEOUTS timeouts;
    DWORD count;
    TransferLimits read;
    TransferLimits write;
};

TEST(TransferLimitsTest, ReadsAndWritesTakeTheirLimitsFromTheRecord)
{
    const TransferLimits firstByte{.total = milliseconds(500), .returnOnFirstByte = true};
    const TransferLimits gap{.total = std::nullopt, .interval = milliseconds(20)};
    const LimitsRow rows[] = {
        {"all zero: none", {0, 0, 0, 0, 0}, 10, kNone, kNone},
        {"interval MAXDWORD alone: at once", {kMax, 0, 0, 0, 0}, 10, Within(0), kNone},
        {"both MAXDWORD: first byte", {kMax, kMax, 500, 0, 0}, 10, firstByte, kNone},
        {"the same without a constant: none", {kMax, kMax, 0, 0, 0}, 10, kNone, kNone},
        {"interval alone: a gap once a byte came", {20, 0, 0, 0, 0}, 10, gap, kNone},
        {"per byte plus constant", {0, 10, 100, 100, 1000}, 5, Within(150), Within(1500)},
        {"interval MAXDWORD, constant", {kMax, 0, 300, 0, 300}, 10, Within(300), Within(300)},
        {"the largest constant", {0, 0, kMax, 0, kMax}, 1, Within(kMax), Within(kMax)},
        {"exactly the longest", {0, 2, 2, 2, 2}, kMax, Within(kLongest), Within(kLongest)},
        {"one more: none", {0, 2, 3, 2, 3}, kMax, kNone, kNone},
        {"every value largest: none", {0, kMax, kMax, kMax, kMax}, kMax, kNone, kNone},
    };
    for (const LimitsRow& row : rows) {
        SCOPED_TRACE(row.rule);
        EXPECT_TRUE(TimeoutsAccepted(row.timeouts));
        EXPECT_EQ(row.read, ReadLimits(row.timeouts, row.count));
        EXPECT_EQ(row.write, WriteLimits(row.timeouts, row.count));
    }
}

TEST(TransferLimitsTest, OnlyEveryReadValueAtMaxdwordIsRefused)
{
    EXPECT_FALSE(TimeoutsAccepted({kMax, kMax, kMax, 0, 0}));
    EXPECT_FALSE(TimeoutsAccepted({kMax, kMax, kMax, kMax, kMax}));
    EXPECT_TRUE(TimeoutsAccepted({kMax, kMax, kMax - 1, 0, 0}));
    EXPECT_TRUE(TimeoutsAccepted({0, kMax, kMax, kMax, kMax}));
}

}  // namespace
}  // namespace cardpush::platform::posix
