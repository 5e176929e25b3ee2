#include "link/drayverUnit.h"

#include <algorithm>
#include <cassert>
#include <chrono>
#include <stdexcept>
#include <vector>

#include "link/link_texts.h"
#include "link/number.h"
#include "link/protocol.h"
#include "platform/main_thread.h"
#include "platform/thread_priority.h"
#include "serial/BCPort.h"
#include "serial/ComErrors.h"

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
    std::vector<std::string> ports;
    link_.ClearReceiveBuffers();
    if (port_ == nullptr) {
        port_ = &link_.CreatePort();
    }
    LinkHost& host = link_.Host();
    // After a loss the caption keeps saying why until a controller answers.
    if (firstSearch) {
        caption_ = link_texts::kConnecting.str();
        OnGui([&host, caption = caption_] { host.SetCaption(caption); });
    }

    const std::string saved = host.SavedPort();
    if (!saved.empty() && TryPortQuietly(saved)) {
        return;
    }
    for (bool firstPass = true;; firstPass = false) {
        ListSerialPorts(ports, link_.Devices());
        openedThisPass_ = false;
        if (!firstPass && !saved.empty() &&
            std::find(ports.begin(), ports.end(), saved) == ports.end() && TryPortQuietly(saved)) {
            return;
        }
        for (const auto& name : ports) {
            if (TryPortQuietly(name)) {
                return;
            }
        }
        if (!openedThisPass_) {
            // An attempt on a port that opens costs seconds. A pass over no
            // port at all, or over ports that all refuse to open (missing,
            // held by another program), costs nothing and would otherwise
            // keep a core busy and flood the log until a device turns up.
            link_.Pause(link_.GetTiming().check * 5);
        }
    }
}

bool drayver::TryPortQuietly(const std::string& name)
{
    try {
        return TryPort(name);
    } catch (const LinkStopped&) {
        throw;
    } catch (const std::exception& error) {
        const auto* fault = dynamic_cast<const EComPort*>(&error);
        if (fault != nullptr && fault->Fault() == ComFault::PortBusy) {
            ReportMissingAccess(name);
        }
        try {
            port_->Close();
        } catch (const std::exception&) {
            // The next attempt opens the port afresh.
        }
        return false;
    }
}

void drayver::ReportMissingAccess(const std::string& name)
{
    // Where serial devices belong to a group, a user outside it meets the
    // same refusal as a port that another program holds; the search would
    // pass such a port over for ever without a word.
    const auto group = link_.Devices().MissingAccess(name.c_str());
    if (!group) {
        return;
    }
    std::string line = link_texts::kNoAccessToPort.str() + name.substr(0, name.find('\0'));
    if (!group->empty()) {
        line += link_texts::kNotInGroup.str() + *group;
    }
    LinkHost& host = link_.Host();
    OnGui([&host, line] { host.AddLogLine(line); });
    std::string caption = link_texts::kConnecting.str() + ' ' + line;
    if (caption != caption_) {
        caption_ = caption;
        OnGui([&host, caption = std::move(caption)] { host.SetCaption(caption); });
    }
}

bool drayver::TryPort(const std::string& name)
{
    TBComPort& port = *port_;
    LinkHost& host = link_.Host();
    const auto& timing = link_.GetTiming();

    port.SetPort(name);
    const std::string attemptLine = "---" + name;
    OnGui([&host, attemptLine] { host.AddLogLine(attemptLine); });
    link_.ForgetLoss();
    port.Open();
    openedThisPass_ = true;
    link_.Pause(timing.settle);

    // Only an answer to this "S" counts, not bytes the device sent before.
    link_.ForgetReplies();
    port.WriteText(protocol::CommandFrame(Command::Presence));
    bool answered = false;
    for (int check = 1; check <= timing.checks && !answered; ++check) {
        // The check's line goes to the log once it has looked, so that the
        // log tells what a check can have seen: an answer logged after the
        // line came after the look.
        answered = link_.WaitForReply(std::chrono::milliseconds(0));
        const std::string checkLine = IntegerText(check);
        OnGui([&host, checkLine] { host.AddLogLine(checkLine); });
        if (answered) {
            break;
        }
        if (check < timing.checks) {
            // Woken early by an answer, the next check takes it at once.
            link_.WaitForReply(timing.check);
        } else {
            link_.Pause(timing.check);
        }
    }
    if (!answered) {
        port.Close();
        return false;
    }

    link_.ForgetReplies();
    link_.SetLinkState(kSteps[0].state);
    port.WriteText(protocol::CommandFrame(Command::SerialNumber));
    OnGui([&host, name] { host.ShowPort(name); });
    host.SetSavedPort(name);
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
