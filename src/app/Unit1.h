// The main window: the tool's controls, its settings file and the list of
// local job files. The layout is resources/Unit1.ui. It owns the controller
// link and the card commands, and shows what they have to show; what the
// controller has told goes to the information window it is handed.
//
// Its controls are its own; tests find them by their object names, which are
// those of the layout (Button1, ListBox2, N3...).
//
// GUI thread only (asserted in debug builds where the link calls in),
// except SavedPort()/SetSavedPort().
#pragma once

#include <QMainWindow>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "jobs/card_commands.h"
#include "jobs/journal.h"
#include "link/link_host.h"
#include "platform/comm_api_fwd.h"

class QAction;
class QCheckBox;
class QLabel;
class QListWidget;
class QMenu;
class QMenuBar;
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

class TForm1 : public QMainWindow, public LinkHost, public CardCommandsHost {
    Q_OBJECT

public:
    // settingsFolder holds nastr.dat: the executable's folder in the tool;
    // tests pass a folder of their own, and the device layer to talk through.
    // startingSettings: a nastr.dat read instead while settingsFolder holds
    // none yet (the administrator's, beside an installed executable whose
    // folder the user may not write); saves go to settingsFolder all the
    // same. Creating the window loads the settings (FormCreate).
    explicit TForm1(const std::filesystem::path& settingsFolder, QWidget* parent = nullptr,
                    platform::CommApi& devices = platform::SystemCommApi(),
                    std::filesystem::path startingSettings = {});
    // Stops the link thread and closes the port before the controls go.
    ~TForm1() override;

    // The controller link: the port, the link state, the receive parser.
    LinkSession& Link() { return *link_; }

    // The information window and the About box, which the window shows from
    // its menu; the link's values and port go to the information window.
    // Not owned; each must outlive the window or be handed over as null
    // before it goes. Without one, its menu item does nothing.
    void SetInformationWindow(TForm2* window) { information_ = window; }
    void SetAboutBox(TAboutBox* box) { about_ = box; }
    void SetJournalWindow(TJournalWindow* window) { journalWindow_ = window; }

    // The transfer journal, cardpush-journal.csv beside nastr.dat.
    const TransferJournal& Journal() const { return journal_; }

    // Settings file (nastr.dat beside the executable). LoadSettings returns
    // false when there is no file or it could not be read. A file that is
    // there but can't be read is never saved over: the tool runs with the
    // defaults and tells the operator once it is shown. A failing save is
    // dropped without a word and leaves the previous file as it was.
    bool LoadSettings();
    void SaveSettings();
    const std::filesystem::path& SettingsPath() const { return settingsPath_; }

    // Source folder, shown in the hidden Label1; empty when none has been
    // chosen. Setting it saves the settings and lists the folder; a folder
    // whose path the settings file can't hold is used, not kept.
    std::filesystem::path SourceFolder() const override { return sourceFolder_; }
    void SetSourceFolder(const std::filesystem::path& folder);
    void RefreshLocalList() override;

signals:
    // The window has closed and saved its settings; the tool ends.
    void Closed();

public slots:
    void BitBtn1Click();
    void CheckBox1Click();
    void ListBox1DblClick();
    void N1Click();
    void N5Click();
    void N6Click();
    void N7Click();  // the journal window
    // Card commands; they send frames only once the controller is connected
    // and idle.
    void Button1Click();      // upload all job files
    void Button2Click();      // delete every card file
    void ListBox2DblClick();  // refresh the card listing
    void N2Click();           // delete the selected card file
    void N3Click();           // upload the selected job file
    void N4Click();           // refresh the card listing

public:
    // --- what the link shows (LinkHost) ---
    void SetCaption(const std::string& text) override;
    void AddLogLine(const std::string& line) override;
    void AddLogLines(std::span<const std::string> lines) override;
    void ShowPort(const std::string& port) override;
    void ShowLinkInfo(const LinkValues& values) override;
    void CheckFirmware() override;
    void ClearCardList() override;
    void AddCardName(const std::string& name) override;
    void ListingCompleted(const std::vector<std::string>& names, std::uint64_t request) override;
    void ListingStalled(std::uint64_t request) override;
    void LinkLost(const std::string& reason) override;
    // The port on which the controller answered last, as the settings file
    // keeps it ("COM2", "ttyUSB0"; empty when none is known). The settings
    // load and save it on the GUI thread; the link thread reads it when its
    // search begins and sets it when a controller answers. Any thread.
    std::string SavedPort() override;
    void SetSavedPort(const std::string& port) override;

    // --- what the card commands ask (CardCommandsHost) ---
    bool DeleteJobFilesAfterUpload() override;
    bool DeleteCardFilesBeforeUpload() override;
    // The card listing as shown: each name's bytes as the controller sent them.
    std::vector<std::string> CardNames() const;
    std::optional<std::string> SelectedCardName() override;
    std::optional<std::filesystem::path> SelectedJobFile() override;
    void ShowMessage(const std::string& text) override;
    void RunWithProgress(const UploadProgress& start,
                         const std::function<void(const ProgressFn&)>& work) override;
    // The operator pressed "Остановить", or closed the window.
    bool StopRequested() override { return closeRequested_ || stopRequested_; }
    // Written to the journal; the first write that fails is reported once.
    void OperationEnded(const CardOperation& operation) override;

protected:
    void showEvent(QShowEvent* event) override;
    // A close asked for while a command runs (an upload, a message it
    // shows) waits until the command has ended; an upload ends after the
    // file being sent, so no file is cut short on the card.
    void closeEvent(QCloseEvent* event) override;

private:
    class CommandScope;

    // To the protocol log, and to the journal window's copy when shown.
    void AppendToLog(const QString& text);
    void FormCreate();
    // The window's first show. This is where the link thread that finds and
    // identifies the controller is started; until it exists, nothing runs.
    void FormShow();
    void FormClose();
    // The card controls: on once the firmware gate passes, off when the
    // controller is lost.
    void EnableCardControls(bool enabled);
    void ReportJournalFailure();

    std::unique_ptr<Ui::TForm1> ui_;
    // Controls, named as in the layout.
    QPushButton* BitBtn1;
    QLabel* Label1;
    QCheckBox* CheckBox1;
    QListWidget* ListBox1;
    QPushButton* Button1;
    QPushButton* Button2;
    QLabel* Label2;
    QCheckBox* CheckBox2;
    QListWidget* ListBox2;
    QPlainTextEdit* Memo1;
    QMenuBar* MainMenu1;
    QAction* N1;        // main menu: information window
    QAction* N6;        // main menu: about box
    QAction* N7;        // main menu: journal window
    QMenu* PopupMenu1;  // ListBox2's context menu: N4 refresh, N2 delete
    QAction* N4;
    QAction* N2;
    QMenu* PopupMenu2;  // ListBox1's context menu: N3 upload, N5 delete
    QAction* N3;
    QAction* N5;
    TForm2* information_ = nullptr;
    TAboutBox* about_ = nullptr;
    TJournalWindow* journalWindow_ = nullptr;

    std::filesystem::path settingsPath_;
    std::filesystem::path startingSettings_;
    // Why the settings file could not be read; while set, it is not saved.
    std::string settingsUnreadable_;
    std::filesystem::path sourceFolder_;
    // The source folder as the settings file keeps it.
    std::string keptFolderText_;
    // The job files ListBox1 lists, by their names on disk; an item's
    // kLocalFileRole is its index here.
    std::vector<std::filesystem::path> localFiles_;
    bool shown_ = false;
    // True while LoadSettings applies the file: the check boxes it changes
    // must not save (a save then would rewrite the file being read).
    bool loadingSettings_ = false;
    // Commands under way (nested: a message box runs the event loop), and a
    // close that waits for them.
    int commandsRunning_ = 0;
    bool closeRequested_ = false;
    // The progress window's "Остановить", for the command under way.
    bool stopRequested_ = false;
    TransferJournal journal_;
    // The controller the journal's lines name.
    std::string serialNumber_;
    std::string port_;
    // The journal could not be written and holds its lines until it can;
    // the operator is told once.
    bool journalFailurePending_ = false;
    mutable std::mutex savedPortMutex_;
    std::string savedPort_;  // guarded by savedPortMutex_
    std::unique_ptr<LinkSession> link_;
    std::unique_ptr<CardCommands> commands_;
};

extern TForm1* Form1;

}  // namespace cardpush
