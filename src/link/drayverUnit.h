// The link thread: finds the serial port on which a roller-table controller
// answers, identifies the controller, lets the firmware gate decide, asks for
// the first card listing, and then watches the link: a listing that stops
// coming is reported to the windows.
//
// The port search tries the saved port first, then every port of the
// system's list, pass after pass, until one answers "S"; a saved port that
// the list does not hold (a link to a pseudo-terminal, an adapter being
// plugged in again) is tried again before each later pass. The handshake then
// asks N, M, B, D, V and R one at a time, each as soon as the answer to the
// one before has arrived. Window changes go to the GUI thread; ShowLinkInfo
// and CheckFirmware are waited for there.
//
// A port that this user may not open is named in the log and after the
// "connecting" text; the search goes on.
//
// The controller is lost when the port fails (its events stop, a write
// fails), when two listing requests in a row bring not one byte, or when the
// search or the handshake ends through an error. The port is then closed,
// the windows are told why (LinkHost::LinkLost), and after a rest the
// search begins again, for as long as the tool runs.
#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "link/link_control.h"

namespace cardpush {

class drayver {
public:
    // The session (link_control.h) must outlive the thread.
    explicit drayver(LinkControl& link);
    // Waits for the thread; the session must have told it to stop.
    ~drayver();
    drayver(const drayver&) = delete;
    drayver& operator=(const drayver&) = delete;

    void Start();
    // GUI thread: waits for the thread to end, serving its hand-overs.
    void Join();

private:
    void RunLink();
    // firstSearch: at start-up, which the caption announces; after a loss
    // the caption keeps the reason.
    void SearchPort(bool firstSearch);
    bool TryPort(const std::string& name);
    // One attempt whose failure (port missing, busy, unusable) only means
    // "no controller here".
    bool TryPortQuietly(const std::string& name);
    // A port refused as busy: if in truth this user may not open it, the log
    // and the caption say so.
    void ReportMissingAccess(const std::string& name);
    void Handshake();
    // After the handshake: tells the host of each listing request whose
    // listing has stalled; throws when the link is lost.
    void WatchListings();

    LinkControl& link_;
    // The session's port, made when the search begins. Link thread only.
    TBComPort* port_ = nullptr;
    std::thread thread_;
    std::atomic<bool> Running{false};
    std::atomic<bool> finished_{false};
    // Link thread only: whether a port of the current pass over the port
    // list has opened; the caption the search has set last.
    bool openedThisPass_ = false;
    std::string caption_;
};

}  // namespace cardpush
