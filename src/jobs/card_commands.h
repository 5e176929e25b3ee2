// The operator's card commands: refresh the card listing, delete one or all
// card files, upload one or all job files of the source folder.
//
// Window-free: the main window implements CardCommandsHost, calls these from
// its handlers and forwards the link's listing news. Everything here runs on
// the GUI thread (the public members assert it in debug builds), except
// reading, checking and sending a job file and waiting for a listing, which
// the host runs off the GUI thread while it shows the progress.
//
// Frames go out only while the link allows card commands (a listing
// completed, link state 8); otherwise a command tells the operator why and
// only asks for a fresh listing. A command is bound to the connection it
// started on: when the controller is lost or another answers meanwhile, it
// stops with a message and sends nothing more.
//
// What keeps the operator's files safe:
//   - A job file is read once per step and its content checked before it is
//     sent; what was checked is what is sent.
//   - Upload all empties the card first (its option) only once every job
//     file has been checked and at least one is ready to go, and sends
//     nothing unless the listing after the deletes shows them done.
//   - A job file is deleted after upload all (its option) only when the
//     listing asked for after the upload proves it on the card (listing_proof.h:
//     the name listed after the upload and absent before it; the controller
//     answers only after it has read every byte sent before the request),
//     and only if the file is still the one that was read.
//   - A card name from a listing goes back in a frame only if it is safe.
//   - The journal's "ok" means a listing showed the operation done; a frame
//     written but not shown so is "sent".
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "jobs/journal.h"
#include "jobs/listing_proof.h"
#include "link/link_session.h"
#include "platform/files.h"

namespace cardpush {

// How far an upload has got, for the progress window.
struct UploadProgress {
    enum class Phase : std::uint8_t {
        Checking,        // the job file is read and checked, not yet sent
        Sending,         // its frames go out
        AwaitingListing  // the card's listing is awaited before files go out
    };
    std::filesystem::path fileName;  // the job file, without folder
    Phase phase = Phase::Sending;
    std::uint64_t bytesSent = 0;   // frames written so far, header included
    std::uint64_t bytesTotal = 0;  // all frames of the file
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

    // Runs work on another thread while a progress window shows the
    // progress that work reports, and returns when work has finished,
    // throwing what work threw. The operator's other commands stay out
    // meanwhile; received characters keep being handled (work may wait for
    // a listing).
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
    // Operations still waiting for a listing are journalled as sent, and no
    // job file is deleted: the tool is closing.
    ~CardCommands();

    // "Обновить", double click on the card listing.
    void Refresh();
    // "Удалить" on the card listing: the selected card file, then a refresh.
    void DeleteSelected();
    // "Удалить всё файлы ": every listed card file, then a refresh.
    void DeleteAll();
    // "Загрузить": the selected job file, then a refresh.
    void UploadSelected();
    // "загрузить все файлы": checks every job file of the source folder,
    // optionally empties the card (and sees it emptied in a listing), sends
    // the files that are ready, refreshes both lists, and (option) deletes
    // the sent files once the listing proves them on the card. With no
    // source folder chosen it only refreshes.
    void UploadAll();

    // The link's news, forwarded by the host (GUI thread): a complete
    // listing that answers the listing requests up to `request`, or the
    // listing of `request` that has stopped coming.
    void ListingCompleted(const std::vector<std::string>& names, std::uint64_t request);
    void ListingStalled(std::uint64_t request);
    // The controller is lost: what waits for a listing is given up; sent
    // files stay, and the operator is told.
    void LinkLost();

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
    // What a command sent, waiting for the listing asked for at its end.
    struct Sent {
        std::vector<SentOperation> operations;
        // Job files to delete once their upload is proven.
        std::vector<SentJob> toDelete;
    };
    // Sent operations that wait for the listing that answers `request` (or
    // a later one) on the connection of `generation`.
    struct AwaitedListing {
        std::uint64_t request = 0;
        std::uint64_t generation = 0;
        Sent sent;
    };

    // Reports an operation's end to the host; an empty result means done.
    void Ended(const CardOperation& operation);
    void Ended(CardOperation::Kind kind, const std::string& cardName,
               const std::filesystem::path& localFile, std::optional<std::uint64_t> bytes,
               const std::string& result);
    // Sends the delete frames of names on connection, each recorded in sent
    // once written. A frame that can't go out ends the command (thrown).
    void DeleteCardFiles(const std::vector<std::string>& names, CardOperation::Kind kind,
                         const LinkConnection& connection, std::vector<SentOperation>& sent);
    // Asks for a listing and waits for it (the progress window showing);
    // nothing when it does not come on connection.
    std::optional<std::vector<std::string>> AwaitCardListing(const LinkConnection& connection);
    // What a listing shows of the sent operations: journals each and deletes
    // the job files whose upload it proves; tells the operator of the rest,
    // card files still listed after their delete after notDeletedMessage.
    // Returns whether every delete is proven.
    bool Prove(Sent sent, const std::vector<std::string>& listing,
               const std::string& notDeletedMessage);
    // No listing will show what was sent: each operation is journalled as
    // sent, and the job files stay (said when tell).
    void GiveUp(Sent sent, bool tell);
    // Reports the uploads that the operator's stop, or a card that kept its
    // files, leaves out.
    void EndedNotSent(const std::vector<CheckedJob>& jobs, const std::string& why);

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
    // Sends a checked job file on connection if it is still what was
    // checked. A file that has changed or gone meanwhile is skipped, with a
    // message; a frame that can't go out ends the command (thrown).
    std::optional<SentJob> SendJobFile(const CheckedJob& job, const LinkConnection& connection);
    // The upload all proper, once the link allows it.
    void UploadAll(const std::filesystem::path& folder, const LinkConnection& connection,
                   Sent& sent);
    // Runs the uploads and deletes of command, then asks for a listing, also
    // when command throws (the error then goes on to the caller, after the
    // listing request): the card listing always ends showing the card. What
    // command sent waits for that listing. For upload all (refreshLocal),
    // the local list is refreshed first.
    void EndingWithListing(const std::function<void()>& command, Sent& sent,
                           bool refreshLocal = false);

    LinkSession& link_;
    CardCommandsHost& host_;
    std::optional<AwaitedListing> awaited_;
};

}  // namespace cardpush
