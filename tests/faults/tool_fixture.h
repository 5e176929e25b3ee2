// The tool as an operator meets it, for the fault tests: the real main and
// information windows (offscreen), their settings in a folder of the test's
// own, the real POSIX device layer with a port list of the test's own, and a
// controller simulator on a pseudo-terminal, optionally seen through a tap
// that can put extra bytes on the line towards the tool.
//
// The test thread is the GUI thread. Commands run as an operator's click
// would: through the application's event dispatch, so that an error ending
// a command is shown as a message box (recorded in messages_).
#pragma once

#include <gtest/gtest.h>

#include <QListWidget>
#include <QString>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/Unit1.h"
#include "app/gui_test.h"
#include "support/port_list_override.h"
#include "support/sim_process.h"

namespace cardpush::test {

// How long a listing may bring no byte before the tool gives it up: short
// for the tests of a listing that stops coming; for the others, longer than
// a loaded machine ever keeps a listing waiting, so that none of them meets
// a stall it did not ask for.
inline constexpr std::chrono::milliseconds kListingStall{1000};
inline constexpr std::chrono::milliseconds kPatientListingStall{30000};

// A pseudo-terminal of its own that the tool opens in place of the
// simulator's, with every byte copied both ways between the two. Inject puts
// bytes on the line towards the tool; a hook sees each byte that the tool
// sends before the simulator gets it.
class LineTap {
public:
    // simDevice: the simulator's pseudo-terminal.
    explicit LineTap(const std::string& simDevice);
    ~LineTap();
    LineTap(const LineTap&) = delete;
    LineTap& operator=(const LineTap&) = delete;

    // The device the tool opens.
    const std::string& DevicePath() const { return device_; }
    // Any thread, without waiting: bytes for the tool, ahead of whatever the
    // simulator sends after this call.
    void Inject(const std::string& bytes);
    // Before the tap starts copying: runs on the tap's thread for each byte
    // the tool sends, before that byte goes on to the simulator.
    void OnToolByte(std::function<void(char)> hook) { hook_ = std::move(hook); }
    // Any thread: of the bytes the simulator sends after this call, passes
    // skip on to the tool and drops the next count, as a glitch on the line
    // would.
    void DropToTool(std::size_t skip, std::size_t count);
    void Start();

private:
    void Copy();

    std::string device_;
    int master_ = -1;
    int sim_ = -1;
    int heldSlave_ = -1;
    // Wakes the copying thread: 'w' for bytes to send, 's' to stop.
    int wakePipe_[2] = {-1, -1};
    std::mutex mutex_;
    // Guarded by mutex_: the bytes on their way to the tool, in line order,
    // and the glitch to come.
    std::string toTool_;
    std::size_t passBeforeDrop_ = 0;
    std::size_t toDrop_ = 0;
    std::function<void(char)> hook_;
    std::thread thread_;
};

// The application object (once per process), a fresh folder for nastr.dat
// with a job folder in it, the dialogs replaced by recorders, and the device
// layer for the main window, whose port list is empty until a test fills it.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    testing::PortListOverride devices_;
    std::filesystem::path settingsDir_;
    std::filesystem::path jobsDir_;  // "Job files" in settingsDir_
    // The texts of the message boxes shown, in UTF-8, in order.
    std::vector<std::string> messages_;
    // What the folder dialog answers (Windows-1251); nothing: cancel.
    std::optional<std::string> folderAnswer_;

    std::string SettingsFolder() const;  // Windows-1251
    std::string JobsFolder() const;      // Windows-1251
    std::filesystem::path SettingsFile() const { return settingsDir_ / "nastr.dat"; }
    void WriteSettingsFile(const std::string& bytes) const;
    std::string ReadSettingsFile() const;
    void CreateJob(const std::string& name, const std::string& content = "1 x\r\n") const;
    std::vector<std::string> JobsOnDisk() const;  // sorted
};

class ToolTest : public WindowTest {
protected:
    void TearDown() override;

    // Starts the simulator with these options and card files, then the
    // windows with the simulator's device as the saved port and the jobs
    // folder as the source folder, both from the settings file. With a tap,
    // the tool opens the tap's device instead.
    void StartSimulator(std::vector<std::string> options = {},
                        const std::vector<std::string>& cardFiles = {});
    void StartTap();
    // savedPort: the port the settings file names; empty: the device above.
    void StartTool(const std::string& savedPort = {},
                   std::chrono::milliseconds listingStall = kPatientListingStall);
    // Serves the link until the first card listing is complete and card
    // commands may go out. False when the guard ran out.
    bool ServeUntilConnected();
    bool ServeUntil(const std::function<bool()>& done);
    // Serves the link for this long.
    void ServeFor(std::chrono::milliseconds time);
    // Runs an operator's command as the event loop would: an exception that
    // ends it is shown as a message.
    void RunCommand(const std::function<void()>& command);
    // The card listing as ListBox2 shows it.
    std::vector<std::string> CardList() const;
    // The device the tool was told to use.
    std::string ToolDevice() const;

    std::unique_ptr<testing::SimProcess> sim_;
    std::unique_ptr<LineTap> tap_;
    std::unique_ptr<TForm1> form_;
};

// The items of a list widget, in order, in UTF-8.
std::vector<std::string> Items(const QListWidget* list);
std::string Utf8(const QString& text);

// A card name as the listing shows it: padded with blanks to 8 bytes.
std::string Listed(const std::string& name);

// The job-file lines of an upload as the wire carries them.
std::string Frames(const std::vector<std::string>& lines);

}  // namespace cardpush::test
