#include "support/window_sim_fixture.h"

#include <QListWidget>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <fstream>
#include <iterator>

#include "app/qt_text.h"
#include "app/settings_format.h"
#include "link/link_texts.h"
#include "link/protocol.h"
#include "platform/cp1251.h"
#include "support/link_wait.h"

namespace cardpush::test {

using testing::HangGuard;
using testing::ServeUntil;
using testing::SimProcess;

std::string Listed(const std::string& name)
{
    return name + std::string(protocol::kCardNameSize - name.size(), ' ');
}

void WindowSimTest::Start(const WindowSimSetup& setup)
{
    sim_ = std::make_unique<SimProcess>(setup.simOptions);
    for (const auto& [name, content] : setup.cardFiles) {
        sim_->PutCardFile(name, content);
    }

    Settings settings;
    settings.sourceFolder = setup.sourceFolder ? JobsFolder() : "";
    settings.port = setup.savedPort.value_or(sim_->DevicePath());
    settings.deleteAfterUpload = setup.deleteAfterUpload;
    settings.deleteBeforeUpload = setup.deleteBeforeUpload;
    WriteSettingsFile(FormatSettings(settings));
    if (setup.listSimulatorAsPort) {
        devices_.SetPorts({sim_->DevicePath()});
    }

    info_ = std::make_unique<TForm2>();
    form_ = std::make_unique<TForm1>(SettingsFolder(), nullptr, devices_);
    form_->SetInformationWindow(info_.get());
    form_->Link().SetTiming(setup.timing);
    form_->show();
    if (setup.waitForListing) {
        ASSERT_TRUE(WaitForListing()) << "no first listing; the simulator said:\n"
                                      << sim_->Messages();
    }
}

void WindowSimTest::TearDown()
{
    if (form_) {
        HangGuard guard("closing the main window's link");
        form_.reset();
    }
    info_.reset();
    if (sim_) {
        EXPECT_NO_THROW(EXPECT_EQ(0, sim_->Stop()) << sim_->Messages());
        sim_.reset();
    }
    GuiTest::TearDown();
}

void WindowSimTest::CloseWindow()
{
    form_->close();
}

bool WindowSimTest::WaitForListing()
{
    LinkSession& link = form_->Link();
    return ServeUntil([&link] { return link.CardCommandsAllowed(); });
}

std::string WindowSimTest::RunCommand(const std::function<void()>& command)
{
    const std::size_t mark = WireMark();
    command();
    // Every command ends with a listing request, which leaves state 8 until
    // its answer has been read.
    EXPECT_EQ(protocol::LinkState::Listing, form_->Link().LinkState());
    EXPECT_TRUE(WaitForListing()) << sim_->Messages();
    return WireSince(mark);
}

std::size_t WindowSimTest::WireMark() const
{
    return sim_->WireLog().size();
}

std::string WindowSimTest::WireSince(std::size_t mark) const
{
    const std::string wire = sim_->WireLog();
    return mark < wire.size() ? wire.substr(mark) : std::string();
}

int WindowSimTest::LogMark() const
{
    return Control<QPlainTextEdit>(form_, "Memo1")->document()->blockCount();
}

std::vector<std::string> WindowSimTest::LogSince(int mark) const
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

std::vector<std::string> WindowSimTest::CardList() const
{
    return form_->CardNames();
}

bool WindowSimTest::SelectJob(const std::string& utf8Name)
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

bool WindowSimTest::SelectCardName(const std::string& listedName)
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

std::string WindowSimTest::CardFile(const std::string& name) const
{
    std::ifstream in(sim_->CardDir() / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace cardpush::test
