#include "session/tool_session.h"

#include <algorithm>
#include <cassert>
#include <exception>
#include <thread>
#include <utility>

#include "jobs/job_file.h"
#include "jobs/job_texts.h"
#include "link/link_texts.h"
#include "link/number.h"
#include "link/protocol.h"
#include "platform/files.h"
#include "platform/main_thread.h"
#include "serial/BCPort.h"
#include "session/progress.h"
#include "session/session_texts.h"

namespace cardpush {

using platform::MainThread;

namespace {

// What a port's latest attempt came to, as the port table says it.
std::string PortOutcomeText(const PortReport& report)
{
    using namespace session_texts;
    switch (report.outcome) {
        case PortOutcome::Answered:
            return report.serialNumber.empty() ? kOutcomeAnswered.str()
                                               : kOutcomeController.str() + report.serialNumber;
        case PortOutcome::NoAccess:
            return report.group.empty() ? kOutcomeNoAccess.str()
                                        : kOutcomeNoAccessGroup.str() + report.group;
        case PortOutcome::Held:
            return kOutcomeHeld.str();
        case PortOutcome::Silent:
            return kOutcomeSilent.str();
        case PortOutcome::NotConfigured:
            return kOutcomeNotConfigured.str();
        case PortOutcome::NotSerial:
            return kOutcomeNotSerial.str();
        case PortOutcome::Missing:
            return kOutcomeMissing.str();
    }
    return {};
}

}  // namespace

// Marks a command under way for as long as it runs. When the last one ends,
// what waited for it follows, once the command has returned all the way:
// the journal's notice, and a close asked for meanwhile.
class ToolSession::CommandScope {
public:
    explicit CommandScope(ToolSession& session) : session_(session)
    {
        // A stop asked for during one command does not carry over to the next.
        if (session_.commandsRunning_++ == 0) {
            session_.stopRequested_ = false;
        }
    }
    ~CommandScope()
    {
        if (--session_.commandsRunning_ > 0) {
            return;
        }
        if (session_.journalHeldPending_) {
            session_.Later([](ToolSession& s) { s.ReportJournalHeld(); });
        }
        if (session_.closeRequested_) {
            session_.Later([](ToolSession& s) { s.view_.CloseNow(); });
        }
    }
    CommandScope(const CommandScope&) = delete;
    CommandScope& operator=(const CommandScope&) = delete;

private:
    ToolSession& session_;
};

ToolSession::ToolSession(ToolView& view, SettingsStore settings, platform::CommApi& devices,
                         JournalOrigin origin)
    : view_(view),
      settings_(std::move(settings)),
      journal_(settings_.File().parent_path() / TransferJournal::kFileName, origin),
      link_(std::make_unique<LinkSession>(static_cast<LinkHost&>(*this), devices)),
      commands_(std::make_unique<CardCommands>(*link_, static_cast<CardCommandsHost&>(*this)))
{
    assert(MainThread::IsCurrent());
    LoadSettings();
}

ToolSession::~ToolSession()
{
    assert(MainThread::IsCurrent());
    *alive_ = false;
    // What waits for a listing is journalled as sent; the link's news that
    // is still on its way finds no commands.
    commands_.reset();
    link_.reset();
}

void ToolSession::Later(std::function<void(ToolSession&)> work)
{
    MainThread::Post([this, alive = std::weak_ptr<bool>(alive_), work = std::move(work)] {
        const auto living = alive.lock();
        if (living && *living) {
            work(*this);
        }
    });
}

// --- settings and the local list ---

void ToolSession::LoadSettings()
{
    SetSavedPort({});
    if (const auto lines = settings_.Load()) {
        for (const SettingLine& line : *lines) {
            switch (line.key) {
                case kSourceFolderKey:
                    keptFolderText_ = line.value;
                    sourceFolder_ = platform::PathFromText(line.value);
                    break;
                case kPortKey:
                    SetSavedPort(line.value);
                    break;
                case kDeleteAfterUploadKey:
                    options_.deleteAfterUpload = IsCheckedValue(line.value);
                    break;
                case kDeleteBeforeUploadKey:
                    options_.emptyCardFirst = IsCheckedValue(line.value);
                    break;
                case kSerialNumberKey:
                    SetPreferredSerialNumber(line.value);
                    break;
            }
        }
    }
    view_.ShowSourceFolder(sourceFolder_);
    view_.ShowOptions(options_);
    RefreshLocalList();
}

void ToolSession::SaveSettings()
{
    if (platform::TextHoldsPath(sourceFolder_)) {
        keptFolderText_ = platform::PathText(sourceFolder_);
    }
    Settings settings;
    settings.sourceFolder = keptFolderText_;
    settings.port = SavedPort();
    settings.deleteAfterUpload = options_.deleteAfterUpload;
    settings.deleteBeforeUpload = options_.emptyCardFirst;
    settings.serialNumber = PreferredSerialNumber();
    settings_.Save(settings);
}

void ToolSession::Start()
{
    assert(MainThread::IsCurrent());
    if (started_) {
        return;
    }
    started_ = true;
    link_->Start();
    if (!settings_.Unreadable().empty()) {
        // Once the face is up, so that the message has a window to stand on.
        Later([](ToolSession& s) {
            s.view_.ShowMessage(session_texts::kSettingsUnreadable.str() +
                                s.settings_.Unreadable() +
                                session_texts::kSettingsUnreadableEnd.str());
        });
    }
}

void ToolSession::ChooseSourceFolder(const std::filesystem::path& folder)
{
    sourceFolder_ = folder;
    view_.ShowSourceFolder(folder);
    SaveSettings();
    RefreshLocalList();
    if (!platform::TextHoldsPath(folder)) {
        view_.ShowMessage(session_texts::kFolderNotKept);
    }
}

void ToolSession::SetOptions(const UploadOptions& options)
{
    options_ = options;
    SaveSettings();
}

void ToolSession::RefreshLocalList()
{
    localFiles_ = platform::ListFolder(sourceFolder_, kJobExtension);
    view_.ShowLocalFiles(localFiles_);
}

void ToolSession::DeleteLocalFile(const std::optional<std::filesystem::path>& name)
{
    // With no source folder the path would lead to the file system's root.
    if (name && !sourceFolder_.empty()) {
        const std::filesystem::path path = sourceFolder_ / *name;
        CardOperation operation{
            CardOperation::Kind::LocalDelete, {}, path, platform::SizeOf(path), {}};
        if (!platform::RemoveFile(path)) {
            operation.result = job_texts::kNotRemoved.str();
        }
        OperationEnded(operation);
    }
    RefreshLocalList();
}

// --- the card commands ---

bool ToolSession::RefusedByFirmware()
{
    if (gate_ != Gate::Refused) {
        return false;
    }
    ShowMessage(session_texts::kFirmwareRefused);
    return true;
}

void ToolSession::RefreshCardList()
{
    if (!RefusedByFirmware()) {
        commands_->Refresh();
    }
}

void ToolSession::DeleteCardFile(const std::optional<std::string>& listedName)
{
    const CommandScope running(*this);
    if (!RefusedByFirmware()) {
        commands_->DeleteCardFile(listedName);
    }
}

void ToolSession::DeleteAllCardFiles()
{
    const CommandScope running(*this);
    if (!RefusedByFirmware()) {
        commands_->DeleteAll();
    }
}

void ToolSession::UploadJobFile(const std::optional<std::filesystem::path>& name)
{
    const CommandScope running(*this);
    if (!RefusedByFirmware()) {
        commands_->UploadJobFile(sourceFolder_, name);
    }
}

void ToolSession::UploadAll()
{
    const CommandScope running(*this);
    if (!RefusedByFirmware()) {
        commands_->UploadAll(sourceFolder_, options_);
    }
}

void ToolSession::RequestStop()
{
    stopRequested_ = true;
}

void ToolSession::UploadPaths(const std::vector<std::filesystem::path>& paths,
                              const UploadOptions& options)
{
    const CommandScope running(*this);
    if (RefusedByFirmware()) {
        return;
    }
    std::vector<std::filesystem::path> files;
    for (const auto& path : paths) {
        std::error_code error;
        if (std::filesystem::is_directory(path, error)) {
            const auto jobFiles = JobFilesIn(path);
            files.insert(files.end(), jobFiles.begin(), jobFiles.end());
        } else {
            files.push_back(path);
        }
    }
    commands_->UploadFiles(files, options);
}

void ToolSession::DeleteCardFilesNamed(const std::vector<std::string>& names)
{
    const CommandScope running(*this);
    if (RefusedByFirmware()) {
        return;
    }
    const std::vector<std::string> listing = link_->LastListing().names;
    std::vector<std::string> listed;
    for (const auto& name : names) {
        const auto found = std::find_if(listing.begin(), listing.end(), [&](const auto& entry) {
            return EqualIgnoringCaseCp1251(protocol::TrimName(entry), protocol::TrimName(name));
        });
        if (found != listing.end()) {
            listed.push_back(*found);
            continue;
        }
        const std::string message = session_texts::kNotOnCard.str() + name;
        ShowMessage(message);
        OperationEnded(CardOperation{CardOperation::Kind::Delete,
                                     name,
                                     {},
                                     std::nullopt,
                                     message,
                                     CardOperation::Failure::Rejected});
    }
    commands_->DeleteCardFiles(listed);
}

void ToolSession::SearchOnlyPort(const std::string& port)
{
    std::lock_guard lock(savedPortMutex_);
    searchPlan_ = SearchPlan{port, true};
}

void ToolSession::SearchEveryPort()
{
    std::lock_guard lock(savedPortMutex_);
    searchPlan_ = SearchPlan{};
}

LinkHost::SearchPlan ToolSession::PlanSearch()
{
    std::lock_guard lock(savedPortMutex_);
    return searchPlan_.value_or(SearchPlan{savedPort_, false});
}

bool ToolSession::RequestClose()
{
    assert(MainThread::IsCurrent());
    if (commandsRunning_ > 0) {
        closeRequested_ = true;
        return false;
    }
    SaveSettings();
    return true;
}

bool ToolSession::CardCommandsAllowed() const
{
    return gate_ == Gate::Passed && link_->CardCommandsAllowed();
}

bool ToolSession::LinkReady() const
{
    return gate_ != Gate::NotYet && link_->CardCommandsAllowed();
}

std::optional<bool> ToolSession::FirmwareAllows() const
{
    if (gate_ == Gate::NotYet) {
        return std::nullopt;
    }
    return gate_ == Gate::Passed;
}

// --- the link's news ---

void ToolSession::SetCaption(const std::string& text)
{
    view_.ShowCaption(text);
}

void ToolSession::AddLogLine(const std::string& line)
{
    view_.AddLogLines(std::span(&line, 1));
}

void ToolSession::AddLogLines(std::span<const std::string> lines)
{
    // Lines beyond what the log keeps would only be dropped again.
    lines = lines.last(std::min<std::size_t>(lines.size(), kLogLinesKept));
    if (!lines.empty()) {
        view_.AddLogLines(lines);
    }
}

void ToolSession::ShowPort(const std::string& port)
{
    port_ = port;
    connectedPort_ = port;
    awaitingSerialNumber_ = true;
    journal_.SetController(serialNumber_, port_);
    view_.ShowPort(port);
    ShowPortRows();
}

void ToolSession::ShowLinkInfo(const LinkValues& values)
{
    serialNumber_ = values.SerialNumber;
    journal_.SetController(serialNumber_, port_);
    view_.ShowLinkValues(values);
    if (!awaitingSerialNumber_ || values.SerialNumber.empty()) {
        return;
    }
    // The serial number of a new connection.
    awaitingSerialNumber_ = false;
    const std::string previous = std::exchange(lastSerialNumber_, values.SerialNumber);
    SetPreferredSerialNumber(values.SerialNumber);
    for (PortReport& report : portReports_) {
        if (PortName(report.port) == PortName(connectedPort_)) {
            report.serialNumber = values.SerialNumber;
        }
    }
    ShowPortRows();
    if (!previous.empty() && previous != values.SerialNumber) {
        // The card list was emptied and what waited for a listing was
        // given up when the link went; the operator learns why here. Not
        // while the handshake waits for this call.
        Later([serial = values.SerialNumber](ToolSession& s) {
            s.ShowMessage(session_texts::kOtherController.str() + serial +
                          session_texts::kOtherControllerEnd.str());
        });
    }
}

void ToolSession::CheckFirmware(const LinkValues& values)
{
    // A version that is no integer throws: the handshake ends there.
    const bool passed = FirmwareSupportsUpload(values.FirmwareVersion);
    gate_ = passed ? Gate::Passed : Gate::Refused;
    if (!passed) {
        view_.ShowCaption(session_texts::kFirmwareRefused);
        return;
    }
    view_.EnableCardCommands(true);
    view_.ShowCaption(session_texts::kMainCaption);
}

void ToolSession::ClearCardList()
{
    view_.ClearCardList();
}

void ToolSession::AddCardName(const std::string& name)
{
    view_.AddCardName(name);
}

void ToolSession::ListingCompleted(const std::vector<std::string>& names, std::uint64_t request)
{
    if (commands_) {
        const CommandScope running(*this);
        commands_->ListingCompleted(names, request);
    }
}

void ToolSession::ListingStalled(std::uint64_t request)
{
    if (commands_) {
        const CommandScope running(*this);
        commands_->ListingStalled(request);
    }
}

void ToolSession::LinkLost(const std::string& reason)
{
    gate_ = Gate::NotYet;
    connectedPort_.clear();
    awaitingSerialNumber_ = false;
    ShowPortRows();
    view_.EnableCardCommands(false);
    view_.ClearCardList();
    view_.ShowCaption(link_texts::kLinkFailed.str() + reason);
    if (commands_) {
        const CommandScope running(*this);
        commands_->LinkLost();
    }
}

void ToolSession::SwitchController(const std::string& port)
{
    assert(MainThread::IsCurrent());
    const auto found = std::find_if(portReports_.begin(), portReports_.end(), [&](const auto& r) {
        return r.port == port && r.outcome == PortOutcome::Answered;
    });
    if (found == portReports_.end() || PortName(port) == PortName(connectedPort_)) {
        return;
    }
    if (CommandRunning()) {
        ShowMessage(session_texts::kNoSwitchWhileCommand);
        return;
    }
    // The search tries the saved port first and, should several answer,
    // takes the preferred serial number.
    SetSavedPort(port);
    if (!found->serialNumber.empty()) {
        SetPreferredSerialNumber(found->serialNumber);
    }
    SaveSettings();
    link_->SwitchController(session_texts::kSwitchingTo.str() + PortName(port));
}

void ToolSession::PortsProbed(const std::vector<PortReport>& reports)
{
    for (const PortReport& report : reports) {
        const auto known =
            std::find_if(portReports_.begin(), portReports_.end(),
                         [&](const auto& r) { return PortName(r.port) == PortName(report.port); });
        if (known != portReports_.end()) {
            *known = report;
        } else {
            portReports_.push_back(report);
        }
    }
    ShowPortRows();
    const auto answered = [](const PortReport& r) { return r.outcome == PortOutcome::Answered; };
    view_.SearchPassEnded(std::any_of(reports.begin(), reports.end(), answered));
    const auto refused = std::find_if(reports.begin(), reports.end(), [](const PortReport& r) {
        return r.outcome == PortOutcome::NoAccess;
    });
    if (accessMessageShown_ || refused == reports.end() ||
        std::any_of(reports.begin(), reports.end(), answered)) {
        return;
    }
    // Said once per run: the search goes on, and the rows keep saying it.
    accessMessageShown_ = true;
    std::string text = session_texts::kNoAccessMessage.str() + PortName(refused->port);
    if (refused->group.empty()) {
        text += session_texts::kNoAccessNoGroup.str();
    } else {
        text += session_texts::kNoAccessGroup.str() + refused->group +
                session_texts::kNoAccessWhatToDo.str() + refused->group +
                session_texts::kNoAccessWhatToDoEnd.str();
    }
    Later([text = std::move(text)](ToolSession& s) { s.ShowMessage(text); });
}

void ToolSession::ShowPortRows()
{
    std::vector<PortRow> rows;
    for (const PortReport& report : portReports_) {
        PortRow row;
        row.port = report.port;
        row.text =
            PortName(report.port) + session_texts::kRowSeparator.str() + PortOutcomeText(report);
        if (report.outcome == PortOutcome::Answered) {
            if (PortName(report.port) == PortName(connectedPort_)) {
                row.text += session_texts::kOutcomeConnected.str();
            } else {
                row.switchable = true;
            }
        }
        rows.push_back(std::move(row));
    }
    view_.ShowPortRows(rows);
}

std::string ToolSession::SavedPort()
{
    std::lock_guard lock(savedPortMutex_);
    return savedPort_;
}

void ToolSession::SetSavedPort(const std::string& port)
{
    std::lock_guard lock(savedPortMutex_);
    savedPort_ = port;
}

std::string ToolSession::PreferredSerialNumber()
{
    std::lock_guard lock(savedPortMutex_);
    return preferredSerialNumber_;
}

void ToolSession::SetPreferredSerialNumber(const std::string& serialNumber)
{
    std::lock_guard lock(savedPortMutex_);
    preferredSerialNumber_ = serialNumber;
}

// --- what the card commands ask ---

void ToolSession::ShowMessage(const std::string& text)
{
    // A close asked for ends a series of messages at once; the command
    // ends soon after, and the journal keeps what it had to say.
    if (!closeRequested_) {
        view_.ShowMessage(text);
    }
}

void ToolSession::RunWithProgress(const UploadProgress& start,
                                  const std::function<void(const ProgressFn&)>& work)
{
    assert(MainThread::IsCurrent());
    ProgressRun run(
        start, link_->LineBytesPerSecond(), [this] { stopRequested_ = true; }, !StopRequested());
    std::exception_ptr error;
    std::thread worker([&] {
        try {
            work([&run](const UploadProgress& now) { run.Report(now); });
        } catch (...) {
            error = std::current_exception();
        }
        MainThread::Post([&run] { run.Finish(); });
    });
    view_.ShowProgress(run);
    // A face that returned early still lets the work end: it may be waiting
    // for the link's news, which comes through the GUI thread.
    MainThread::WaitServing([&run] { return run.Done(); });
    worker.join();
    if (error) {
        std::rethrow_exception(error);
    }
}

void ToolSession::OperationEnded(const CardOperation& operation)
{
    assert(MainThread::IsCurrent());
    view_.OperationReported(operation);
    const auto fields = journal_.Append(operation);
    if (journal_.TakeHoldNotice()) {
        // Said once a command has ended: a message box now would let the
        // link's news in between frames that go out back to back.
        journalHeldPending_ = true;
        if (commandsRunning_ == 0) {
            ReportJournalHeld();
        }
    }
    if (fields) {
        view_.JournalLineAdded(*fields);
    }
}

void ToolSession::ReportJournalHeld()
{
    if (journalHeldPending_) {
        journalHeldPending_ = false;
        ShowMessage(session_texts::kJournalUnwritable.str() + platform::PathText(journal_.File()));
    }
}

}  // namespace cardpush
