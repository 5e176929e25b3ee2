#include "faults/tool_fixture.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include "app/Unit2.h"
#include "app/application.h"
#include "app/dialogs.h"
#include "app/settings_format.h"
#include "link/link_session.h"
#include "platform/cp1251.h"
#include "support/link_wait.h"

namespace cardpush::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

[[noreturn]] void Fail(const std::string& what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

void MakeRaw(int fd)
{
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) {
        Fail("tcgetattr");
    }
    ::cfmakeraw(&settings);
    if (::tcsetattr(fd, TCSANOW, &settings) != 0) {
        Fail("tcsetattr");
    }
}

void WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;  // the other end is gone; the test sees it in what arrived
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

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

LineTap::LineTap(const std::string& simDevice)
{
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        Fail("posix_openpt");
    }
    device_ = ::ptsname(master_);
    // Held open by the tap so that the master never reads as hung up while
    // the tool has the device closed. It holds no lock, so the tool's
    // exclusive open still succeeds.
    heldSlave_ = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (heldSlave_ < 0) {
        Fail("open " + device_);
    }
    // No echo of injected bytes before the tool has set its own line mode.
    MakeRaw(heldSlave_);
    sim_ = ::open(simDevice.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (sim_ < 0) {
        Fail("open " + simDevice);
    }
    MakeRaw(sim_);
    if (::pipe2(wakePipe_, O_CLOEXEC) != 0) {
        Fail("pipe2");
    }
}

LineTap::~LineTap()
{
    if (thread_.joinable()) {
        const char stop = 's';
        WriteAll(wakePipe_[1], &stop, 1);
        thread_.join();
    }
    for (int fd : {master_, sim_, heldSlave_, wakePipe_[0], wakePipe_[1]}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void LineTap::Start()
{
    thread_ = std::thread([this] { Copy(); });
}

void LineTap::Inject(const std::string& bytes)
{
    {
        std::lock_guard lock(mutex_);
        toTool_ += bytes;
    }
    const char wake = 'w';
    WriteAll(wakePipe_[1], &wake, 1);
}

void LineTap::DropToTool(std::size_t skip, std::size_t count)
{
    std::lock_guard lock(mutex_);
    passBeforeDrop_ = skip;
    toDrop_ = count;
}

// One thread copies both ways. The master is non-blocking and the bytes for
// the tool wait in toTool_, so that the tap never blocks on a tool that is
// busy (the tool reads only when its GUI thread is free, and that may be
// the thread that injects).
void LineTap::Copy()
{
    enum { kWake, kMaster, kSim };
    pollfd fds[3] = {{wakePipe_[0], POLLIN, 0}, {master_, POLLIN, 0}, {sim_, POLLIN, 0}};
    char buffer[4096];
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            fds[kMaster].events = toTool_.empty() ? POLLIN : POLLIN | POLLOUT;
        }
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (fds[kWake].revents & POLLIN) {
            const ssize_t n = ::read(wakePipe_[0], buffer, sizeof buffer);
            if (n <= 0 || std::string_view(buffer, static_cast<std::size_t>(n)).find('s') !=
                              std::string_view::npos) {
                return;
            }
        }
        if (fds[kMaster].revents & POLLIN) {
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            for (ssize_t i = 0; i < n; ++i) {
                if (hook_) {
                    hook_(buffer[i]);
                }
                WriteAll(sim_, &buffer[i], 1);
            }
        }
        if (fds[kSim].revents & POLLIN) {
            const ssize_t n = ::read(sim_, buffer, sizeof buffer);
            std::lock_guard lock(mutex_);
            for (ssize_t i = 0; i < n; ++i) {
                if (passBeforeDrop_ > 0) {
                    --passBeforeDrop_;
                } else if (toDrop_ > 0) {
                    --toDrop_;
                    continue;
                }
                toTool_ += buffer[i];
            }
        }
        if (fds[kMaster].revents & POLLOUT) {
            std::lock_guard lock(mutex_);
            const ssize_t n = ::write(master_, toTool_.data(), toTool_.size());
            if (n > 0) {
                toTool_.erase(0, static_cast<std::size_t>(n));
            }
        }
        // The simulator's side hangs up when it stops, and would wake the
        // poll at once for ever: it is watched no more.
        if (fds[kSim].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            fds[kSim].fd = -1;
        }
    }
}

void WindowTest::SetUp()
{
    if (QApplication::instance() == nullptr) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "faults_test";
        static char* argv[] = {name, nullptr};
        new CardPushApplication(argc, argv);
    }
    char pattern[] = "/tmp/cardpush-faults-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    settingsDir_ = pattern;
    jobsDir_ = settingsDir_ / "Job files";
    fs::create_directory(jobsDir_);
    SetMessageHandler([this](const std::string& text) { messages_.push_back(Cp1251ToUtf8(text)); });
    SetFolderHandler([this](const std::string&, const std::string&) { return folderAnswer_; });
}

void WindowTest::TearDown()
{
    SetMessageHandler({});
    SetFolderHandler({});
    std::error_code ignored;
    fs::remove_all(settingsDir_, ignored);
}

std::string WindowTest::SettingsFolder() const
{
    return Utf8ToCp1251(settingsDir_.string());
}

std::string WindowTest::JobsFolder() const
{
    return Utf8ToCp1251(jobsDir_.string());
}

void WindowTest::WriteSettingsFile(const std::string& bytes) const
{
    std::ofstream(SettingsFile(), std::ios::binary) << bytes;
}

std::string WindowTest::ReadSettingsFile() const
{
    std::ifstream in(SettingsFile(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WindowTest::CreateJob(const std::string& name, const std::string& content) const
{
    std::ofstream(jobsDir_ / name, std::ios::binary) << content;
}

std::vector<std::string> WindowTest::JobsOnDisk() const
{
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(jobsDir_, ignored)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> Items(const QListWidget* list)
{
    std::vector<std::string> items;
    for (int i = 0; i < list->count(); ++i) {
        items.push_back(Utf8(list->item(i)->text()));
    }
    return items;
}

std::string Utf8(const QString& text)
{
    return text.toStdString();
}

void ToolTest::TearDown()
{
    {
        testing::HangGuard guard("closing the main window");
        form_.reset();  // the information window goes with it
    }
    tap_.reset();
    if (sim_) {
        EXPECT_NO_THROW(sim_->Stop());
    }
    sim_.reset();
    WindowTest::TearDown();
}

void ToolTest::StartSimulator(std::vector<std::string> options,
                              const std::vector<std::string>& cardFiles)
{
    sim_ = std::make_unique<testing::SimProcess>(std::move(options));
    for (const auto& name : cardFiles) {
        sim_->PutCardFile(name, "1 x\r\n");
    }
}

void ToolTest::StartTap()
{
    tap_ = std::make_unique<LineTap>(sim_->DevicePath());
}

std::string ToolTest::ToolDevice() const
{
    return tap_ ? tap_->DevicePath() : sim_->DevicePath();
}

void ToolTest::StartTool(const std::string& savedPort, std::chrono::milliseconds listingStall)
{
    if (tap_) {
        tap_->Start();
    }
    Settings settings;
    settings.sourceFolder = JobsFolder();
    settings.port = savedPort.empty() ? ToolDevice() : savedPort;
    settings.deleteAfterUpload = true;
    settings.deleteBeforeUpload = false;
    WriteSettingsFile(FormatSettings(settings));

    form_ = std::make_unique<TForm1>(SettingsFolder(), nullptr, devices_);
    form_->SetInformationWindow(new TForm2(form_.get()));
    form_->Link().SetTiming(
        {.settle = 20ms, .check = 50ms, .checks = 20, .listingStall = listingStall});
    form_->show();
}

bool ToolTest::ServeUntilConnected()
{
    return ServeUntil([this] { return form_->Link().CardCommandsAllowed(); });
}

bool ToolTest::ServeUntil(const std::function<bool()>& done)
{
    return testing::ServeUntil(done);
}

void ToolTest::ServeFor(std::chrono::milliseconds time)
{
    testing::ServeUntil([] { return false; }, time);
}

void ToolTest::RunCommand(const std::function<void()>& command)
{
    CommandEvent target(command);
    QEvent event(QEvent::User);
    QCoreApplication::sendEvent(&target, &event);
}

std::vector<std::string> ToolTest::CardList() const
{
    return Items(Control<QListWidget>(form_, "ListBox2"));
}

std::string Listed(const std::string& name)
{
    return name + std::string(8 - name.size(), ' ');
}

std::string Frames(const std::vector<std::string>& lines)
{
    std::string frames;
    for (const auto& line : lines) {
        frames += line + "\r\n";
    }
    return frames;
}

}  // namespace cardpush::test
