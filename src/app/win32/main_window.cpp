#include "app/win32/main_window.h"

#include <shellapi.h>

#include <utility>

#include "app/win32/about_box.h"
#include "app/win32/dialogs.h"
#include "app/win32/info_window.h"
#include "app/win32/journal_window.h"
#include "app/win32/upload_progress.h"
#include "platform/wide_text.h"
#include "session/session_texts.h"
#include "ui_layout.h"

namespace cardpush::win32 {
namespace {

using ui_layout::ControlNamed;
using ui_layout::kTForm1;
using ui_layout::MenuItemNamed;

constexpr wchar_t kClassName[] = L"TForm1";
// A single border with the system menu and the minimise box: the window
// can't be resized or maximised.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

constexpr int kBitBtn1 = ControlNamed(kTForm1, "BitBtn1").id;
constexpr int kLabel1 = ControlNamed(kTForm1, "Label1").id;
constexpr int kCheckBox1 = ControlNamed(kTForm1, "CheckBox1").id;
constexpr int kListBox1 = ControlNamed(kTForm1, "ListBox1").id;
constexpr int kButton1 = ControlNamed(kTForm1, "Button1").id;
constexpr int kButton2 = ControlNamed(kTForm1, "Button2").id;
constexpr int kCheckBox2 = ControlNamed(kTForm1, "CheckBox2").id;
constexpr int kListBox2 = ControlNamed(kTForm1, "ListBox2").id;
constexpr int kN1 = MenuItemNamed(kTForm1, "N1").id;
constexpr int kN2 = MenuItemNamed(kTForm1, "N2").id;
constexpr int kN3 = MenuItemNamed(kTForm1, "N3").id;
constexpr int kN4 = MenuItemNamed(kTForm1, "N4").id;
constexpr int kN5 = MenuItemNamed(kTForm1, "N5").id;
constexpr int kN6 = MenuItemNamed(kTForm1, "N6").id;
constexpr int kN7 = MenuItemNamed(kTForm1, "N7").id;

// The open folder among shell32.dll's icons.
constexpr int kShellOpenFolderIcon = 4;

void AppendItem(HMENU menu, const ui_layout::MenuItem& item)
{
    AppendMenuW(menu, MF_STRING | (item.enabled ? MF_ENABLED : MF_GRAYED),
                static_cast<UINT_PTR>(item.id), WideFromUtf8(item.text).c_str());
}

HMENU MakeMenuBar()
{
    HMENU bar = CreateMenu();
    for (const char* name : kTForm1.menuBar) {
        AppendItem(bar, MenuItemNamed(kTForm1, name));
    }
    return bar;
}

HMENU MakePopup(std::initializer_list<const char*> names)
{
    HMENU popup = CreatePopupMenu();
    for (const char* name : names) {
        AppendItem(popup, MenuItemNamed(kTForm1, name));
    }
    return popup;
}

// Adds a row and has the list drawn again: a list box that was disabled
// when it was last drawn need not draw a new row by itself.
void AddItem(HWND list, const std::wstring& text)
{
    SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    InvalidateRect(list, nullptr, TRUE);
}

}  // namespace

MainWindow::MainWindow(SettingsStore settings, platform::CommApi& devices)
{
    menuBar_ = MakeMenuBar();
    cardPopup_ = MakePopup({"N4", "N2"});
    localPopup_ = MakePopup({"N3", "N5"});
    CreateForm(kClassName, kStyle, 0, nullptr, kTForm1, menuBar_);
    if (Handle() == nullptr) {
        throw std::runtime_error("the main window could not be made");
    }
    SetDialogOwner(Handle());

    // The bitmap button's picture: the shell's open folder (from its icon
    // file where the stock icon is missing, as under Wine).
    SHSTOCKICONINFO stock{};
    stock.cbSize = sizeof(stock);
    if (SUCCEEDED(SHGetStockIconInfo(SIID_FOLDEROPEN, SHGSI_ICON | SHGSI_LARGEICON, &stock))) {
        folderIcon_ = stock.hIcon;
    }
    if (folderIcon_ == nullptr) {
        ExtractIconExW(L"shell32.dll", kShellOpenFolderIcon, &folderIcon_, nullptr, 1);
    }
    if (folderIcon_ != nullptr) {
        SendMessageW(Control(kBitBtn1), BM_SETIMAGE, IMAGE_ICON,
                     reinterpret_cast<LPARAM>(folderIcon_));
    }

    information_ = std::make_unique<InfoWindow>(Handle());
    // The information window's "Подключить".
    information_->SetSwitchHandler([this](const std::string& port) {
        if (session_ && !closing_) {
            session_->SwitchController(port);
        }
    });
    about_ = std::make_unique<AboutBox>(Handle());
    journal_ = std::make_unique<JournalWindow>(Handle());
    const bool inUserFolder = settings.InUserFolder();
    // FormCreate: the session loads the settings and shows them.
    session_ = std::make_unique<ToolSession>(*this, std::move(settings), devices);
    if (inUserFolder) {
        about_->ShowSettingsPlace(session_->SettingsFile());
    }
}

MainWindow::~MainWindow()
{
    session_.reset();
    journal_.reset();
    about_.reset();
    information_.reset();
    SetDialogOwner(nullptr);
    if (cardPopup_ != nullptr) {
        DestroyMenu(cardPopup_);
    }
    if (localPopup_ != nullptr) {
        DestroyMenu(localPopup_);
    }
    if (folderIcon_ != nullptr) {
        DestroyIcon(folderIcon_);
    }
    // The menu bar goes with the window (the base class destroys it).
}

void MainWindow::Show(int showCommand)
{
    ShowWindow(Handle(), showCommand);
    UpdateWindow(Handle());
    if (!started_) {
        started_ = true;
        session_->Start();  // FormShow
    }
}

// --- the operator's intent ---

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_CONTEXTMENU:
            OnContextMenu(reinterpret_cast<HWND>(wParam), lParam);
            return 0;
        case WM_CLOSE:
            OnClose();
            return 0;
        case WM_QUERYENDSESSION:
            // Windows is shutting down: the settings are saved when it does.
            return TRUE;
        case WM_ENDSESSION:
            if (wParam != FALSE && session_ && !closing_) {
                session_->RequestClose();
            }
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return Window::HandleMessage(message, wParam, lParam);
    }
}

void MainWindow::OnCommand(int id, int notification)
{
    if (!session_ || closing_) {
        return;
    }
    if (id == kListBox1 || id == kListBox2) {
        if (notification == LBN_DBLCLK) {
            if (id == kListBox1) {
                session_->RefreshLocalList();
            } else {
                session_->RefreshCardList();
            }
        }
        return;
    }
    if (id == kCheckBox1 || id == kCheckBox2) {
        if (notification == BN_CLICKED) {
            // Both boxes share one handler.
            const auto checked = [this](int box) {
                return SendMessageW(Control(box), BM_GETCHECK, 0, 0) == BST_CHECKED;
            };
            session_->SetOptions({checked(kCheckBox1), checked(kCheckBox2)});
        }
        return;
    }
    if (id == kBitBtn1) {
        if (const auto folder =
                ChooseFolder(session_texts::kFolderDialogTitle, session_->SourceFolder())) {
            session_->ChooseSourceFolder(*folder);
        }
    } else if (id == kButton1) {
        session_->UploadAll();
    } else if (id == kButton2) {
        session_->DeleteAllCardFiles();
    } else if (id == kN1) {
        information_->Present();
    } else if (id == kN6) {
        about_->ShowModal();
    } else if (id == kN7) {
        OpenJournal();
    } else if (id == kN2) {
        // A card command that arrives with the list off (a message sent to
        // the window) is not the operator's: the list is the command's gate.
        if (IsWindowEnabled(Control(kListBox2))) {
            session_->DeleteCardFile(SelectedCardName());
        }
    } else if (id == kN4) {
        if (IsWindowEnabled(Control(kListBox2))) {
            session_->RefreshCardList();
        }
    } else if (id == kN3) {
        if (cardCommandsEnabled_) {
            session_->UploadJobFile(SelectedJobFile());
        }
    } else if (id == kN5) {
        session_->DeleteLocalFile(SelectedJobFile());
    }
}

void MainWindow::OnContextMenu(HWND source, LPARAM where)
{
    HMENU popup = nullptr;
    if (source == Control(kListBox1)) {
        popup = localPopup_;
    } else if (source == Control(kListBox2) && IsWindowEnabled(source)) {
        popup = cardPopup_;
    }
    if (popup == nullptr || !IsWindowEnabled(Handle())) {
        return;
    }
    POINT at{static_cast<short>(LOWORD(where)), static_cast<short>(HIWORD(where))};
    if (where == -1) {
        // From the keyboard: at the list's top left corner.
        RECT box;
        GetWindowRect(source, &box);
        at = {box.left, box.top};
    }
    // The command comes as WM_COMMAND, after the menu has closed.
    TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, Handle(), nullptr);
}

void MainWindow::OnClose()
{
    if (!session_ || closing_) {
        return;
    }
    if (!session_->RequestClose()) {
        // A question to the operator would hold the close up for as long as
        // nobody answers it: a message box of ours is closed (as its OK).
        EnumThreadWindows(
            GetCurrentThreadId(),
            [](HWND window, LPARAM owner) -> BOOL {
                wchar_t name[16] = {};
                GetClassNameW(window, name, 16);
                if (GetWindow(window, GW_OWNER) == reinterpret_cast<HWND>(owner) &&
                    wcscmp(name, L"#32770") == 0) {
                    PostMessageW(window, WM_CLOSE, 0, 0);
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(Handle()));
        return;
    }
    // FormClose: the session has saved the settings. The windows stay (hidden)
    // until the session has gone, which stops the link thread; then the
    // process ends.
    closing_ = true;
    ShowWindow(Handle(), SW_HIDE);
    PostQuitMessage(0);
}

std::optional<int> MainWindow::SelectedIndex(int listId) const
{
    const LRESULT index = SendMessageW(Control(listId), LB_GETCURSEL, 0, 0);
    if (index == LB_ERR || index < 0) {
        return std::nullopt;
    }
    return static_cast<int>(index);
}

std::optional<std::string> MainWindow::SelectedCardName() const
{
    const auto index = SelectedIndex(kListBox2);
    if (!index || *index >= static_cast<int>(cardNames_.size())) {
        return std::nullopt;
    }
    return cardNames_[static_cast<std::size_t>(*index)];
}

std::optional<std::filesystem::path> MainWindow::SelectedJobFile() const
{
    const auto index = SelectedIndex(kListBox1);
    if (!index || *index >= static_cast<int>(localFiles_.size())) {
        return std::nullopt;
    }
    return localFiles_[static_cast<std::size_t>(*index)];
}

void MainWindow::OpenJournal()
{
    if (!journal_->IsShown()) {
        std::wstring log;
        for (const std::wstring& line : log_) {
            if (!log.empty()) {
                log += L"\r\n";
            }
            log += line;
        }
        journal_->ShowContent(session_->Journal().Latest(JournalWindow::kLinesShown), log);
    }
    journal_->Present();
}

void MainWindow::EnableOperatorInput(bool enabled)
{
    // The controls the session enabled stay as it left them; the others
    // follow the command.
    for (const int id : {kBitBtn1, kCheckBox1, kListBox1}) {
        EnableWindow(Control(id), enabled);
    }
    for (const int id : {kButton1, kButton2, kCheckBox2, kListBox2}) {
        EnableWindow(Control(id), enabled && cardCommandsEnabled_);
    }
    information_->AllowSwitch(enabled);
    const int count = GetMenuItemCount(menuBar_);
    for (int i = 0; i < count; ++i) {
        EnableMenuItem(menuBar_, static_cast<UINT>(i),
                       MF_BYPOSITION | (enabled ? MF_ENABLED : MF_GRAYED));
    }
    DrawMenuBar(Handle());
}

// --- what the session shows ---

void MainWindow::ShowCaption(const std::string& text)
{
    SetText(Handle(), WideFromCp1251(text));
}

void MainWindow::AddLogLines(std::span<const std::string> lines)
{
    std::wstring text;
    for (const std::string& line : lines) {
        std::wstring wide = WideFromCp1251(line);
        if (!text.empty()) {
            text += L"\r\n";
        }
        text += wide;
        log_.push_back(std::move(wide));
    }
    while (log_.size() > static_cast<std::size_t>(kLogLinesKept)) {
        log_.pop_front();
    }
    if (journal_ && journal_->IsShown()) {
        journal_->AddLogLines(text);
    }
}

void MainWindow::ShowSourceFolder(const std::filesystem::path& folder)
{
    SetText(Control(kLabel1), folder.native());
}

void MainWindow::ShowOptions(const UploadOptions& options)
{
    SendMessageW(Control(kCheckBox1), BM_SETCHECK,
                 options.deleteAfterUpload ? BST_CHECKED : BST_UNCHECKED, 0);
    SendMessageW(Control(kCheckBox2), BM_SETCHECK,
                 options.emptyCardFirst ? BST_CHECKED : BST_UNCHECKED, 0);
}

void MainWindow::ShowLocalFiles(const std::vector<std::filesystem::path>& names)
{
    localFiles_ = names;
    HWND list = Control(kListBox1);
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    for (const std::filesystem::path& name : names) {
        AddItem(list, name.native());
    }
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

void MainWindow::ClearCardList()
{
    cardNames_.clear();
    SendMessageW(Control(kListBox2), LB_RESETCONTENT, 0, 0);
    InvalidateRect(Control(kListBox2), nullptr, TRUE);
}

void MainWindow::AddCardName(const std::string& listedName)
{
    AddItem(Control(kListBox2), WideFromCp1251(listedName));
    cardNames_.push_back(listedName);
}

void MainWindow::EnableCardCommands(bool enabled)
{
    cardCommandsEnabled_ = enabled;
    for (const int id : {kButton1, kButton2, kCheckBox2, kListBox2}) {
        EnableWindow(Control(id), enabled);
    }
    EnableMenuItem(localPopup_, static_cast<UINT>(kN3),
                   MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void MainWindow::ShowPort(const std::string& port)
{
    information_->ShowPort(port);
}

void MainWindow::ShowLinkValues(const LinkValues& values)
{
    information_->ShowValues(values);
}

void MainWindow::ShowPortRows(const std::vector<PortRow>& rows)
{
    information_->ShowPortRows(rows);
}

void MainWindow::ShowMessage(const std::string& text)
{
    win32::ShowMessage(text);
}

void MainWindow::ShowProgress(ProgressRun& run)
{
    EnableOperatorInput(false);
    UploadProgress(Handle()).Run(run);
    EnableOperatorInput(true);
}

void MainWindow::JournalLineAdded(const JournalFields& fields)
{
    if (journal_ && journal_->IsShown()) {
        journal_->AddJournalLine(fields);
    }
}

void MainWindow::CloseNow()
{
    Close();
}

}  // namespace cardpush::win32
