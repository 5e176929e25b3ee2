// The session's view on a console: what a window would draw is kept for the
// command that runs (the controller's values, the card listing, the ports'
// outcomes, the operations that ended) or written out (status lines,
// messages, progress). Nothing here decides anything.
//
// Main thread only (the session's GUI thread).
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/console.h"
#include "session/tool_view.h"

namespace cardpush::cli {

class ConsoleView final : public ToolView {
public:
    explicit ConsoleView(Console& console) : console_(console) {}

    // --- what the command reads ---
    const LinkValues& Values() const { return values_; }
    const std::string& Port() const { return port_; }
    // The card's listing as the controller sent it (Windows-1251).
    const std::vector<std::string>& CardNames() const { return cardNames_; }
    // The information window's port table, as the session last drew it.
    const std::vector<PortRow>& PortRows() const { return portRows_; }
    // Passes of the port search that ended, those in which no controller
    // answered, and whether one answered in the last.
    int PassesEnded() const { return passesEnded_; }
    int PassesWithoutController() const { return passesWithoutController_; }
    bool LastPassFound() const { return lastPassFound_; }
    // Controllers that answered the search, each followed by a handshake.
    int Connections() const { return connections_; }
    // The operations that ended, by what they came to.
    struct Tally {
        std::size_t done = 0;
        std::size_t rejected = 0;
        std::size_t failed = 0;
        std::size_t stopped = 0;
    };
    const Tally& Operations() const { return tally_; }
    // What the latest upload of that local file came to, forgotten once
    // taken; nothing when none has ended since.
    std::optional<CardOperation> TakeUpload(const std::filesystem::path& path);
    bool CloseAsked() const { return closeAsked_; }

    // --- ToolView ---
    void ShowCaption(const std::string& text) override;
    void AddLogLines(std::span<const std::string> lines) override { (void)lines; }
    void ShowSourceFolder(const std::filesystem::path& folder) override { (void)folder; }
    void ShowOptions(const UploadOptions& options) override { (void)options; }
    void ShowLocalFiles(const std::vector<std::filesystem::path>& names) override { (void)names; }
    void ClearCardList() override { cardNames_.clear(); }
    void AddCardName(const std::string& listedName) override { cardNames_.push_back(listedName); }
    void EnableCardCommands(bool enabled) override { (void)enabled; }
    void ShowPort(const std::string& port) override
    {
        port_ = port;
        ++connections_;
    }
    void ShowPortRows(const std::vector<PortRow>& rows) override { portRows_ = rows; }
    void ShowLinkValues(const LinkValues& values) override { values_ = values; }
    void SearchPassEnded(bool controllerFound) override;
    void ShowMessage(const std::string& text) override;
    void ShowProgress(ProgressRun& run) override;
    void OperationReported(const CardOperation& operation) override;
    void JournalLineAdded(const JournalFields& fields) override;
    void CloseNow() override { closeAsked_ = true; }

private:
    Console& console_;
    std::string caption_;
    LinkValues values_;
    std::string port_;
    std::vector<std::string> cardNames_;
    std::vector<PortRow> portRows_;
    int passesEnded_ = 0;
    int passesWithoutController_ = 0;
    bool lastPassFound_ = false;
    int connections_ = 0;
    Tally tally_;
    std::map<std::filesystem::path, CardOperation> uploads_;
    bool closeAsked_ = false;
    // The kind of the operation whose journal line comes next.
    CardOperation::Kind lastKind_ = CardOperation::Kind::Upload;
};

}  // namespace cardpush::cli
