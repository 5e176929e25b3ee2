#include "link/port_probe.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "link/link_control.h"
#include "link/link_texts.h"
#include "link/number.h"
#include "platform/main_thread.h"
#include "serial/BCPort.h"
#include "serial/ComErrors.h"

namespace cardpush {
namespace {

using protocol::Command;

// A port that floods the line keeps only so many lines of its own in the
// log of one pass; the session's log is bounded anyway.
constexpr std::size_t kMaxProbeLogLines = 2000;

// Hands a port's log lines to the protocol log, in order.
void PostLogLines(LinkHost& host, std::vector<std::string> lines)
{
    platform::MainThread::Post([&host, lines = std::move(lines)] {
        for (const auto& line : lines) {
            host.AddLogLine(line);
        }
    });
}

// One port of the pass.
struct Attempt {
    PortReport report;
    std::shared_ptr<ProbeLine> line = std::make_shared<ProbeLine>();
    std::unique_ptr<TBComPort> port;  // while open
    bool answered = false;
    // Its serial-number field has come.
    bool toldSerial = false;

    void Log(std::string text)
    {
        {
            std::lock_guard lock(line->mutex);
            line->AddLogLine(std::move(text));
        }
        line->HandOnLog();
    }
    // Closes the port; a port that can't be closed cleanly is let go all
    // the same (its end releases the device).
    void Close()
    {
        if (port) {
            try {
                port->Close();
            } catch (const std::exception&) {
            }
            port.reset();
        }
    }
    // Sends a command; a write that fails ends the attempt.
    bool Send(Command command)
    {
        try {
            port->WriteText(protocol::CommandFrame(command));
            return true;
        } catch (const std::exception&) {
            Close();
            return false;
        }
    }
    // The first serial-number field received, if any.
    std::optional<std::string> SerialNumber()
    {
        std::lock_guard lock(line->mutex);
        for (const auto& reply : line->replies) {
            if (reply.front() == 'N') {
                return reply.substr(1);
            }
        }
        return std::nullopt;
    }
};

// Why a port did not open, from the serial component's fault and what the
// device layer can tell without opening it.
void ClassifyRefusal(LinkControl& link, Attempt& attempt, const std::exception& error)
{
    PortReport& report = attempt.report;
    const auto* fault = dynamic_cast<const EComPort*>(&error);
    const char* name = report.port.c_str();
    if (fault != nullptr && fault->Fault() == ComFault::PortMissing) {
        report.outcome = link.Devices().NamesOtherThanAPort(name) ? PortOutcome::NotSerial
                                                                  : PortOutcome::Missing;
    } else if (fault != nullptr && fault->Fault() == ComFault::PortBusy) {
        // Where serial devices belong to a group, a user outside it meets
        // the same refusal as a port that another program holds.
        if (const auto group = link.Devices().MissingAccess(name)) {
            report.outcome = PortOutcome::NoAccess;
            report.group = *group;
            std::string line = link_texts::kNoAccessToPort.str() + PortName(report.port);
            if (!group->empty()) {
                line += link_texts::kNotInGroup.str() + *group;
            }
            attempt.Log(std::move(line));
        } else {
            report.outcome = PortOutcome::Held;
        }
    } else {
        report.outcome = PortOutcome::NotConfigured;
    }
}

void OpenAll(LinkControl& link, std::vector<Attempt>& attempts, ProbeResult& result)
{
    // The ports open within moments of each other: one look at which
    // terminals are somebody's serves them all.
    const auto look = link.Devices().ShareTerminalLook();
    for (Attempt& attempt : attempts) {
        attempt.Log("---" + attempt.report.port);
        attempt.port = link.CreateProbePort(attempt.line);
        try {
            attempt.port->SetPort(attempt.report.port);
            attempt.port->Open();
            attempt.report.outcome = PortOutcome::Silent;
            result.anyOpened = true;
        } catch (const std::exception& error) {
            ClassifyRefusal(link, attempt, error);
            attempt.Close();
        }
    }
}

bool AnyAnswered(const std::vector<Attempt>& attempts)
{
    return std::any_of(attempts.begin(), attempts.end(),
                       [](const Attempt& a) { return a.answered; });
}

// The checks, round after round over the open ports; "N" goes to each port
// whose answer a check sees.
void Check(LinkControl& link, std::vector<Attempt>& attempts)
{
    const LinkTiming& timing = link.GetTiming();
    int lastRound = timing.checks;
    const auto waiting = [&] {
        return std::any_of(attempts.begin(), attempts.end(),
                           [](Attempt& a) { return a.port && !a.answered && a.line->HasReply(); });
    };
    for (int check = 1; check <= lastRound; ++check) {
        for (Attempt& attempt : attempts) {
            if (!attempt.port || attempt.answered) {
                continue;
            }
            bool answer = false;
            {
                // The check's line goes to the log once it has looked: an
                // answer logged after the line came after the look.
                std::lock_guard lock(attempt.line->mutex);
                answer = !attempt.line->replies.empty();
                attempt.line->AddLogLine(IntegerText(check));
                if (answer) {
                    // Cleared before "N" goes out, so that its answer is
                    // never lost.
                    attempt.line->ForgetRepliesLocked();
                    attempt.line->parser.LinkState = protocol::LinkState::AwaitingSerialNumber;
                }
            }
            attempt.line->HandOnLog();
            if (answer && attempt.Send(Command::SerialNumber)) {
                attempt.answered = true;
                attempt.report.outcome = PortOutcome::Answered;
                lastRound = std::min(lastRound, check + 1);
            }
        }
        const bool othersWaiting =
            std::any_of(attempts.begin(), attempts.end(),
                        [](const Attempt& a) { return a.port && !a.answered; });
        if (AnyAnswered(attempts) && (check == lastRound || !othersWaiting)) {
            break;
        }
        if (check < timing.checks) {
            // Woken early by an answer, the next round takes it at once.
            link.WaitUntil(waiting, timing.check);
        } else {
            link.Pause(timing.check);
        }
    }
}

// The controller to go on with: the one last worked with, else the first
// that told its serial number, else the first that answered.
Attempt* Choose(LinkControl& link, std::vector<Attempt>& attempts)
{
    const std::string preferred = link.Host().PreferredSerialNumber();
    Attempt* chosen = nullptr;
    Attempt* first = nullptr;
    for (Attempt& attempt : attempts) {
        if (!attempt.answered) {
            continue;
        }
        first = first != nullptr ? first : &attempt;
        if (const auto serial = attempt.SerialNumber()) {
            attempt.toldSerial = true;
            attempt.report.serialNumber = *serial;
            if (chosen == nullptr || (!preferred.empty() && *serial == preferred &&
                                      chosen->report.serialNumber != preferred)) {
                chosen = &attempt;
            }
        }
    }
    return chosen != nullptr ? chosen : first;
}

}  // namespace

bool ProbeLine::Receive(TBComPort& port, std::int32_t count)
{
    {
        std::lock_guard lock(mutex);
        if (adopted) {
            return false;
        }
        std::string text;
        port.ReadText(text, count);
        AddLogLine(ReceiveLogLine(text));
        ReceiveNews news = FeedReceived(parser, text);
        for (auto& field : news.fields) {
            if (!field.empty()) {
                replies.push_back(std::move(field));
            }
        }
        while (replies.size() > kMaxQueuedReplies) {
            replies.pop_front();
        }
    }
    HandOnLog();
    return true;
}

void ProbeLine::AddLogLine(std::string text)
{
    if (log.size() < kMaxProbeLogLines) {
        log.push_back(std::move(text));
    }
}

void ProbeLine::HandOnLog()
{
    if (!liveLog) {
        return;
    }
    // Lines are taken and handed on under one lock, so that two threads
    // that add lines hand them on in the order they were added.
    std::lock_guard order(handOverMutex);
    std::vector<std::string> lines;
    {
        std::lock_guard lock(mutex);
        lines.swap(log);
    }
    if (!lines.empty()) {
        liveLog(std::move(lines));
    }
}

void ProbeLine::ForgetRepliesLocked()
{
    replies.clear();
    parser.LastReply.clear();
}

bool ProbeLine::HasReply()
{
    std::lock_guard lock(mutex);
    return !replies.empty();
}

ProbeResult ProbePorts(LinkControl& link, const std::vector<std::string>& names)
{
    const LinkTiming& timing = link.GetTiming();
    ProbeResult result;
    std::vector<Attempt> attempts(names.size());
    LinkHost& host = link.Host();
    for (std::size_t i = 0; i < names.size(); ++i) {
        attempts[i].report.port = names[i];
        if (names.size() == 1) {
            attempts[i].line->liveLog = [&host](std::vector<std::string> lines) {
                PostLogLines(host, std::move(lines));
            };
        }
    }
    Attempt* chosen = nullptr;
    try {
        OpenAll(link, attempts, result);
        if (result.anyOpened) {
            link.Pause(timing.settle);
            for (Attempt& attempt : attempts) {
                if (attempt.port) {
                    // Only an answer to this "S" counts, not bytes the device
                    // sent before.
                    {
                        std::lock_guard lock(attempt.line->mutex);
                        attempt.line->ForgetRepliesLocked();
                    }
                    attempt.Send(Command::Presence);
                }
            }
            Check(link, attempts);
        }
        const auto answered = std::count_if(attempts.begin(), attempts.end(),
                                            [](const Attempt& a) { return a.answered; });
        if (answered > 1) {
            // Which one to go on with depends on who they are.
            link.WaitUntil(
                [&] {
                    return std::all_of(attempts.begin(), attempts.end(), [](Attempt& a) {
                        return !a.answered || !a.port || a.SerialNumber().has_value();
                    });
                },
                timing.handshakeReply);
            chosen = Choose(link, attempts);
            if (!chosen->toldSerial) {
                result.failure = link_texts::kNoAnswerTo.str() + 'N';
            }
        } else if (answered == 1) {
            // The handshake takes its answer to "N" as it would after a
            // search of one port.
            chosen = &*std::find_if(attempts.begin(), attempts.end(),
                                    [](const Attempt& a) { return a.answered; });
        }
    } catch (const LinkStopped&) {
        for (Attempt& attempt : attempts) {
            attempt.Close();
        }
        throw;
    }

    // The others go before the chosen one is adopted, so that the log has
    // each port's lines whole and in the pass's order.
    for (Attempt& attempt : attempts) {
        if (&attempt != chosen) {
            attempt.Close();
        }
    }
    std::vector<std::string> log;
    for (Attempt& attempt : attempts) {
        std::vector<std::string> lines;
        if (&attempt == chosen) {
            lines = link.AdoptPort(std::move(attempt.port), *attempt.line);
        } else {
            std::lock_guard lock(attempt.line->mutex);
            lines = std::move(attempt.line->log);
        }
        log.insert(log.end(), std::make_move_iterator(lines.begin()),
                   std::make_move_iterator(lines.end()));
        result.reports.push_back(attempt.report);
    }
    if (!log.empty()) {
        PostLogLines(host, std::move(log));
    }
    if (chosen != nullptr) {
        result.connected = chosen->report.port;
    }
    return result;
}

}  // namespace cardpush
