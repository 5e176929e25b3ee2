#include "jobs/card_commands.h"

#include <cassert>
#include <exception>
#include <iterator>

#include "jobs/job_texts.h"
#include "link/link_texts.h"
#include "link/protocol.h"
#include "platform/error_text.h"
#include "platform/main_thread.h"

namespace cardpush {
namespace {

using Kind = CardOperation::Kind;

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

std::vector<std::string> FileNames(const std::vector<SentJobFile>& jobs)
{
    std::vector<std::string> names;
    for (const auto& job : jobs) {
        names.push_back(platform::PathText(job.fileName));
    }
    return names;
}

}  // namespace

CardCommands::CardCommands(CardLink& link, CardCommandsHost& host)
    : link_(link), host_(host), uploads_(link, host)
{
}

CardCommands::~CardCommands()
{
    if (auto sent = proofs_.TakeAll()) {
        GiveUp(std::move(*sent), false);
    }
}

void CardCommands::Refresh()
{
    assert(platform::MainThread::IsCurrent());
    link_.RefreshCardList();
}

void CardCommands::DeleteCardFile(const std::optional<std::string>& listedName)
{
    DeleteCardFiles(listedName ? std::vector{*listedName} : std::vector<std::string>{});
}

void CardCommands::DeleteCardFiles(const std::vector<std::string>& listedNames)
{
    assert(platform::MainThread::IsCurrent());
    if (!listedNames.empty() && !RefusedByLink() && !RefuseUnsafeNames(listedNames)) {
        const LinkConnection connection = link_.Connection();
        Sent sent;
        EndingWithListing(
            [&] { DeleteCardFiles(listedNames, Kind::Delete, connection, sent.operations); }, sent);
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

void CardCommands::UploadJobFile(const std::filesystem::path& folder,
                                 const std::optional<std::filesystem::path>& fileName)
{
    assert(platform::MainThread::IsCurrent());
    if (fileName && !RefusedByLink()) {
        const LinkConnection connection = link_.Connection();
        const std::set<std::string> listed = ListedKeys(link_.LastListing().names);
        Sent sent;
        EndingWithListing(
            [&] {
                const auto job = uploads_.Check(folder, *fileName);
                if (job && host_.StopRequested()) {
                    uploads_.NotSent({*job}, job_texts::kStopped.str(),
                                     CardOperation::Failure::Stopped);
                } else if (job && uploads_.Send(*job, connection)) {
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

void CardCommands::UploadAll(const std::filesystem::path& folder, const UploadOptions& options)
{
    assert(platform::MainThread::IsCurrent());
    // With no folder chosen nothing is searched or deleted, here or on the
    // card: the empty folder must not stand for a drive's root.
    if (folder.empty()) {
        host_.LocalFilesChanged();
        link_.RefreshCardList();
        return;
    }
    UploadFiles(JobFilesIn(folder), options);
}

void CardCommands::UploadFiles(const std::vector<std::filesystem::path>& paths,
                               const UploadOptions& options)
{
    assert(platform::MainThread::IsCurrent());
    if (RefusedByLink()) {
        host_.LocalFilesChanged();
        link_.RefreshCardList();
        return;
    }
    const LinkConnection connection = link_.Connection();
    Sent sent;
    EndingWithListing([&] { UploadAll(paths, options, connection, sent); }, sent, true);
}

void CardCommands::UploadAll(const std::vector<std::filesystem::path>& paths,
                             const UploadOptions& options, const LinkConnection& connection,
                             Sent& sent)
{
    // Every file is checked before the card is touched: emptying the card
    // for files that then turn out unfit would lose its files with nothing
    // to replace them.
    const std::vector<CheckedJob> ready = uploads_.CheckAll(paths);
    if (host_.StopRequested()) {
        uploads_.NotSent(ready, job_texts::kStopped.str(), CardOperation::Failure::Stopped);
        return;
    }
    if (ready.empty()) {
        if (options.emptyCardFirst) {
            host_.ShowMessage(job_texts::kNothingToUpload);
        }
        return;
    }
    // The card as this connection listed it: while a message box was open,
    // another controller may have answered.
    const CardListing lastListing = link_.LastListing();
    if (lastListing.generation != connection.generation) {
        const ELinkChanged changed(link_texts::kConnectionChanged.str());
        uploads_.NotSent(ready, changed.what());
        throw changed;
    }
    std::vector<std::string> listedBefore = lastListing.names;
    if (options.emptyCardFirst && !listedBefore.empty()) {
        if (RefuseUnsafeNames(listedBefore)) {
            uploads_.NotSent(ready, job_texts::kCardNotEmptied.str());
            return;
        }
        Sent deletes;
        try {
            DeleteCardFiles(listedBefore, Kind::DeleteAll, connection, deletes.operations);
        } catch (...) {
            GiveUp(std::move(deletes), false);
            uploads_.NotSent(ready, job_texts::kCardNotEmptied.str());
            throw;
        }
        // Only a listing shows the card emptied: a card that is full or
        // write-protected ignores the deletes, and its old files would then
        // seem to prove the uploads.
        const auto listing = AwaitCardListing(connection);
        if (!listing) {
            GiveUp(std::move(deletes), false);
            uploads_.NotSent(ready, job_texts::kCardNotEmptied.str());
            host_.ShowMessage(job_texts::kNoListingAfterDeletes);
            return;
        }
        if (!Prove(deletes, *listing, job_texts::kCardKeptFiles.str())) {
            uploads_.NotSent(ready, job_texts::kCardNotEmptied.str());
            return;
        }
        listedBefore = *listing;
    }

    const std::set<std::string> listed = ListedKeys(listedBefore);
    for (auto job = ready.begin(); job != ready.end(); ++job) {
        // A file on its way is finished; the rest stay with the operator.
        if (host_.StopRequested()) {
            uploads_.NotSent({job, ready.end()}, job_texts::kStopped.str(),
                             CardOperation::Failure::Stopped);
            break;
        }
        std::optional<SentJobFile> done;
        try {
            done = uploads_.Send(*job, connection);
        } catch (const std::exception& error) {
            // The file on its way has its journal line; so do those after it.
            uploads_.NotSent({std::next(job), ready.end()}, error.what());
            throw;
        }
        if (done) {
            sent.operations.push_back(
                {CardOperation{Kind::Upload, job->cardName, job->path, done->stamp.size, {}},
                 listed.contains(CardKey(job->cardName))});
            if (options.deleteAfterUpload) {
                sent.toDelete.push_back(std::move(*done));
            }
        }
    }
}

void CardCommands::ListingCompleted(const std::vector<std::string>& names, std::uint64_t request)
{
    assert(platform::MainThread::IsCurrent());
    auto answer = proofs_.Answered(request, link_.Connection().generation);
    if (!answer) {
        return;
    }
    if (!answer->sameConnection) {
        GiveUp(std::move(answer->sent), true);
        return;
    }
    Prove(answer->sent, names, job_texts::kCardFilesNotDeleted.str());
}

void CardCommands::ListingStalled(std::uint64_t request)
{
    assert(platform::MainThread::IsCurrent());
    if (auto sent = proofs_.Stalled(request)) {
        GiveUp(std::move(*sent), true);
    }
}

void CardCommands::LinkLost()
{
    assert(platform::MainThread::IsCurrent());
    if (auto sent = proofs_.TakeAll()) {
        GiveUp(std::move(*sent), true);
    }
}

bool CardCommands::Prove(const Sent& sent, const std::vector<std::string>& listing,
                         const std::string& notDeletedMessage)
{
    const Proof proof = cardpush::Prove(sent, listing);
    for (const auto& operation : proof.operations) {
        Ended(operation);
    }
    const auto keep = [&](const SentJobFile& job, const std::string& why) {
        Ended(CardOperation{Kind::LocalDelete, job.cardName, job.path, job.stamp.size, why});
    };
    std::vector<std::string> changed;
    for (const auto& job : proof.proven) {
        const auto now = platform::StampOf(job.path);
        if (!now) {
            continue;  // gone already
        }
        if (*now != job.stamp) {
            changed.push_back(platform::PathText(job.fileName));
            keep(job, job_texts::kKeptChanged.str());
        } else if (platform::RemoveFile(job.path)) {
            keep(job, {});
        } else {
            // A file that can't be deleted (read-only, held open) stays.
            keep(job, job_texts::kNotRemoved.str());
        }
    }
    for (const auto& job : proof.wasListed) {
        keep(job, job_texts::kKeptWasListed.str());
    }
    for (const auto& job : proof.notConfirmed) {
        keep(job, job_texts::kKeptNotConfirmed.str());
    }
    if (!sent.toDelete.empty()) {
        host_.LocalFilesChanged();
    }
    if (!proof.notDeleted.empty()) {
        host_.ShowMessage(notDeletedMessage + NameList(proof.notDeleted));
    }
    if (!proof.notConfirmed.empty()) {
        host_.ShowMessage(job_texts::kNotConfirmed.str() + NameList(FileNames(proof.notConfirmed)));
    }
    if (!proof.wasListed.empty()) {
        host_.ShowMessage(job_texts::kWasListedKept.str() + NameList(FileNames(proof.wasListed)));
    }
    if (!changed.empty()) {
        host_.ShowMessage(job_texts::kChangedKept.str() + NameList(changed));
    }
    return proof.notDeleted.empty();
}

void CardCommands::GiveUp(Sent sent, bool tell)
{
    for (auto& operation : sent.operations) {
        operation.operation.result = job_texts::kSent.str();
        Ended(operation.operation);
    }
    for (const auto& job : sent.toDelete) {
        Ended(CardOperation{Kind::LocalDelete, job.cardName, job.path, job.stamp.size,
                            job_texts::kKeptNotConfirmed.str()});
    }
    if (tell && !sent.toDelete.empty()) {
        host_.ShowMessage(job_texts::kNotConfirmed.str() + NameList(FileNames(sent.toDelete)));
    }
}

void CardCommands::Ended(const CardOperation& operation)
{
    host_.OperationEnded(operation);
}

void CardCommands::DeleteCardFiles(const std::vector<std::string>& names, Kind kind,
                                   const LinkConnection& connection,
                                   std::vector<SentOperation>& sent)
{
    for (const auto& name : names) {
        const std::string trimmed = protocol::TrimName(name);
        try {
            link_.WriteCardFrame(protocol::DeleteFrame(name), connection);
        } catch (...) {
            Ended(CardOperation{
                kind, trimmed, {}, std::nullopt, platform::ErrorText(std::current_exception())});
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

void CardCommands::EndingWithListing(const std::function<void()>& command, Sent& sent,
                                     bool localFiles)
{
    const std::uint64_t generation = link_.Connection().generation;
    std::exception_ptr error;
    try {
        command();
    } catch (...) {
        error = std::current_exception();
    }
    if (localFiles) {
        host_.LocalFilesChanged();
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
    if (!sent.Empty()) {
        if (request == 0 || link_.Connection().generation != generation) {
            // The link was lost before the listing could be asked for:
            // nothing will prove what was sent, and the job files stay.
            GiveUp(std::move(sent), !error);
        } else {
            proofs_.Await(request, generation, std::move(sent));
        }
    }
    if (error) {
        std::rethrow_exception(error);
    }
}

}  // namespace cardpush
