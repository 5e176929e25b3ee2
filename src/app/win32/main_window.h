// The main window of the native face: the same controls, captions, menus
// and states as the Qt face's (both from resources/Unit1.ui, here through
// the generated ui_layout.h), drawing what the session shows (ToolView) and
// forwarding each of the operator's actions to it; every rule is the
// session's.
//
// It owns the session and the three other windows (information, About,
// journal), which the session's news may fill until the session has gone:
// the session goes first.
//
// GUI thread only.
#pragma once

#include <windows.h>

#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/win32/controls.h"
#include "platform/comm_api_fwd.h"
#include "session/settings_store.h"
#include "session/tool_session.h"
#include "session/tool_view.h"

namespace cardpush::win32 {

class AboutBox;
class InfoWindow;
class JournalWindow;

class MainWindow : public Window, public ToolView {
public:
    // Makes the windows (hidden) and the session, which loads the settings.
    explicit MainWindow(SettingsStore settings,
                        platform::CommApi& devices = platform::SystemCommApi());
    // Stops the link thread and closes the port (the session goes) before
    // the windows go.
    ~MainWindow() override;

    // Shows the window and starts the session (the link's search).
    void Show(int showCommand);
    // As the operator's close: the session decides whether it may close now.
    void Close() { PostMessageW(Handle(), WM_CLOSE, 0, 0); }

private:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnCommand(int id, int notification);
    void OnContextMenu(HWND source, LPARAM where);
    void OnClose();

    // --- what the session shows (ToolView) ---
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
    void ShowPortRows(const std::vector<PortRow>& rows) override;
    void ShowMessage(const std::string& text) override;
    void ShowProgress(ProgressRun& run) override;
    void JournalLineAdded(const JournalFields& fields) override;
    void CloseNow() override;

    std::optional<int> SelectedIndex(int listId) const;
    std::optional<std::string> SelectedCardName() const;
    std::optional<std::filesystem::path> SelectedJobFile() const;
    void OpenJournal();
    // While a long command runs the operator's other commands stay out:
    // the controls, the menu bar and the information window's switch are
    // off, the window's close still works.
    void EnableOperatorInput(bool enabled);

    HMENU menuBar_ = nullptr;
    // The card listing's (N4, N2) and the local list's (N3, N5).
    HMENU cardPopup_ = nullptr;
    HMENU localPopup_ = nullptr;
    HICON folderIcon_ = nullptr;
    bool cardCommandsEnabled_ = false;
    // What the two lists show, in their order: the job files by their names
    // on disk, the card names as the controller sent them.
    std::vector<std::filesystem::path> localFiles_;
    std::vector<std::string> cardNames_;
    // The protocol log (the hidden Memo1 of the layout), newest last.
    std::deque<std::wstring> log_;
    bool started_ = false;
    bool closing_ = false;

    std::unique_ptr<InfoWindow> information_;
    std::unique_ptr<AboutBox> about_;
    std::unique_ptr<JournalWindow> journal_;
    // Last: the session calls back into the windows above.
    std::unique_ptr<ToolSession> session_;
};

}  // namespace cardpush::win32
