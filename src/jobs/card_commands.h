// The operator's card commands: refresh the card listing, delete one or all
// card files, upload one or all job files of the source folder.
//
// Window-free: the main window implements CardCommandsHost, calls these from
// its handlers and forwards the link's listing news. Everything here runs on
// the GUI thread (the public members assert it in debug builds), except
// reading, checking and sending a job file, which the host runs off the GUI
// thread while it shows the progress.
//
// Frames go out only while the link allows card commands (a listing
// completed, link state 8); otherwise a command tells the operator why and
// only asks for a fresh listing.
//
// What keeps the operator's files safe:
//   - A job file is read once per step and its content checked before it is
//     sent; what was checked is what is sent.
//   - Upload all empties the card first (its option) only once every job
//     file has been checked and at least one is ready to go.
//   - A job file is deleted after upload all (its option) only when the
//     listing asked for after the upload names its card name (the controller
//     answers only after it has read every byte sent before the request),
//     and only if the file is still the one that was read.
//   - A card name from a listing goes back in a frame only if it is safe.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "jobs/journal.h"
#include "platform/files.h"

namespace cardpush {

class LinkSession;

// How far an upload has got, for the progress window.
struct UploadProgress {
    std::filesystem::path fileName;  // the job file, without folder
    bool checking = false;           // being read and checked, not yet sent
    std::uint64_t bytesSent = 0;     // frames written so far, header included
    std::uint64_t bytesTotal = 0;    // all frames of the file
    std::size_t linesSent = 0;
    std::size_t linesTotal = 0;
};
using ProgressFn = std::function<void(const UploadProgress&)>;

class CardCommandsHost {
public:
    virtual ~CardCommandsHost() = default;

    virtual std::filesystem::path SourceFolder() const = 0;  // empty: none chosen
    virtual bool DeleteJobFilesAfterUpload() = 0;  // "удалить файлы после загрузки"
    virtual bool DeleteCardFilesBeforeUpload() = 0;  // "удалить файлы с карты памяти до загрузки"
    virtual std::vector<std::string> CardNames() = 0;  // the card listing, in order
    virtual std::optional<std::string> SelectedCardName() = 0;
    // The selected job file's name in the source folder, as the system has it.
    virtual std::optional<std::filesystem::path> SelectedJobFile() = 0;

    // A modal message with one OK button; returns when it is closed.
    virtual void ShowMessage(const std::string& text) = 0;
    virtual void AddLogLine(const std::string& line) = 0;
    // Lines in order, as many AddLogLine calls would add them; a host whose
    // log costs something per call adds them at once.
    virtual void AddLogLines(std::span<const std::string> lines)
    {
        for (const std::string& line : lines) {
            AddLogLine(line);
        }
    }
    virtual void RefreshLocalList() = 0;

    // Runs work on another thread while a modal progress window shows the
    // progress that work reports, and returns when work has finished,
    // throwing what work threw. The operator's other commands stay out
    // meanwhile; received characters keep being handled.
    virtual void RunWithProgress(const UploadProgress& start,
                                 const std::function<void(const ProgressFn&)>& work) = 0;

    // The operator has asked the upload to stop (or the tool is closing):
    // an upload ends after the file being sent, and the files not sent stay.
    virtual bool StopRequested() { return false; }

    // An operation on a card file or a job file has ended, done or not: one
    // file uploaded, one card file deleted, one job file deleted after its
    // upload. For the transfer journal.
    virtual void OperationEnded(const CardOperation& operation) { (void)operation; }
};

// The largest job file the tool sends. A controller's card holds far less;
// the cap keeps a wrong file (a disk image, a video) from being read into
// memory and announced to the controller.
inline constexpr std::uint64_t kMaxJobFileBytes = std::uint64_t{64} << 20;

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
    // "загрузить все файлы": checks every job file of the source folder,
    // optionally empties the card, sends the files that are ready, refreshes
    // both lists, and (option) deletes the sent files once the listing
    // confirms them. With no source folder chosen it only refreshes.
    void UploadAll();

    // The link's news, forwarded by the host (GUI thread): a complete
    // listing that answers the listing requests up to `request`, or the
    // listing of `request` that has stopped coming.
    void ListingCompleted(const std::vector<std::string>& names, std::uint64_t request);
    void ListingStalled(std::uint64_t request);
    // The controller is lost: sent files waiting for a listing stay, and the
    // operator is told.
    void LinkLost();

    // Uploads one job file of the source folder: checks it, then sends it.
    // Returns true when every frame of it was written; false when the link
    // was busy or the file was refused (nothing of it is sent then). A file
    // or port error is thrown; frames already written stay written.
    bool UploadJobFile(const std::filesystem::path& fileName);

private:
    // A job file that passed its checks, ready to be sent.
    struct CheckedJob {
        std::filesystem::path fileName;
        std::filesystem::path path;
        std::string cardName;
        std::uint64_t contentHash = 0;
        std::uint64_t size = 0;
    };
    // A job file sent whole, as it was when read for sending.
    struct SentJob {
        std::filesystem::path fileName;
        std::filesystem::path path;
        std::string cardName;
        platform::FileStamp stamp;
    };
    // Sent job files that wait for a listing to name them before they are
    // deleted: the listing must answer `request` or a later one.
    struct AwaitedListing {
        std::uint64_t request = 0;
        std::vector<SentJob> files;
    };

    // Reports an operation's end to the host; an empty result means done.
    void Ended(CardOperation::Kind kind, const std::string& cardName,
               const std::filesystem::path& localFile, std::optional<std::uint64_t> bytes,
               const std::string& result);
    // Sends the delete frames of names, each reported as kind.
    void DeleteCardFiles(const std::vector<std::string>& names, CardOperation::Kind kind);
    // Keeps sent files that no listing will confirm, and says so.
    void KeepUnconfirmed(const std::vector<SentJob>& files);
    // Reports the uploads that the operator's stop leaves out.
    void EndedStopped(const std::vector<CheckedJob>& jobs);

    // Shows why card commands may not send frames now; false when they may.
    bool RefusedByLink();
    // Card names that must not go back to the controller; each is reported.
    bool RefuseUnsafeNames(const std::vector<std::string>& names);
    // Checks the job files of folder in search order, with their messages;
    // returns those ready to go, one per card name. Nothing when the
    // operator asked to stop meanwhile.
    std::vector<CheckedJob> CheckAll(const std::filesystem::path& folder);
    // Reads and checks one job file (off the GUI thread), shows what is
    // wrong with it; nothing when it must not be sent.
    std::optional<CheckedJob> CheckJobFile(const std::filesystem::path& folder,
                                           const std::filesystem::path& fileName);
    // Sends a checked job file if it is still what was checked.
    std::optional<SentJob> SendJobFile(const CheckedJob& job);
    // Runs the uploads and deletes of command, then asks for a listing, also
    // when command throws (the error then goes on to the caller, after the
    // listing request): the card listing always ends showing the card.
    // For upload all, sent names the files it sent: the local list is
    // refreshed first, and with the delete option they await the listing.
    void EndingWithListing(const std::function<void()>& command,
                           std::vector<SentJob>* sent = nullptr);

    LinkSession& link_;
    CardCommandsHost& host_;
    std::optional<AwaitedListing> awaited_;
};

}  // namespace cardpush
