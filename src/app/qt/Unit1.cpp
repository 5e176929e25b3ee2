#include "app/qt/Unit1.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStringList>
#include <QStyle>

#include "app/qt/Unit2.h"
#include "app/qt/about.h"
#include "app/qt/dialogs.h"
#include "app/qt/journal_window.h"
#include "app/qt/list_box.h"
#include "app/qt/qt_text.h"
#include "app/qt/upload_progress.h"
#include "session/session_texts.h"
#include "ui_Unit1.h"

namespace cardpush {
namespace {

constexpr int kDesignLeft = 408;
constexpr int kDesignTop = 238;

}  // namespace

TForm1::TForm1(SettingsStore settings, QWidget* parent, platform::CommApi& devices)
    : QMainWindow(parent), ui_(std::make_unique<Ui::TForm1>())
{
    ui_->setupUi(this);
    BitBtn1 = ui_->BitBtn1;
    Label1 = ui_->Label1;
    CheckBox1 = ui_->CheckBox1;
    ListBox1 = ui_->ListBox1;
    Button1 = ui_->Button1;
    Button2 = ui_->Button2;
    CheckBox2 = ui_->CheckBox2;
    ListBox2 = ui_->ListBox2;
    Memo1 = ui_->Memo1;
    AttachPopup(ListBox2, "PopupMenu1", {ui_->N4, ui_->N2});
    AttachPopup(ListBox1, "PopupMenu2", {ui_->N3, ui_->N5});

    // A single border: minimise and close, no maximise, no resizing.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    BitBtn1->setIconSize(QSize(32, 32));
    // The client area has a fixed size in the layout; the menu bar comes on
    // top of it, and the window can't be resized.
    adjustSize();
    setFixedSize(size());
    move(kDesignLeft, kDesignTop);
    Memo1->setMaximumBlockCount(kLogLinesKept);

    connect(BitBtn1, &QPushButton::clicked, this, &TForm1::BitBtn1Click);
    // Both boxes share one handler.
    connect(CheckBox1, &QCheckBox::toggled, this, &TForm1::CheckBox1Click);
    connect(CheckBox2, &QCheckBox::toggled, this, &TForm1::CheckBox1Click);
    OnDoubleClick(ListBox1, [this] { ListBox1DblClick(); });
    OnDoubleClick(ListBox2, [this] { ListBox2DblClick(); });
    connect(ui_->N1, &QAction::triggered, this, &TForm1::N1Click);
    connect(ui_->N2, &QAction::triggered, this, &TForm1::N2Click);
    connect(ui_->N3, &QAction::triggered, this, &TForm1::N3Click);
    connect(ui_->N4, &QAction::triggered, this, &TForm1::N4Click);
    connect(ui_->N5, &QAction::triggered, this, &TForm1::N5Click);
    connect(ui_->N6, &QAction::triggered, this, &TForm1::N6Click);
    connect(ui_->N7, &QAction::triggered, this, &TForm1::N7Click);
    connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);

    // FormCreate: the session loads the settings and shows them.
    session_ = std::make_unique<ToolSession>(*this, std::move(settings), devices);
}

TForm1::~TForm1()
{
    session_.reset();
}

// --- the operator's intent ---

void TForm1::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        session_->Start();  // FormShow
    }
}

void TForm1::closeEvent(QCloseEvent* event)
{
    if (!session_->RequestClose()) {
        event->ignore();
        // A question to the operator would hold the close up for as long as
        // nobody answers it.
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            box->reject();
        }
        return;
    }
    event->accept();  // FormClose: the session has saved the settings
    emit Closed();
}

void TForm1::BitBtn1Click()
{
    if (const auto folder =
            ChooseFolder(session_texts::kFolderDialogTitle, session_->SourceFolder())) {
        session_->ChooseSourceFolder(*folder);
    }
}

void TForm1::CheckBox1Click()
{
    session_->SetOptions({CheckBox1->isChecked(), CheckBox2->isChecked()});
}

void TForm1::N1Click()
{
    if (information_ != nullptr) {
        information_->show();
        information_->raise();
        information_->activateWindow();
    }
}

void TForm1::SetInformationWindow(TForm2* window)
{
    if (information_ != nullptr) {
        disconnect(information_, &TForm2::SwitchRequested, this, nullptr);
    }
    information_ = window;
    if (information_ != nullptr) {
        // The information window's "Подключить".
        connect(information_, &TForm2::SwitchRequested, this,
                [this](const std::string& port) { session_->SwitchController(port); });
    }
}

void TForm1::N6Click()
{
    if (about_ != nullptr) {
        about_->exec();
    }
}

void TForm1::N7Click()
{
    if (journalWindow_ == nullptr) {
        return;
    }
    if (!journalWindow_->isVisible()) {
        journalWindow_->ShowContent(session_->Journal().Latest(TJournalWindow::kLinesShown),
                                    Memo1->toPlainText());
    }
    journalWindow_->show();
    journalWindow_->raise();
    journalWindow_->activateWindow();
}

std::optional<std::string> TForm1::SelectedCardName() const
{
    const auto index = SelectedIndex(ListBox2);
    if (!index || *index >= static_cast<int>(cardNames_.size())) {
        return std::nullopt;
    }
    return cardNames_[static_cast<std::size_t>(*index)];
}

std::optional<std::filesystem::path> TForm1::SelectedJobFile() const
{
    const auto index = SelectedIndex(ListBox1);
    if (!index || *index >= static_cast<int>(localFiles_.size())) {
        return std::nullopt;
    }
    return localFiles_[static_cast<std::size_t>(*index)];
}

// --- what the session shows ---

void TForm1::ShowCaption(const std::string& text)
{
    setWindowTitle(ToQString(text));
}

void TForm1::AddLogLines(std::span<const std::string> lines)
{
    // One append for the lot: the log lays out what it is given per call.
    QStringList texts;
    for (const std::string& line : lines) {
        texts.append(ToQString(line));
    }
    const QString text = texts.join(QChar('\n'));
    Memo1->appendPlainText(text);
    if (journalWindow_ != nullptr && journalWindow_->isVisible()) {
        journalWindow_->AddLogLine(text);
    }
}

void TForm1::ShowSourceFolder(const std::filesystem::path& folder)
{
    Label1->setText(PathToQString(folder));
}

void TForm1::ShowOptions(const UploadOptions& options)
{
    const QSignalBlocker quiet1(CheckBox1);
    const QSignalBlocker quiet2(CheckBox2);
    CheckBox1->setChecked(options.deleteAfterUpload);
    CheckBox2->setChecked(options.emptyCardFirst);
}

void TForm1::ShowLocalFiles(const std::vector<std::filesystem::path>& names)
{
    localFiles_ = names;
    ListBox1->clear();
    for (std::size_t i = 0; i < names.size(); ++i) {
        ListBox1->addItem(IndexedItem(PathToQString(names[i]), static_cast<int>(i)));
    }
}

void TForm1::ClearCardList()
{
    cardNames_.clear();
    ListBox2->clear();
}

void TForm1::AddCardName(const std::string& listedName)
{
    ListBox2->addItem(IndexedItem(ToQString(listedName), static_cast<int>(cardNames_.size())));
    cardNames_.push_back(listedName);
}

void TForm1::EnableCardCommands(bool enabled)
{
    for (QWidget* control : {static_cast<QWidget*>(Button1), static_cast<QWidget*>(Button2),
                             static_cast<QWidget*>(CheckBox2), static_cast<QWidget*>(ListBox2)}) {
        control->setEnabled(enabled);
    }
    ui_->N3->setEnabled(enabled);
}

void TForm1::ShowPort(const std::string& port)
{
    if (information_ != nullptr) {
        information_->ShowPort(port);
    }
}

void TForm1::ShowLinkValues(const LinkValues& values)
{
    if (information_ != nullptr) {
        information_->ShowValues(values);
    }
}

void TForm1::ShowPortRows(const std::vector<PortRow>& rows)
{
    if (information_ != nullptr) {
        information_->ShowPortRows(rows);
    }
}

void TForm1::ShowMessage(const std::string& text)
{
    cardpush::ShowMessage(text);
}

void TForm1::ShowProgress(ProgressRun& run)
{
    // Modeless, so that this window's close button still works; the
    // operator's other commands stay out meanwhile.
    centralWidget()->setEnabled(false);
    ui_->MainMenu1->setEnabled(false);
    if (information_ != nullptr) {
        information_->AllowSwitch(false);
    }
    TUploadProgress(this).Run(run);
    centralWidget()->setEnabled(true);
    ui_->MainMenu1->setEnabled(true);
    if (information_ != nullptr) {
        information_->AllowSwitch(true);
    }
}

void TForm1::JournalLineAdded(const JournalFields& fields)
{
    if (journalWindow_ != nullptr && journalWindow_->isVisible()) {
        journalWindow_->AddJournalLine(fields);
    }
}

void TForm1::CloseNow()
{
    close();
}

}  // namespace cardpush
