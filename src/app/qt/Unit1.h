// The main window: the Qt face of the tool's session (session/tool_session.h).
// It draws what the session shows (ToolView) and forwards each of the
// operator's actions to it; every rule is the session's. The layout is
// resources/Unit1.ui; the controls carry its names (Button1, ListBox2, N3...),
// by which tests find them.
//
// The menu items, by the layout's names: N1 information window, N6 About
// box, N7 journal window; on the card listing's popup menu N4 refresh and N2
// delete; on the local list's popup menu N3 upload and N5 delete.
//
// GUI thread only.
#pragma once

#include <QMainWindow>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/comm_api_fwd.h"
#include "session/settings_store.h"
#include "session/tool_session.h"
#include "session/tool_view.h"

class QCheckBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace Ui {
class TForm1;
}

namespace cardpush {

class LinkSession;
class TAboutBox;
class TForm2;
class TJournalWindow;

class TForm1 : public QMainWindow, public ToolView {
    Q_OBJECT

public:
    // settings: where nastr.dat is (the executable's folder in the tool; a
    // folder of their own in tests); devices: the device layer to talk
    // through. Creating the window loads the settings (FormCreate).
    explicit TForm1(SettingsStore settings, QWidget* parent = nullptr,
                    platform::CommApi& devices = platform::SystemCommApi());
    // Stops the link thread and closes the port before the controls go.
    ~TForm1() override;

    ToolSession& Session() { return *session_; }
    LinkSession& Link() { return session_->Link(); }
    // The card listing as shown: each name's bytes as the controller sent
    // them.
    const std::vector<std::string>& CardNames() const { return cardNames_; }

    // The windows the menu opens. Not owned; each must outlive this window
    // or be handed over as null before it goes. Without one, its menu item
    // does nothing.
    void SetInformationWindow(TForm2* window);
    void SetAboutBox(TAboutBox* box) { about_ = box; }
    void SetJournalWindow(TJournalWindow* window) { journalWindow_ = window; }

signals:
    // The window has closed and the session saved its settings; the tool ends.
    void Closed();

public slots:
    // Each handler forwards one intent to the session.
    void BitBtn1Click();    // choose the source folder
    void CheckBox1Click();  // either option
    void N1Click();
    void N6Click();
    void N7Click();
    void ListBox1DblClick() { session_->RefreshLocalList(); }
    void N5Click() { session_->DeleteLocalFile(SelectedJobFile()); }
    void Button1Click() { session_->UploadAll(); }
    void Button2Click() { session_->DeleteAllCardFiles(); }
    void ListBox2DblClick() { session_->RefreshCardList(); }
    void N2Click() { session_->DeleteCardFile(SelectedCardName()); }
    void N3Click() { session_->UploadJobFile(SelectedJobFile()); }
    void N4Click() { session_->RefreshCardList(); }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
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

    std::optional<std::string> SelectedCardName() const;
    std::optional<std::filesystem::path> SelectedJobFile() const;

    std::unique_ptr<Ui::TForm1> ui_;
    QPushButton* BitBtn1;
    QLabel* Label1;
    QCheckBox* CheckBox1;
    QListWidget* ListBox1;
    QPushButton* Button1;
    QPushButton* Button2;
    QCheckBox* CheckBox2;
    QListWidget* ListBox2;
    QPlainTextEdit* Memo1;
    TForm2* information_ = nullptr;
    TAboutBox* about_ = nullptr;
    TJournalWindow* journalWindow_ = nullptr;
    // What ListBox1 and ListBox2 list, in their order: the job files by
    // their names on disk, the card names as the controller sent them.
    std::vector<std::filesystem::path> localFiles_;
    std::vector<std::string> cardNames_;
    bool shown_ = false;
    // Last: the session calls back into the controls above.
    std::unique_ptr<ToolSession> session_;
};

}  // namespace cardpush
