// The operator dialogs that commands open: the message box and the folder
// chooser. Both are seams: tests install handlers that record what was asked
// and answer for the operator.
//
// GUI thread only.
#pragma once

#include <exception>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace cardpush {

// A modal message box with the text and one OK button; returns when the
// operator has closed it. The text is Windows-1251.
void ShowMessage(const std::string& cp1251Text);

// Shows the message of an exception (its what() is Windows-1251).
void ShowException(std::exception_ptr error);

// Asks the operator for a folder. proposal is preselected when it names an
// existing folder. Returns the chosen folder in the platform's own form
// (native separators, no trailing one except for a drive's root), or nothing
// when the operator cancels.
std::optional<std::filesystem::path> ChooseFolder(const std::string& cp1251Title,
                                                  const std::filesystem::path& proposal);

using MessageHandler = std::function<void(const std::string& cp1251Text)>;
using FolderHandler = std::function<std::optional<std::filesystem::path>(
    const std::string& cp1251Title, const std::filesystem::path& proposal)>;

// Replace the dialogs; an empty handler restores the real one. Each returns
// the handler it replaced.
MessageHandler SetMessageHandler(MessageHandler handler);
FolderHandler SetFolderHandler(FolderHandler handler);

}  // namespace cardpush
