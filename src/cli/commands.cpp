#include "cli/commands.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <functional>

#include "cli/cli_texts.h"
#include "cli/console_view.h"
#include "link/number.h"
#include "link/protocol.h"
#include "platform/comm_api.h"
#include "platform/cp1251.h"
#include "platform/error_text.h"
#include "platform/files.h"
#include "platform/main_thread.h"
#include "platform/stop_requests.h"
#include "serial/BCPort.h"
#include "session/folder_watch.h"
#include "session/session_texts.h"
#include "session/tool_session.h"

namespace cardpush::cli {
namespace {

using Clock = std::chrono::steady_clock;
using platform::MainThread;

// A controller that answers the search but whose handshake fails this many
// times in a row counts as not found.
constexpr int kConnectionsTried = 3;

const char* OutcomeName(PortOutcome outcome)
{
    switch (outcome) {
        case PortOutcome::Answered:
            return "answered";
        case PortOutcome::NoAccess:
            return "no-access";
        case PortOutcome::Held:
            return "held";
        case PortOutcome::Silent:
            return "silent";
        case PortOutcome::NotConfigured:
            return "not-configured";
        case PortOutcome::NotSerial:
            return "not-serial";
        case PortOutcome::Missing:
            return "missing";
    }
    return "";
}

SettingsStore StoreFor(const Request& request)
{
    return request.settings.empty() ? SettingsStore::ForThisExecutable()
                                    : SettingsStore::AtFile(request.settings);
}

class Runner {
public:
    Runner(const Request& request, Console& console, platform::CommApi& devices)
        : request_(request),
          console_(console),
          view_(console),
          session_(view_, StoreFor(request), devices, JournalOrigin::CommandLine),
          stops_([this] {
              stopAsked_ = true;
              session_.RequestStop();
          })
    {
        MainThread::SetExceptionHook([this](std::exception_ptr error) {
            console_.Message(Cp1251ToUtf8(platform::ErrorText(error)));
            errors_ = true;
        });
    }
    ~Runner() { MainThread::SetExceptionHook({}); }
    Runner(const Runner&) = delete;
    Runner& operator=(const Runner&) = delete;

    int Run();

private:
    // Serves the session's news until ready() holds (true), or the deadline
    // passes or, when stoppable, the operator stops (false).
    bool Serve(const std::function<bool()>& ready, bool stoppable = true,
               Clock::time_point deadline = Clock::time_point::max());
    // Until the card commands may be given: kDone, or why not.
    int AwaitController();
    // Until what the commands sent has been shown by a listing (or given
    // up); status raised by what the operations came to.
    int Settle(int status);
    // The status that the operations which ended call for.
    int OperationsStatus() const;
    // Runs one of the session's commands; an error it throws is the
    // operator's message, and false.
    bool Attempt(const std::function<void()>& command);

    int Ports();
    int Info();
    int List();
    int Upload();
    int Delete();
    int Watch();

    void NoController();

    const Request& request_;
    Console& console_;
    ConsoleView view_;
    ToolSession session_;
    bool stopAsked_ = false;
    bool errors_ = false;
    platform::StopRequests stops_;
};

int Runner::Run()
{
    using Command = Request::Command;
    if (!request_.port.empty()) {
        session_.SearchOnlyPort(request_.port);
    } else if (request_.command == Command::Ports) {
        session_.SearchEveryPort();
    }
    session_.Start();
    int status = kDone;
    switch (request_.command) {
        case Command::Ports:
            status = Ports();
            break;
        case Command::Info:
            status = Info();
            break;
        case Command::List:
            status = List();
            break;
        case Command::Upload:
            status = Upload();
            break;
        case Command::Delete:
            status = Delete();
            break;
        case Command::Watch:
            status = Watch();
            break;
    }
    if (stopAsked_) {
        status = std::max<int>(status, kStopped);
    }
    if (errors_) {
        status = std::max<int>(status, kError);
    }
    // What the session still had to say (a message handed over late), then
    // the settings saved as the windows save them.
    MainThread::ServePending();
    session_.RequestClose();
    return status;
}

bool Runner::Serve(const std::function<bool()>& ready, bool stoppable, Clock::time_point deadline)
{
    for (;;) {
        if (ready()) {
            return true;
        }
        const auto now = Clock::now();
        if ((stoppable && stopAsked_) || now >= deadline) {
            return false;
        }
        // Woken by the session's news, a stop, or the deadline.
        MainThread::WaitAndServe(std::min(deadline, now + std::chrono::hours(1)));
    }
}

void Runner::NoController()
{
    std::string text = cli_texts::kNoController;
    for (const PortRow& row : view_.PortRows()) {
        text += "\n  " + Cp1251ToUtf8(row.text);
    }
    if (view_.PortRows().empty()) {
        text += cli_texts::kNoPorts;
    }
    console_.Message(text);
}

int Runner::AwaitController()
{
    Serve([&] {
        return session_.CardCommandsAllowed() || session_.FirmwareAllows() == false ||
               view_.PassesWithoutController() > 0 || view_.Connections() > kConnectionsTried;
    });
    if (stopAsked_) {
        return kStopped;
    }
    if (session_.FirmwareAllows() == false) {
        console_.Message(Cp1251ToUtf8(session_texts::kFirmwareRefused.str()));
        return kFirmwareRefuses;
    }
    if (!session_.CardCommandsAllowed()) {
        NoController();
        return kNoController;
    }
    return kDone;
}

bool Runner::Attempt(const std::function<void()>& command)
{
    try {
        command();
        return true;
    } catch (...) {
        console_.Message(Cp1251ToUtf8(platform::ErrorText(std::current_exception())));
        return false;
    }
}

int Runner::Settle(int status)
{
    // Not cut short by a stop: the stop ends the upload after the file being
    // sent, and the listing then decides which job files may go.
    Serve([&] { return !session_.AwaitingListing() && !session_.CommandRunning(); }, false);
    return std::max(status, OperationsStatus());
}

int Runner::OperationsStatus() const
{
    const ConsoleView::Tally& tally = view_.Operations();
    if (tally.stopped > 0) {
        return kStopped;
    }
    if (tally.failed > 0) {
        return kTransferFailed;
    }
    if (tally.rejected > 0) {
        return kRejected;
    }
    return kDone;
}

int Runner::Ports()
{
    // The first pass has tried every port; a controller that answered has
    // told its serial number (or its handshake has failed).
    Serve([&] {
        const bool serialKnown = !view_.Values().SerialNumber.empty();
        return (view_.PassesEnded() > 0 && (!view_.LastPassFound() || serialKnown)) ||
               view_.PassesEnded() > 1;
    });
    if (stopAsked_) {
        return kStopped;
    }
    bool found = false;
    for (const PortReport& report : session_.PortReports()) {
        found = found || report.outcome == PortOutcome::Answered;
        if (console_.Json()) {
            nlohmann::json record = {{"type", "port"},
                                     {"port", Cp1251ToUtf8(PortName(report.port))},
                                     {"outcome", OutcomeName(report.outcome)}};
            if (!report.serialNumber.empty()) {
                record["serial_number"] = Cp1251ToUtf8(report.serialNumber);
            }
            if (!report.group.empty()) {
                record["group"] = Cp1251ToUtf8(report.group);
            }
            console_.Record(record);
        }
    }
    if (!console_.Json()) {
        for (const PortRow& row : view_.PortRows()) {
            console_.Result(Cp1251ToUtf8(row.text));
        }
    }
    if (!found) {
        NoController();
        return kNoController;
    }
    return kDone;
}

int Runner::Info()
{
    Serve([&] {
        return session_.LinkReady() || view_.PassesWithoutController() > 0 ||
               view_.Connections() > kConnectionsTried;
    });
    if (stopAsked_) {
        return kStopped;
    }
    const auto allows = session_.FirmwareAllows();
    if (!session_.LinkReady() || !allows) {
        NoController();
        return kNoController;
    }
    const LinkValues& values = view_.Values();
    struct Field {
        const char* key;
        const std::string& label;
        std::string value;
    };
    const Field fields[] = {
        {"port", cli_texts::kLabelPort, Cp1251ToUtf8(PortName(view_.Port()))},
        {"serial_number", cli_texts::kLabelSerialNumber, Cp1251ToUtf8(values.SerialNumber)},
        {"minimum", cli_texts::kLabelMinimum, FloatToText(values.MinValue, '.')},
        {"maximum", cli_texts::kLabelMaximum, FloatToText(values.MaxValue, '.')},
        {"accuracy", cli_texts::kLabelAccuracy, IntegerText(values.Accuracy)},
        {"firmware", cli_texts::kLabelFirmware, Cp1251ToUtf8(values.FirmwareVersion)},
        {"mode", cli_texts::kLabelMode, FloatToText(values.ModeValue, '.')},
    };
    if (console_.Json()) {
        nlohmann::json record = {{"type", "info"}, {"card_commands", *allows}};
        for (const Field& field : fields) {
            record[field.key] = field.value;
        }
        console_.Record(record);
        return kDone;
    }
    for (const Field& field : fields) {
        console_.Result(field.label + field.value);
    }
    console_.Result(*allows ? cli_texts::kCardCommandsAllowed
                            : Cp1251ToUtf8(session_texts::kFirmwareRefused.str()));
    return kDone;
}

int Runner::List()
{
    if (const int status = AwaitController()) {
        return status;
    }
    for (const std::string& name : view_.CardNames()) {
        const std::string text = Cp1251ToUtf8(protocol::TrimName(name));
        if (console_.Json()) {
            console_.Record({{"type", "card_file"}, {"name", text}});
        } else {
            console_.Result(text);
        }
    }
    return kDone;
}

int Runner::Upload()
{
    if (const int status = AwaitController()) {
        return status;
    }
    const bool sent = Attempt([&] { session_.UploadPaths(request_.paths, request_.options); });
    return Settle(sent ? kDone : kTransferFailed);
}

int Runner::Delete()
{
    if (const int status = AwaitController()) {
        return status;
    }
    const bool sent = Attempt([&] {
        if (request_.all) {
            session_.DeleteAllCardFiles();
            return;
        }
        std::vector<std::string> names;
        for (const auto& name : request_.names) {
            names.push_back(Utf8ToCp1251(name));
        }
        session_.DeleteCardFilesNamed(names);
    });
    return Settle(sent ? kDone : kTransferFailed);
}

int Runner::Watch()
{
    FolderWatch watch(request_.paths.front());
    console_.Status(cli_texts::kWatching + Cp1251ToUtf8(platform::PathText(watch.Folder())) +
                    cli_texts::kWatchingEnd);
    const UploadOptions options{request_.options.deleteAfterUpload, false};
    bool refusalTold = false;
    while (!stopAsked_) {
        Serve([] { return false; }, true, Clock::now() + FolderWatch::kLookEvery);
        if (stopAsked_) {
            break;
        }
        // The files wait while there is no controller: the link looks for
        // it again by itself.
        if (!session_.CardCommandsAllowed()) {
            if (session_.FirmwareAllows() == false && !refusalTold) {
                console_.Message(Cp1251ToUtf8(session_texts::kFirmwareRefused.str()));
            }
            refusalTold = session_.FirmwareAllows() == false;
            continue;
        }
        const auto due = watch.Look(Clock::now());
        if (due.empty()) {
            continue;
        }
        // One file at a time, the first in the folder's order.
        const FolderWatch::DueFile& file = due.front();
        view_.TakeUpload(file.path);  // what an earlier upload of it came to
        Attempt([&] { session_.UploadPaths({file.path}, options); });
        Settle(kDone);
        // None: the upload did not even begin (the link was busy, say).
        const auto result = view_.TakeUpload(file.path);
        const bool handled = result && (result->result.empty() ||
                                        result->failure == CardOperation::Failure::Rejected);
        if (handled) {
            watch.Handled(file);
        } else {
            watch.Failed(file, Clock::now());
        }
    }
    return kStopped;
}

}  // namespace

int Run(const Request& request, Console& console, platform::CommApi& devices)
{
    MainThread::Bind();
    Runner runner(request, console, devices);
    return runner.Run();
}

int Run(const Request& request, Console& console)
{
    return Run(request, console, platform::SystemCommApi());
}

}  // namespace cardpush::cli
