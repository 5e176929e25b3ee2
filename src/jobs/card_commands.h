// The operator's card commands: refresh the card listing, delete one or all
// card files, upload one or all job files of the source folder.
//
// Toolkit-free: the session runs them with the operator's choices as
// arguments, through a link it may fake (card_link.h) and a host that shows
// and journals (command_host.h). Everything here runs on the GUI thread (the
// public members assert it in debug builds); reading, checking and sending
// a job file and waiting for a listing run on the host's worker.
//
// Frames go out only while the link allows card commands (a listing
// completed, link state 8); otherwise a command tells the operator why and
// only asks for a fresh listing. A command is bound to the connection it
// started on: when the controller is lost or another answers meanwhile, it
// stops with a message and sends nothing more.
//
// What keeps the operator's files safe:
//   - What was checked is what is sent (job_upload.h).
//   - Upload all empties the card first (its option) only once every job
//     file has been checked and at least one is ready to go, and sends
//     nothing unless the listing after the deletes shows them done.
//   - A job file is deleted after upload all (its option) only when the
//     listing asked for after the upload proves it on the card
//     (listing_proof.h; the controller answers only after it has read every
//     byte sent before the request), and only if the file is still the one
//     that was read.
//   - A card name from a listing goes back in a frame only if it is safe.
//   - The journal's "ok" means a listing showed the operation done; a frame
//     written but not shown so is "sent".
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "jobs/command_host.h"
#include "jobs/job_upload.h"
#include "jobs/listing_proof.h"
#include "link/card_link.h"

namespace cardpush {

// The two options of upload all.
struct UploadOptions {
    bool deleteAfterUpload = true;  // "удалить файлы после загрузки"
    bool emptyCardFirst = true;  // "удалить файлы  с карты памяти до загрузки"

    friend bool operator==(const UploadOptions&, const UploadOptions&) = default;
};

class CardCommands {
public:
    // The link and the host must outlive the commands.
    CardCommands(CardLink& link, CardCommandsHost& host);
    // What still waits for a listing is journalled as sent, and no job file
    // is deleted: the tool is closing.
    ~CardCommands();
    CardCommands(const CardCommands&) = delete;
    CardCommands& operator=(const CardCommands&) = delete;

    // "Обновить", double click on the card listing.
    void Refresh();
    // "Удалить" on the card listing: the card file of that listed name (as
    // the controller sent it), then a refresh; with nothing selected only
    // the refresh.
    void DeleteCardFile(const std::optional<std::string>& listedName);
    // The card files of those listed names, back to back, then a refresh.
    void DeleteCardFiles(const std::vector<std::string>& listedNames);
    // "Удалить всё файлы ": every card file of the last listing, then a
    // refresh.
    void DeleteAll();
    // "Загрузить": the job file of folder with that name, then a refresh.
    void UploadJobFile(const std::filesystem::path& folder,
                       const std::optional<std::filesystem::path>& fileName);
    // "загрузить все файлы": checks every job file of folder, optionally
    // empties the card (and sees it emptied in a listing), sends the files
    // that are ready, and (option) deletes the sent files once the listing
    // proves them on the card. With no folder it only refreshes.
    void UploadAll(const std::filesystem::path& folder, const UploadOptions& options);
    // Upload all for the job files at paths, in that order, wherever they
    // are (the command line names them): the same checks, options and
    // proof.
    void UploadFiles(const std::vector<std::filesystem::path>& paths, const UploadOptions& options);

    // The link's news (GUI thread): a complete listing that answers the
    // listing requests up to `request`, or the listing of `request` that has
    // stopped coming; the controller lost. What waits for a listing is
    // shown by it, or given up (the job files stay, and the operator is
    // told).
    void ListingCompleted(const std::vector<std::string>& names, std::uint64_t request);
    void ListingStalled(std::uint64_t request);
    void LinkLost();
    // Whether what a command sent still waits for the listing that shows it.
    bool AwaitingListing() const { return proofs_.Waiting(); }

private:
    // Sends the delete frames of names on connection, each recorded in sent
    // once written. A frame that can't go out ends the command (thrown).
    void DeleteCardFiles(const std::vector<std::string>& names, CardOperation::Kind kind,
                         const LinkConnection& connection, std::vector<SentOperation>& sent);
    // Asks for a listing and waits for it (with the progress shown);
    // nothing when it does not come on connection.
    std::optional<std::vector<std::string>> AwaitCardListing(const LinkConnection& connection);
    // What a listing shows of what was sent: journals each operation,
    // deletes the job files it proves on the card, and tells the operator of
    // the rest, of card files still listed after notDeletedMessage. Returns
    // whether every delete is proven.
    bool Prove(const Sent& sent, const std::vector<std::string>& listing,
               const std::string& notDeletedMessage);
    // No listing will show what was sent: each operation is journalled as
    // sent, and the job files stay (said when tell).
    void GiveUp(Sent sent, bool tell);
    void Ended(const CardOperation& operation);

    // Shows why card commands may not send frames now; false when they may.
    bool RefusedByLink();
    // Card names that must not go back to the controller; each is reported.
    bool RefuseUnsafeNames(const std::vector<std::string>& names);
    // The upload all proper, once the link allows it.
    void UploadAll(const std::vector<std::filesystem::path>& paths, const UploadOptions& options,
                   const LinkConnection& connection, Sent& sent);
    // Runs the uploads and deletes of command, then asks for a listing, also
    // when command throws (the error then goes on to the caller, after the
    // listing request): the card listing always ends showing the card. What
    // command sent waits for that listing. For upload all (localFiles), the
    // local list is refreshed first.
    void EndingWithListing(const std::function<void()>& command, Sent& sent,
                           bool localFiles = false);

    CardLink& link_;
    CardCommandsHost& host_;
    JobUploads uploads_;
    ProofBook proofs_;
};

}  // namespace cardpush
