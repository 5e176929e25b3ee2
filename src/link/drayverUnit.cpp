#include "link/drayverUnit.h"

#include <algorithm>
#include <cassert>
#include <chrono>
#include <stdexcept>
#include <vector>

#include "link/link_texts.h"
#include "link/number.h"
#include "link/port_probe.h"
#include "link/protocol.h"
#include "platform/main_thread.h"
#include "platform/thread_priority.h"
#include "serial/BCPort.h"

namespace cardpush {
namespace {

using platform::MainThread;
using protocol::Command;
using protocol::LinkState;

// One identification step: the state that awaits a reply field, the letter
// it must start with, where its value goes, and the command that follows.
struct Step {
    LinkState state;
    char awaited;
    void (*store)(LinkValues&, std::string_view value);
    Command next;
};

const Step kSteps[] = {
    {LinkState::AwaitingSerialNumber, 'N',
     [](LinkValues& v, std::string_view s) { v.SerialNumber = std::string(s); }, Command::Minimum},
    {LinkState::AwaitingMinimum, 'M',
     [](LinkValues& v, std::string_view s) { v.MinValue = ParseNumber(s); }, Command::Maximum},
    {LinkState::AwaitingMaximum, 'B',
     [](LinkValues& v, std::string_view s) { v.MaxValue = ParseNumber(s); }, Command::Accuracy},
    {LinkState::AwaitingAccuracy, 'D',
     [](LinkValues& v, std::string_view s) { v.Accuracy = StrToInt(s); }, Command::FirmwareVersion},
    {LinkState::AwaitingFirmwareVersion, 'V',
     [](LinkValues& v, std::string_view s) { v.FirmwareVersion = std::string(s); }, Command::Mode},
    {LinkState::AwaitingMode, 'R',
     [](LinkValues& v, std::string_view s) { v.ModeValue = ParseNumber(s); }, Command::Listing},
};

// Hands a window change to the GUI thread without waiting; the order of
// hand-overs is kept.
template <class Fn>
void OnGui(Fn fn)
{
    MainThread::Post(std::move(fn));
}

}  // namespace

drayver::drayver(LinkControl& link) : link_(link) {}

drayver::~drayver()
{
    Join();
}

void drayver::Start()
{
    thread_ = std::thread([this] {
        platform::LowerCurrentThreadPriority();
        RunLink();
        finished_.store(true);
        MainThread::Wake();
    });
}

void drayver::Join()
{
    assert(MainThread::IsCurrent());
    if (!thread_.joinable()) {
        return;
    }
    // The thread may be waiting for the GUI thread (ShowLinkInfo,
    // CheckFirmware): keep serving it until the thread is done.
    MainThread::WaitServing([this] { return finished_.load(); });
    thread_.join();
}

void drayver::RunLink()
{
    try {
        for (bool firstSearch = true;; firstSearch = false) {
            try {
                Running = true;
                SearchPort(firstSearch);
                Handshake();
                WatchListings();
            } catch (const LinkStopped&) {
                throw;
            } catch (const std::exception& error) {
                // A controller switched off, a cable pulled, a handshake that
                // ended on a bad reply: the port goes, and after a rest the
                // search begins again, as at start-up.
                link_.LinkLost(error.what());
                port_ = nullptr;
                if (link_.TakeSwitch()) {
                    continue;  // the operator's choice: no rest before it
                }
            }
            link_.Pause(link_.GetTiming().reconnectPause);
        }
    } catch (const LinkStopped&) {
        // The tool is closing.
    }
    link_.ForgetReplies();
    Running = false;
}

void drayver::WatchListings()
{
    LinkHost& host = link_.Host();
    // The last request that brought not one byte.
    std::uint64_t lastSilent = 0;
    for (;;) {
        const auto stall = link_.AwaitListingStall();
        OnGui([&host, request = stall.request] { host.ListingStalled(request); });
        // A listing may be lost on a noisy line; two requests in a row that
        // bring nothing at all mean the controller is gone.
        if (stall.silent && lastSilent != 0 && stall.request == lastSilent + 1) {
            throw std::runtime_error(link_texts::kControllerSilent.str());
        }
        lastSilent = stall.silent ? stall.request : 0;
    }
}

void drayver::SearchPort(bool firstSearch)
{
    link_.ClearReceiveBuffers();
    LinkHost& host = link_.Host();
    // After a loss the caption keeps saying why until a controller answers.
    if (firstSearch) {
        OnGui([&host, caption = link_texts::kConnecting.str()] { host.SetCaption(caption); });
    }

    // The saved port alone first: when it answers, no other port is touched.
    // Otherwise its outcome is told with the first pass's.
    const LinkHost::SearchPlan plan = host.PlanSearch();
    const std::string& saved = plan.firstPort;
    std::vector<PortReport> reports;
    if (!saved.empty() && Probe({saved}, reports, plan.firstPortOnly)) {
        return;
    }
    if (plan.firstPortOnly && !saved.empty()) {
        // Nothing but that port, pass after pass, with a rest between them.
        do {
            reports.clear();
            link_.Pause(link_.GetTiming().check * 5);
        } while (!Probe({saved}, reports, true));
        return;
    }
    std::vector<std::string> ports;
    for (bool firstPass = true;; firstPass = false) {
        ListSerialPorts(ports, link_.Devices());
        std::vector<std::string> candidates;
        // A saved port that the list does not hold (a link to a
        // pseudo-terminal, an adapter being plugged in again) is tried
        // again in each later pass; one that it holds, in its place.
        const bool listed = std::any_of(ports.begin(), ports.end(), [&](const auto& name) {
            return PortName(name) == PortName(saved);
        });
        if (!firstPass && !saved.empty() && !listed) {
            candidates.push_back(saved);
        }
        for (const auto& name : ports) {
            if (!firstPass || PortName(name) != PortName(saved)) {
                candidates.push_back(name);
            }
        }
        if (Probe(candidates, reports, true)) {
            return;
        }
        reports.clear();
        if (!openedThisPass_) {
            // A pass over ports that open costs seconds. A pass over no
            // port at all, or over ports that all refuse to open (missing,
            // held by another program), costs nothing and would otherwise
            // keep a core busy and flood the log until a device turns up.
            link_.Pause(link_.GetTiming().check * 5);
        }
    }
}

bool drayver::Probe(const std::vector<std::string>& names, std::vector<PortReport>& reports,
                    bool wholePass)
{
    LinkHost& host = link_.Host();
    const std::size_t atOnce = link_.GetTiming().portsAtOnce;
    const std::size_t step = atOnce == 0 ? names.size() : atOnce;
    std::optional<std::string> connected;
    std::optional<std::string> failure;
    openedThisPass_ = false;
    for (std::size_t first = 0; first < names.size() && !connected; first += step) {
        const std::size_t end = std::min(names.size(), first + step);
        ProbeResult result =
            ProbePorts(link_, std::vector<std::string>(names.begin() + first, names.begin() + end));
        openedThisPass_ = openedThisPass_ || result.anyOpened;
        reports.insert(reports.end(), result.reports.begin(), result.reports.end());
        connected = std::move(result.connected);
        failure = std::move(result.failure);
    }
    if (!connected && !wholePass) {
        return false;  // told with the pass after it
    }
    OnGui([&host, reports] { host.PortsProbed(reports); });
    if (!connected) {
        return false;
    }
    const std::string name = *connected;
    OnGui([&host, name] { host.ShowPort(name); });
    host.SetSavedPort(name);
    if (failure) {
        throw std::runtime_error(*failure);
    }
    port_ = link_.SessionPort();
    return true;
}

void drayver::Handshake()
{
    TBComPort& port = *port_;
    LinkHost& host = link_.Host();
    LinkValues values;
    std::size_t next = 0;

    // Each command's answer is awaited from when it went out ("N" just
    // before the handshake began), fields of other letters notwithstanding.
    using Clock = std::chrono::steady_clock;
    const auto replyTime = link_.GetTiming().handshakeReply;
    auto due = Clock::now() + replyTime;
    while (Running) {
        const Step& step = kSteps[next];
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(due - Clock::now());
        const auto answer = link_.NextReply(std::max(left, std::chrono::milliseconds(0)));
        if (!answer) {
            throw std::runtime_error(link_texts::kNoAnswerTo.str() + step.awaited);
        }
        const std::string& reply = *answer;
        if (reply.front() != step.awaited) {
            continue;  // another field than the one awaited: keep waiting
        }
        step.store(values, std::string_view(reply).substr(1));
        link_.StoreValues(values);
        MainThread::Synchronize([&host, &values] { host.ShowLinkInfo(values); });

        // Clear before the next command goes out, so that an answer arriving
        // at once is never lost; the listing state is set before ">" goes
        // out, so that its first byte is read as the count byte.
        ++next;
        if (step.next == Command::Listing) {
            // Only now may the operator's commands have the port: a refresh
            // any earlier would send a second listing request into the first.
            link_.BeginFirstListing();
            Running = false;
        } else {
            link_.ForgetReplies();
            link_.SetLinkState(kSteps[next].state);
        }
        port.WriteText(protocol::CommandFrame(step.next));
        due = Clock::now() + replyTime;

        if (step.state == LinkState::AwaitingFirmwareVersion) {
            MainThread::Synchronize([&host, &values] { host.CheckFirmware(values); });
        }
    }
}

}  // namespace cardpush
