#include "app/win32/dialogs.h"

#include <shlobj.h>

#include "platform/error_text.h"
#include "platform/files.h"
#include "platform/wide_text.h"

namespace cardpush::win32 {
namespace {

HWND g_owner = nullptr;  // GUI thread only

constexpr wchar_t kMessageCaption[] = L"CardPush";

// Opens the picker on the proposed folder once it is up.
int CALLBACK OnPickerEvent(HWND picker, UINT message, LPARAM, LPARAM proposal)
{
    if (message == BFFM_INITIALIZED && proposal != 0) {
        SendMessageW(picker, BFFM_SETSELECTIONW, TRUE, proposal);
    }
    return 0;
}

}  // namespace

void SetDialogOwner(HWND owner)
{
    g_owner = owner;
}

void ShowMessage(const std::string& cp1251Text)
{
    const std::wstring text = WideFromCp1251(cp1251Text);
    HWND owner = g_owner != nullptr && IsWindow(g_owner) ? g_owner : nullptr;
    MessageBoxW(owner, text.c_str(), kMessageCaption,
                MB_OK | (owner == nullptr ? MB_TASKMODAL : 0));
}

void ShowException(std::exception_ptr error)
{
    try {
        ShowMessage(platform::ErrorText(error));
    } catch (...) {
        // Nothing is left to tell the operator with.
    }
}

std::optional<std::filesystem::path> ChooseFolder(const std::string& cp1251Title,
                                                  const std::filesystem::path& proposal)
{
    const platform::CriticalErrorPromptsOff quiet;
    const std::wstring title = WideFromCp1251(cp1251Title);
    std::error_code error;
    const bool preselect = !proposal.empty() && std::filesystem::is_directory(proposal, error);
    const std::wstring start = preselect ? proposal.native() : std::wstring();

    BROWSEINFOW info{};
    info.hwndOwner = g_owner;
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    info.lpfn = OnPickerEvent;
    info.lParam = preselect ? reinterpret_cast<LPARAM>(start.c_str()) : 0;
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
    if (chosen == nullptr) {
        return std::nullopt;
    }
    std::wstring path(32768, L'\0');
    const bool named = SHGetPathFromIDListEx(chosen, path.data(), static_cast<DWORD>(path.size()),
                                             GPFIDL_DEFAULT) != FALSE;
    CoTaskMemFree(chosen);
    if (!named) {
        return std::nullopt;  // a place with no folder on disk (a printer, say)
    }
    path.resize(wcslen(path.c_str()));
    return std::filesystem::path(path);
}

}  // namespace cardpush::win32
