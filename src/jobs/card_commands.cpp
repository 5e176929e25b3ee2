#include "jobs/card_commands.h"

#include <algorithm>
#include <cassert>
#include <exception>
#include <map>
#include <set>

#include "jobs/card_name.h"
#include "jobs/job_file.h"
#include "jobs/job_texts.h"
#include "link/link_texts.h"
#include "link/protocol.h"
#include "platform/main_thread.h"

namespace cardpush {
namespace {

using Kind = CardOperation::Kind;

// A size field of a long run of bad characters would open a box for each of
// them; past this many the rest are counted and reported in one box.
constexpr std::size_t kMessagesShownPerFile = 10;

constexpr char kJobExtension[] = "txt";

// The protocol log keeps this many of an upload's sent lines, the latest.
constexpr std::size_t kSentLinesLogged = 10000;

// A listed card name as the operator can read it: trimmed, with control
// bytes written as \xNN.
std::string Readable(std::string_view listedName)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (const char c : protocol::TrimName(listedName)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            text += "\\x";
            text += kHex[byte >> 4];
            text += kHex[byte & 0x0F];
        } else {
            text += c;
        }
    }
    return text;
}

// What the journal says of an error that ended an operation.
std::string ErrorText(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return job_texts::kUnknownError.str();
    }
}

// A job file's name without its extension, as the operator reads it: the
// card name comes from it, composed letters joined; a character that
// Windows-1251 lacks reads as '?', which no card name keeps.
std::string BaseNameOf(const std::filesystem::path& fileName)
{
    return CutBaseName(platform::PathText(fileName));
}

std::string TooLargeMessage(const std::filesystem::path& fileName, std::uint64_t size)
{
    return job_texts::kTooLarge.str() + platform::PathText(fileName) +
           job_texts::kTooLargeSize.str() + std::to_string(size) + job_texts::kTooLargeLimit.str() +
           std::to_string(kMaxJobFileBytes) + job_texts::kTooLargeEnd.str();
}

// The journal's result of a sent operation, by what the listing shows.
std::string ResultOf(const SentOperation& sent, ProofVerdict verdict)
{
    switch (verdict) {
        case ProofVerdict::Proven:
            return {};
        case ProofVerdict::Refuted:
            return sent.operation.kind == Kind::Upload ? job_texts::kNotOnCard.str()
                                                       : job_texts::kNotDeleted.str();
        case ProofVerdict::Unproven:
            break;
    }
    return job_texts::kSent.str();
}

}  // namespace

CardCommands::CardCommands(LinkSession& link, CardCommandsHost& host) : link_(link), host_(host) {}

CardCommands::~CardCommands()
{
    if (awaited_) {
        Sent sent = std::move(awaited_->sent);
        awaited_.reset();
        GiveUp(std::move(sent), false);
    }
}

void CardCommands::Refresh()
{
    assert(platform::MainThread::IsCurrent());
    link_.RefreshCardList();
}

void CardCommands::DeleteSelected()
{
    assert(platform::MainThread::IsCurrent());
    const auto name = host_.SelectedCardName();
    if (name && !RefusedByLink() && !RefuseUnsafeNames({*name})) {
        const LinkConnection connection = link_.Connection();
        Sent sent;
        EndingWithListing(
            [&] { DeleteCardFiles({*name}, Kind::Delete, connection, sent.operations); }, sent);
        return;
    }
    link_.RefreshCardList();
}

void CardCommands::DeleteAll()
{
    assert(platform::MainThread::IsCurrent());
    if (!RefusedByLink()) {
        // The listing is taken once: the frames go out back to back.
        const auto names = link_.LastListing().names;
        if (!names.empty() && !RefuseUnsafeNames(names)) {
            const LinkConnection connection = link_.Connection();
            Sent sent;
            EndingWithListing(
                [&] { DeleteCardFiles(names, Kind::DeleteAll, connection, sent.operations); },
                sent);
            return;
        }
    }
    link_.RefreshCardList();
}

void CardCommands::UploadSelected()
{
    assert(platform::MainThread::IsCurrent());
    const auto fileName = host_.SelectedJobFile();
    if (fileName && !RefusedByLink()) {
        const LinkConnection connection = link_.Connection();
        const std::set<std::string> listed = ListedKeys(link_.LastListing().names);
        Sent sent;
        EndingWithListing(
            [&] {
                const auto job = CheckJobFile(host_.SourceFolder(), *fileName);
                if (job && host_.StopRequested()) {
                    EndedNotSent({*job}, job_texts::kStopped.str());
                } else if (job && SendJobFile(*job, connection)) {
                    sent.operations.push_back(
                        {CardOperation{Kind::Upload, job->cardName, job->path, job->size, {}},
                         listed.contains(CardKey(job->cardName))});
                }
            },
            sent);
        return;
    }
    link_.RefreshCardList();
}

void CardCommands::UploadAll()
{
    assert(platform::MainThread::IsCurrent());
    // With no folder chosen nothing is searched or deleted, here or on the
    // card: the empty folder must not stand for a drive's root.
    const std::filesystem::path folder = host_.SourceFolder();
    if (folder.empty() || RefusedByLink()) {
        host_.RefreshLocalList();
        link_.RefreshCardList();
        return;
    }
    const LinkConnection connection = link_.Connection();
    Sent sent;
    EndingWithListing([&] { UploadAll(folder, connection, sent); }, sent, true);
}

void CardCommands::UploadAll(const std::filesystem::path& folder, const LinkConnection& connection,
                             Sent& sent)
{
    // Every file is checked before the card is touched: emptying the card
    // for files that then turn out unfit would lose its files with nothing
    // to replace them.
    const std::vector<CheckedJob> ready = CheckAll(folder);
    if (host_.StopRequested()) {
        EndedNotSent(ready, job_texts::kStopped.str());
        return;
    }
    const bool emptyCardFirst = host_.DeleteCardFilesBeforeUpload();
    if (ready.empty()) {
        if (emptyCardFirst) {
            host_.ShowMessage(job_texts::kNothingToUpload);
        }
        return;
    }
    // The card as this connection listed it: after a message box another
    // controller may have answered meanwhile.
    const CardListing lastListing = link_.LastListing();
    if (lastListing.generation != connection.generation) {
        const ELinkChanged changed(link_texts::kConnectionChanged.str());
        EndedNotSent(ready, changed.what());
        throw changed;
    }
    std::vector<std::string> listedBefore = lastListing.names;
    if (emptyCardFirst && !listedBefore.empty()) {
        if (RefuseUnsafeNames(listedBefore)) {
            return;
        }
        Sent deletes;
        try {
            DeleteCardFiles(listedBefore, Kind::DeleteAll, connection, deletes.operations);
        } catch (...) {
            GiveUp(std::move(deletes), false);
            EndedNotSent(ready, job_texts::kCardNotEmptied.str());
            throw;
        }
        // Only a listing shows the card emptied: a card that is full or
        // write-protected ignores the deletes, and its old files would then
        // seem to prove the uploads.
        const auto listing = AwaitCardListing(connection);
        if (!listing) {
            GiveUp(std::move(deletes), false);
            EndedNotSent(ready, job_texts::kCardNotEmptied.str());
            host_.ShowMessage(job_texts::kNoListingAfterDeletes);
            return;
        }
        if (!Prove(std::move(deletes), *listing, job_texts::kCardKeptFiles.str())) {
            EndedNotSent(ready, job_texts::kCardNotEmptied.str());
            return;
        }
        listedBefore = *listing;
    }

    const std::set<std::string> listed = ListedKeys(listedBefore);
    const bool deleteAfter = host_.DeleteJobFilesAfterUpload();
    for (auto job = ready.begin(); job != ready.end(); ++job) {
        // A file on its way is finished; the rest stay with the operator.
        if (host_.StopRequested()) {
            EndedNotSent({job, ready.end()}, job_texts::kStopped.str());
            break;
        }
        if (auto done = SendJobFile(*job, connection)) {
            sent.operations.push_back(
                {CardOperation{Kind::Upload, job->cardName, job->path, done->stamp.size, {}},
                 listed.contains(CardKey(job->cardName))});
            if (deleteAfter) {
                sent.toDelete.push_back(std::move(*done));
            }
        }
    }
}

void CardCommands::ListingCompleted(const std::vector<std::string>& names, std::uint64_t request)
{
    assert(platform::MainThread::IsCurrent());
    if (!awaited_ || request < awaited_->request) {
        return;
    }
    AwaitedListing awaited = std::move(*awaited_);
    awaited_.reset();
    if (awaited.generation != link_.Connection().generation) {
        GiveUp(std::move(awaited.sent), true);
        return;
    }
    Prove(std::move(awaited.sent), names, job_texts::kCardFilesNotDeleted.str());
}

void CardCommands::ListingStalled(std::uint64_t request)
{
    assert(platform::MainThread::IsCurrent());
    if (!awaited_ || request < awaited_->request) {
        return;
    }
    Sent sent = std::move(awaited_->sent);
    awaited_.reset();
    GiveUp(std::move(sent), true);
}

void CardCommands::LinkLost()
{
    assert(platform::MainThread::IsCurrent());
    if (awaited_) {
        ListingStalled(awaited_->request);
    }
}

bool CardCommands::Prove(Sent sent, const std::vector<std::string>& listing,
                         const std::string& notDeletedMessage)
{
    const std::set<std::string> keys = ListedKeys(listing);
    std::vector<std::string> notDeleted;
    std::set<std::filesystem::path> proven;
    std::set<std::filesystem::path> listedBefore;
    for (const auto& operation : sent.operations) {
        const ProofVerdict verdict = Judge(operation, keys);
        CardOperation done = operation.operation;
        done.result = ResultOf(operation, verdict);
        Ended(done);
        if (operation.operation.kind != Kind::Upload) {
            if (verdict == ProofVerdict::Refuted) {
                notDeleted.push_back(operation.operation.cardName);
            }
        } else if (verdict == ProofVerdict::Proven) {
            proven.insert(operation.operation.localFile);
        } else if (verdict == ProofVerdict::Unproven) {
            listedBefore.insert(operation.operation.localFile);
        }
    }

    std::vector<std::string> unconfirmed;
    std::vector<std::string> wasListed;
    std::vector<std::string> changed;
    for (const auto& job : sent.toDelete) {
        const auto kept = [&](std::vector<std::string>& list, const std::string& why) {
            list.push_back(platform::PathText(job.fileName));
            Ended(Kind::LocalDelete, job.cardName, job.path, job.stamp.size, why);
        };
        if (listedBefore.contains(job.path)) {
            kept(wasListed, job_texts::kKeptWasListed.str());
            continue;
        }
        if (!proven.contains(job.path)) {
            kept(unconfirmed, job_texts::kKeptNotConfirmed.str());
            continue;
        }
        const auto now = platform::StampOf(job.path);
        if (!now) {
            continue;  // gone already
        }
        if (*now != job.stamp) {
            kept(changed, job_texts::kKeptChanged.str());
            continue;
        }
        // A file that can't be deleted (read-only, held open) stays.
        if (platform::RemoveFile(job.path)) {
            Ended(Kind::LocalDelete, job.cardName, job.path, job.stamp.size, {});
        } else {
            Ended(Kind::LocalDelete, job.cardName, job.path, job.stamp.size,
                  job_texts::kNotRemoved.str());
        }
    }
    if (!sent.toDelete.empty()) {
        host_.RefreshLocalList();
    }
    if (!notDeleted.empty()) {
        host_.ShowMessage(notDeletedMessage + NameList(notDeleted));
    }
    if (!unconfirmed.empty()) {
        host_.ShowMessage(job_texts::kNotConfirmed.str() + NameList(unconfirmed));
    }
    if (!wasListed.empty()) {
        host_.ShowMessage(job_texts::kWasListedKept.str() + NameList(wasListed));
    }
    if (!changed.empty()) {
        host_.ShowMessage(job_texts::kChangedKept.str() + NameList(changed));
    }
    return notDeleted.empty();
}

void CardCommands::GiveUp(Sent sent, bool tell)
{
    for (auto& operation : sent.operations) {
        operation.operation.result = job_texts::kSent.str();
        Ended(operation.operation);
    }
    std::vector<std::string> kept;
    for (const auto& job : sent.toDelete) {
        kept.push_back(platform::PathText(job.fileName));
        Ended(Kind::LocalDelete, job.cardName, job.path, job.stamp.size,
              job_texts::kKeptNotConfirmed.str());
    }
    if (tell && !kept.empty()) {
        host_.ShowMessage(job_texts::kNotConfirmed.str() + NameList(kept));
    }
}

void CardCommands::Ended(const CardOperation& operation)
{
    host_.OperationEnded(operation);
}

void CardCommands::Ended(Kind kind, const std::string& cardName,
                         const std::filesystem::path& localFile, std::optional<std::uint64_t> bytes,
                         const std::string& result)
{
    Ended(CardOperation{kind, cardName, localFile, bytes, result});
}

void CardCommands::DeleteCardFiles(const std::vector<std::string>& names, Kind kind,
                                   const LinkConnection& connection,
                                   std::vector<SentOperation>& sent)
{
    for (const auto& name : names) {
        const std::string trimmed = protocol::TrimName(name);
        try {
            link_.DeleteCardFile(name, connection);
        } catch (...) {
            Ended(kind, trimmed, {}, std::nullopt, ErrorText(std::current_exception()));
            throw;
        }
        sent.push_back({CardOperation{kind, trimmed, {}, std::nullopt, {}}, true});
    }
}

std::optional<std::vector<std::string>> CardCommands::AwaitCardListing(
    const LinkConnection& connection)
{
    const std::uint64_t request = link_.RefreshCardList();
    if (request == 0) {
        return std::nullopt;
    }
    std::optional<std::vector<std::string>> names;
    UploadProgress progress;
    progress.phase = UploadProgress::Phase::AwaitingListing;
    host_.RunWithProgress(
        progress, [&](const ProgressFn&) { names = link_.AwaitListing(request, connection); });
    return names;
}

void CardCommands::EndedNotSent(const std::vector<CheckedJob>& jobs, const std::string& why)
{
    for (const auto& job : jobs) {
        Ended(Kind::Upload, job.cardName, job.path, job.size, why);
    }
}

bool CardCommands::RefusedByLink()
{
    const auto why = link_.CardCommandRefusal();
    if (why) {
        host_.ShowMessage(*why);
    }
    return why.has_value();
}

bool CardCommands::RefuseUnsafeNames(const std::vector<std::string>& names)
{
    std::vector<std::string> unsafe;
    for (const auto& name : names) {
        if (!protocol::IsSafeCardName(name)) {
            unsafe.push_back(Readable(name));
        }
    }
    if (unsafe.empty()) {
        return false;
    }
    host_.ShowMessage(job_texts::kUnsafeCardNames.str() + NameList(unsafe));
    return true;
}

std::vector<CardCommands::CheckedJob> CardCommands::CheckAll(const std::filesystem::path& folder)
{
    std::vector<CheckedJob> ready;
    // Card key -> the job file that goes under it, as the operator reads it.
    std::map<std::string, std::string> takenBy;
    const auto fileNames = platform::ListFolder(folder, kJobExtension);
    for (auto fileName = fileNames.begin(); fileName != fileNames.end(); ++fileName) {
        if (host_.StopRequested()) {
            // Neither the files checked nor those not yet checked are sent.
            EndedNotSent(ready, job_texts::kStopped.str());
            for (auto rest = fileName; rest != fileNames.end(); ++rest) {
                Ended(Kind::Upload, MakeCardName(BaseNameOf(*rest)), folder / *rest,
                      platform::SizeOf(folder / *rest), job_texts::kStopped.str());
            }
            return {};
        }
        auto job = CheckJobFile(folder, *fileName);
        if (!job) {
            continue;
        }
        // Both would land in one file on the card, the second over the first,
        // and both would be deleted here: only the first goes.
        const std::string key = CardKey(job->cardName);
        if (const auto taken = takenBy.find(key); taken != takenBy.end()) {
            const std::string message = job_texts::kCardNameTaken.str() +
                                        platform::PathText(*fileName) + " (" + key + ", " +
                                        taken->second + ")";
            host_.ShowMessage(message);
            Ended(Kind::Upload, job->cardName, job->path, job->size, message);
            continue;
        }
        takenBy.emplace(key, platform::PathText(*fileName));
        ready.push_back(std::move(*job));
    }
    return ready;
}

std::optional<CardCommands::CheckedJob> CardCommands::CheckJobFile(
    const std::filesystem::path& folder, const std::filesystem::path& fileName)
{
    const std::string baseName = BaseNameOf(fileName);
    const std::string cardName = MakeCardName(baseName);
    if (const auto message = NameChangeMessage(baseName, cardName)) {
        host_.ShowMessage(*message);
    }
    // A header without a name would store a file the card can't name again.
    const std::filesystem::path path = folder / fileName;
    std::optional<std::uint64_t> size = platform::SizeOf(path);
    const auto refuse = [&](const std::string& message) {
        host_.ShowMessage(message);
        Ended(Kind::Upload, cardName, path, size, message);
        return std::nullopt;
    };
    if (cardName.empty()) {
        return refuse(job_texts::kNoCardName.str() + platform::PathText(fileName));
    }
    if (size && *size > kMaxJobFileBytes) {
        return refuse(TooLargeMessage(fileName, *size));
    }

    // Read and checked off the GUI thread: a large file takes a while.
    std::vector<std::string> messages;
    std::vector<std::string> log;
    bool accepted = false;
    std::uint64_t hash = 0;
    UploadProgress progress;
    progress.fileName = fileName;
    progress.phase = UploadProgress::Phase::Checking;
    try {
        host_.RunWithProgress(progress, [&](const ProgressFn&) {
            const platform::StampedFile file = platform::ReadStampedFile(path, kMaxJobFileBytes);
            hash = ContentHash(file.bytes);
            size = file.stamp.size;
            accepted = PrepareJobUpload(
                           cardName, platform::PathText(fileName), file.bytes,
                           [&](const std::string& text) { messages.push_back(text); },
                           [&](const std::string& line) { log.push_back(line); })
                           .has_value();
        });
    } catch (const platform::EFileTooLarge&) {
        return refuse(TooLargeMessage(fileName, kMaxJobFileBytes + 1));
    } catch (...) {
        Ended(Kind::Upload, cardName, path, size, ErrorText(std::current_exception()));
        throw;
    }

    // A close asked for while the boxes show ends them.
    const std::size_t shown = std::min(kMessagesShownPerFile, messages.size());
    for (std::size_t i = 0; i < shown && !host_.StopRequested(); ++i) {
        host_.ShowMessage(messages[i]);
    }
    if (messages.size() > shown && !host_.StopRequested()) {
        host_.ShowMessage(job_texts::kMoreMessages.str() + std::to_string(messages.size() - shown));
    }
    if (!accepted) {
        // The header text and "false": what was checked and refused.
        host_.AddLogLines(log);
        Ended(Kind::Upload, cardName, path, size,
              messages.empty() ? job_texts::kRejectedLog.str() : messages.front());
        return std::nullopt;
    }
    return CheckedJob{fileName, path, cardName, hash, size.value_or(0)};
}

std::optional<CardCommands::SentJob> CardCommands::SendJobFile(const CheckedJob& job,
                                                               const LinkConnection& connection)
{
    platform::StampedFile file;
    std::optional<JobUpload> upload;
    std::string unreadable;
    bool changed = false;
    std::size_t linesSent = 0;
    UploadProgress progress;
    progress.fileName = job.fileName;
    const auto logSent = [&] {
        if (upload) {
            host_.AddLogLine(upload->header);
            host_.AddLogLines(SentLinesToLog(file.bytes, linesSent, kSentLinesLogged));
        }
    };
    try {
        host_.RunWithProgress(progress, [&](const ProgressFn& report) {
            // Read again, and sent only if it is still what was checked.
            try {
                file = platform::ReadStampedFile(job.path, kMaxJobFileBytes);
            } catch (const platform::EFileTooLarge&) {
                changed = true;
                return;
            } catch (const platform::EFileError& error) {
                unreadable = error.what();
                return;
            }
            if (ContentHash(file.bytes) != job.contentHash) {
                changed = true;
                return;
            }
            upload = MakeJobUpload(job.cardName, ShapeOfJob(file.bytes));

            UploadProgress now = progress;
            now.bytesTotal = upload->TotalBytes();
            now.linesTotal = upload->lines;
            link_.WriteCardFrame(upload->header, connection);
            now.bytesSent = upload->header.size();
            report(now);
            // Lines count as sent once the write that carried them has
            // completed.
            GatherLineFrames(file.bytes, LinkSession::kMaxWriteBytes,
                             [&](std::string_view frames, std::size_t lines) {
                                 link_.WriteCardFrame(frames, connection);
                                 linesSent += lines;
                                 now.bytesSent += frames.size();
                                 now.linesSent = linesSent;
                                 report(now);
                             });
        });
    } catch (...) {
        logSent();
        Ended(Kind::Upload, job.cardName, job.path, job.size, ErrorText(std::current_exception()));
        throw;
    }
    // A file that changed or went since it was checked is skipped; the
    // others go on.
    if (changed || !unreadable.empty()) {
        const std::string message =
            changed ? job_texts::kChangedBeforeSending.str() + platform::PathText(job.fileName)
                    : job_texts::kUnreadableBeforeSending.str() + platform::PathText(job.fileName) +
                          ": " + unreadable;
        host_.ShowMessage(message);
        Ended(Kind::Upload, job.cardName, job.path, job.size, message);
        return std::nullopt;
    }
    logSent();
    return SentJob{job.fileName, job.path, job.cardName, file.stamp};
}

void CardCommands::EndingWithListing(const std::function<void()>& command, Sent& sent,
                                     bool refreshLocal)
{
    const std::uint64_t generation = link_.Connection().generation;
    std::exception_ptr error;
    try {
        command();
    } catch (...) {
        error = std::current_exception();
    }
    if (refreshLocal) {
        host_.RefreshLocalList();
    }
    std::uint64_t request = 0;
    try {
        request = link_.RefreshCardList();
    } catch (...) {
        // The command's own error, if it had one, says more.
        if (!error) {
            error = std::current_exception();
        }
    }
    const bool sentSomething = !sent.operations.empty() || !sent.toDelete.empty();
    if (sentSomething && (request == 0 || link_.Connection().generation != generation)) {
        // The link was lost before the listing could be asked for: nothing
        // will prove what was sent, and the job files stay.
        GiveUp(std::move(sent), !error);
    } else if (sentSomething) {
        // What still waits from an earlier command is answered by this
        // listing too: it comes after every byte sent before it.
        if (!awaited_) {
            awaited_ = AwaitedListing{};
        }
        awaited_->request = request;
        awaited_->generation = generation;
        auto& waiting = awaited_->sent;
        std::move(sent.operations.begin(), sent.operations.end(),
                  std::back_inserter(waiting.operations));
        std::move(sent.toDelete.begin(), sent.toDelete.end(), std::back_inserter(waiting.toDelete));
    }
    if (error) {
        std::rethrow_exception(error);
    }
}

}  // namespace cardpush
