// A face without windows: records what the session shows, for the tests of
// the link and the session and for the benchmarks. The one test double of
// the windows; it decides nothing (the session does).
//
// Everything runs on the GUI thread, as the session calls it; tests read it
// there too, also from a MainThread::WaitServing predicate.
#pragma once

#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "session/tool_view.h"

namespace cardpush {

// Shows a LinkValues in test failure messages.
void PrintTo(const LinkValues& values, std::ostream* out);

namespace testing {

class RecordingView : public ToolView {
public:
    void ShowCaption(const std::string& text) override;
    void AddLogLines(std::span<const std::string> lines) override;
    void ShowSourceFolder(const std::filesystem::path& folder) override;
    void ShowOptions(const UploadOptions& options) override;
    void ShowLocalFiles(const std::vector<std::filesystem::path>& names) override;
    void ClearCardList() override;
    void AddCardName(const std::string& listedName) override;
    void EnableCardCommands(bool enabled) override;
    void ShowPort(const std::string& port) override;
    void ShowLinkValues(const LinkValues& values) override;
    void ShowPortRows(const std::vector<PortRow>& rows) override { rows_ = rows; }
    // Recorded and answered at once (OK).
    void ShowMessage(const std::string& text) override;
    // Returns at once: the session waits for the work itself.
    void ShowProgress(ProgressRun& run) override;
    void JournalLineAdded(const JournalFields& fields) override;
    void CloseNow() override;

    // What the operator does at a call, once it is recorded: the call's
    // name ("ShowCaption", "EnableCardCommands", "ShowMessage"...).
    std::function<void(const std::string& call)> onCall;

    // The calls in the order made, by name; the log, the local list, the
    // journal lines, the port table and the progress left out.
    const std::vector<std::string>& Calls() const { return calls_; }
    const std::vector<std::string>& Captions() const { return captions_; }
    const std::vector<std::string>& LogLines() const { return log_; }
    // The bytes of every receive event's log line, back to back.
    std::string ReceivedBytes() const;
    // The log lines other than those of receive events.
    std::vector<std::string> LinkLogLines() const;
    const std::vector<std::string>& Ports() const { return ports_; }
    const std::vector<LinkValues>& ShownValues() const { return shown_; }
    // The port table as last shown.
    const std::vector<PortRow>& PortRows() const { return rows_; }
    // Its rows' texts.
    std::vector<std::string> PortRowTexts() const;
    bool CardCommandsEnabled() const { return cardCommandsEnabled_; }
    const std::vector<std::string>& CardList() const { return cardList_; }
    const std::vector<std::string>& Messages() const { return messages_; }
    const std::vector<std::filesystem::path>& LocalFiles() const { return localFiles_; }
    const std::filesystem::path& SourceFolder() const { return sourceFolder_; }
    const UploadOptions& Options() const { return options_; }
    int ProgressShown() const { return progressShown_; }
    int ClosesAllowed() const { return closesAllowed_; }

private:
    void Called(const std::string& call);

    std::vector<std::string> calls_;
    std::vector<std::string> captions_;
    std::vector<std::string> log_;
    std::vector<std::string> ports_;
    std::vector<LinkValues> shown_;
    std::vector<PortRow> rows_;
    bool cardCommandsEnabled_ = false;
    std::vector<std::string> cardList_;
    std::vector<std::string> messages_;
    std::vector<std::filesystem::path> localFiles_;
    std::filesystem::path sourceFolder_;
    UploadOptions options_;
    int progressShown_ = 0;
    int closesAllowed_ = 0;
};

}  // namespace testing
}  // namespace cardpush
