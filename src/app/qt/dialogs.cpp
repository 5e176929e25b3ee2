#include "app/qt/dialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <utility>

#include "app/qt/qt_text.h"
#include "platform/error_text.h"
#include "platform/files.h"

namespace cardpush {
namespace {

// Both handlers are used on the GUI thread only.
MessageHandler& Messages()
{
    static MessageHandler handler;
    return handler;
}

FolderHandler& Folders()
{
    static FolderHandler handler;
    return handler;
}

void ShowMessageBox(const std::string& cp1251Text)
{
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(),
                    ToQString(cp1251Text), QMessageBox::Ok, QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

std::optional<std::filesystem::path> ShowFolderDialog(const std::string& cp1251Title,
                                                      const std::filesystem::path& proposed)
{
    const platform::CriticalErrorPromptsOff quiet;
    const QString proposal = PathToQString(proposed);
    const bool preselect = !proposal.isEmpty() && QFileInfo(proposal).isDir();
    const QString chosen = QFileDialog::getExistingDirectory(
        QApplication::activeWindow(), ToQString(cp1251Title), preselect ? proposal : QString(),
        QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return PathFromQString(QDir::toNativeSeparators(chosen));
}

}  // namespace

void ShowMessage(const std::string& cp1251Text)
{
    if (Messages()) {
        Messages()(cp1251Text);
    } else {
        ShowMessageBox(cp1251Text);
    }
}

void ShowException(std::exception_ptr error)
{
    ShowMessage(platform::ErrorText(error));
}

std::optional<std::filesystem::path> ChooseFolder(const std::string& cp1251Title,
                                                  const std::filesystem::path& proposal)
{
    if (Folders()) {
        return Folders()(cp1251Title, proposal);
    }
    return ShowFolderDialog(cp1251Title, proposal);
}

MessageHandler SetMessageHandler(MessageHandler handler)
{
    return std::exchange(Messages(), std::move(handler));
}

FolderHandler SetFolderHandler(FolderHandler handler)
{
    return std::exchange(Folders(), std::move(handler));
}

}  // namespace cardpush
