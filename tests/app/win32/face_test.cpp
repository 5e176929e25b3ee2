#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "app/win32/application.h"
#include "app/win32/controls.h"
#include "app/win32/main_window.h"
#include "platform/fake_comm_api.h"
#include "platform/main_thread.h"
#include "platform/wide_text.h"
#include "support/temp_folder.h"
#include "ui_layout.h"

namespace cardpush::win32 {
namespace {

using ui_layout::kTForm1;

RECT RectInClient(HWND control, HWND window)
{
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Each control where the layout puts it, with its caption, its initial
// states and its place in the tab order; the caption and the menu bar as
// the layout has them, the Russian texts whole through the wide API.
TEST(Win32FaceTest, MainWindowHoldsTheLayoutsControlsInPlaceWithTextsStatesAndTabOrder)
{
    testing::TempFolder folder;
    test::FakeCommApi devices;
    Application application;
    MainWindow window(SettingsStore(folder.path()), devices);
    HWND main = window.Handle();

    EXPECT_EQ(TextOf(main), L"Загрузка на карту  памяти рольганга");
    RECT client;
    GetClientRect(main, &client);
    EXPECT_EQ(client.right, Scaled(727));
    EXPECT_EQ(client.bottom, Scaled(448));

    for (const ui_layout::Control& control : kTForm1.controls) {
        SCOPED_TRACE(control.name);
        HWND made = GetDlgItem(main, control.id);
        ASSERT_NE(made, nullptr);
        const RECT r = RectInClient(made, main);
        EXPECT_EQ(r.left, Scaled(control.rect.x));
        EXPECT_EQ(r.top, Scaled(control.rect.y));
        EXPECT_EQ(r.right - r.left, Scaled(control.rect.width));
        EXPECT_EQ(r.bottom - r.top, Scaled(control.rect.height));
        EXPECT_EQ(TextOf(made), WideFromUtf8(control.text));
        EXPECT_EQ(IsWindowEnabled(made) != FALSE, control.enabled);
        EXPECT_EQ((GetWindowLongPtrW(made, GWL_STYLE) & WS_VISIBLE) != 0, control.visible);
        if (control.kind == ui_layout::Kind::CheckBox) {
            EXPECT_EQ(SendMessageW(made, BM_GETCHECK, 0, 0) == BST_CHECKED, control.checked);
        }
    }
    EXPECT_EQ(TextOf(GetDlgItem(main, ui_layout::ControlNamed(kTForm1, "Button2").id)),
              L"Удалить всё файлы ");

    // Windows tabs through the controls in the order they lie among their
    // siblings.
    std::vector<std::string> tabOrder;
    for (HWND child = GetWindow(main, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        if ((GetWindowLongPtrW(child, GWL_STYLE) & WS_TABSTOP) != 0) {
            for (const ui_layout::Control& control : kTForm1.controls) {
                if (control.id == GetDlgCtrlID(child)) {
                    tabOrder.push_back(control.name);
                }
            }
        }
    }
    EXPECT_EQ(tabOrder, (std::vector<std::string>{"Button1", "BitBtn1", "ListBox1", "ListBox2",
                                                  "CheckBox1", "CheckBox2", "Memo1", "Button2"}));

    HMENU bar = GetMenu(main);
    ASSERT_NE(bar, nullptr);
    std::vector<std::wstring> items;
    for (int i = 0; i < GetMenuItemCount(bar); ++i) {
        wchar_t text[64] = {};
        GetMenuStringW(bar, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
        items.emplace_back(text);
    }
    EXPECT_EQ(items, (std::vector<std::wstring>{L"Информация", L"Журнал", L"О программе"}));
}

// Every byte of the core's code page comes back from the windows' UTF-16,
// 0x98 (which the code page leaves empty) included.
TEST(Win32FaceTest, EveryCodePageByteSurvivesTheWindowsText)
{
    std::string all;
    for (int b = 1; b < 256; ++b) {
        all.push_back(static_cast<char>(b));
    }
    EXPECT_EQ(Cp1251FromWide(WideFromCp1251(all)), all);
    EXPECT_EQ(WideFromCp1251("\xC0\xE1\xA8\xB8"), L"АбЁё");
}

// Work that another thread hands over runs on the GUI thread, through the
// message loop, while that thread waits.
TEST(Win32FaceTest, HandOverFromAnotherThreadRunsInTheMessageLoop)
{
    Application application;
    const DWORD guiThread = GetCurrentThreadId();
    DWORD ranOn = 0;
    std::thread worker([&] {
        platform::MainThread::Synchronize([&] {
            ranOn = GetCurrentThreadId();
            PostQuitMessage(0);
        });
    });
    EXPECT_EQ(application.Run(), 0);
    worker.join();
    EXPECT_EQ(ranOn, guiThread);
}

}  // namespace
}  // namespace cardpush::win32
