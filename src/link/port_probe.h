// One pass of the port search over several ports at once.
//
// Every port of the pass is opened (a port that refuses is passed over at
// once, its outcome noted), then all of them settle together, each gets "S",
// and each is checked for an answer 20 times, 200 ms apart, as a single port
// would be. A port whose answer a check sees gets "N" at once, as the
// handshake's first step. Once one port has answered, the others get one more
// round of checks, so that controllers answering together are all seen.
// When several have answered, the serial number of each is awaited and one
// controller is chosen (the one last worked with, else the first in the
// pass's order). The rest are closed, their line settings restored by the
// close.
//
// A port of the pass receives on its own (ProbeLine) until the link adopts
// the chosen one as its session port: from then on its bytes go to the
// session's receive handler. Each port's protocol-log lines ("---" and the
// name, the check numbers, the bytes it received) are kept together and
// written after the pass, port by port, so the log reads as if the ports had
// been tried one after another. A pass of one port writes them as they come.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "link/link_host.h"
#include "link/receive_parser.h"

namespace cardpush {

class TBComPort;
class LinkControl;

// Reply fields kept for the search and the handshake at most; a line that
// floods the link with fields loses the oldest.
inline constexpr std::size_t kMaxQueuedReplies = 64;

// What a port of a pass has received, guarded by its mutex. The port's
// receive handler (GUI thread) feeds it; the link thread reads it.
struct ProbeLine {
    std::mutex mutex;
    ReceiveState parser;
    // Reply fields not yet taken, oldest first.
    std::deque<std::string> replies;
    // The port's protocol-log lines, in order, not yet handed on.
    std::vector<std::string> log;
    // Set before the port opens, for a pass of one port, which writes its
    // log as it goes: where HandOnLog hands the lines.
    std::function<void(std::vector<std::string>)> liveLog;
    // Keeps the hand-overs of live lines in the order the lines were added.
    // Taken before the mutex, never while it or the session's lock is held.
    std::mutex handOverMutex;
    // The link has made this port its session port: the handler no longer
    // feeds the line.
    bool adopted = false;

    // The port's receive handler while the pass has it: reads count bytes,
    // logs them and parses them. False once adopted: the caller hands the
    // event to the session instead.
    bool Receive(TBComPort& port, std::int32_t count);
    // Under the mutex: whether a reply field is waiting.
    bool HasReply();
    // With the mutex held: forgets the reply fields received so far.
    void ForgetRepliesLocked();
    // Under the mutex: adds a line to the port's log.
    void AddLogLine(std::string text);
    // Without the mutex: hands the lines added so far to liveLog, if set.
    void HandOnLog();
};

struct ProbeResult {
    // One per port of the pass, in the pass's order.
    std::vector<PortReport> reports;
    // A port of the pass opened: the pass cost the settle time.
    bool anyOpened = false;
    // The port the link has adopted as its session port, if one answered.
    std::optional<std::string> connected;
    // Why the chosen controller can't go on: of several that answered "S",
    // none told its serial number.
    std::optional<std::string> failure;
};

// Runs one pass over names on the link thread. Throws LinkStopped when the
// session is closing (the ports are closed on the way).
ProbeResult ProbePorts(LinkControl& link, const std::vector<std::string>& names);

}  // namespace cardpush
