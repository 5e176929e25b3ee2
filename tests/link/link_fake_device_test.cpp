// The link on the fake device layer: what no machine shows on demand (ports
// that all refuse to open, a registry that can't be read, a write that
// fails) and what only the driver calls reveal (the port list left unread).
// A scripted controller on a thread of its own answers each command as soon
// as the link has written it.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "link/link_session.h"
#include "link/link_texts.h"
#include "platform/cp1251.h"
#include "platform/fake_comm_api.h"
#include "platform/main_thread.h"
#include "support/link_wait.h"
#include "support/session_harness.h"

namespace cardpush {
namespace {

using namespace std::chrono_literals;
using test::Call;
using testing::HangGuard;
using testing::ServeUntil;

struct Exchange {
    std::string command;
    std::string reply;
    // Made to fail before the reply goes out: the link's next write fails.
    bool failNextWrite = false;
};

class LinkFakeDeviceTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        harness_.reset();
        if (controller_.joinable()) {
            controller_.join();
        }
    }

    void Start(const std::string& savedPort, LinkSession::Timing timing)
    {
        harness_ =
            std::make_unique<testing::SessionHarness>(api_, testing::SavedPort(savedPort), timing);
        session_ = &harness_->Link();
        view_ = &harness_->view;
        harness_->Session().Start();
    }

    // The tool closes: the link thread stops and the port is let go.
    void Close()
    {
        harness_->session.reset();
        session_ = nullptr;
    }

    // Answers each command in turn once the link has written it.
    void Controller(std::vector<Exchange> script)
    {
        controller_ = std::thread([this, script = std::move(script)] {
            for (std::size_t i = 0; i < script.size(); ++i) {
                if (!api_.WaitUntil(api_.Called(Call::WriteFile, i + 1))) {
                    return;
                }
                if (script[i].failNextWrite) {
                    api_.FailNext(Call::WriteFile, ERROR_GEN_FAILURE);
                }
                api_.Receive(script[i].reply);
            }
        });
    }

    std::string FailureCaption(const char* reasonUtf8)
    {
        return link_texts::kLinkFailed.str() + Utf8ToCp1251(reasonUtf8);
    }

    test::FakeCommApi api_;
    std::unique_ptr<testing::SessionHarness> harness_;
    LinkSession* session_ = nullptr;
    testing::RecordingView* view_ = nullptr;
    std::thread controller_;
};

// A lost link rests for ever: a test that wants it back says so.
const LinkSession::Timing kFast{.settle = 1ms, .check = 20ms, .checks = 20, .reconnectPause = 1h};

// A controller that answers every step up to an empty first listing.
const std::vector<Exchange> kWholeHandshake{{"S", "S0_"}, {"N", "N7_"}, {"M", "M1_"},
                                            {"B", "B2_"}, {"D", "D3_"}, {"V", "V72_"},
                                            {"R", "R4_"}, {">", "\x01"}};

TEST_F(LinkFakeDeviceTest, ControllerOnTheSavedPortIsTakenWithoutReadingThePortList)
{
    api_.AddPortValue("\\Device\\Serial0", "COM1");
    Controller(kWholeHandshake);
    Start("COM7", kFast);
    ASSERT_TRUE(ServeUntil([this] { return session_->LinkState() == protocol::LinkState::Idle; }));

    EXPECT_EQ("SNMBDVR>", api_.Written());
    EXPECT_EQ(0u, api_.CountOf(Call::RegOpenKeyExA));
    const auto opens = api_.CallsOf(Call::CreateFileA);
    ASSERT_EQ(1u, opens.size());
    EXPECT_EQ("\\\\.\\COM7", opens[0].bytes);
    EXPECT_EQ((LinkValues{.SerialNumber = "7",
                          .MinValue = 1,
                          .MaxValue = 2,
                          .ModeValue = 4,
                          .Accuracy = 3,
                          .FirmwareVersion = "72"}),
              session_->Values());
}

TEST_F(LinkFakeDeviceTest, HandshakeCommandThatCannotBeWrittenLosesTheLinkWithTheFailureCaption)
{
    // The write of "M" fails. (A failure of "N" belongs to the attempt on the
    // port, which then counts as failed, and the search goes on.)
    Controller({{"S", "S0_"}, {"N", "N7_", true}});
    Start("COM7", kFast);
    ASSERT_TRUE(ServeUntil([this] { return view_->Captions().size() == 2; }));

    EXPECT_EQ((std::vector<std::string>{link_texts::kConnecting.str(),
                                        FailureCaption("Ошибка записи в порт")}),
              view_->Captions());
    EXPECT_EQ("SN", api_.Written());
    EXPECT_EQ(protocol::LinkState::Searching, session_->LinkState());
    EXPECT_FALSE(session_->CardCommandsAllowed());
}

// A long frame (a job file's line of any length) goes to the driver in
// pieces of at most 128 bytes, the bytes unchanged: each piece's time-out is
// then that of 128 bytes, so a controller that stops reading is noticed in
// seconds, not hours. A card frame goes out only on its own connection.
TEST_F(LinkFakeDeviceTest, LongCardFrameGoesInPiecesOnItsConnectionOnly)
{
    Controller(kWholeHandshake);
    Start("COM7", kFast);
    ASSERT_TRUE(ServeUntil([this] { return session_->CardCommandsAllowed(); }));
    const std::size_t before = api_.CountOf(Call::WriteFile);
    std::string frame(1000, 'x');
    frame += "\r\n";

    session_->WriteCardFrame(frame, session_->Connection());
    const auto writes = api_.CallsOf(Call::WriteFile);
    ASSERT_EQ(before + 8, writes.size());
    for (std::size_t i = before; i < writes.size(); ++i) {
        EXPECT_LE(writes[i].bytes.size(), 128u);
    }
    EXPECT_EQ("SNMBDVR>" + frame, api_.Written());

    LinkConnection other = session_->Connection();
    ++other.generation;
    EXPECT_THROW(session_->WriteCardFrame("/A\\", other), ELinkChanged);
    EXPECT_EQ("SNMBDVR>" + frame, api_.Written());
}

// A receive event whose dispatch fails ends the port's event thread, and
// nothing more would ever be received: the caption says so, and a card
// command says why it sends nothing instead of doing nothing.
TEST_F(LinkFakeDeviceTest, ReceptionThatEndsThroughAnErrorIsShownAndRefusesCardCommands)
{
    Controller(kWholeHandshake);
    Start("COM7", kFast);
    ASSERT_TRUE(ServeUntil([this] { return session_->CardCommandsAllowed(); }));

    api_.FailNext(Call::ClearCommError, ERROR_GEN_FAILURE);
    api_.Receive("N8_");
    const std::string lost = FailureCaption("Ошибка функции ClearCommError");
    ASSERT_TRUE(ServeUntil([&] { return view_->Captions().back() == lost; }));
    EXPECT_FALSE(session_->CardCommandsAllowed());
    EXPECT_EQ(lost, session_->CardCommandRefusal());
}

TEST_F(LinkFakeDeviceTest, PortListThatCannotBeReadLosesTheLinkWithTheFailureCaption)
{
    api_.FailNext(Call::RegOpenKeyExA, ERROR_ACCESS_DENIED);
    Start("", kFast);
    ASSERT_TRUE(ServeUntil([this] { return view_->Captions().size() == 2; }));

    EXPECT_EQ((std::vector<std::string>{link_texts::kConnecting.str(),
                                        FailureCaption("Ошибка обращения к системному реестру")}),
              view_->Captions());
    EXPECT_EQ(0u, api_.CountOf(Call::CreateFileA));
}

// A pass over the port list in which no port opens takes no time of its own.
// The search must then rest before the next pass: otherwise it keeps a core
// busy, floods the log, and never comes to a point where it can be stopped,
// so that closing the tool hangs.
TEST_F(LinkFakeDeviceTest, PassWithoutAnOpenPortRestsAndCanBeStopped)
{
    api_.FailNext(Call::CreateFileA, ERROR_ACCESS_DENIED, -1);
    api_.AddPortValue("\\Device\\Serial0", "COM1");
    // The rest between passes lasts hours: only a stop can end it.
    Start("COM7", {.settle = 1h, .check = 1h, .checks = 20});

    ASSERT_TRUE(api_.WaitUntil(api_.Called(Call::CreateFileA, 2)));
    Close();

    EXPECT_EQ((std::vector<std::string>{"---COM7", "---COM1"}), view_->LinkLogLines());
    EXPECT_EQ(2u, api_.CountOf(Call::CreateFileA));
    EXPECT_EQ(1u, api_.CountOf(Call::RegOpenKeyExA));
    EXPECT_EQ(0, api_.OpenDevices());
}

// Ports that refuse to open as busy: those that another program holds are
// passed over, those that this user may not open are named in the log with
// the group the user is not in. The port table says which; the caption keeps
// "connecting", and after the pass a message tells the operator what to do.
TEST_F(LinkFakeDeviceTest, PortsThisUserMayNotOpenAreNamedInTheLogThePortTableAndAMessage)
{
    // The port list's name ends in its NUL; the texts end before it.
    const std::string attempt = "---ttyUSB0" + std::string(1, '\0');
    api_.AddPortValue("\\Device\\ttyUSB0", "ttyUSB0" + std::string(1, '\0'));
    const std::string denied = Utf8ToCp1251("Нет доступа к порту ttyUSB0");
    const std::string notInGroup = Utf8ToCp1251(": пользователь не входит в группу dialout");
    struct Case {
        const char* name;
        std::optional<std::string> missingAccess;
        std::vector<std::string> log;
        const char* row;
        // A text the one message holds; none: no message.
        const char* message;
    };
    const Case cases[] = {
        {"busy", std::nullopt, {attempt}, "ttyUSB0: занят другой программой", nullptr},
        {"not in the group",
         "dialout",
         {attempt, denied + notInGroup},
         "ttyUSB0: нет доступа: пользователь не входит в группу dialout",
         "sudo usermod -aG dialout"},
        {"no group would do",
         "",
         {attempt, denied},
         "ttyUSB0: нет доступа",
         "права на устройство не позволяют его открыть"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        api_.FailNext(Call::CreateFileA, ERROR_ACCESS_DENIED, -1);
        api_.SetMissingAccess(c.missingAccess);
        // The rest between passes lasts hours: one pass is all there is.
        Start("", {.settle = 1h, .check = 1h, .checks = 20});
        ASSERT_TRUE(ServeUntil([&] { return !view_->PortRows().empty(); }));
        EXPECT_EQ(c.log, view_->LinkLogLines());
        EXPECT_EQ(std::vector<std::string>{Utf8ToCp1251(c.row)}, view_->PortRowTexts());
        EXPECT_EQ(std::vector<std::string>{link_texts::kConnecting.str()}, view_->Captions());
        if (c.message != nullptr) {
            ASSERT_TRUE(ServeUntil([&] { return !view_->Messages().empty(); }));
            EXPECT_NE(std::string::npos, view_->Messages()[0].find(Utf8ToCp1251(c.message)));
        } else {
            EXPECT_TRUE(view_->Messages().empty());
        }
        Close();
    }
}

}  // namespace
}  // namespace cardpush
