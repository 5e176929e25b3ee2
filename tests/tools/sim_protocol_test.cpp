#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "sim/protocol.h"
#include "support/temp_folder.h"

namespace cardpush::sim {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

class SimProtocolTest : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(Card()); }

    fs::path Card() const { return dir_ / "card"; }

    std::string ReadCardFile(const std::string& name) const
    {
        return cardpush::testing::ReadBytes(Card() / name);
    }

    // Feeds the chunks in order and returns every reply's bytes, concatenated.
    std::string Feed(ControllerProtocol& protocol, const std::vector<std::string>& chunks,
                     Clock::time_point now = Clock::time_point{})
    {
        std::string out;
        for (const auto& chunk : chunks) {
            for (const auto& reply : protocol.Receive(chunk, now)) {
                out += reply.bytes;
            }
        }
        return out;
    }

    cardpush::testing::TempFolder dir_{"cardpush-sim-protocol"};
    std::vector<std::string> log_;
    LogFn log_fn_ = [this](const std::string& line) { log_.push_back(line); };
};

// A whole session (identification, upload, listing, delete, listing) cut into two chunks at
// every position: the replies and the card must not depend on where the reads split the bytes.
TEST_F(SimProtocolTest, SessionGivesSameResultWhereverTheBytesAreSplit)
{
    const std::string content = "10 a\r\n20 \\b<\r\n"s;
    const std::string session =
        "SNMBDVR><JOB1\\" + std::to_string(content.size()) + "\\" + content + ">/JOB1\\>";
    const std::string expected =
        "S0_N12345_M-1.5_B12.5_D3_V72_R1_\x01"
        "\x02JOB1    \x01"s;
    for (std::size_t cut = 0; cut <= session.size(); ++cut) {
        SCOPED_TRACE("cut after byte " + std::to_string(cut));
        fs::remove_all(Card());
        fs::create_directories(Card());
        CardFolder card(Card());
        ControllerProtocol protocol(ControllerConfig{}, card, log_fn_);
        EXPECT_EQ(expected, Feed(protocol, {session.substr(0, cut), session.substr(cut)}));
        EXPECT_TRUE(card.List().empty());
    }
}

TEST_F(SimProtocolTest, UploadStoresExactlyTheAnnouncedBytesAndParsesTheRestAsCommands)
{
    CardFolder card(Card());
    ControllerProtocol protocol(ControllerConfig{}, card, log_fn_);
    // A file with LF line ends: the header announces 10 bytes while 12 go on the wire.
    const std::string replies = Feed(protocol, {"<LF\\10\\10 a\r\n20 b\r\nS"});
    EXPECT_EQ("10 a\r\n20 b", ReadCardFile("LF"));
    EXPECT_EQ("S0_", replies);
}

TEST_F(SimProtocolTest, UploadOfEmptyFileAndLongNameAreStored)
{
    CardFolder card(Card());
    ControllerProtocol protocol(ControllerConfig{}, card, log_fn_);
    Feed(protocol, {"<EMPTY\\0\\", "<ABCDEFGHIJ\\3\\xyz"});
    EXPECT_EQ((std::vector<std::string>{"ABCDEFGH", "EMPTY"}), card.List());
    EXPECT_EQ("", ReadCardFile("EMPTY"));
    EXPECT_EQ("xyz", ReadCardFile("ABCDEFGH"));
}

// Names come from the wire: none of them may reach outside the card folder or make a file that
// the listing can't show.
TEST_F(SimProtocolTest, UnsafeOrEmptyNamesStoreAndDeleteNothing)
{
    std::ofstream(dir_ / "outside") << "keep";
    CardFolder card(Card());
    ControllerProtocol protocol(ControllerConfig{}, card, log_fn_);
    const std::string replies =
        Feed(protocol, {"<../x\\2\\ab", "<\\2\\cd", "<.hid\\1\\e", "/../outside\\", "/\\", "S"});
    EXPECT_EQ("S0_", replies);
    EXPECT_TRUE(card.List().empty());
    EXPECT_TRUE(fs::is_empty(Card()));
    EXPECT_FALSE(fs::exists(dir_ / "x"));
    EXPECT_TRUE(fs::exists(dir_ / "outside"));
}

TEST_F(SimProtocolTest, MalformedFramesAreDroppedAndTheNextCommandIsAnswered)
{
    CardFolder card(Card());
    ControllerProtocol protocol(ControllerConfig{}, card, log_fn_);
    // A size with a letter, a size without digits, a name that never ends, stray bytes.
    EXPECT_EQ("N12345_", Feed(protocol, {"<A\\1x\\", "N"}));
    EXPECT_EQ("D3_", Feed(protocol, {"<A\\\\", "D"}));
    EXPECT_EQ("V72_", Feed(protocol, {"/" + std::string(100, 'Z') + "V"}));
    EXPECT_EQ("S0_", Feed(protocol, {"\r\nxyz\x01S"}));
    EXPECT_TRUE(card.List().empty());
}

TEST_F(SimProtocolTest, FrameLeftUnfinishedIsDroppedAtItsDeadline)
{
    CardFolder card(Card());
    ControllerConfig config;
    config.frame_timeout = Millis{500};
    ControllerProtocol protocol(config, card, log_fn_);
    const Clock::time_point t0{};
    Feed(protocol, {"<JOB\\10\\abc"}, t0);
    ASSERT_TRUE(protocol.Deadline().has_value());
    EXPECT_EQ(t0 + Millis{500}, *protocol.Deadline());

    protocol.Expire(t0 + Millis{499});
    EXPECT_EQ("", Feed(protocol, {"S"}, t0 + Millis{499}));  // still content

    protocol.Expire(t0 + Millis{499} + Millis{500});
    EXPECT_FALSE(protocol.Deadline().has_value());
    EXPECT_EQ("S0_", Feed(protocol, {"S"}, t0 + Millis{1000}));
    EXPECT_TRUE(card.List().empty());
}

TEST_F(SimProtocolTest, ListingCountByteWrapsAtTwoHundredFiftySixAndShortListingAddsToIt)
{
    for (int i = 0; i < 256; ++i) {
        std::ofstream(Card() / ("F" + std::to_string(i)));
    }
    CardFolder card(Card());
    ControllerProtocol protocol(ControllerConfig{}, card, log_fn_);
    const std::string listing = Feed(protocol, {">"});
    ASSERT_EQ(1u + 255u * 8u, listing.size());
    EXPECT_EQ(0, static_cast<unsigned char>(listing[0]));  // 0 announces 255 names
    EXPECT_EQ("F0      ", listing.substr(1, 8));

    fs::remove_all(Card());
    fs::create_directories(Card());
    std::ofstream(Card() / "ONE");
    ControllerConfig config;
    config.short_listing = 2;
    ControllerProtocol short_protocol(config, card, log_fn_);
    EXPECT_EQ("\x04ONE     ", Feed(short_protocol, {">"}));
}

TEST_F(SimProtocolTest, MisbehaviourShapesTheReplies)
{
    CardFolder card(Card());
    ControllerConfig config;
    config.wrong_letter = true;
    config.presence_delay = Millis{700};
    ControllerProtocol protocol(config, card, log_fn_);
    const auto replies = protocol.Receive("SN", Clock::time_point{});
    ASSERT_EQ(3u, replies.size());
    EXPECT_EQ("S0_", replies[0].bytes);
    EXPECT_EQ(700, replies[0].delay.count());
    EXPECT_EQ("T9_", replies[1].bytes);
    EXPECT_EQ("N12345_", replies[2].bytes);

    ControllerConfig silent;
    silent.answer = false;
    ControllerProtocol mute(silent, card, log_fn_);
    EXPECT_EQ("", Feed(mute, {"SNMBDVR>", "<Q\\1\\q"}));
    EXPECT_EQ((std::vector<std::string>{"Q"}), card.List());  // frames are still taken
}

// Misbehaviours seen in the bytes that go back and in the card, one row each. A step kLineBack
// stands for the line coming back from a drop between two reads.
TEST_F(SimProtocolTest, MisbehaviourRowsGiveTheirRepliesAndLeaveTheCard)
{
    const std::string kLineBack = "(line back)";
    struct Row {
        const char* what;
        void (*configure)(ControllerConfig&);
        std::vector<std::string> steps;
        std::string replies;
    };
    const Row rows[] = {
        // The upload's content holds command and frame bytes: the stream stays in step only if
        // it is read whole.
        {"read-only card",
         [](ControllerConfig& c) { c.read_only_card = true; },
         {"/JOB1\\<NEW\\4\\S/", ">\\>S"},
         "\x02JOB1    S0_"},
        {"skip the first N only, a line back between",
         [](ControllerConfig& c) { c.skip_reply = 'N'; },
         {"N", kLineBack, "NS"},
         "N12345_S0_"},
        {"skip the first listing",
         [](ControllerConfig& c) { c.skip_reply = '>'; },
         {">S>"},
         "S0_\x02JOB1    "},
        {"foreign fields replace the identification fields, also with the wrong letter",
         [](ControllerConfig& c) { c.foreign_fields = c.wrong_letter = true; },
         {"SNMBDVR>"},
         "S0_T9_T9_T9_T9_T9_T9_\x02JOB1    "},
        {"another serial number after each line back",
         [](ControllerConfig& c) { c.serial_after_drop = "77"; },
         {"N", kLineBack, "N", kLineBack, "N"},
         "N12345_N77_N77_"},
        {"the same serial number after a line back without it",
         [](ControllerConfig&) {},
         {"N", kLineBack, "N"},
         "N12345_N12345_"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        fs::remove_all(Card());
        fs::create_directories(Card());
        std::ofstream(Card() / "JOB1") << "1";
        CardFolder card(Card());
        ControllerConfig config;
        row.configure(config);
        ControllerProtocol protocol(config, card, log_fn_);
        std::string replies;
        for (const auto& step : row.steps) {
            if (step == kLineBack) {
                protocol.LineBack();
            } else {
                replies += Feed(protocol, {step});
            }
        }
        EXPECT_EQ(row.replies, replies);
        // JOB1 was there before each row; none of them changes the card.
        EXPECT_EQ((std::vector<std::string>{"JOB1"}), card.List());
        EXPECT_EQ("1", ReadCardFile("JOB1"));
    }
}

}  // namespace
}  // namespace cardpush::sim
