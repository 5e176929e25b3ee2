// The tool without its windows: one object that owns every rule above the
// controller link, driven by the operator's intent and shown by a face
// (tool_view.h).
//
// It owns the link (link_session.h), the card commands, the transfer
// journal, the settings file and its folder rules, and the list of local job
// files; it keeps the firmware gate, the command under way, the operator's
// stop and a close asked for meanwhile. A face (the Qt windows, the native
// Windows windows, the command line) draws what the session shows and
// forwards each of the operator's actions as one call below; it decides
// nothing.
//
// Threads: GUI thread only (asserted in debug builds), but for what the link
// thread asks of it (LinkHost::SavedPort/SetSavedPort). Long work runs on the
// session's worker while the face shows its progress (ShowProgress).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "jobs/card_commands.h"
#include "jobs/command_host.h"
#include "jobs/journal.h"
#include "link/link_host.h"
#include "link/link_session.h"
#include "platform/comm_api_fwd.h"
#include "session/settings_store.h"
#include "session/tool_view.h"

namespace cardpush {

class ToolSession : private LinkHost, private CardCommandsHost {
public:
    // The view and the device layer must outlive the session. settings says
    // where nastr.dat is (and the journal beside it). Loads the settings
    // and shows them, the source folder's job files among them.
    // origin: who the journal's lines name as having started them.
    ToolSession(ToolView& view, SettingsStore settings,
                platform::CommApi& devices = platform::SystemCommApi(),
                JournalOrigin origin = JournalOrigin::Window);
    // Stops the link thread and closes the port; what still waits for a
    // listing is journalled as sent.
    ~ToolSession() override;
    ToolSession(const ToolSession&) = delete;
    ToolSession& operator=(const ToolSession&) = delete;

    // --- the operator's intent ---
    // The face is up: the link starts searching; a settings file that could
    // not be read is said once.
    void Start();
    // A folder the operator chose (the face's folder dialog): kept in the
    // settings when they can hold it, and listed.
    void ChooseSourceFolder(const std::filesystem::path& folder);
    void SetOptions(const UploadOptions& options);
    void RefreshLocalList();
    // "Удалить" on the local list: the job file of that name (none: only
    // the list is refreshed).
    void DeleteLocalFile(const std::optional<std::filesystem::path>& name);
    // The card commands. A name is one the session showed (AddCardName,
    // ShowLocalFiles); none: nothing selected.
    void RefreshCardList();
    void DeleteCardFile(const std::optional<std::string>& listedName);
    void DeleteAllCardFiles();
    void UploadJobFile(const std::optional<std::filesystem::path>& name);
    void UploadAll();
    // "Остановить": upload all ends after the file being sent.
    void RequestStop();

    // --- the command line's intent ---
    // Upload all for these job files and folders (each folder's job files),
    // in that order, with options: the same checks, messages and proof.
    void UploadPaths(const std::vector<std::filesystem::path>& paths, const UploadOptions& options);
    // The card files that the operator named (Windows-1251), found in the
    // last listing with the letter case ignored, deleted with one command. A
    // name the listing lacks is said and journalled as refused.
    void DeleteCardFilesNamed(const std::vector<std::string>& names);
    // Before Start: the search tries this port alone, pass after pass,
    // instead of the saved port and then every port.
    void SearchOnlyPort(const std::string& port);
    // Before Start: the first pass tries every port at once, the saved one
    // among them, so that each port has its outcome (a survey of the ports).
    void SearchEveryPort();
    // The operator picked another controller that the search found (a
    // switchable row of ShowPortRows): the link lets the connected one go
    // and runs the whole handshake on that port, as a reconnect does.
    void SwitchController(const std::string& port);
    // The operator (or the system) asks the tool to close. True: it may
    // close now (the settings are saved). False: a command runs; it ends
    // soon (an upload after the file being sent, a series of messages at
    // once), and then the session calls the view's CloseNow.
    bool RequestClose();

    // --- what the face may ask ---
    const std::filesystem::path& SourceFolder() const { return sourceFolder_; }
    const UploadOptions& Options() const { return options_; }
    const std::vector<std::filesystem::path>& LocalFiles() const { return localFiles_; }
    // The firmware gate has passed on this connection and the link is idle.
    bool CardCommandsAllowed() const;
    // The handshake is over and the card's first listing has come, whatever
    // the firmware gate said.
    bool LinkReady() const;
    // The firmware gate of this connection: nothing until the handshake has
    // read the firmware version, then whether it allows card commands.
    std::optional<bool> FirmwareAllows() const;
    // What a command sent still waits for the listing that shows it.
    bool AwaitingListing() const { return commands_->AwaitingListing(); }
    bool CommandRunning() const { return commandsRunning_ > 0; }
    const std::filesystem::path& SettingsFile() const { return settings_.File(); }
    const TransferJournal& Journal() const { return journal_; }
    // The port tried first (the settings' "c="); any thread.
    std::string SavedPort() override;
    void SetSavedPort(const std::string& port) override;
    // The controller last worked with (the settings' "n="); any thread.
    std::string PreferredSerialNumber() override;
    SearchPlan PlanSearch() override;
    // What the search's attempts came to, the latest of each port.
    const std::vector<PortReport>& PortReports() const { return portReports_; }
    // The link itself, for tests and benchmarks that watch it.
    LinkSession& Link() { return *link_; }

private:
    class CommandScope;

    // --- the link's news (LinkHost) ---
    void SetCaption(const std::string& text) override;
    void AddLogLine(const std::string& line) override;
    void ShowPort(const std::string& port) override;
    void ShowLinkInfo(const LinkValues& values) override;
    void CheckFirmware(const LinkValues& values) override;
    void ClearCardList() override;
    void AddCardName(const std::string& name) override;
    void ListingCompleted(const std::vector<std::string>& names, std::uint64_t request) override;
    void ListingStalled(std::uint64_t request) override;
    void LinkLost(const std::string& reason) override;
    void PortsProbed(const std::vector<PortReport>& reports) override;

    // --- what the card commands ask (CardCommandsHost) ---
    void ShowMessage(const std::string& text) override;
    void AddLogLines(std::span<const std::string> lines) override;
    void RunWithProgress(const UploadProgress& start,
                         const std::function<void(const ProgressFn&)>& work) override;
    bool StopRequested() const override { return stopRequested_ || closeRequested_; }
    void OperationEnded(const CardOperation& operation) override;
    void LocalFilesChanged() override { RefreshLocalList(); }

    // Runs work on the GUI thread after the current hand-over or event, if
    // the session is still there.
    void Later(std::function<void(ToolSession&)> work);
    void LoadSettings();
    void SaveSettings();
    // Card commands need the firmware gate to have passed; false (and the
    // operator told) when it has not.
    bool RefusedByFirmware();
    void ReportJournalHeld();
    void SetPreferredSerialNumber(const std::string& serialNumber);
    // Rewrites the information window's port table.
    void ShowPortRows();

    ToolView& view_;
    SettingsStore settings_;
    TransferJournal journal_;

    std::filesystem::path sourceFolder_;
    // The source folder as the settings file keeps it (Windows-1251).
    std::string keptFolderText_;
    UploadOptions options_;
    std::vector<std::filesystem::path> localFiles_;
    // The firmware gate of this connection.
    enum class Gate { NotYet, Passed, Refused };
    Gate gate_ = Gate::NotYet;
    bool started_ = false;
    // The controller the journal's lines name.
    std::string serialNumber_;
    std::string port_;
    // The port of the controller connected now (empty while there is none),
    // and whether its serial number is still to come.
    std::string connectedPort_;
    bool awaitingSerialNumber_ = false;
    // The serial number of the controller connected last, for telling a
    // reconnect to another one.
    std::string lastSerialNumber_;
    std::vector<PortReport> portReports_;
    // The message on ports this user may not open has been shown.
    bool accessMessageShown_ = false;

    // Commands under way (nested: a message box runs the event loop), and
    // the operator's stop and close meanwhile.
    int commandsRunning_ = 0;
    bool stopRequested_ = false;
    bool closeRequested_ = false;
    // The journal holds lines it could not write; the operator is told once
    // a command has ended.
    bool journalHeldPending_ = false;

    mutable std::mutex savedPortMutex_;
    std::string savedPort_;                 // guarded by savedPortMutex_
    std::string preferredSerialNumber_;     // guarded by savedPortMutex_
    std::optional<SearchPlan> searchPlan_;  // guarded by savedPortMutex_

    // False once the session is being destroyed: work it handed to Later
    // finds it gone.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);

    std::unique_ptr<LinkSession> link_;
    std::unique_ptr<CardCommands> commands_;
};

}  // namespace cardpush
