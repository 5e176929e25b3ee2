// The link thread: finds the serial port on which a roller-table controller
// answers, identifies the controller, lets the firmware gate decide, asks for
// the first card listing, and then watches the link: a listing that stops
// coming is reported to the windows.
//
// The port search tries the saved port first, alone; when it does not
// answer, every other port of the system's list is probed at once
// (port_probe.h), pass after pass, until one answers "S"; a saved port that
// the list does not hold (a link to a pseudo-terminal, an adapter being
// plugged in again) joins each later pass. The host learns what each port of
// a pass came to (LinkHost::PortsProbed). The handshake then asks N, M, B, D,
// V and R one at a time, each as soon as the answer to the one before has
// arrived ("N" went out from the search). Window changes go to the GUI
// thread; ShowLinkInfo and CheckFirmware are waited for there.
//
// The controller is lost when the port fails (its events stop, a write
// fails), when two listing requests in a row bring not one byte, or when the
// search or the handshake ends through an error. The port is then closed,
// the windows are told why (LinkHost::LinkLost), and after a rest the
// search begins again, for as long as the tool runs. The operator's switch
// to another controller (LinkSession::SwitchController) is such a loss, with
// no rest.
#pragma once

#include <atomic>
#include <string>
#include <thread>
#include <vector>

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
    // One pass over names, as many at once as the timing says; true when a
    // controller answered and its port is the session's now. Adds what each
    // port came to to reports and tells the host all of reports, unless
    // none answered and this was not a whole pass (the saved port alone).
    bool Probe(const std::vector<std::string>& names, std::vector<PortReport>& reports,
               bool wholePass);
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
    // list has opened.
    bool openedThisPass_ = false;
};

}  // namespace cardpush
