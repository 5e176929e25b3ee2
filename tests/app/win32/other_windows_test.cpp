// The native face's secondary windows, made as the tool makes them and read
// back through their controls: what the operator reads in them.
#include <gtest/gtest.h>
#include <windows.h>
// After <windows.h>, which it needs.
#include <commctrl.h>

#include <string>
#include <vector>

#include "app/win32/about_box.h"
#include "app/win32/controls.h"
#include "app/win32/info_window.h"
#include "app/win32/journal_window.h"
#include "platform/wide_text.h"
#include "session/tool_view.h"
#include "ui_layout.h"

namespace cardpush::win32 {
namespace {

namespace layout = ui_layout;

class FaceWindowsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&classes);
    }

    void SetUp() override
    {
        // Wine without a display driver makes no window at all.
        static const bool windowsMade = [] {
            HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                         nullptr, nullptr);
            if (probe != nullptr) {
                DestroyWindow(probe);
            }
            return probe != nullptr;
        }();
        if (!windowsMade) {
            GTEST_SKIP() << "no window can be made here: under Wine, give it a display or its "
                            "null graphics driver (HKCU\\Software\\Wine\\Drivers, "
                            "Graphics=null), as scripts/test-windows.sh does";
        }
    }
};

std::wstring Field(const Window& window, const layout::Form& form, const char* name)
{
    return TextOf(window.Control(layout::ControlNamed(form, name).id));
}

int TextWidth(HWND control, const std::wstring& text)
{
    HDC dc = GetDC(control);
    HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return size.cx;
}

std::wstring Cell(HWND table, int row, int column)
{
    wchar_t text[256]{};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = static_cast<int>(std::size(text));
    SendMessageW(table, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&item));
    return text;
}

JournalFields Line(int number)
{
    const std::string n = std::to_string(number);
    return {"2026-12-09T14:03:05+03:00",     "12345", "COM1", "upload", "JOB" + n,
            "C:\\Задания\\JOB" + n + ".txt", "1024",  "ok"};
}

TEST_F(FaceWindowsTest, InformationWindowShowsTheControllersValuesAndPort)
{
    InfoWindow window(nullptr);
    LinkValues values;
    values.SerialNumber = "\xC0\xC1-7";  // "АБ-7" in Windows-1251
    values.MinValue = -1.5;
    values.MaxValue = 12.5;
    values.Accuracy = 3;
    values.FirmwareVersion = "72";
    window.ShowValues(values);
    window.ShowPort("COM12");

    wchar_t point[8]{};
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, point, 8);
    const auto& form = layout::kTForm2;
    EXPECT_EQ(Field(window, form, "LabeledEdit1"), L"\u0410\u0411-7");
    EXPECT_EQ(Field(window, form, "LabeledEdit2"), L"-1" + std::wstring(point) + L"5");
    EXPECT_EQ(Field(window, form, "LabeledEdit3"), L"12" + std::wstring(point) + L"5");
    EXPECT_EQ(Field(window, form, "LabeledEdit4"), L"0");
    EXPECT_EQ(Field(window, form, "LabeledEdit5"), L"0");
    EXPECT_EQ(Field(window, form, "LabeledEdit6"), L"3");
    EXPECT_EQ(Field(window, form, "LabeledEdit7"), L"72");
    EXPECT_EQ(Field(window, form, "LabeledEdit8"), L"COM12");

    RECT client{};
    GetClientRect(window.Handle(), &client);
    EXPECT_EQ(client.right, Scaled(form.rect.width));
    EXPECT_EQ(client.bottom, Scaled(form.rect.height));
}

std::wstring ListRow(HWND list, int index)
{
    std::wstring text(
        static_cast<std::size_t>(SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0)),
        L'\0');
    SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(text.data()));
    return text;
}

// A control's notification to its window, as the operator's action sends it.
void Notify(const Window& window, HWND control, int notification)
{
    SendMessageW(window.Handle(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), notification),
                 reinterpret_cast<LPARAM>(control));
}

void SelectRow(const Window& window, HWND list, int index)
{
    SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    Notify(window, list, LBN_SELCHANGE);
}

// The rows in order; "Подключить" only for a selected switchable row, by
// the button or a double click, and not while a long command runs; the
// selection follows its port through a rewrite; a row wider than the list
// can be scrolled to.
TEST_F(FaceWindowsTest, PortTableSwitchesOnlyToTheSelectedSwitchableRowsPort)
{
    InfoWindow window(nullptr);
    std::vector<std::string> asked;
    window.SetSwitchHandler([&](const std::string& port) { asked.push_back(port); });
    const auto& form = layout::kTForm2;
    HWND list = window.Control(layout::ControlNamed(form, "ListBox1").id);
    HWND button = window.Control(layout::ControlNamed(form, "Button1").id);
    ASSERT_NE(list, nullptr);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(Field(window, form, "Label1"), L"\u041f\u043e\u0440\u0442\u044b");
    EXPECT_FALSE(IsWindowEnabled(button));

    // "COM1: рольганг 12345, подключён" in Windows-1251.
    const std::string connected =
        "COM1: \xF0\xEE\xEB\xFC\xE3\xE0\xED\xE3 12345, "
        "\xEF\xEE\xE4\xEA\xEB\xFE\xF7\xB8\xED";
    const std::string longRow = "COM4: " + std::string(200, 'x');
    window.ShowPortRows(
        {{"COM1", connected, false}, {"COM3", "COM3: 777", true}, {"COM4", longRow, false}});
    ASSERT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(ListRow(list, 0),
              L"COM1: \u0440\u043e\u043b\u044c\u0433\u0430\u043d\u0433 12345, "
              L"\u043f\u043e\u0434\u043a\u043b\u044e\u0447\u0451\u043d");
    EXPECT_EQ(ListRow(list, 1), L"COM3: 777");
    RECT inside{};
    GetClientRect(list, &inside);
    EXPECT_GT(SendMessageW(list, LB_GETHORIZONTALEXTENT, 0, 0),
              TextWidth(list, WideFromCp1251(longRow)));
    EXPECT_GT(TextWidth(list, WideFromCp1251(longRow)), inside.right);

    EXPECT_FALSE(IsWindowEnabled(button));  // nothing selected
    SelectRow(window, list, 0);
    EXPECT_FALSE(IsWindowEnabled(button));
    Notify(window, list, LBN_DBLCLK);
    Notify(window, button, BN_CLICKED);
    SelectRow(window, list, 1);
    EXPECT_TRUE(IsWindowEnabled(button));
    Notify(window, button, BN_CLICKED);
    Notify(window, list, LBN_DBLCLK);
    EXPECT_EQ(asked, (std::vector<std::string>{"COM3", "COM3"}));

    // COM3 moves and stays selected, switchable or not; gone, nothing is.
    window.ShowPortRows({{"COM3", "COM3: 777", true}, {"COM1", "COM1", false}});
    EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), 0);
    EXPECT_TRUE(IsWindowEnabled(button));
    window.AllowSwitch(false);  // a long command runs
    EXPECT_FALSE(IsWindowEnabled(button));
    Notify(window, list, LBN_DBLCLK);
    window.AllowSwitch(true);
    EXPECT_TRUE(IsWindowEnabled(button));
    window.ShowPortRows({{"COM1", "COM1", false}, {"COM3", "COM3", false}});
    EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), 1);
    EXPECT_FALSE(IsWindowEnabled(button));
    window.ShowPortRows({{"COM1", "COM1", true}});
    EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), LB_ERR);
    EXPECT_FALSE(IsWindowEnabled(button));
    Notify(window, button, BN_CLICKED);
    EXPECT_EQ(asked.size(), 2U);
}

TEST_F(FaceWindowsTest, JournalKeepsTheNewestLinesOnTopWithEveryTextInItsColumn)
{
    JournalWindow window(nullptr);
    HWND table = window.Control(layout::ControlNamed(layout::kTJournalWindow, "JournalTable").id);
    ASSERT_NE(table, nullptr);
    std::vector<JournalFields> newestFirst;
    for (int n = JournalWindow::kLinesShown + 20; n > 0; --n) {
        newestFirst.push_back(Line(n));
    }
    window.ShowContent(newestFirst, L"");
    window.AddJournalLine(Line(9999));

    EXPECT_EQ(SendMessageW(table, LVM_GETITEMCOUNT, 0, 0), JournalWindow::kLinesShown);
    EXPECT_EQ(Cell(table, 0, 4), L"JOB9999");
    EXPECT_EQ(Cell(table, 1, 4), L"JOB520");
    EXPECT_EQ(Cell(table, 1, 5), L"C:\\\u0417\u0430\u0434\u0430\u043d\u0438\u044f\\JOB520.txt");
    EXPECT_EQ(Cell(table, JournalWindow::kLinesShown - 1, 4), L"JOB22");

    // Nothing cut off: every header and the widest cell fit their column,
    // with the header's or the cell's margins beside the text.
    HWND header = reinterpret_cast<HWND>(SendMessageW(table, LVM_GETHEADER, 0, 0));
    const auto& columns = layout::kTJournalWindow.columns;
    for (std::size_t column = 0; column < columns.size(); ++column) {
        const int width = static_cast<int>(SendMessageW(table, LVM_GETCOLUMNWIDTH, column, 0));
        HDITEMW item{};
        wchar_t text[64]{};
        item.mask = HDI_TEXT;
        item.pszText = text;
        item.cchTextMax = 64;
        SendMessageW(header, HDM_GETITEMW, column, reinterpret_cast<LPARAM>(&item));
        EXPECT_GT(width, TextWidth(header, text) + 12) << "column " << column;
        EXPECT_GT(width, TextWidth(table, Cell(table, 1, static_cast<int>(column))) + 8)
            << "column " << column;
    }
}

TEST_F(FaceWindowsTest, ProtocolLogKeepsItsLatestLines)
{
    JournalWindow window(nullptr);
    HWND log = window.Control(layout::ControlNamed(layout::kTJournalWindow, "ProtocolLog").id);
    std::wstring text;
    for (int n = 1; n <= kLogLinesKept; ++n) {
        text += L"line " + std::to_wstring(n) + L"\n";
    }
    window.ShowContent({}, text);
    EXPECT_EQ(SendMessageW(log, EM_GETLINECOUNT, 0, 0), kLogLinesKept);

    window.AddLogLines(L"new 1\r\nnew 2");
    EXPECT_EQ(SendMessageW(log, EM_GETLINECOUNT, 0, 0), kLogLinesKept);
    const std::wstring shown = TextOf(log);
    EXPECT_EQ(shown.substr(0, 8), L"line 3\r\n");
    EXPECT_EQ(shown.substr(shown.size() - 14), L"\r\nnew 1\r\nnew 2");
}

TEST_F(FaceWindowsTest, AboutBoxMakesRoomForTheSettingsPlaceAboveItsButton)
{
    AboutBox box(nullptr);
    const std::wstring file =
        L"C:\\Users\\\u041e\u043f\u0435\u0440\u0430\u0442\u043e\u0440"
        L"\\AppData\\Roaming\\CardPush\\nastr.dat";
    box.ShowSettingsPlace(file);

    HWND place = box.Control(AboutBox::kSettingsPlaceId);
    ASSERT_NE(place, nullptr);
    EXPECT_EQ(TextOf(place), L"\u041d\u0430\u0441\u0442\u0440\u043e\u0439\u043a\u0438: " + file);
    const auto placeOf = [&box](HWND control) {
        RECT r{};
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, box.Handle(), reinterpret_cast<POINT*>(&r), 2);
        return r;
    };
    const RECT text = placeOf(place);
    const RECT ok = placeOf(box.Control(layout::ControlNamed(layout::kTAboutBox, "OKButton").id));
    RECT client{};
    GetClientRect(box.Handle(), &client);
    EXPECT_GE(text.top, Scaled(8 + 177));  // under the picture's panel
    EXPECT_GT(text.bottom - text.top, 0);
    EXPECT_GE(ok.top, text.bottom);
    EXPECT_GE(client.bottom, ok.bottom);
    EXPECT_EQ(client.right, Scaled(layout::kTAboutBox.rect.width));
}

}  // namespace
}  // namespace cardpush::win32
