// The tool connected to the controller simulator: the main window and the
// information window on Qt's offscreen platform, the real device layer with
// a port list of the fixture's own, and the simulator on a pseudo-terminal,
// optionally seen through a line tap that can put extra bytes on the line.
//
// The test thread is the GUI thread. Waits serve the hand-overs of the link
// thread and the serial event thread until what they wait for holds; their
// guards only catch hangs, and nothing here measures how long anything takes.
//
// A fresh simulator, settings folder and pair of windows per test.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/qt/Unit2.h"
#include "link/link_session.h"
#include "support/gui_test.h"
#include "support/line_tap.h"
#include "support/port_list_override.h"
#include "support/sim_process.h"

namespace cardpush::test {

using testing::Listed;

// A file on the simulator's card before the first listing.
struct SimCardFile {
    std::string name;
    std::string content = "1 x\r\n";
};

// How the tool's world looks when the window is first shown.
struct ToolSetup {
    // Options of the simulator besides --card-dir, --wire-log and
    // --exit-with-parent ("--firmware", "71", "--baud", "9600"...).
    std::vector<std::string> simOptions = {};
    std::vector<SimCardFile> cardFiles = {};
    // What nastr.dat holds: CheckBox1, CheckBox2, a source folder (the
    // fixture's job folder) or none.
    bool deleteAfterUpload = false;
    bool deleteBeforeUpload = false;
    bool sourceFolder = true;
    // The port saved in nastr.dat; the device the tool is to use (the
    // simulator's or the tap's) when not set.
    std::optional<std::string> savedPort = {};
    // The port list holds the simulator's device; otherwise it is empty. It
    // never holds the machine's own serial ports.
    bool listSimulatorAsPort = false;
    // The link's timing, shortened: no test waits 3 s for a port to settle.
    LinkSession::Timing timing{std::chrono::milliseconds(20), std::chrono::milliseconds(50), 20};
    // Start() returns once the first card listing is complete; without it,
    // as soon as the window is shown.
    bool waitForListing = true;
};

class ToolTest : public GuiTest {
protected:
    void TearDown() override;

    // Starts the simulator, writes nastr.dat into the settings folder,
    // creates the information window and the main window, shortens the
    // link's timing, shows the main window and, as set up, waits until the
    // first listing is complete. Call through ASSERT_NO_FATAL_FAILURE.
    void Start(const ToolSetup& setup = {});
    // Start in steps, for a test that puts a tap on the line or prepares
    // the simulator before the tool opens it: the simulator first, then
    // (optionally) the tap, then the windows, which do not wait for a
    // listing.
    void StartSimulator(const ToolSetup& setup);
    void StartTap();
    void StartTool(const ToolSetup& setup);

    // Closes the main window as the operator does; it saves nastr.dat.
    void CloseWindow();

    // Serves hand-overs until the link is connected and idle (a listing
    // complete) or the guard runs out; returns whether it is.
    bool WaitForListing();
    // Serves hand-overs for this long.
    void ServeFor(std::chrono::milliseconds time);

    // Runs one of the window's commands and waits for the listing that it
    // asks for at its end. Returns the bytes the simulator received from the
    // command's start until that listing was answered. Fails the test when
    // the listing does not come.
    std::string RunCommand(const std::function<void()>& command);
    // Runs an operator's command as the event loop would: an exception that
    // ends it is shown as a message box (recorded in messages_).
    void Click(const std::function<void()>& command);

    // The wire log: every byte the simulator has received so far. A mark is
    // its length at a moment; WireSince gives what came after it.
    std::size_t WireMark() const;
    std::string WireSince(std::size_t mark) const;

    // The protocol log (Memo1): a mark is its line count at a moment;
    // LogSince gives the later lines as Windows-1251, without the lines of
    // receive events.
    int LogMark() const;
    std::vector<std::string> LogSince(int mark) const;

    // The card listing as the window holds it: each name's bytes as the
    // controller sent them.
    std::vector<std::string> CardList() const;
    // Selects the local list's item of that (UTF-8) name, or the card
    // listing's item of that name as sent; false when there is none.
    bool SelectJob(const std::string& utf8Name);
    bool SelectCardName(const std::string& listedName);
    // A card file's content in the simulator's card folder.
    std::string CardFile(const std::string& name) const;
    // The device the tool is told to use: the tap's, or the simulator's.
    std::string ToolDevice() const;

    testing::PortListOverride devices_;
    std::unique_ptr<testing::SimProcess> sim_;
    std::unique_ptr<testing::LineTap> tap_;
    std::unique_ptr<TForm2> info_;
    std::unique_ptr<TForm1> form_;
};

}  // namespace cardpush::test
