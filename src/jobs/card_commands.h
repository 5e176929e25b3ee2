// The operator's card commands: refresh the card listing, delete one or all
// card files, upload one or all job files of the source folder.
//
// Window-free: the main window implements CardCommandsHost and calls these
// from its handlers. Everything here runs on the GUI thread, except the
// writing of an upload's frames, which the host runs off the GUI thread
// while it shows the upload's progress.
//
// Frames go out only while the link allows card commands (a first listing
// completed, link state 8); otherwise every command does nothing silently
// but still asks for a fresh listing.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace cardpush {

class LinkSession;

// How far an upload has got, for the progress window.
struct UploadProgress {
    std::string fileName;          // the job file, without folder
    std::uint64_t bytesSent = 0;   // frames written so far, header included
    std::uint64_t bytesTotal = 0;  // all frames of the file
    std::size_t linesSent = 0;
    std::size_t linesTotal = 0;
};
using ProgressFn = std::function<void(const UploadProgress&)>;

class CardCommandsHost {
public:
    virtual ~CardCommandsHost() = default;

    virtual std::string SourceFolder() const = 0;  // empty: none chosen
    virtual bool DeleteJobFilesAfterUpload() = 0;  // "удалить файлы после загрузки"
    virtual bool DeleteCardFilesBeforeUpload() = 0;  // "удалить файлы с карты памяти до загрузки"
    virtual std::vector<std::string> CardNames() = 0;  // the card listing, in order
    virtual std::optional<std::string> SelectedCardName() = 0;
    virtual std::optional<std::string> SelectedJobFile() = 0;

    // A modal message with one OK button; returns when it is closed.
    virtual void ShowMessage(const std::string& text) = 0;
    virtual void AddLogLine(const std::string& line) = 0;
    virtual void RefreshLocalList() = 0;

    // Runs send on another thread while a modal progress window shows the
    // progress that send reports, and returns when send has finished,
    // throwing what send threw. The operator's other commands stay out
    // meanwhile; received characters keep being handled.
    virtual void RunWithProgress(const UploadProgress& start,
                                 const std::function<void(const ProgressFn&)>& send) = 0;
};

class CardCommands {
public:
    // The link and the host must outlive the commands.
    CardCommands(LinkSession& link, CardCommandsHost& host);

    // "Обновить", double click on the card listing.
    void Refresh();
    // "Удалить" on the card listing: the selected card file, then a refresh.
    void DeleteSelected();
    // "Удалить всё файлы ": every listed card file, then a refresh.
    void DeleteAll();
    // "Загрузить": the selected job file, then a refresh.
    void UploadSelected();
    // "загрузить все файлы": optionally empty the card, upload every job
    // file of the source folder, optionally delete the job files that went
    // over whole, refresh both lists. With no source folder chosen it only
    // refreshes the lists: the card is not emptied either.
    void UploadAll();

    // Uploads one job file of the source folder. Returns true when every
    // frame of it was written; false when the link was busy or a line was
    // rejected (nothing of the file is sent then). A file or port error is
    // thrown; frames already written stay written.
    bool UploadJobFile(const std::string& fileName);

private:
    LinkSession& link_;
    CardCommandsHost& host_;
};

}  // namespace cardpush
