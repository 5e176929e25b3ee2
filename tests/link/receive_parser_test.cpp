#include "link/receive_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/protocol.h"

namespace cardpush {
namespace {

class ReceiveParserTest : public ::testing::Test {
protected:
    // What the receive handler does for one event: LastReply is cleared
    // first, then the bytes are fed.
    ReceiveNews Event(std::string_view bytes)
    {
        state.LastReply.clear();
        ReceiveNews news = FeedReceived(state, bytes);
        names.insert(names.end(), news.cardNames.begin(), news.cardNames.end());
        return news;
    }

    void StartListing() { state.LinkState = protocol::LinkState::Listing; }

    ReceiveState state;
    std::vector<std::string> names;
};

TEST_F(ReceiveParserTest, CompleteFieldLeftWithoutTerminator)
{
    const ReceiveNews news = Event("S0_");
    EXPECT_EQ("S0", state.LastReply);
    EXPECT_EQ("", state.RxBuffer);
    EXPECT_TRUE(news.fieldCompleted);
    EXPECT_FALSE(news.listingCompleted);
}

TEST_F(ReceiveParserTest, EveryFieldOfOneEventIsReportedInOrder)
{
    // LastReply keeps only the last field; a waiter needs all of them.
    const ReceiveNews news = Event("N12_M3__x");
    EXPECT_EQ((std::vector<std::string>{"N12", "M3", ""}), news.fields);
    EXPECT_EQ("", state.LastReply);
    EXPECT_EQ("x", state.RxBuffer);
}

// A refresh while a listing arrives queues the next listing: the one under
// way is read to its end, then the queued one from its count byte on.
TEST_F(ReceiveParserTest, QueuedListingBeginsWhereTheOneUnderWayEnds)
{
    StartListing();
    Event("\x03OLD1    OL");
    state.ListingsQueued = 1;
    const ReceiveNews news = Event("D2    \x02NEW1    ");
    EXPECT_TRUE(news.listingRestarted);
    EXPECT_TRUE(news.listingCompleted);
    EXPECT_EQ(std::vector<std::string>{"NEW1    "}, news.cardNames);
    EXPECT_EQ(0u, state.ListingsQueued);
    EXPECT_EQ(protocol::LinkState::Idle, state.LinkState);
}

TEST_F(ReceiveParserTest, QueuedEmptyListingsEachRestart)
{
    StartListing();
    state.ListingsQueued = 2;
    const ReceiveNews news = Event("\x01\x01\x01V1_");
    EXPECT_TRUE(news.listingRestarted);
    EXPECT_TRUE(news.listingCompleted);
    EXPECT_EQ(protocol::LinkState::Idle, state.LinkState);
    EXPECT_EQ("V1", state.LastReply);
}

TEST_F(ReceiveParserTest, FieldStartLetterDropsWhatWasCollected)
{
    Event("N12S4_");
    EXPECT_EQ("S4", state.LastReply);
}

TEST_F(ReceiveParserTest, BytesAfterTerminatorFormFieldWithoutLetter)
{
    Event("S0_xy");
    EXPECT_EQ("S0", state.LastReply);
    EXPECT_EQ("xy", state.RxBuffer);
    Event("z_");
    EXPECT_EQ("xyz", state.LastReply);
}

TEST_F(ReceiveParserTest, LoneTerminatorCompletesAnEmptyField)
{
    const ReceiveNews news = Event("_");
    EXPECT_TRUE(news.fieldCompleted);
    EXPECT_EQ("", state.LastReply);
}

TEST_F(ReceiveParserTest, LowerCaseAndOtherCapitalsAreValueBytes)
{
    Event("Nab-CZ.,1 _");
    EXPECT_EQ("Nab-CZ.,1 ", state.LastReply);
}

TEST_F(ReceiveParserTest, ValuesOfEveryHandshakeStateAreFieldMode)
{
    for (std::uint8_t linkState : {0, 1, 2, 3, 4, 5, 6, 8, 9, 255}) {
        ReceiveState fresh;
        fresh.LinkState = static_cast<protocol::LinkState>(linkState);
        FeedReceived(fresh, "\x03V1_");
        EXPECT_EQ("V1", fresh.LastReply) << "link state " << int(linkState);
        EXPECT_EQ(static_cast<protocol::LinkState>(linkState), fresh.LinkState);
    }
}

// Each field is cut at every byte boundary k: bytes [0, k) in the first
// event and [k, end) in the second. The field is complete after the second
// event only, unless the first held it whole.
TEST_F(ReceiveParserTest, EveryFieldSplitAtEveryBoundaryOverTwoEvents)
{
    const std::string fields[] = {"S0_", "N12345_", "M-1.5_", "B100,25_", "D3_", "V72_", "R1_"};
    for (const std::string& field : fields) {
        const std::string expected = field.substr(0, field.size() - 1);
        for (std::size_t k = 0; k <= field.size(); ++k) {
            state = ReceiveState{};
            Event(field.substr(0, k));
            EXPECT_EQ(k == field.size() ? expected : "", state.LastReply)
                << field << " split at " << k;
            Event(field.substr(k));
            EXPECT_EQ(k == field.size() ? "" : expected, state.LastReply)
                << field << " split at " << k;
            EXPECT_EQ("", state.RxBuffer) << field << " split at " << k;
        }
    }
}

TEST_F(ReceiveParserTest, EndlessNoiseWithoutLetterOrTerminatorStaysBounded)
{
    const std::string noise(1000, '\0');
    for (int i = 0; i < 100; ++i) {
        Event(noise);
    }
    EXPECT_EQ(kMaxFieldSize, state.RxBuffer.size());
    Event("_N1_");
    EXPECT_EQ("N1", state.LastReply);
}

TEST_F(ReceiveParserTest, FieldInPiecesIsAssembled)
{
    Event("M1");
    EXPECT_EQ("", state.LastReply);
    Event("2.5_");
    EXPECT_EQ("M12.5", state.LastReply);
}

TEST_F(ReceiveParserTest, CountByteOneEndsListingAtOnce)
{
    StartListing();
    const ReceiveNews news = Event("\x01");
    EXPECT_EQ(protocol::LinkState::Idle, state.LinkState);
    EXPECT_TRUE(news.listingCompleted);
    EXPECT_TRUE(names.empty());
}

TEST_F(ReceiveParserTest, ListingThenFieldInOneEvent)
{
    StartListing();
    const ReceiveNews news = Event(
        "\x03"
        "AB      "
        "B_S_T_V_"
        "V12_");
    EXPECT_EQ((std::vector<std::string>{"AB      ", "B_S_T_V_"}), names);
    EXPECT_EQ(protocol::LinkState::Idle, state.LinkState);
    EXPECT_TRUE(news.listingCompleted);
    EXPECT_EQ("V12", state.LastReply);
}

// The listing (count byte, two names, then a field) is cut at every byte
// boundary k: bytes [0, k) in the first event, [k, end) in the second.
TEST_F(ReceiveParserTest, ListingSplitAtEveryBoundaryOverTwoEvents)
{
    const std::string secondName("\x00_\xFFN12>\t", 8);
    const std::string stream =
        "\x03"
        "JOB1    " +
        secondName + "V12_";
    const std::vector<std::string> expected = {"JOB1    ", secondName};
    for (std::size_t k = 0; k <= stream.size(); ++k) {
        state = ReceiveState{};
        names.clear();
        StartListing();
        const ReceiveNews first = Event(stream.substr(0, k));
        EXPECT_EQ(k >= 17, first.listingCompleted) << "split at " << k;
        EXPECT_EQ(k >= 17 ? protocol::LinkState::Idle : protocol::LinkState::Listing,
                  state.LinkState)
            << "split at " << k;
        const ReceiveNews second = Event(stream.substr(k));
        EXPECT_EQ(k < 17, second.listingCompleted) << "split at " << k;
        EXPECT_EQ(expected, names) << "split at " << k;
        EXPECT_EQ(protocol::LinkState::Idle, state.LinkState) << "split at " << k;
        EXPECT_EQ(k == stream.size() ? "" : "V12", state.LastReply) << "split at " << k;
    }
}

TEST_F(ReceiveParserTest, CountByteZeroAnnounces255Names)
{
    StartListing();
    Event(std::string(1, '\0'));
    EXPECT_EQ(255, state.ListRemaining);
    for (int i = 0; i < 254; ++i) {
        Event("NAME" + std::to_string(1000 + i));
    }
    EXPECT_EQ(protocol::LinkState::Listing, state.LinkState);
    EXPECT_EQ(1, state.ListRemaining);
    Event("LASTNAME");
    EXPECT_EQ(255u, names.size());
    EXPECT_EQ("LASTNAME", names.back());
    EXPECT_EQ(protocol::LinkState::Idle, state.LinkState);
}

TEST_F(ReceiveParserTest, ShortListingTakesLaterBytesAsNames)
{
    StartListing();
    Event(
        "\x03"
        "ONLYONE ");
    EXPECT_EQ(protocol::LinkState::Listing, state.LinkState);
    EXPECT_EQ(1, state.ListRemaining);
    Event("V12_S0_x");
    EXPECT_EQ((std::vector<std::string>{"ONLYONE ", "V12_S0_x"}), names);
    EXPECT_EQ("", state.LastReply);
    EXPECT_EQ(protocol::LinkState::Idle, state.LinkState);
}

TEST_F(ReceiveParserTest, CountByteDropsPartialFieldCollectedBefore)
{
    Event("N12");
    StartListing();
    Event(
        "\x02"
        "ABCDEFGH");
    EXPECT_EQ((std::vector<std::string>{"ABCDEFGH"}), names);
}

TEST(ReceiveLogLine, PrefixThenBytesUnchanged)
{
    EXPECT_EQ("-------------  S0_", ReceiveLogLine("S0_"));
    EXPECT_EQ(std::string("-------------  \x03\0A", 18), ReceiveLogLine(std::string("\x03\0A", 3)));
}

}  // namespace
}  // namespace cardpush
