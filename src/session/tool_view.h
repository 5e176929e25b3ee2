// What a face of the tool shows for the session (tool_session.h): the
// window's caption and lists, the controller's values, the operator's
// messages, and the progress of a long command. A face implements it and
// forwards the operator's intent to the session; it holds no rule.
//
// Texts are Windows-1251; a face converts them where they meet its
// widgets. File names are the system's own (std::filesystem::path).
//
// The session calls every member on the GUI thread.
#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "jobs/card_commands.h"
#include "jobs/journal.h"
#include "link/link_host.h"

namespace cardpush {

class ProgressRun;

// One row of the information window's port table.
struct PortRow {
    std::string port;
    // The port and what its latest attempt came to, ready to show
    // (Windows-1251): "COM3: рольганг 12345, подключён".
    std::string text;
    // A controller answered there and is not the one connected: the
    // operator may switch to it (ToolSession::SwitchController).
    bool switchable = false;

    friend bool operator==(const PortRow&, const PortRow&) = default;
};

class ToolView {
public:
    // The main window's caption, which doubles as its status line.
    virtual void ShowCaption(const std::string& text) = 0;
    // Lines of the protocol log, in order. The log keeps kLogLinesKept.
    virtual void AddLogLines(std::span<const std::string> lines) = 0;

    // The source folder (empty: none chosen), the options of upload all and
    // the job files of the source folder, by their names on disk.
    virtual void ShowSourceFolder(const std::filesystem::path& folder) = 0;
    virtual void ShowOptions(const UploadOptions& options) = 0;
    virtual void ShowLocalFiles(const std::vector<std::filesystem::path>& names) = 0;

    // The card listing: emptied before each listing request, then the names
    // as they arrive, as the controller sent them.
    virtual void ClearCardList() = 0;
    virtual void AddCardName(const std::string& listedName) = 0;
    // Whether the card commands may be given: the firmware gate has passed
    // and the controller is connected.
    virtual void EnableCardCommands(bool enabled) = 0;

    // The information window: the port the controller answered on, and what
    // the handshake has learnt so far.
    virtual void ShowPort(const std::string& port) = 0;
    virtual void ShowLinkValues(const LinkValues& values) = 0;
    // The information window's port table, rewritten whole: every port the
    // search has tried, with its latest outcome, in the search's order.
    virtual void ShowPortRows(const std::vector<PortRow>& rows) { (void)rows; }
    // A pass of the port search has ended; controllerFound: a controller
    // answered in it (its handshake follows).
    virtual void SearchPassEnded(bool controllerFound) { (void)controllerFound; }

    // A modal message with one OK button; returns when it is closed.
    virtual void ShowMessage(const std::string& text) = 0;
    // Shows a long command's progress (after ProgressRun::kShowAfter) and
    // returns once run.Done(): the event loop keeps running meanwhile (the
    // link's news comes through it), the operator's other commands stay
    // out, "Остановить" calls run.Stop(), and the window's own close still
    // reaches the face (which forwards it: RequestClose).
    virtual void ShowProgress(ProgressRun& run) = 0;

    // A line the transfer journal has just taken (for a journal window).
    virtual void JournalLineAdded(const JournalFields& fields) { (void)fields; }
    // An operation has ended, done or not (its journal line follows).
    virtual void OperationReported(const CardOperation& operation) { (void)operation; }
    // A close that the session held up while a command ran may go ahead
    // now: the face closes (and the session's RequestClose agrees).
    virtual void CloseNow() = 0;

protected:
    ~ToolView() = default;
};

// The protocol log keeps its latest lines only.
inline constexpr int kLogLinesKept = 10000;

}  // namespace cardpush
