// The controller link end to end: the link session and its thread on the
// real POSIX device layer, against the controller simulator on a
// pseudo-terminal, in the tool's session with a recording view in place of
// the windows.
//
// The test thread is the GUI thread. Outcomes are waited for by serving the
// hand-overs until they hold; the guards only catch hangs, and no test
// measures how long anything takes. Where a case depends on when an answer
// comes, the test plays the controller on a pseudo-terminal of its own and
// answers once the link has logged the check that the answer must follow.

#include "link/link_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "link/link_texts.h"
#include "platform/comm_posix_pty.h"
#include "platform/cp1251.h"
#include "platform/main_thread.h"
#include "session/session_texts.h"
#include "support/link_wait.h"
#include "support/port_list_override.h"
#include "support/session_harness.h"
#include "support/sim_process.h"

namespace cardpush {
namespace {

using namespace std::chrono_literals;
using platform::MainThread;
using platform::testing::PtyPeer;
using testing::HangGuard;
using testing::kHandshakeCommands;
using testing::Listed;
using testing::PortListOverride;
using testing::ServeUntil;
using testing::SimProcess;

// The simulator's identification answers, in the order they are asked for.
const std::string kHandshakeReplies = "S0_N12345_M-1.5_B12.5_D3_V72_R1_";
// A port that no device answers to.
const std::string kMissingPort = "/nonexistent/cardpush-no-port";

LinkSession::Timing Fast()
{
    // A lost link rests for ever: a test that wants it back says so.
    return {
        .settle = 20ms, .check = 50ms, .checks = 20, .listingStall = 200ms, .reconnectPause = 1h};
}

// The log line of a receive event.
std::string Received(const std::string& bytes)
{
    return link_texts::kReceiveLogPrefix.str() + bytes;
}

// The port name as the port list gives it: the data of its entry, NUL and all.
std::string Listed0(const std::string& path)
{
    return path + '\0';
}

// The link's own log lines of one successful attempt: "---" and the port,
// then the checks "1" to "n" for some n from 1 to 20.
void ExpectOneAnsweredAttempt(const std::vector<std::string>& lines, const std::string& port)
{
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ("---" + port, lines[0]);
    ASSERT_LE(lines.size(), 21u);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        EXPECT_EQ(std::to_string(i), lines[i]);
    }
}

class LinkSessionTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        harness_.reset();
        if (sim_) {
            EXPECT_EQ(0, sim_->Stop()) << sim_->Messages();
        }
    }

    // Starts the simulator with the given options and card files, and the
    // link with its port saved.
    void StartLink(std::vector<std::string> simOptions, LinkSession::Timing timing = Fast(),
                   const std::vector<std::string>& cardFiles = {})
    {
        sim_ = std::make_unique<SimProcess>(std::move(simOptions));
        for (const auto& name : cardFiles) {
            sim_->PutCardFile(name, "1 x\r\n");
        }
        StartSession(sim_->DevicePath(), timing);
    }

    void StartSession(const std::string& savedPort, LinkSession::Timing timing = Fast())
    {
        harness_ = std::make_unique<testing::SessionHarness>(devices_,
                                                             testing::SavedPort(savedPort), timing);
        session_ = &harness_->Link();
        view_ = &harness_->view;
        harness_->Session().Start();
    }

    // The tool closes: the link thread stops and the port is let go.
    void CloseSession()
    {
        harness_->session.reset();
        session_ = nullptr;
    }

    // A delete on the connection there is now; whether its frame went out.
    bool Delete(const std::string& listedName)
    {
        try {
            session_->DeleteCardFile(listedName, session_->Connection());
            return true;
        } catch (const ELinkChanged&) {
            return false;
        }
    }

    bool ServeUntilIdle()
    {
        return ServeUntil([this] { return session_->LinkState() == protocol::LinkState::Idle; });
    }

    bool ServeUntilReceived(const std::string& bytes)
    {
        return ServeUntil([&] { return view_->ReceivedBytes() == bytes; });
    }

    bool ServeUntilLogLine(const std::string& line)
    {
        return ServeUntil([&] {
            const auto lines = view_->LogLines();
            return std::find(lines.begin(), lines.end(), line) != lines.end();
        });
    }

    // The real device layer; the port list holds what a test puts in it.
    PortListOverride devices_;
    std::unique_ptr<SimProcess> sim_;
    std::unique_ptr<testing::SessionHarness> harness_;
    LinkSession* session_ = nullptr;
    testing::RecordingView* view_ = nullptr;
};

TEST_F(LinkSessionTest, ControllerOnTheSavedPortIsFoundThereAndIdentified)
{
    StartLink({});
    ASSERT_TRUE(ServeUntilIdle()) << sim_->Messages();
    ASSERT_TRUE(ServeUntilReceived(kHandshakeReplies + "\x01"));

    EXPECT_EQ(kHandshakeCommands, sim_->WireLog());
    // One attempt only: the port list was never needed.
    ExpectOneAnsweredAttempt(view_->LinkLogLines(), sim_->DevicePath());
    EXPECT_EQ(std::vector<std::string>{sim_->DevicePath()}, view_->Ports());
    EXPECT_EQ(sim_->DevicePath(), harness_->Session().SavedPort());
    EXPECT_EQ((std::vector<std::string>{link_texts::kConnecting.str(),
                                        session_texts::kMainCaption.str()}),
              view_->Captions());
    EXPECT_TRUE(view_->CardList().empty());
    EXPECT_TRUE(session_->CardCommandsAllowed());
}

TEST_F(LinkSessionTest, WithoutSavedPortThePortListFindsTheControllerAndItIsSaved)
{
    sim_ = std::make_unique<SimProcess>();
    devices_.SetPorts({sim_->DevicePath()});
    StartSession({});

    ASSERT_TRUE(ServeUntilIdle()) << sim_->Messages();
    const std::string listed = Listed0(sim_->DevicePath());
    EXPECT_EQ(kHandshakeCommands, sim_->WireLog());
    ExpectOneAnsweredAttempt(view_->LinkLogLines(), listed);
    EXPECT_EQ(std::vector<std::string>{listed}, view_->Ports());
    EXPECT_EQ(listed, harness_->Session().SavedPort());
}

// The saved port is another process's terminal and the list starts with a
// character device that is no terminal: the search passes over both without
// opening them, and finds the controller on the next port.
TEST_F(LinkSessionTest, SearchLeavesWhatIsNoFreeSerialPortUnopenedAndFindsTheController)
{
    platform::testing::ControllingTerminal terminal;
    const std::string settings = platform::testing::LineSettings(terminal.peer().fd());
    sim_ = std::make_unique<SimProcess>();
    const std::string device = "/dev/full";
    devices_.SetPorts({device, sim_->DevicePath()});
    platform::testing::OpenWatch terminalOpens(terminal.path());
    platform::testing::OpenWatch deviceOpens(device);
    StartSession(terminal.path());

    ASSERT_TRUE(ServeUntilIdle()) << sim_->Messages();
    const auto lines = view_->LinkLogLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ((std::vector<std::string>{"---" + terminal.path(), "---" + Listed0(device),
                                        "---" + Listed0(sim_->DevicePath())}),
              std::vector<std::string>(lines.begin(), lines.begin() + 3));
    EXPECT_EQ(terminalOpens.Opens(), 0);
    EXPECT_EQ(deviceOpens.Opens(), 0);
    EXPECT_EQ(terminal.peer().Read(1, 0ms), "");
    EXPECT_EQ(platform::testing::LineSettings(terminal.peer().fd()), settings);
}

// Two checks. An answer that comes once check 1 has looked is seen at check
// 2, the last, and taken. (The wait between the checks ends when the answer
// comes: its length only guards against a hang.)
TEST_F(LinkSessionTest, AnswerFirstSeenAtTheLastCheckIsAccepted)
{
    PtyPeer controller;
    StartSession(controller.path(), {.settle = 20ms, .check = 30s, .checks = 2});
    ASSERT_TRUE(ServeUntilLogLine("1"));
    controller.Write("S0_");
    ASSERT_TRUE(
        ServeUntil([&] { return view_->LogLines().size() >= 4 && !view_->Ports().empty(); }));

    const std::string port = controller.path();
    EXPECT_EQ((std::vector<std::string>{"---" + port, "1", Received("S0_"), "2"}),
              view_->LogLines());
    EXPECT_EQ(port, harness_->Session().SavedPort());
}

// One check. An answer that comes once it has looked is not taken: the port
// closes after the pause that follows, and the search goes on with the port
// list.
TEST_F(LinkSessionTest, AnswerAfterTheLastCheckIsRefusedAndTheSearchGoesOn)
{
    PtyPeer controller;
    devices_.SetPorts({kMissingPort});
    StartSession(controller.path(), {.settle = 20ms, .check = 500ms, .checks = 1});
    ASSERT_TRUE(ServeUntilLogLine("1"));
    controller.Write("S0_");
    const std::string nextAttempt = "---" + Listed0(kMissingPort);
    ASSERT_TRUE(ServeUntilLogLine(nextAttempt));

    const auto lines = view_->LinkLogLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ((std::vector<std::string>{"---" + controller.path(), "1", nextAttempt}),
              std::vector<std::string>(lines.begin(), lines.begin() + 3));
    EXPECT_EQ(protocol::LinkState::Searching, session_->LinkState());
    EXPECT_TRUE(view_->Ports().empty());
}

TEST_F(LinkSessionTest, SilentPortGetsTwentyChecksThenThePortListIsTried)
{
    devices_.SetPorts({kMissingPort});
    StartLink({"--no-answer"});
    const std::string nextAttempt = "---" + Listed0(kMissingPort);
    ASSERT_TRUE(ServeUntilLogLine(nextAttempt)) << sim_->Messages();

    std::vector<std::string> expected{"---" + sim_->DevicePath()};
    for (int check = 1; check <= 20; ++check) {
        expected.push_back(std::to_string(check));
    }
    expected.push_back(nextAttempt);
    const auto log = view_->LogLines();
    ASSERT_GE(log.size(), expected.size());
    EXPECT_EQ(expected, std::vector<std::string>(log.begin(), log.begin() + expected.size()));
    EXPECT_EQ("S", sim_->WireLog());
}

// Each identification field comes after a field "T9_" in an event of its own,
// and the fields themselves arrive in pieces of three bytes.
TEST_F(LinkSessionTest, FieldWithAnUnexpectedLetterIsIgnoredInTheHandshake)
{
    StartLink({"--wrong-letter", "--split", "3", "--split-delay", "5"});
    ASSERT_TRUE(ServeUntilIdle()) << sim_->Messages();

    EXPECT_EQ(kHandshakeCommands, sim_->WireLog());
    EXPECT_EQ("S0_T9_N12345_T9_M-1.5_T9_B12.5_T9_D3_T9_V72_T9_R1_\x01", view_->ReceivedBytes());
    const LinkValues expected{.SerialNumber = "12345",
                              .MinValue = -1.5,
                              .MaxValue = 12.5,
                              .ModeValue = 1,
                              .Accuracy = 3,
                              .FirmwareVersion = "72"};
    EXPECT_EQ(expected, session_->Values());
}

struct GateCase {
    const char* firmware;
    bool opens;
};

void PrintTo(const GateCase& c, std::ostream* out)
{
    *out << "firmware '" << c.firmware << "'";
}

class LinkGateTest : public LinkSessionTest, public ::testing::WithParamInterface<GateCase> {};

// The information window gets all values after each step, those not yet
// received at their initial value; the gate runs once, after the firmware
// version, whatever it decides, and the listing follows either way.
TEST_P(LinkGateTest, ValuesAreShownStepByStepAndTheGateRunsOnceAfterTheFirmware)
{
    StartLink({"--firmware", GetParam().firmware, "--min", "-0,25", "--max", "1e3"}, Fast(),
              {"JOB1"});
    ASSERT_TRUE(ServeUntil([this] { return view_->CardList().size() == 1; })) << sim_->Messages();

    LinkValues v;
    std::vector<LinkValues> expected;
    v.SerialNumber = "12345";
    expected.push_back(v);
    v.MinValue = -0.25;
    expected.push_back(v);
    v.MaxValue = 1.3;
    expected.push_back(v);
    v.Accuracy = 3;
    expected.push_back(v);
    v.FirmwareVersion = GetParam().firmware;
    expected.push_back(v);
    v.ModeValue = 1;
    expected.push_back(v);
    EXPECT_EQ(expected, view_->ShownValues());
    EXPECT_EQ(v, session_->Values());

    // The gate opens the card commands and puts the main caption back, or
    // puts its refusal in the caption.
    std::vector<std::string> calls{"ShowCaption",    "ShowPort",       "ShowLinkValues",
                                   "ShowLinkValues", "ShowLinkValues", "ShowLinkValues",
                                   "ShowLinkValues"};
    if (GetParam().opens) {
        calls.push_back("EnableCardCommands");
    }
    calls.insert(calls.end(), {"ShowCaption", "ShowLinkValues", "AddCardName"});
    EXPECT_EQ(calls, view_->Calls());
    EXPECT_EQ(GetParam().opens, view_->CardCommandsEnabled());
    EXPECT_EQ(GetParam().opens ? session_texts::kMainCaption.str()
                               : session_texts::kFirmwareRefused.str(),
              view_->Captions().back());
    EXPECT_EQ(std::vector<std::string>{Listed("JOB1")}, view_->CardList());
    EXPECT_EQ(protocol::LinkState::Idle, session_->LinkState());
}

INSTANTIATE_TEST_SUITE_P(Firmware, LinkGateTest,
                         ::testing::Values(GateCase{"72", true}, GateCase{"0072", true},
                                           GateCase{"100", true}, GateCase{"71", false},
                                           GateCase{"-5", false}));

class LinkListingTest : public LinkSessionTest,
                        public ::testing::WithParamInterface<std::vector<std::string>> {};

// Card names carry field letters and "_" as ordinary bytes.
TEST_P(LinkListingTest, FirstListingReachesTheCardListAndTheLinkIsIdle)
{
    StartLink({}, Fast(), GetParam());
    std::vector<std::string> expected;
    std::string listing(1, static_cast<char>(GetParam().size() + 1));
    for (const auto& name : GetParam()) {
        expected.push_back(Listed(name));
        listing += Listed(name);
    }
    ASSERT_TRUE(ServeUntilIdle()) << sim_->Messages();

    EXPECT_EQ(expected, view_->CardList());
    EXPECT_EQ(kHandshakeReplies + listing, view_->ReceivedBytes());
    EXPECT_EQ(protocol::LinkState::Idle, session_->LinkState());
    EXPECT_TRUE(session_->CardCommandsAllowed());
}

INSTANTIATE_TEST_SUITE_P(CardFiles, LinkListingTest,
                         ::testing::Values(std::vector<std::string>{},
                                           std::vector<std::string>{"JOB1"},
                                           std::vector<std::string>{"A", "JOB1", "T_V_R"}));

struct BadValueCase {
    const char* option;
    const char* value;
    const char* commands;  // what goes out before the thread ends
    const char* replies;
    const char* reason;  // the conversion error's message, UTF-8
    // The last command went out after the reply that failed: the event
    // thread's end clears the port's output queue, which may take it before
    // the controller has read it, as a driver's queue would.
    bool lastMayBeCleared = false;
};

void PrintTo(const BadValueCase& c, std::ostream* out)
{
    *out << c.option << " '" << c.value << "'";
}

class LinkBadValueTest : public LinkSessionTest,
                         public ::testing::WithParamInterface<BadValueCase> {};

// The controller counts as lost: the port is closed, and the search starts
// again after the rest.
TEST_P(LinkBadValueTest, ValueThatIsNoNumberLosesTheLinkWithTheFailureCaption)
{
    const auto& c = GetParam();
    StartLink({c.option, c.value});
    ASSERT_TRUE(ServeUntil([this] { return view_->Captions().size() == 2; })) << sim_->Messages();
    // The port may close before the last reply is read; the simulator logs
    // the last command a moment after the link has written it.
    ASSERT_TRUE(ServeUntil([&] { return view_->ReceivedBytes().starts_with(c.replies); }))
        << view_->ReceivedBytes();
    const std::string all = c.commands;
    const std::string least = c.lastMayBeCleared ? all.substr(0, all.size() - 1) : all;
    ASSERT_TRUE(ServeUntil([&] { return sim_->WireLog().size() >= least.size(); }))
        << sim_->WireLog();

    EXPECT_EQ((std::vector<std::string>{link_texts::kConnecting.str(),
                                        link_texts::kLinkFailed.str() + Utf8ToCp1251(c.reason)}),
              view_->Captions());
    const std::string wire = sim_->WireLog();
    EXPECT_TRUE(wire == all || wire == least) << wire;
    EXPECT_EQ(protocol::LinkState::Searching, session_->LinkState());
    EXPECT_FALSE(view_->CardCommandsEnabled());
    EXPECT_FALSE(session_->CardCommandsAllowed());
}

INSTANTIATE_TEST_SUITE_P(
    Values, LinkBadValueTest,
    ::testing::Values(BadValueCase{"--firmware", "7.2", "SNMBDVR", "S0_N12345_M-1.5_B12.5_D3_V7.2_",
                                   "'7.2' не является целым числом", true},
                      BadValueCase{"--min", "x", "SNM", "S0_N12345_Mx_", "'x' не является числом"},
                      BadValueCase{"--accuracy", "2.5", "SNMBD", "S0_N12345_M-1.5_B12.5_D2.5_",
                                   "'2.5' не является целым числом"}));

// A handshake command that stays unanswered (a controller that reboots, or
// one that answers with fields nobody asked for) counts as a lost
// controller once the handshake's reply time has passed: the port is
// closed, the caption says which command had no answer, and the search
// begins again, as after any loss.
struct UnansweredCase {
    const char* name;
    std::vector<std::string> simOptions;
    bool foundAgain;  // the next handshake gets its answers
};

void PrintTo(const UnansweredCase& c, std::ostream* out)
{
    *out << c.name;
}

class LinkUnansweredTest : public LinkSessionTest,
                           public ::testing::WithParamInterface<UnansweredCase> {};

TEST_P(LinkUnansweredTest, UnansweredHandshakeCommandLosesTheLinkAndTheSearchGoesOn)
{
    auto timing = Fast();
    timing.handshakeReply = 300ms;
    timing.reconnectPause = 50ms;
    StartLink(GetParam().simOptions, timing);
    const std::string lost =
        link_texts::kLinkFailed.str() + Utf8ToCp1251("рольганг не ответил на команду N");
    ASSERT_TRUE(ServeUntil([&] {
        const auto captions = view_->Captions();
        return std::count(captions.begin(), captions.end(), lost) >= 1 &&
               sim_->WireLog().size() > 2;
    })) << sim_->Messages();

    if (GetParam().foundAgain) {
        ASSERT_TRUE(ServeUntilIdle()) << sim_->Messages();
        EXPECT_EQ("SN" + kHandshakeCommands, sim_->WireLog());
    } else {
        // Asked again and again, never identified.
        ASSERT_TRUE(ServeUntil([&] { return sim_->WireLog().starts_with("SNSNSN"); }));
        EXPECT_FALSE(session_->CardCommandsAllowed());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Controllers, LinkUnansweredTest,
    ::testing::Values(UnansweredCase{"MissesOneReply", {"--skip-reply", "N"}, true},
                      UnansweredCase{"AnswersWithForeignFields", {"--foreign-fields"}, false}),
    [](const auto& info) { return std::string(info.param.name); });

// An operator's command at the firmware gate (the controls open there) comes
// while the mode and the first listing are still awaited.
TEST_F(LinkSessionTest, CardCommandsDoNothingBeforeTheFirstListing)
{
    std::vector<bool> deletesSent;
    StartLink({}, Fast(), {"JOB1"});
    session_->RefreshCardList();
    deletesSent.push_back(Delete(Listed("JOB1")));
    view_->onCall = [&](const std::string& call) {
        if (call == "EnableCardCommands") {
            session_->RefreshCardList();
            deletesSent.push_back(Delete(Listed("JOB1")));
        }
    };
    ASSERT_TRUE(ServeUntilIdle()) << sim_->Messages();

    EXPECT_EQ((std::vector<bool>{false, false}), deletesSent);
    EXPECT_EQ(kHandshakeCommands, sim_->WireLog());
    EXPECT_EQ(6u, view_->ShownValues().size());
    EXPECT_EQ(std::vector<std::string>{Listed("JOB1")}, view_->CardList());
    const auto calls = view_->Calls();
    EXPECT_EQ(0, std::count(calls.begin(), calls.end(), "ClearCardList"));
    EXPECT_EQ((std::vector<std::string>{"JOB1"}), sim_->CardFiles());
}

TEST_F(LinkSessionTest, AfterTheFirstListingDeleteAndRefreshReachTheCard)
{
    StartLink({}, Fast(), {"JOB1", "JOB2"});
    ASSERT_TRUE(ServeUntilIdle()) << sim_->Messages();
    ASSERT_EQ((std::vector<std::string>{Listed("JOB1"), Listed("JOB2")}), view_->CardList());

    EXPECT_TRUE(Delete(Listed("JOB1")));
    session_->RefreshCardList();
    EXPECT_TRUE(view_->CardList().empty());
    EXPECT_FALSE(session_->CardCommandsAllowed());
    ASSERT_TRUE(ServeUntilIdle()) << sim_->Messages();

    EXPECT_EQ(std::vector<std::string>{Listed("JOB2")}, view_->CardList());
    EXPECT_EQ(kHandshakeCommands + "/JOB1\\>", sim_->WireLog());
    EXPECT_EQ(std::vector<std::string>{"JOB2"}, sim_->CardFiles());
    EXPECT_TRUE(session_->CardCommandsAllowed());
}

// The listing announces three names and brings one: the link waits in the
// listing state, and the frames that change the card are refused. A refresh
// forgets the cut listing and reads the new one from its count byte.
TEST_F(LinkSessionTest, ShortListingRefusesCardFramesUntilARefreshStartsAfresh)
{
    StartLink({"--short-listing", "2"}, Fast(), {"JOB1"});
    ASSERT_TRUE(ServeUntilReceived(kHandshakeReplies + "\x04" + Listed("JOB1")))
        << sim_->Messages();

    EXPECT_EQ(protocol::LinkState::Listing, session_->LinkState());
    EXPECT_FALSE(session_->CardCommandsAllowed());
    EXPECT_FALSE(Delete(Listed("JOB1")));

    // Nothing more comes: past the stall time the listing counts as cut.
    std::this_thread::sleep_for(Fast().listingStall + 100ms);
    session_->RefreshCardList();
    ASSERT_TRUE(
        ServeUntilReceived(kHandshakeReplies + "\x04" + Listed("JOB1") + "\x04" + Listed("JOB1")));
    EXPECT_EQ(kHandshakeCommands + ">", sim_->WireLog());
    EXPECT_EQ(std::vector<std::string>{Listed("JOB1")}, view_->CardList());
    EXPECT_EQ(protocol::LinkState::Listing, session_->LinkState());
    EXPECT_EQ(2, session_->ParserState().ListRemaining);
}

TEST_F(LinkSessionTest, ClosingWhileThePortSettlesEndsTheSearch)
{
    StartLink({}, {.settle = std::chrono::hours(1), .check = 200ms, .checks = 20});
    ASSERT_TRUE(ServeUntilLogLine("---" + sim_->DevicePath()));
    CloseSession();
    EXPECT_EQ("", sim_->WireLog());
    EXPECT_EQ(std::vector<std::string>{"ShowCaption"}, view_->Calls());
}

// The simulator sends its answers a byte at a time and is frozen as soon as
// the port is known, so the handshake waits for an answer that never comes.
TEST_F(LinkSessionTest, ClosingDuringTheHandshakeEndsTheLinkThread)
{
    StartLink({"--split", "1", "--split-delay", "100"},
              {.settle = 20ms, .check = 200ms, .checks = 20});
    ASSERT_TRUE(ServeUntil([this] { return !view_->Ports().empty(); })) << sim_->Messages();
    sim_->Suspend();
    const auto state = session_->LinkState();
    EXPECT_TRUE(state >= protocol::LinkState::AwaitingSerialNumber &&
                state <= protocol::LinkState::AwaitingMode)
        << int(state);
    CloseSession();
    EXPECT_FALSE(view_->CardCommandsEnabled());
    EXPECT_EQ(1u, view_->Captions().size());
}

}  // namespace
}  // namespace cardpush
