#include "support/tool_fixture.h"

#include <QCoreApplication>
#include <QEvent>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>

#include "app/qt/qt_text.h"
#include "link/link_texts.h"
#include "link/protocol.h"
#include "platform/cp1251.h"
#include "session/settings_format.h"
#include "support/link_wait.h"

namespace cardpush::test {

using testing::HangGuard;
using testing::LineTap;
using testing::ServeUntil;
using testing::SimProcess;

namespace {

// Runs a command inside the application's dispatch of an event, where an
// exception that leaves it is caught and shown, as for an operator's click.
class CommandEvent : public QObject {
public:
    explicit CommandEvent(const std::function<void()>& command) : command_(command) {}

    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::User) {
            command_();
            return true;
        }
        return QObject::event(e);
    }

private:
    const std::function<void()>& command_;
};

}  // namespace

void ToolTest::Start(const ToolSetup& setup)
{
    StartSimulator(setup);
    StartTool(setup);
    if (setup.waitForListing) {
        ASSERT_TRUE(WaitForListing()) << "no first listing; the simulator said:\n"
                                      << sim_->Messages();
    }
}

void ToolTest::StartSimulator(const ToolSetup& setup)
{
    sim_ = std::make_unique<SimProcess>(setup.simOptions);
    for (const auto& file : setup.cardFiles) {
        sim_->PutCardFile(file.name, file.content);
    }
}

void ToolTest::StartTap()
{
    tap_ = std::make_unique<LineTap>(sim_->DevicePath());
}

void ToolTest::StartTool(const ToolSetup& setup)
{
    if (tap_) {
        tap_->Start();
    }
    Settings settings;
    settings.sourceFolder = setup.sourceFolder ? JobsFolder() : "";
    settings.port = setup.savedPort.value_or(ToolDevice());
    settings.deleteAfterUpload = setup.deleteAfterUpload;
    settings.deleteBeforeUpload = setup.deleteBeforeUpload;
    WriteSettingsFile(FormatSettings(settings));
    if (setup.listSimulatorAsPort) {
        devices_.SetPorts({sim_->DevicePath()});
    }

    info_ = std::make_unique<TForm2>();
    form_ = std::make_unique<TForm1>(SettingsStore(settingsDir_), nullptr, devices_);
    form_->SetInformationWindow(info_.get());
    form_->Link().SetTiming(setup.timing);
    form_->show();
}

void ToolTest::TearDown()
{
    if (form_) {
        HangGuard guard("closing the main window's link");
        form_.reset();
    }
    info_.reset();
    tap_.reset();
    // A simulator that a test stopped itself has had its say.
    if (sim_ && sim_->Running()) {
        EXPECT_NO_THROW(EXPECT_EQ(0, sim_->Stop()) << sim_->Messages());
    }
    sim_.reset();
    GuiTest::TearDown();
}

void ToolTest::CloseWindow()
{
    form_->close();
}

bool ToolTest::WaitForListing()
{
    LinkSession& link = form_->Link();
    return ServeUntil([&link] { return link.CardCommandsAllowed(); });
}

void ToolTest::ServeFor(std::chrono::milliseconds time)
{
    ServeUntil([] { return false; }, time);
}

void ToolTest::Click(const std::function<void()>& command)
{
    CommandEvent target(command);
    QEvent event(QEvent::User);
    QCoreApplication::sendEvent(&target, &event);
}

std::string ToolTest::ToolDevice() const
{
    return tap_ ? tap_->DevicePath() : sim_->DevicePath();
}

std::string ToolTest::RunCommand(const std::function<void()>& command)
{
    const std::size_t mark = WireMark();
    command();
    // Every command ends with a listing request, which leaves state 8 until
    // its answer has been read.
    EXPECT_EQ(protocol::LinkState::Listing, form_->Link().LinkState());
    EXPECT_TRUE(WaitForListing()) << sim_->Messages();
    return WireSince(mark);
}

std::size_t ToolTest::WireMark() const
{
    return sim_->WireLog().size();
}

std::string ToolTest::WireSince(std::size_t mark) const
{
    const std::string wire = sim_->WireLog();
    return mark < wire.size() ? wire.substr(mark) : std::string();
}

int ToolTest::LogMark() const
{
    return Control<QPlainTextEdit>(form_, "Memo1")->document()->blockCount();
}

std::vector<std::string> ToolTest::LogSince(int mark) const
{
    const std::string receivePrefix = link_texts::kReceiveLogPrefix.str();
    std::vector<std::string> lines;
    const QTextDocument* log = Control<QPlainTextEdit>(form_, "Memo1")->document();
    for (int i = mark; i < log->blockCount(); ++i) {
        std::string line = FromQString(log->findBlockByNumber(i).text());
        if (line.rfind(receivePrefix, 0) != 0) {
            lines.push_back(std::move(line));
        }
    }
    return lines;
}

std::vector<std::string> ToolTest::CardList() const
{
    return form_->CardNames();
}

bool ToolTest::SelectJob(const std::string& utf8Name)
{
    const auto found = Control<QListWidget>(form_, "ListBox1")
                           ->findItems(QString::fromStdString(utf8Name),
                                       Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (found.isEmpty()) {
        return false;
    }
    Control<QListWidget>(form_, "ListBox1")->setCurrentItem(found.front());
    return true;
}

bool ToolTest::SelectCardName(const std::string& listedName)
{
    const std::vector<std::string> names = form_->CardNames();
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == listedName) {
            Control<QListWidget>(form_, "ListBox2")->setCurrentRow(static_cast<int>(i));
            return true;
        }
    }
    return false;
}

std::string ToolTest::CardFile(const std::string& name) const
{
    return testing::ReadBytes(sim_->CardDir() / name);
}

}  // namespace cardpush::test
