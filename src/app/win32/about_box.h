// The About box: the tool's name, version and contact address over a
// picture (about.jpg, in the executable's resources as RCDATA 100), and an
// OK button. Made hidden at start-up, owned by the main window; shown modal
// to it from the menu.
//
// GUI thread only. The object must outlive a ShowModal in progress.
#pragma once

#include <windows.h>

#include <filesystem>
#include <vector>

#include "app/win32/controls.h"

namespace cardpush::win32 {

class AboutBox : public Window {
public:
    // The control that says where the settings are kept (ShowSettingsPlace):
    // a read-only edit, so that the operator can copy the path.
    static constexpr int kSettingsPlaceId = 120;

    explicit AboutBox(HWND owner);

    // Says, under the picture, where the settings are kept: for when that
    // is not the executable's folder. The OK button and the box's bottom
    // move down to make room.
    void ShowSettingsPlace(const std::filesystem::path& settingsFile);

    // Shows the box centred on the owner, which is disabled meanwhile, and
    // returns when the operator has closed it: OK, Enter, Esc or the close
    // box. A WM_QUIT that arrives meanwhile closes it and is posted again.
    void ShowModal();

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void LoadPicture();
    void FitComments();
    void Paint();
    // The client rectangle of a control of the layout, scaled.
    static RECT LaidOut(const char* name);

    HWND owner_;
    bool open_ = false;
    int pictureWidth_ = 0;
    int pictureHeight_ = 0;
    // Rows of 24-bit pixels, blue first, top row first, 4-byte aligned.
    std::vector<unsigned char> picture_;
};

}  // namespace cardpush::win32
