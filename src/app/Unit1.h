// The main window: the tool's controls, its settings file and the list of
// local job files. The layout is resources/Unit1.ui.
//
// GUI thread only, except SavedPort()/SetSavedPort().
#pragma once

#include <QMainWindow>
#include <memory>
#include <string>

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

// The port on which the controller answered last, as the settings file
// keeps it ("COM2", "ttyUSB0"; empty when none is known). The settings load
// and save it on the GUI thread; the link thread reads it when its search
// begins and sets it when a controller answers. Guarded: any thread.
std::string SavedPort();
void SetSavedPort(std::string port);

class TForm1 : public QMainWindow {
    Q_OBJECT

public:
    // settingsFolder holds nastr.dat: the executable's folder in the tool;
    // tests pass a folder of their own. Creating the window loads the
    // settings (FormCreate).
    explicit TForm1(std::string settingsFolder, QWidget* parent = nullptr);
    ~TForm1() override;

    // Settings file (nastr.dat beside the executable). LoadSettings returns
    // false when there is no file or it could not be read; a failing save is
    // dropped without a word and leaves the previous file as it was.
    bool LoadSettings();
    void SaveSettings();

    // Source folder: the text of the hidden Label1, read at the moment of
    // use; empty when none has been chosen.
    std::string SourceFolder() const;
    void RefreshLocalList();
    // Deletes every file of folder matching "*.<extension>"; entries that
    // can't be deleted stay and the rest go on.
    void DeleteLocalFiles(const std::string& folder, const std::string& extension);

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
    QMenu* PopupMenu1;  // ListBox2's context menu: N4 refresh, N2 delete
    QAction* N4;
    QAction* N2;
    QMenu* PopupMenu2;  // ListBox1's context menu: N3 upload, N5 delete
    QAction* N3;
    QAction* N5;

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

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    // The window's first show. This is where the link thread that finds and
    // identifies the controller is started; until it exists, nothing runs.
    void FormShow();
    void FormClose();

    std::unique_ptr<Ui::TForm1> ui_;
    std::string settingsPath_;
    bool shown_ = false;
    // True while LoadSettings applies the file: the check boxes it changes
    // must not save (a save then would rewrite the file being read).
    bool loadingSettings_ = false;
};

extern TForm1* Form1;

}  // namespace cardpush
