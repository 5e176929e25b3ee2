#include "app/Unit1.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QStyle>
#include <QTimer>
#include <algorithm>
#include <cassert>
#include <utility>

#include "app/Unit2.h"
#include "app/about.h"
#include "app/dialogs.h"
#include "app/journal_window.h"
#include "app/qt_text.h"
#include "app/settings_format.h"
#include "app/texts.h"
#include "app/upload_progress.h"
#include "jobs/job_texts.h"
#include "link/link_session.h"
#include "link/link_texts.h"
#include "link/number.h"
#include "platform/files.h"
#include "platform/main_thread.h"
#include "ui_Unit1.h"

namespace cardpush {

TForm1* Form1 = nullptr;

namespace {

constexpr char kJobExtension[] = "txt";
constexpr int kDesignLeft = 408;
constexpr int kDesignTop = 238;
// The protocol log is never shown; on a long run it keeps its latest lines.
constexpr int kLogLinesKept = 10000;
// A card name's bytes as the controller sent them, beside the item's text.
constexpr int kCardNameRole = Qt::UserRole;
// A job file's index in the list of names on disk, beside the item's text.
constexpr int kLocalFileRole = Qt::UserRole;

// Double clicks anywhere in a list box, on an item or not, as the list box's
// own double-click event.
class DoubleClickFilter : public QObject {
public:
    DoubleClickFilter(QObject* parent, std::function<void()> handler)
        : QObject(parent), handler_(std::move(handler))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonDblClick) {
            handler_();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> handler_;
};

void AttachPopup(QListWidget* list, QMenu* menu)
{
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(list, &QWidget::customContextMenuRequested, menu,
                     [list, menu](QPoint at) { menu->popup(list->viewport()->mapToGlobal(at)); });
}

}  // namespace

// Marks a command under way for as long as it runs; when the last one ends,
// a close that waited for it goes ahead.
class TForm1::CommandScope {
public:
    explicit CommandScope(TForm1& form) : form_(form)
    {
        // A stop asked for during one command does not carry over to the next.
        if (form_.commandsRunning_++ == 0) {
            form_.stopRequested_ = false;
        }
    }
    ~CommandScope()
    {
        if (form_.commandsRunning_ == 1 && form_.journalFailurePending_) {
            QTimer::singleShot(0, &form_, [form = &form_] { form->ReportJournalFailure(); });
        }
        if (--form_.commandsRunning_ == 0 && form_.closeRequested_) {
            // After the handler has returned all the way.
            QTimer::singleShot(0, &form_, [form = &form_] { form->close(); });
        }
    }
    CommandScope(const CommandScope&) = delete;
    CommandScope& operator=(const CommandScope&) = delete;

private:
    TForm1& form_;
};

using platform::MainThread;

TForm1::TForm1(const std::filesystem::path& settingsFolder, QWidget* parent,
               platform::CommApi& devices, std::filesystem::path startingSettings)
    : QMainWindow(parent),
      ui_(std::make_unique<Ui::TForm1>()),
      settingsPath_(settingsFolder / kSettingsFileName),
      startingSettings_(std::move(startingSettings)),
      journal_(settingsFolder / TransferJournal::kFileName),
      link_(std::make_unique<LinkSession>(*this, devices)),
      commands_(std::make_unique<CardCommands>(*link_, *this))
{
    ui_->setupUi(this);
    BitBtn1 = ui_->BitBtn1;
    Label1 = ui_->Label1;
    CheckBox1 = ui_->CheckBox1;
    ListBox1 = ui_->ListBox1;
    Button1 = ui_->Button1;
    Button2 = ui_->Button2;
    Label2 = ui_->Label2;
    CheckBox2 = ui_->CheckBox2;
    ListBox2 = ui_->ListBox2;
    Memo1 = ui_->Memo1;
    MainMenu1 = ui_->MainMenu1;
    N1 = ui_->N1;
    N2 = ui_->N2;
    N3 = ui_->N3;
    N4 = ui_->N4;
    N5 = ui_->N5;
    N6 = ui_->N6;
    N7 = ui_->N7;

    // Popup menus can't be laid out in the designer; their items can.
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName("PopupMenu1");
    PopupMenu1->addAction(N4);
    PopupMenu1->addAction(N2);
    AttachPopup(ListBox2, PopupMenu1);
    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName("PopupMenu2");
    PopupMenu2->addAction(N3);
    PopupMenu2->addAction(N5);
    AttachPopup(ListBox1, PopupMenu2);

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

    connect(BitBtn1, &QPushButton::clicked, this, &TForm1::BitBtn1Click);
    // Both boxes share one handler, which runs for the program's changes too.
    connect(CheckBox1, &QCheckBox::toggled, this, &TForm1::CheckBox1Click);
    connect(CheckBox2, &QCheckBox::toggled, this, &TForm1::CheckBox1Click);
    ListBox1->viewport()->installEventFilter(
        new DoubleClickFilter(this, [this] { ListBox1DblClick(); }));
    connect(N1, &QAction::triggered, this, &TForm1::N1Click);
    connect(N5, &QAction::triggered, this, &TForm1::N5Click);
    connect(N6, &QAction::triggered, this, &TForm1::N6Click);
    connect(N7, &QAction::triggered, this, &TForm1::N7Click);
    connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
    ListBox2->viewport()->installEventFilter(
        new DoubleClickFilter(this, [this] { ListBox2DblClick(); }));
    connect(N2, &QAction::triggered, this, &TForm1::N2Click);
    connect(N3, &QAction::triggered, this, &TForm1::N3Click);
    connect(N4, &QAction::triggered, this, &TForm1::N4Click);
    Memo1->setMaximumBlockCount(kLogLinesKept);

    FormCreate();
}

TForm1::~TForm1()
{
    commands_.reset();
    link_.reset();
}

void TForm1::FormCreate()
{
    LoadSettings();
}

void TForm1::FormShow()
{
    link_->Start();
    if (!settingsUnreadable_.empty()) {
        // Once the window is up, so that the message has a window to stand on.
        QTimer::singleShot(0, this, [this] {
            cardpush::ShowMessage(texts::kSettingsUnreadable.str() + settingsUnreadable_ +
                                  texts::kSettingsUnreadableEnd.str());
        });
    }
}

void TForm1::FormClose()
{
    SaveSettings();
}

void TForm1::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
}

void TForm1::closeEvent(QCloseEvent* event)
{
    if (commandsRunning_ > 0) {
        closeRequested_ = true;
        event->ignore();
        // A question to the operator would hold the close up for as long as
        // nobody answers it; the progress of an upload is left to finish.
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            box->reject();
        }
        return;
    }
    FormClose();
    event->accept();
    emit Closed();
}

bool TForm1::LoadSettings()
{
    SetSavedPort({});
    std::filesystem::path path = settingsPath_;
    if (!platform::FileExists(path) && !startingSettings_.empty()) {
        path = startingSettings_;
    }
    if (!platform::FileExists(path)) {
        return false;
    }
    std::string file;
    try {
        file = platform::ReadStampedFile(path, kMaxSettingsBytes).bytes;
    } catch (const platform::EFileError& error) {
        settingsUnreadable_ = error.what();
        return false;
    }
    loadingSettings_ = true;
    struct EndOfLoading {
        bool& flag;
        ~EndOfLoading() { flag = false; }
    } endOfLoading{loadingSettings_};
    for (const SettingLine& line : ParseSettings(file)) {
        switch (line.key) {
            case kSourceFolderKey:
                keptFolderText_ = line.value;
                sourceFolder_ = platform::PathFromText(line.value);
                Label1->setText(PathToQString(sourceFolder_));
                RefreshLocalList();
                break;
            case kPortKey:
                SetSavedPort(line.value);
                break;
            case kDeleteAfterUploadKey:
                CheckBox1->setChecked(IsCheckedValue(line.value));
                break;
            case kDeleteBeforeUploadKey:
                CheckBox2->setChecked(IsCheckedValue(line.value));
                break;
        }
    }
    return true;
}

void TForm1::SaveSettings()
{
    if (loadingSettings_ || !settingsUnreadable_.empty()) {
        return;
    }
    Settings settings;
    if (platform::TextHoldsPath(sourceFolder_)) {
        keptFolderText_ = platform::PathText(sourceFolder_);
    }
    settings.sourceFolder = keptFolderText_;
    settings.port = SavedPort();
    settings.deleteAfterUpload = CheckBox1->isChecked();
    settings.deleteBeforeUpload = CheckBox2->isChecked();
    try {
        platform::WriteFileAtomically(settingsPath_, FormatSettings(settings));
    } catch (const platform::EFileError&) {
        // A save that fails is not reported; the previous file stays whole.
    }
}

void TForm1::SetSourceFolder(const std::filesystem::path& folder)
{
    sourceFolder_ = folder;
    Label1->setText(PathToQString(folder));
    SaveSettings();
    RefreshLocalList();
    if (!platform::TextHoldsPath(folder)) {
        cardpush::ShowMessage(texts::kFolderNotKept);
    }
}

void TForm1::RefreshLocalList()
{
    ListBox1->clear();
    localFiles_ = platform::ListFolder(sourceFolder_, kJobExtension);
    for (std::size_t i = 0; i < localFiles_.size(); ++i) {
        auto* item = new QListWidgetItem(PathToQString(localFiles_[i]));
        item->setData(kLocalFileRole, static_cast<qulonglong>(i));
        ListBox1->addItem(item);
    }
}

void TForm1::BitBtn1Click()
{
    if (const auto folder = ChooseFolder(texts::kFolderDialogTitle, sourceFolder_)) {
        SetSourceFolder(*folder);
    }
}

void TForm1::CheckBox1Click()
{
    SaveSettings();
}

void TForm1::ListBox1DblClick()
{
    RefreshLocalList();
}

void TForm1::N1Click()
{
    if (information_ != nullptr) {
        information_->show();
        information_->raise();
        information_->activateWindow();
    }
}

void TForm1::N5Click()
{
    const auto name = SelectedJobFile();
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
        journalWindow_->ShowContent(journal_.Latest(TJournalWindow::kLinesShown),
                                    Memo1->toPlainText());
    }
    journalWindow_->show();
    journalWindow_->raise();
    journalWindow_->activateWindow();
}

void TForm1::OperationEnded(const CardOperation& operation)
{
    assert(MainThread::IsCurrent());
    const auto fields = journal_.Append(operation);
    if (journal_.TakeHoldNotice()) {
        // Said once a command has ended: a message box now would let the
        // link's news in between frames that go out back to back.
        journalFailurePending_ = true;
        if (commandsRunning_ == 0) {
            ReportJournalFailure();
        }
    }
    if (fields && journalWindow_ != nullptr && journalWindow_->isVisible()) {
        journalWindow_->AddJournalLine(*fields);
    }
}

void TForm1::ReportJournalFailure()
{
    if (!journalFailurePending_) {
        return;
    }
    journalFailurePending_ = false;
    ShowMessage(texts::kJournalUnwritable.str() + platform::PathText(journal_.File()));
}

void TForm1::Button1Click()
{
    const CommandScope running(*this);
    commands_->UploadAll();
}

void TForm1::Button2Click()
{
    const CommandScope running(*this);
    commands_->DeleteAll();
}

void TForm1::ListBox2DblClick()
{
    commands_->Refresh();
}

void TForm1::N2Click()
{
    const CommandScope running(*this);
    commands_->DeleteSelected();
}

void TForm1::N3Click()
{
    const CommandScope running(*this);
    commands_->UploadSelected();
}

void TForm1::N4Click()
{
    commands_->Refresh();
}

void TForm1::SetCaption(const std::string& text)
{
    assert(MainThread::IsCurrent());
    setWindowTitle(ToQString(text));
}

void TForm1::AddLogLine(const std::string& line)
{
    AppendToLog(ToQString(line));
}

void TForm1::AddLogLines(std::span<const std::string> lines)
{
    // One append for the lot: the log lays out what it is given per call,
    // and lines beyond what it keeps would only be dropped again.
    lines = lines.last(std::min<std::size_t>(lines.size(), kLogLinesKept));
    if (lines.empty()) {
        return;
    }
    QStringList texts;
    texts.reserve(static_cast<qsizetype>(lines.size()));
    for (const std::string& line : lines) {
        texts.append(ToQString(line));
    }
    AppendToLog(texts.join(QChar('\n')));
}

void TForm1::AppendToLog(const QString& text)
{
    assert(MainThread::IsCurrent());
    Memo1->appendPlainText(text);
    if (journalWindow_ != nullptr && journalWindow_->isVisible()) {
        journalWindow_->AddLogLine(text);
    }
}

void TForm1::ShowPort(const std::string& port)
{
    assert(MainThread::IsCurrent());
    port_ = port;
    journal_.SetController(serialNumber_, port_);
    if (information_ != nullptr) {
        information_->ShowPort(port);
    }
}

void TForm1::ShowLinkInfo(const LinkValues& values)
{
    assert(MainThread::IsCurrent());
    serialNumber_ = values.SerialNumber;
    journal_.SetController(serialNumber_, port_);
    if (information_ != nullptr) {
        information_->ShowValues(values);
    }
}

void TForm1::CheckFirmware()
{
    assert(MainThread::IsCurrent());
    const std::string shown = information_ != nullptr ? information_->FirmwareText() : "";
    if (!FirmwareSupportsUpload(shown)) {
        SetCaption(texts::kFirmwareRefused);
        return;
    }
    EnableCardControls(true);
    SetCaption(texts::kMainCaption);
}

void TForm1::EnableCardControls(bool enabled)
{
    for (QWidget* control : {static_cast<QWidget*>(Button1), static_cast<QWidget*>(Button2),
                             static_cast<QWidget*>(CheckBox2), static_cast<QWidget*>(ListBox2)}) {
        control->setEnabled(enabled);
    }
    N3->setEnabled(enabled);
}

void TForm1::LinkLost(const std::string& reason)
{
    assert(MainThread::IsCurrent());
    EnableCardControls(false);
    ListBox2->clear();
    SetCaption(link_texts::kLinkFailed.str() + reason);
    if (commands_) {
        const CommandScope running(*this);
        commands_->LinkLost();
    }
}

void TForm1::ClearCardList()
{
    assert(MainThread::IsCurrent());
    ListBox2->clear();
}

void TForm1::ListingCompleted(const std::vector<std::string>& names, std::uint64_t request)
{
    assert(MainThread::IsCurrent());
    // The link's news may still come while the window goes.
    if (commands_) {
        const CommandScope running(*this);
        commands_->ListingCompleted(names, request);
    }
}

void TForm1::ListingStalled(std::uint64_t request)
{
    assert(MainThread::IsCurrent());
    if (commands_) {
        const CommandScope running(*this);
        commands_->ListingStalled(request);
    }
}

void TForm1::AddCardName(const std::string& name)
{
    assert(MainThread::IsCurrent());
    auto* item = new QListWidgetItem(ToQString(name));
    item->setData(kCardNameRole, QByteArray(name.data(), static_cast<qsizetype>(name.size())));
    ListBox2->addItem(item);
}

std::string TForm1::SavedPort()
{
    std::lock_guard lock(savedPortMutex_);
    return savedPort_;
}

void TForm1::SetSavedPort(const std::string& port)
{
    std::lock_guard lock(savedPortMutex_);
    savedPort_ = port;
}

bool TForm1::DeleteJobFilesAfterUpload()
{
    return CheckBox1->isChecked();
}

bool TForm1::DeleteCardFilesBeforeUpload()
{
    return CheckBox2->isChecked();
}

namespace {

std::string CardNameOf(const QListWidgetItem* item)
{
    const QByteArray bytes = item->data(kCardNameRole).toByteArray();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace

std::vector<std::string> TForm1::CardNames() const
{
    std::vector<std::string> names;
    for (int i = 0; i < ListBox2->count(); ++i) {
        names.push_back(CardNameOf(ListBox2->item(i)));
    }
    return names;
}

std::optional<std::string> TForm1::SelectedCardName()
{
    const QList<QListWidgetItem*> selected = ListBox2->selectedItems();
    if (selected.isEmpty()) {
        return std::nullopt;
    }
    return CardNameOf(selected.front());
}

std::optional<std::filesystem::path> TForm1::SelectedJobFile()
{
    const QList<QListWidgetItem*> selected = ListBox1->selectedItems();
    if (selected.isEmpty()) {
        return std::nullopt;
    }
    const auto index = selected.front()->data(kLocalFileRole).toULongLong();
    if (index >= localFiles_.size()) {
        return std::nullopt;
    }
    return localFiles_[index];
}

void TForm1::ShowMessage(const std::string& text)
{
    // A close asked for ends a series of messages at once; the command
    // ends soon after, and the journal keeps what it had to say.
    if (!closeRequested_) {
        cardpush::ShowMessage(text);
    }
}

void TForm1::RunWithProgress(const UploadProgress& start,
                             const std::function<void(const ProgressFn&)>& work)
{
    TUploadProgress progress(this, link_->LineBytesPerSecond());
    progress.SetStopEnabled(!stopRequested_ && !closeRequested_);
    connect(&progress, &TUploadProgress::StopClicked, this, [this] { stopRequested_ = true; });
    // The progress window is modeless, so that this window's close button
    // still works; the operator's other commands stay out meanwhile.
    centralWidget()->setEnabled(false);
    MainMenu1->setEnabled(false);
    struct Enable {
        TForm1& form;
        ~Enable()
        {
            form.centralWidget()->setEnabled(true);
            form.MainMenu1->setEnabled(true);
        }
    } enableAfter{*this};
    progress.Run(start, work);
}

}  // namespace cardpush
