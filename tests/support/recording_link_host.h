// A link host without windows that records what the link shows, for
// end-to-end tests and benchmarks.
//
// The link calls it as it would call the main window: on the GUI thread,
// except SavedPort/SetSavedPort on the link thread. Every accessor returns a
// copy taken under the host's lock, so it may be called from any thread, and
// also from a MainThread::WaitServing predicate.
#pragma once

#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "link/link_host.h"

namespace cardpush {

// Shows a LinkValues in test failure messages.
void PrintTo(const LinkValues& values, std::ostream* out);

namespace testing {

class RecordingLinkHost : public LinkHost {
public:
    // savedPort: what the settings hold for "c=" (empty: none).
    explicit RecordingLinkHost(std::string savedPort = {});

    // The firmware gate as the main window runs it: the version last shown
    // is read as an integer (EConvertError when it is none) and 72 or more
    // opens the card controls. A hook given here runs first, on the GUI
    // thread, as an operator's command given at that moment would.
    void OnCheckFirmware(std::function<void()> hook);

    void SetCaption(const std::string& text) override;
    void AddLogLine(const std::string& line) override;
    void ShowPort(const std::string& port) override;
    void ShowLinkInfo(const LinkValues& values) override;
    void CheckFirmware() override;
    void ClearCardList() override;
    void AddCardName(const std::string& name) override;
    // As the main window: the caption says why, the card controls go off
    // and the card list is emptied.
    void LinkLost(const std::string& reason) override;
    std::string SavedPort() override;
    void SetSavedPort(const std::string& port) override;

    // The window calls in the order made, by name ("SetCaption", "ShowPort",
    // "ShowLinkInfo", "CheckFirmware", "ClearCardList", "AddCardName",
    // "LinkLost"). Log
    // lines and the saved port are left out: the link thread sets the port
    // itself, in no fixed order with the calls it hands over.
    std::vector<std::string> Calls() const;
    std::vector<std::string> Captions() const;
    std::vector<std::string> LogLines() const;
    // The bytes of every receive event's log line, back to back.
    std::string ReceivedBytes() const;
    // The log lines other than those of receive events.
    std::vector<std::string> LinkLogLines() const;
    std::vector<std::string> Ports() const;
    std::vector<LinkValues> ShownValues() const;
    // One entry per gate run: whether it opened the card controls.
    std::vector<bool> FirmwareGates() const;
    bool CardControlsEnabled() const;
    std::vector<std::string> CardList() const;
    std::vector<std::string> SavedPortsSet() const;
    std::string CurrentSavedPort() const;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
    std::vector<std::string> captions_;
    std::vector<std::string> log_;
    std::vector<std::string> ports_;
    std::vector<LinkValues> shown_;
    std::vector<bool> gates_;
    bool controlsOff_ = false;  // by a loss, until the next gate
    std::vector<std::string> cardList_;
    std::vector<std::string> savedPortsSet_;
    std::string savedPort_;
    std::function<void()> firmwareHook_;
};

}  // namespace testing
}  // namespace cardpush
