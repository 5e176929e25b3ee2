// wintest: reads and drives the windows of another Windows program, for the
// black-box tests that run the tool's Windows executable under Wine (or on
// Windows). One command per run; captions and texts are UTF-8 on the command
// line (Wine turns them into UTF-16 under a UTF-8 locale) and on the output.
//
// A window is named by its exact caption: the first visible top-level window
// carrying it; by its window class as "#CLASS", the first visible one of the
// class; or by its handle as "@0x1234" (as wait-window and wait-message print
// it), for a window whose caption changes or is not known. A control is
// named by its window and its control ID, and is looked for among all the
// window's descendants.
//
// Exit codes: 0 done, 1 not found or timed out, 2 usage, 3 refused (the
// control or its window is disabled or hidden, as it would be to a person).
#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr int kOk = 0;
constexpr int kNotFound = 1;
constexpr int kUsage = 2;
constexpr int kRefused = 3;

constexpr DWORD kDefaultTimeoutMs = 10000;
// How long a message sent to the program may take before we stop waiting for
// its answer. A click or a menu command that opens a modal window is only
// answered when that window closes: it goes on being handled after we return.
constexpr UINT kSendTimeoutMs = 5000;
constexpr UINT kCommandWaitMs = 1000;
constexpr DWORD kPollMs = 50;

// Sends a message that only reads; -1 (the lists' error value) when the
// program does not answer in time.
LONG_PTR Ask(HWND window, UINT message, WPARAM wparam, LPARAM lparam = 0)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wparam, lparam, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                             &result)) {
        return -1;
    }
    return static_cast<LONG_PTR>(result);
}

std::string Utf8(const std::wstring& text)
{
    if (text.empty()) {
        return {};
    }
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

// Writes to a console as UTF-16, and to a pipe or file (as under Wine) as
// UTF-8 bytes.
void Write(DWORD which, const std::wstring& text)
{
    HANDLE handle = GetStdHandle(which);
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(handle, &mode)) {
        WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    std::string bytes = Utf8(text);
    WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void Say(const std::wstring& line)
{
    Write(STD_OUTPUT_HANDLE, line + L"\n");
}

int Fail(int code, const std::wstring& why)
{
    Write(STD_ERROR_HANDLE, L"wintest: " + why + L"\n");
    return code;
}

std::wstring Quoted(const std::wstring& text)
{
    return L"\"" + text + L"\"";
}

// The window's text through WM_GETTEXT, which the system carries between
// processes; empty when the program does not answer in time.
std::wstring TextOf(HWND window)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                             &length)) {
        return {};
    }
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied)) {
        return {};
    }
    text.resize(copied < length ? copied : length);
    return text;
}

std::wstring ClassOf(HWND window)
{
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

std::vector<HWND> TopLevelWindows()
{
    std::vector<HWND> windows;
    EnumWindows(
        [](HWND window, LPARAM found) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::wstring CaptionOf(HWND window)
{
    int length = GetWindowTextLengthW(window);
    std::wstring caption(static_cast<size_t>(length) + 1, L'\0');
    caption.resize(static_cast<size_t>(GetWindowTextW(window, caption.data(), length + 1)));
    return caption;
}

std::wstring HandleText(HWND window)
{
    wchar_t handle[32];
    swprintf(handle, 32, L"0x%llx",
             static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)));
    return handle;
}

HWND FindTopLevel(const std::wstring& caption)
{
    if (caption.size() > 1 && caption[0] == L'@') {
        wchar_t* end = nullptr;
        unsigned long long value = std::wcstoull(caption.c_str() + 1, &end, 16);
        HWND window = reinterpret_cast<HWND>(static_cast<UINT_PTR>(value));
        return *end == L'\0' && IsWindow(window) && IsWindowVisible(window) ? window : nullptr;
    }
    bool by_class = caption.size() > 1 && caption[0] == L'#';
    for (HWND window : TopLevelWindows()) {
        if (IsWindowVisible(window) &&
            (by_class ? ClassOf(window) == caption.substr(1) : CaptionOf(window) == caption)) {
            return window;
        }
    }
    return nullptr;
}

HWND FindControl(HWND top, int id)
{
    struct Search {
        int id;
        HWND found;
    } search{id, nullptr};
    EnumChildWindows(
        top,
        [](HWND child, LPARAM data) -> BOOL {
            auto* search = reinterpret_cast<Search*>(data);
            if (GetDlgCtrlID(child) == search->id) {
                search->found = child;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

template <typename Found>
auto WaitFor(DWORD timeout_ms, Found find) -> decltype(find())
{
    DWORD start = GetTickCount();
    for (;;) {
        if (auto found = find()) {
            return found;
        }
        if (GetTickCount() - start >= timeout_ms) {
            return {};
        }
        Sleep(kPollMs);
    }
}

bool ParseNumber(const std::wstring& text, long long* value)
{
    if (text.empty()) {
        return false;
    }
    wchar_t* end = nullptr;
    errno = 0;
    *value = std::wcstoll(text.c_str(), &end, 0);
    return errno == 0 && *end == L'\0';
}

bool ParseTimeout(const std::vector<std::wstring>& args, size_t at, DWORD* timeout_ms)
{
    *timeout_ms = kDefaultTimeoutMs;
    if (args.size() <= at || args[at].empty()) {
        return true;
    }
    long long value = 0;
    if (!ParseNumber(args[at], &value) || value < 0 || value > 24LL * 3600 * 1000) {
        return false;
    }
    *timeout_ms = static_cast<DWORD>(value);
    return true;
}

// Why a person could not use the control now: it, or a window that holds
// it, is hidden or disabled (a modal window disables its owner). Empty when
// they could.
std::wstring WhyUnusable(HWND control)
{
    if (!IsWindowVisible(control)) {
        return L"hidden";
    }
    for (HWND window = control; window != nullptr; window = GetAncestor(window, GA_PARENT)) {
        if (window == GetDesktopWindow()) {
            break;
        }
        if (!IsWindowEnabled(window)) {
            return window == control ? L"disabled" : L"in a disabled window";
        }
    }
    return {};
}

// A message box: a dialog whose text is the static control 0xFFFF and that
// holds nothing but statics and buttons.
bool IsMessageBox(HWND window)
{
    if (ClassOf(window) != L"#32770" || !IsWindowVisible(window)) {
        return false;
    }
    if (GetDlgItem(window, 0xFFFF) == nullptr) {
        return false;
    }
    bool only_statics_and_buttons = true;
    EnumChildWindows(
        window,
        [](HWND child, LPARAM data) -> BOOL {
            std::wstring name = ClassOf(child);
            if (_wcsicmp(name.c_str(), L"Static") != 0 && _wcsicmp(name.c_str(), L"Button") != 0) {
                *reinterpret_cast<bool*>(data) = false;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&only_statics_and_buttons));
    return only_statics_and_buttons;
}

int ButtonId(const std::wstring& name)
{
    static const struct {
        const wchar_t* name;
        int id;
    } kButtons[] = {{L"ok", IDOK},       {L"cancel", IDCANCEL}, {L"abort", IDABORT},
                    {L"retry", IDRETRY}, {L"ignore", IDIGNORE}, {L"yes", IDYES},
                    {L"no", IDNO}};
    for (const auto& button : kButtons) {
        if (_wcsicmp(name.c_str(), button.name) == 0) {
            return button.id;
        }
    }
    return 0;
}

// Sends a command that may open a modal window: waits a little for it to be
// handled, and says so when it is still being handled.
void SendCommand(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wparam, lparam, SMTO_NORMAL, kCommandWaitMs,
                             &result)) {
        Write(STD_ERROR_HANDLE, L"wintest: still being handled (a modal window?)\n");
    }
}

bool IsKind(HWND control, const wchar_t* kind)
{
    return _wcsicmp(ClassOf(control).c_str(), kind) == 0;
}

// A list or combo box's items, in order; false when the control is neither,
// or an item went away while it was read.
bool ReadItems(HWND control, std::vector<std::wstring>* items)
{
    bool combo = IsKind(control, L"ComboBox");
    if (!combo && !IsKind(control, L"ListBox")) {
        return false;
    }
    items->clear();
    LONG_PTR count = Ask(control, combo ? CB_GETCOUNT : LB_GETCOUNT, 0);
    for (LONG_PTR item = 0; item < count; ++item) {
        LONG_PTR length = Ask(control, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, item);
        if (length < 0) {
            return false;
        }
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        LONG_PTR copied = Ask(control, combo ? CB_GETLBTEXT : LB_GETTEXT, item,
                              reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<size_t>(copied >= 0 && copied < length ? copied : length));
        items->push_back(std::move(text));
    }
    return count >= 0;
}

void SayItems(const std::vector<std::wstring>& items)
{
    for (const std::wstring& item : items) {
        Say(item);
    }
}

// The first message box of another process whose text starts with prefix.
HWND FindMessageBox(const std::wstring& prefix, DWORD timeout_ms)
{
    DWORD self = GetCurrentProcessId();
    return WaitFor(timeout_ms, [&]() -> HWND {
        for (HWND window : TopLevelWindows()) {
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            if (process != self && IsMessageBox(window) &&
                TextOf(GetDlgItem(window, 0xFFFF)).rfind(prefix, 0) == 0) {
                return window;
            }
        }
        return nullptr;
    });
}

int Usage()
{
    Write(STD_ERROR_HANDLE,
          L"usage: wintest COMMAND ARGS...\n"
          L"  wait-window CAPTION [TIMEOUT-MS]   waits for the window, prints its handle\n"
          L"  wait-gone CAPTION [TIMEOUT-MS]     waits until no such window is shown\n"
          L"  windows                            the shown top-level windows: handle, class, "
          L"caption\n"
          L"  window-rect CAPTION                the whole window on the screen: "
          L"x y width height\n"
          L"  client-size CAPTION                the client area: width height\n"
          L"  rect CAPTION ID                    the control in the window's client area: "
          L"x y width height\n"
          L"  text CAPTION ID                    the control's text\n"
          L"  list CAPTION ID                    a list or combo box's items, one a line\n"
          L"  wait-list CAPTION ID TIMEOUT-MS [ITEM...]\n"
          L"                                     waits until the list holds exactly these "
          L"items, prints them\n"
          L"  selected CAPTION ID                a list box's selected item numbers (from 0)\n"
          L"  select CAPTION ID INDEX            selects a list box's item as a click would "
          L"(LBN_SELCHANGE)\n"
          L"  checked CAPTION ID                 a button's check state: 0, 1 or 2\n"
          L"  enabled CAPTION ID                 1 when a person could use the control, else 0\n"
          L"  click CAPTION ID                   clicks a button, refused when disabled\n"
          L"  menu CAPTION ID                    chooses a menu command (a context menu's too),\n"
          L"                                     refused when disabled\n"
          L"  close CAPTION                      asks the window to close (WM_CLOSE)\n"
          L"  wait-message [TEXT-PREFIX] [TIMEOUT-MS]\n"
          L"                                     waits for a message box, prints its handle "
          L"and its text\n"
          L"  answer-message [TEXT-PREFIX] [TIMEOUT-MS] [ok|cancel|yes|no|retry|abort|ignore]\n"
          L"                                     waits for a message box, prints its text, "
          L"presses the button\n"
          L"CAPTION is a window's exact caption, #CLASS or @HANDLE.\n"
          L"exit codes: 0 done, 1 not found or timed out, 2 usage, 3 refused\n");
    return kUsage;
}

int Run(const std::vector<std::wstring>& args)
{
    if (args.empty()) {
        return Usage();
    }
    const std::wstring& command = args[0];

    if (command == L"windows") {
        for (HWND window : TopLevelWindows()) {
            if (IsWindowVisible(window)) {
                Say(HandleText(window) + L" " + ClassOf(window) + L" " + CaptionOf(window));
            }
        }
        return kOk;
    }

    if (command == L"answer-message" || command == L"wait-message") {
        std::wstring prefix = args.size() > 1 ? args[1] : L"";
        DWORD timeout_ms = 0;
        bool answer = command == L"answer-message";
        int button = answer && args.size() > 3 ? ButtonId(args[3]) : IDOK;
        if (args.size() > (answer ? 4u : 3u) || !ParseTimeout(args, 2, &timeout_ms) ||
            button == 0) {
            return Usage();
        }
        HWND box = FindMessageBox(prefix, timeout_ms);
        if (box == nullptr) {
            return Fail(kNotFound, L"no message box" +
                                       (prefix.empty() ? L"" : L" starting " + Quoted(prefix)));
        }
        if (!answer) {
            Say(L"@" + HandleText(box));
            Say(TextOf(GetDlgItem(box, 0xFFFF)));
            return kOk;
        }
        Say(TextOf(GetDlgItem(box, 0xFFFF)));
        HWND control = GetDlgItem(box, button);
        if (control == nullptr || !IsWindowVisible(control)) {
            return Fail(kNotFound, L"the message box has no button " + args[3]);
        }
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                     reinterpret_cast<LPARAM>(control));
        if (!WaitFor(kDefaultTimeoutMs, [&] { return !IsWindow(box); })) {
            return Fail(kNotFound, L"the message box stayed open");
        }
        return kOk;
    }

    if (args.size() < 2) {
        return Usage();
    }
    const std::wstring& caption = args[1];

    if (command == L"wait-window" || command == L"wait-gone") {
        DWORD timeout_ms = 0;
        if (args.size() > 3 || !ParseTimeout(args, 2, &timeout_ms)) {
            return Usage();
        }
        if (command == L"wait-gone") {
            if (!WaitFor(timeout_ms, [&] { return FindTopLevel(caption) == nullptr; })) {
                return Fail(kNotFound, L"still shown: " + Quoted(caption));
            }
            return kOk;
        }
        HWND window = WaitFor(timeout_ms, [&] { return FindTopLevel(caption); });
        if (window == nullptr) {
            return Fail(kNotFound, L"no window " + Quoted(caption));
        }
        Say(L"@" + HandleText(window));
        return kOk;
    }

    HWND top = FindTopLevel(caption);
    if (top == nullptr) {
        return Fail(kNotFound, L"no window " + Quoted(caption));
    }
    if (command == L"close" || command == L"client-size" || command == L"window-rect") {
        if (args.size() != 2) {
            return Usage();
        }
        if (command == L"close") {
            PostMessageW(top, WM_CLOSE, 0, 0);
        } else if (command == L"client-size") {
            RECT client{};
            GetClientRect(top, &client);
            Say(std::to_wstring(client.right) + L" " + std::to_wstring(client.bottom));
        } else {
            RECT rect{};
            GetWindowRect(top, &rect);
            Say(std::to_wstring(rect.left) + L" " + std::to_wstring(rect.top) + L" " +
                std::to_wstring(rect.right - rect.left) + L" " +
                std::to_wstring(rect.bottom - rect.top));
        }
        return kOk;
    }

    long long id = 0;
    bool takes_more = command == L"select" || command == L"wait-list";
    if ((takes_more ? args.size() < 4 : args.size() != 3) || !ParseNumber(args[2], &id) ||
        id < INT_MIN || id > INT_MAX) {
        return Usage();
    }

    if (command == L"menu") {
        if (id < 0 || id > 0xFFFF) {
            return Usage();
        }
        // The window itself stands for its menu: a modal window disables it.
        // Wine keeps a menu in its own process, where another one cannot
        // read it: the command then goes without the check.
        if (!IsWindowEnabled(top)) {
            return Fail(kRefused, L"the window is disabled");
        }
        HMENU menu = GetMenu(top);
        if (menu != nullptr && GetMenuItemCount(menu) >= 0) {
            // An item that the menu bar does not hold may be a context
            // menu's, which exists only while it is open: sent unchecked.
            UINT state = GetMenuState(menu, static_cast<UINT>(id), MF_BYCOMMAND);
            if (state != static_cast<UINT>(-1) && (state & (MF_GRAYED | MF_DISABLED)) != 0) {
                return Fail(kRefused, L"the menu item is disabled");
            }
        } else if (menu != nullptr) {
            Write(STD_ERROR_HANDLE,
                  L"wintest: the menu cannot be read from here; its item's state is not checked\n");
        }
        SendCommand(top, WM_COMMAND, MAKEWPARAM(static_cast<UINT>(id), 0), 0);
        return kOk;
    }

    HWND control = FindControl(top, static_cast<int>(id));
    if (control == nullptr) {
        return Fail(kNotFound, L"no control " + args[2] + L" in " + Quoted(caption));
    }
    std::wstring kind = ClassOf(control);
    std::wstring not_a_list = L"control " + args[2] + L" is a " + kind + L", not a list";

    if (command == L"text") {
        Say(TextOf(control));
    } else if (command == L"enabled") {
        Say(WhyUnusable(control).empty() ? L"1" : L"0");
    } else if (command == L"checked") {
        Say(std::to_wstring(Ask(control, BM_GETCHECK, 0)));
    } else if (command == L"rect") {
        RECT rect{};
        GetWindowRect(control, &rect);
        POINT origin{rect.left, rect.top};
        ScreenToClient(top, &origin);
        Say(std::to_wstring(origin.x) + L" " + std::to_wstring(origin.y) + L" " +
            std::to_wstring(rect.right - rect.left) + L" " +
            std::to_wstring(rect.bottom - rect.top));
    } else if (command == L"click") {
        std::wstring why = WhyUnusable(control);
        if (!why.empty()) {
            return Fail(kRefused, L"control " + args[2] + L" is " + why);
        }
        SendCommand(control, BM_CLICK, 0, 0);
    } else if (command == L"select") {
        long long index = 0;
        if (args.size() != 4 || !ParseNumber(args[3], &index) || index < 0 || index > INT_MAX) {
            return Usage();
        }
        if (!IsKind(control, L"ListBox")) {
            return Fail(kNotFound, not_a_list);
        }
        std::wstring why = WhyUnusable(control);
        if (!why.empty()) {
            return Fail(kRefused, L"control " + args[2] + L" is " + why);
        }
        if (Ask(control, LB_SETCURSEL, static_cast<WPARAM>(index)) != index) {
            return Fail(kNotFound, L"no item " + args[3] + L" in control " + args[2]);
        }
        // A click's notification: the program learns of the selection as the
        // system tells it of a person's.
        SendCommand(GetParent(control), WM_COMMAND,
                    MAKEWPARAM(static_cast<UINT>(id), LBN_SELCHANGE),
                    reinterpret_cast<LPARAM>(control));
    } else if (command == L"wait-list") {
        DWORD timeout_ms = 0;
        if (!ParseTimeout(args, 3, &timeout_ms)) {
            return Usage();
        }
        std::vector<std::wstring> wanted(args.begin() + 4, args.end());
        std::vector<std::wstring> items;
        if (!ReadItems(control, &items) && !IsKind(control, L"ListBox") &&
            !IsKind(control, L"ComboBox")) {
            return Fail(kNotFound, not_a_list);
        }
        if (!WaitFor(timeout_ms, [&] { return ReadItems(control, &items) && items == wanted; })) {
            Write(STD_ERROR_HANDLE, L"wintest: the list holds instead:\n");
            for (const std::wstring& item : items) {
                Write(STD_ERROR_HANDLE, L"    " + Quoted(item) + L"\n");
            }
            return Fail(kNotFound, L"control " + args[2] + L" did not come to hold the items");
        }
        SayItems(items);
    } else if (command == L"list" || command == L"selected") {
        bool combo = IsKind(control, L"ComboBox");
        if (!combo && !IsKind(control, L"ListBox")) {
            return Fail(kNotFound, not_a_list);
        }
        if (command == L"list") {
            std::vector<std::wstring> items;
            if (!ReadItems(control, &items)) {
                return Fail(kNotFound, L"the list changed while it was read");
            }
            SayItems(items);
        } else if (combo) {
            LONG_PTR selected = Ask(control, CB_GETCURSEL, 0);
            if (selected >= 0) {
                Say(std::to_wstring(selected));
            }
        } else {
            LONG_PTR count = Ask(control, LB_GETCOUNT, 0);
            for (LONG_PTR item = 0; item < count; ++item) {
                if (Ask(control, LB_GETSEL, item) > 0) {
                    Say(std::to_wstring(item));
                }
            }
        }
    } else {
        return Usage();
    }
    return kOk;
}

}  // namespace

int main()
{
    // Coordinates as the program sees them, whatever the display's scale.
    SetProcessDPIAware();
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (argv == nullptr) {
        return kUsage;
    }
    std::vector<std::wstring> args(argv + 1, argv + count);
    LocalFree(argv);
    return Run(args);
}
