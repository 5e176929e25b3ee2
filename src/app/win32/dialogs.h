// The operator dialogs of the native face: the message box, the folder
// picker, and the one handler of errors that no command caught.
//
// GUI thread only.
#pragma once

#include <windows.h>

#include <exception>
#include <filesystem>
#include <optional>
#include <string>

namespace cardpush::win32 {

// The window the message boxes and the folder picker are modal to: the
// main window, once it exists.
void SetDialogOwner(HWND owner);

// MessageBoxW with the text (Windows-1251) and one OK button, modal to the
// dialog owner; returns when the operator has closed it.
void ShowMessage(const std::string& cp1251Text);

// The one handler of an error that left a command: its message is shown
// and the tool goes on.
void ShowException(std::exception_ptr error);

// Runs fn (a window's handling of one message); an exception that leaves it
// goes to ShowException. Window procedures must not let one through the
// system's frames.
template <typename Fn>
auto Guarded(Fn&& fn, decltype(fn()) onError) noexcept -> decltype(fn())
{
    try {
        return fn();
    } catch (...) {
        ShowException(std::current_exception());
        return onError;
    }
}

// The shell's folder picker, titled cp1251Title, opened on proposal when it
// names a folder. Nothing when the operator cancels. The system's prompts
// for a drive without a disk are off while it is open.
std::optional<std::filesystem::path> ChooseFolder(const std::string& cp1251Title,
                                                  const std::filesystem::path& proposal);

}  // namespace cardpush::win32
