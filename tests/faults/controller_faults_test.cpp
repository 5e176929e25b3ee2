// What the controller and the line may do wrong, met through the real
// windows: a controller unplugged in the middle of an upload, a port that
// another program holds, a listing that stops short, and bytes on the line
// that no controller sent.
#include <gmock/gmock.h>
#include <sys/file.h>
#include <unistd.h>

#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <random>

#include "app/qt/Unit2.h"
#include "faults/tool_fixture.h"
#include "link/link_session.h"
#include "link/link_texts.h"
#include "platform/cp1251.h"
#include "serial/ComErrors.h"
#include "session/session_texts.h"
#include "session/settings_format.h"
#include "support/pty_peer.h"

namespace cardpush::test {
namespace {

std::string Utf8Text(std::string_view cp1251)
{
    return Cp1251ToUtf8(cp1251);
}

// Lines of a valid job file: a size field, a blank, some text.
std::vector<std::string> JobLines(std::size_t count)
{
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < count; ++i) {
        lines.push_back(std::to_string(i % 1000) + " " + std::string(40, 'a' + i % 26));
    }
    return lines;
}

bool IsPrefix(const std::string& prefix, const std::string& whole)
{
    return whole.compare(0, prefix.size(), prefix) == 0 && prefix.size() <= whole.size();
}

class ControllerFaultsTest : public FaultsToolTest {
protected:
    bool LogHas(const std::string& line) const
    {
        const QStringList lines =
            Control<QPlainTextEdit>(form_, "Memo1")->toPlainText().split('\n');
        return lines.contains(QString::fromStdString(Utf8Text(line)));
    }
};

// The simulator reads at 9600 baud, so a 40 kB upload takes about 40 s on
// the wire; once a few kilobytes have arrived it is unplugged (stopped), or
// it stops reading (frozen) and the line's buffers fill until a write runs
// out of its time-out. Either way the port's write fails, the command ends
// with the port's one message box, and no job file is deleted although
// "delete after upload" is on.
struct CutCase {
    const char* name;
    bool unplug;  // else the controller stops reading
};

void PrintTo(const CutCase& c, std::ostream* out)
{
    *out << c.name;
}

class CutDuringUploadTest : public ControllerFaultsTest,
                            public ::testing::WithParamInterface<CutCase> {};

TEST_P(CutDuringUploadTest, EndsTheUploadWithOneMessage)
{
    setup_.simOptions = {"--baud", "9600"};
    StartSimulator(setup_);
    const auto big = JobLines(1000);
    const auto small = JobLines(3);
    CreateJob("BIG.txt", Frames(big));
    CreateJob("SMALL.txt", Frames(small));
    StartTool(setup_);
    ASSERT_TRUE(WaitForListing()) << sim_->Messages();
    ASSERT_TRUE(Control<QCheckBox>(form_, "CheckBox1")->isChecked());

    QTimer unplug;
    unplug.setInterval(50);
    QObject::connect(&unplug, &QTimer::timeout, [&] {
        if (sim_->WireLog().size() > kHandshakeCommands.size() + 3000) {
            unplug.stop();
            if (GetParam().unplug) {
                sim_->Stop();
            } else {
                sim_->Suspend();
            }
        }
    });
    unplug.start();
    Click([&] { Control<QPushButton>(form_, "Button1")->click(); });

    EXPECT_EQ(std::vector<std::string>{Utf8Text(ComFaultText(ComFault::Write))}, messages_);
    EXPECT_EQ((std::vector<std::string>{"BIG.txt", "SMALL.txt"}), JobsOnDisk());
    // What reached the line before the cut is the files' frames, in the
    // order the folder gave them, byte for byte.
    const std::string wire = sim_->WireLog();
    ASSERT_TRUE(IsPrefix(kHandshakeCommands, wire));
    const std::string frames = wire.substr(kHandshakeCommands.size());
    const std::string bigFrames = UploadHeader("BIG", Frames(big).size()) + Frames(big);
    const std::string smallFrames = UploadHeader("SMALL", Frames(small).size()) + Frames(small);
    EXPECT_TRUE(IsPrefix(frames, bigFrames + smallFrames) ||
                IsPrefix(frames, smallFrames + bigFrames))
        << frames.size() << " bytes arrived";
    EXPECT_LT(frames.size(), bigFrames.size() + smallFrames.size());

    // The controller counts as lost: the caption says so, the card controls
    // are off, and nothing more is said or deleted.
    ASSERT_TRUE(ServeUntil([&] {
        return Utf8(form_->windowTitle()).starts_with("Нет связи с рольгангом: ");
    })) << Utf8(form_->windowTitle());
    EXPECT_FALSE(Control<QPushButton>(form_, "Button1")->isEnabled());
    EXPECT_TRUE(CardList().empty());
    EXPECT_EQ(1u, messages_.size());
    EXPECT_EQ((std::vector<std::string>{"BIG.txt", "SMALL.txt"}), JobsOnDisk());
}

INSTANTIATE_TEST_SUITE_P(Cuts, CutDuringUploadTest,
                         ::testing::Values(CutCase{"Unplugged", true},
                                           CutCase{"StopsReading", false}),
                         [](const auto& info) { return std::string(info.param.name); });

// The line drops (a controller switched off, a cable pulled) while the tool
// is idle, while a listing comes and in the middle of an upload; behind the
// same port name the controller comes back. The tool says it is lost, finds
// it again by itself and shows its card, and no job file that did not reach
// the card is deleted.
struct LostLineCase {
    const char* name;
    // The line drops after this many bytes past the handshake; 0: at once,
    // with the tool idle.
    int dropAfter;
    // What the operator does once the controller is listed.
    enum { Nothing, Refresh, UploadAll } command;
};

void PrintTo(const LostLineCase& c, std::ostream* out)
{
    *out << c.name;
}

class LostLineTest : public ControllerFaultsTest,
                     public ::testing::WithParamInterface<LostLineCase> {};

TEST_P(LostLineTest, TheControllerIsFoundAgainAndUnsentFilesStay)
{
    const LostLineCase& c = GetParam();
    const std::string link = (settingsDir_ / "rolgang").string();
    setup_.simOptions = {"--link", link, "--drop-pause", "100"};
    if (c.dropAfter > 0) {
        setup_.simOptions.push_back("--drop-after-bytes");
        setup_.simOptions.push_back(std::to_string(kHandshakeCommands.size() + c.dropAfter));
    }
    setup_.savedPort = link;
    setup_.cardFiles = {{"OLD"}};
    setup_.timing.reconnectPause = std::chrono::milliseconds(50);
    CreateJob("BIG.txt", Frames(JobLines(200)));
    CreateJob("SMALL.txt", Frames(JobLines(3)));
    ASSERT_NO_FATAL_FAILURE(Start(setup_));
    bool lost = false;
    QObject::connect(form_.get(), &QWidget::windowTitleChanged, [&](const QString& title) {
        lost = lost || Utf8(title).starts_with("Нет связи с рольгангом: ");
    });

    switch (c.command) {
        case LostLineCase::Nothing:
            sim_->DropLine();
            break;
        case LostLineCase::Refresh:
            Click([&] { Control<QAction>(form_, "N4")->trigger(); });
            break;
        case LostLineCase::UploadAll:
            Click([&] { Control<QPushButton>(form_, "Button1")->click(); });
            break;
    }
    ASSERT_TRUE(ServeUntil([&] {
        return lost && form_->Link().CardCommandsAllowed() &&
               Utf8(form_->windowTitle()) == Utf8Text(session_texts::kMainCaption);
    })) << Utf8(form_->windowTitle())
        << "\n"
        << sim_->Messages();

    std::vector<std::string> card;
    for (const auto& name : sim_->CardFiles()) {
        card.push_back(Listed(name));
    }
    EXPECT_EQ(card, CardList());
    EXPECT_TRUE(Control<QPushButton>(form_, "Button1")->isEnabled());
    EXPECT_EQ("72", form_->Link().Values().FirmwareVersion);
    EXPECT_EQ((std::vector<std::string>{"BIG.txt", "SMALL.txt"}), JobsOnDisk());
    if (c.command != LostLineCase::UploadAll) {
        EXPECT_TRUE(messages_.empty()) << ::testing::PrintToString(messages_);
        return;
    }
    // The frames that the line's buffers took before the drop count as
    // written; the upload then ends on the write that failed, on the next
    // frame finding the connection gone, or on the listing that never came.
    // One message says so.
    ASSERT_EQ(1u, messages_.size());
    EXPECT_THAT(messages_[0],
                ::testing::AnyOf(Utf8Text(ComFaultText(ComFault::Write)),
                                 Utf8Text(link_texts::kConnectionChanged),
                                 "Рольганг не подтвердил приём файлов, они оставлены на "
                                 "компьютере: BIG.txt, SMALL.txt",
                                 "Рольганг не подтвердил приём файлов, они оставлены на "
                                 "компьютере: SMALL.txt, BIG.txt"));
}

INSTANTIATE_TEST_SUITE_P(Drops, LostLineTest,
                         ::testing::Values(LostLineCase{"Idle", 0, LostLineCase::Nothing},
                                           LostLineCase{"Listing", 1, LostLineCase::Refresh},
                                           LostLineCase{"Upload", 2000, LostLineCase::UploadAll}),
                         [](const auto& info) { return std::string(info.param.name); });

// Another program holds the saved port (as a second copy of the tool would):
// the search passes over it without a word and finds the controller on the
// port list.
TEST_F(ControllerFaultsTest, PortHeldByAnotherProgramIsPassedOverQuietly)
{
    testing::PtyPeer other;
    const std::string held = other.path();
    const int holder = other.OpenDevice();
    ASSERT_EQ(0, ::flock(holder, LOCK_EX | LOCK_NB));

    setup_.cardFiles = {{"JOB1"}};
    StartSimulator(setup_);
    devices_.SetPorts({sim_->DevicePath()});
    setup_.savedPort = held;
    StartTool(setup_);

    ASSERT_TRUE(WaitForListing()) << sim_->Messages();
    EXPECT_EQ(std::vector<std::string>{}, messages_);
    EXPECT_TRUE(LogHas("---" + held));
    EXPECT_EQ(kHandshakeCommands, sim_->WireLog());
    EXPECT_EQ(std::vector<std::string>{Listed("JOB1")}, CardList());
    EXPECT_EQ(Utf8Text(session_texts::kMainCaption), Utf8(form_->windowTitle()));
    ::close(holder);
}

// A glitch eats the second of two names: the listing announced two and
// brought one, so the link waits in the listing state for a name that never
// comes. An upload a while later sends no frame; the listing request that
// ends it starts afresh, and the complete listing that answers it brings the link
// back, so that the next upload goes out.
TEST_F(ControllerFaultsTest, ListingCutShortRefusesUploadsUntilARefreshCompletesOne)
{
    setup_.cardFiles = {{"JOB1"}, {"JOB2"}};
    StartSimulator(setup_);
    StartTap();
    std::atomic<bool> firstListing{true};
    tap_->OnToolByte([&](char c) {
        if (c == '>' && firstListing.exchange(false)) {
            tap_->DropToTool(1 + 8, 8);  // count byte and JOB1 pass, JOB2 is lost
        }
    });
    const auto lines = JobLines(2);
    CreateJob("JOB3.txt", Frames(lines));
    setup_.timing.listingStall = kListingStall;
    StartTool(setup_);
    ASSERT_TRUE(ServeUntil([&] {
        const ReceiveState state = form_->Link().ParserState();
        return state.LinkState == protocol::LinkState::Listing && state.ListRemaining == 1 &&
               state.RxBuffer.empty();
    })) << sim_->Messages();
    EXPECT_EQ(std::vector<std::string>{Listed("JOB1")}, CardList());
    EXPECT_FALSE(form_->Link().CardCommandsAllowed());
    // The operator gives up on the listing only after it has been silent for
    // a while; a request before that would queue behind it.
    ServeFor(2 * kListingStall);

    Click([&] { Control<QPushButton>(form_, "Button1")->click(); });
    ASSERT_TRUE(WaitForListing()) << sim_->Messages();
    EXPECT_EQ(kHandshakeCommands + ">", sim_->WireLog());
    EXPECT_EQ((std::vector<std::string>{Listed("JOB1"), Listed("JOB2")}), CardList());
    EXPECT_EQ(std::vector<std::string>{"JOB3.txt"}, JobsOnDisk());

    Click([&] { Control<QPushButton>(form_, "Button1")->click(); });
    ASSERT_TRUE(WaitForListing()) << sim_->Messages();
    EXPECT_EQ(
        kHandshakeCommands + ">" + UploadHeader("JOB3", Frames(lines).size()) + Frames(lines) + ">",
        sim_->WireLog());
    EXPECT_EQ((std::vector<std::string>{Listed("JOB1"), Listed("JOB2"), Listed("JOB3")}),
              CardList());
    EXPECT_EQ(std::vector<std::string>{}, JobsOnDisk());
    // The first click was refused, and said why and what to do: the cut
    // listing never ends by itself.
    EXPECT_EQ((std::vector<std::string>{
                  "Команда не выполнена: список файлов карты памяти пришёл не полностью. Он "
                  "запрошен заново; повторите команду, когда список обновится"}),
              messages_);
}

// Line noise ahead of every identification answer: random bytes of every
// value but the field terminator, so no field is ever completed by noise
// alone. Each answer starts with its field letter, which drops whatever the
// noise left, and the controller is identified with its own values.
TEST_F(ControllerFaultsTest, NoiseDuringTheHandshakeIsPassedOver)
{
    setup_.cardFiles = {{"JOB1"}};
    StartSimulator(setup_);
    StartTap();
    std::mt19937 random(7);
    std::string injected;
    tap_->OnToolByte([&](char c) {
        if (std::string_view("SNMBDVR").find(c) == std::string_view::npos) {
            return;
        }
        std::string noise;
        for (int i = 0; i < 200; ++i) {
            char byte = static_cast<char>(random() & 0xFF);
            noise += byte == '_' ? '\x7f' : byte;
        }
        injected += noise;
        tap_->Inject(noise);
    });
    StartTool(setup_);
    ASSERT_TRUE(WaitForListing()) << sim_->Messages();

    EXPECT_EQ(kHandshakeCommands, sim_->WireLog());
    EXPECT_EQ(7u * 200u, injected.size());
    const LinkValues values = form_->Link().Values();
    EXPECT_EQ("12345", values.SerialNumber);
    EXPECT_EQ(-1.5, values.MinValue);
    EXPECT_EQ(12.5, values.MaxValue);
    EXPECT_EQ(3, values.Accuracy);
    EXPECT_EQ("72", values.FirmwareVersion);
    EXPECT_EQ(1.0, values.ModeValue);
    EXPECT_EQ(std::vector<std::string>{Listed("JOB1")}, CardList());
    EXPECT_EQ(Utf8Text(session_texts::kMainCaption), Utf8(form_->windowTitle()));
    EXPECT_EQ(std::vector<std::string>{}, messages_);
}

// Random bytes of every value while connected and idle: the link stays idle,
// nothing is shown, the listing stays as it was, and the next refresh brings
// the card's listing exactly.
TEST_F(ControllerFaultsTest, RandomBytesWhileIdleChangeNothing)
{
    setup_.cardFiles = {{"JOB1"}, {"JOB2"}};
    StartSimulator(setup_);
    StartTap();
    StartTool(setup_);
    ASSERT_TRUE(WaitForListing()) << sim_->Messages();

    std::mt19937 random(11);
    std::string noise;
    for (int i = 0; i < 64 * 1024; ++i) {
        noise += static_cast<char>(random() & 0xFF);
    }
    // A field left open at the end shows when the noise has all been read.
    tap_->Inject(noise + "T77");
    ASSERT_TRUE(ServeUntil([&] { return form_->Link().ParserState().RxBuffer == "T77"; }));
    EXPECT_EQ(protocol::LinkState::Idle, form_->Link().LinkState());
    EXPECT_EQ((std::vector<std::string>{Listed("JOB1"), Listed("JOB2")}), CardList());
    EXPECT_EQ(std::vector<std::string>{}, messages_);

    Click([&] { Control<QAction>(form_, "N4")->trigger(); });
    ASSERT_TRUE(WaitForListing()) << sim_->Messages();
    EXPECT_EQ((std::vector<std::string>{Listed("JOB1"), Listed("JOB2")}), CardList());
    EXPECT_EQ(kHandshakeCommands + ">", sim_->WireLog());
    EXPECT_EQ(Utf8Text(session_texts::kMainCaption), Utf8(form_->windowTitle()));
    EXPECT_EQ(std::vector<std::string>{}, messages_);
}

// ---- job files kept until the controller has them ---------------------

struct UnconfirmedCase {
    const char* what;
    // What reaches the tool in place of the listing that answers the upload.
    std::string listing;
};

class UnconfirmedUploadTest : public ControllerFaultsTest,
                              public ::testing::WithParamInterface<UnconfirmedCase> {};

// A write completes when the driver has the bytes, not the controller: only
// a listing asked for after the upload, which the controller answers once
// it has read everything before the request, shows that the file is on the
// card. Here that listing is lost, or comes without the file's name: the job
// file stays, and the operator is told.
TEST_P(UnconfirmedUploadTest, JobFileStaysWhenNoListingNamesIt)
{
    StartSimulator(setup_);
    StartTap();
    const auto lines = JobLines(3);
    CreateJob("JOB.txt", Frames(lines));
    std::atomic<int> listingRequests{0};
    tap_->OnToolByte([&](char c) {
        if (c == '>' && ++listingRequests == 2) {
            // The card's answer: the count byte and the one name.
            tap_->DropToTool(0, 1 + 8);
            tap_->Inject(GetParam().listing);
        }
    });
    setup_.timing.listingStall = kListingStall;
    StartTool(setup_);
    ASSERT_TRUE(WaitForListing()) << sim_->Messages();

    Click([&] { Control<QPushButton>(form_, "Button1")->click(); });
    ASSERT_TRUE(ServeUntil([&] { return !messages_.empty(); })) << sim_->Messages();
    EXPECT_EQ(std::vector<std::string>{"Рольганг не подтвердил приём файлов, они оставлены на "
                                       "компьютере: JOB.txt"},
              messages_);
    EXPECT_EQ(std::vector<std::string>{"JOB.txt"}, JobsOnDisk());
    // The controller got it all (its answer went astray).
    const std::string wire =
        kHandshakeCommands + UploadHeader("JOB", Frames(lines).size()) + Frames(lines) + ">";
    EXPECT_TRUE(ServeUntil([&] { return sim_->WireLog() == wire; })) << sim_->WireLog();
    EXPECT_EQ(std::vector<std::string>{"JOB"}, sim_->CardFiles());
}

INSTANTIATE_TEST_SUITE_P(Listings, UnconfirmedUploadTest,
                         ::testing::Values(UnconfirmedCase{"Lost", ""},
                                           UnconfirmedCase{"WithoutTheName", "\x01"}),
                         [](const auto& info) { return std::string(info.param.what); });

// The controller stops reading (frozen): the frames fill the line's buffers
// and a write runs out of its time-out. That write is an error, not a short
// success: the upload ends with the port's write error, and the job file
// stays although "delete after upload" is on.
TEST_F(ControllerFaultsTest, ControllerThatStopsReadingEndsTheUploadWithTheWriteError)
{
    StartSimulator(setup_);
    // More than the kernel buffers between the two ends of a pseudo-terminal.
    const auto lines = JobLines(2000);
    CreateJob("BIG.txt", Frames(lines));
    StartTool(setup_);
    ASSERT_TRUE(WaitForListing()) << sim_->Messages();
    sim_->Suspend();

    Click([&] { Control<QPushButton>(form_, "Button1")->click(); });
    sim_->Resume();
    EXPECT_EQ(std::vector<std::string>{Utf8Text(ComFaultText(ComFault::Write))}, messages_);
    EXPECT_EQ(std::vector<std::string>{"BIG.txt"}, JobsOnDisk());
}

// The job file is rewritten while its upload is under way: the card has the
// content that was read, and the file on disk is another one now. It stays,
// and the operator is told.
TEST_F(ControllerFaultsTest, JobFileRewrittenDuringItsUploadStays)
{
    StartSimulator(setup_);
    StartTap();
    const auto lines = JobLines(3);
    CreateJob("JOB.txt", Frames(lines));
    // The header goes out once the file has been read for sending.
    tap_->OnToolByte([&](char c) {
        if (c == '<') {
            CreateJob("JOB.txt", "1 new\r\n");
        }
    });
    StartTool(setup_);
    ASSERT_TRUE(WaitForListing()) << sim_->Messages();

    Click([&] { Control<QPushButton>(form_, "Button1")->click(); });
    ASSERT_TRUE(ServeUntil([&] { return !messages_.empty(); })) << sim_->Messages();
    EXPECT_EQ(std::vector<std::string>{"Файлы изменились после загрузки и оставлены на "
                                       "компьютере: JOB.txt"},
              messages_);
    EXPECT_EQ(std::vector<std::string>{"JOB.txt"}, JobsOnDisk());
    EXPECT_EQ(Frames(lines), CardFile("JOB"));
}

}  // namespace
}  // namespace cardpush::test
