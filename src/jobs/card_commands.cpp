#include "jobs/card_commands.h"

#include <algorithm>
#include <cassert>
#include <exception>
#include <map>
#include <set>

#include "jobs/card_name.h"
#include "jobs/job_file.h"
#include "jobs/job_texts.h"
#include "link/link_session.h"
#include "link/protocol.h"
#include "platform/main_thread.h"

namespace cardpush {
namespace {

// A size field of a long run of bad characters would open a box for each of
// them; past this many the rest are counted and reported in one box.
constexpr int kMessagesShownPerFile = 10;

constexpr char kJobExtension[] = "txt";

// A file's line frames go out gathered, as many whole frames as fit this
// many bytes to a write (a longer frame goes alone): a write and its
// completion cost far more than its bytes, so this is what lets an upload
// keep up with a fast line. The bytes on the line are the same. The bound
// is small because a write's time-out grows with its size (100 ms a byte):
// a controller that stops reading is noticed when the blocked write runs
// out of it, here within 14 s.
constexpr std::size_t kGatheredWriteBytes = 128;

// The card keeps the first 8 bytes of a card name, and lists them: two card
// names that agree in them are one file on the card.
std::string CardKey(std::string_view cardName)
{
    return std::string(cardName.substr(0, protocol::kCardNameSize));
}

std::string Joined(const std::vector<std::string>& items)
{
    std::string text;
    for (const auto& item : items) {
        if (!text.empty()) {
            text += ", ";
        }
        text += item;
    }
    return text;
}

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

}  // namespace

CardCommands::CardCommands(LinkSession& link, CardCommandsHost& host) : link_(link), host_(host) {}

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
        EndingWithListing([&] { DeleteCardFiles({*name}, CardOperation::Kind::Delete); });
        return;
    }
    link_.RefreshCardList();
}

void CardCommands::DeleteAll()
{
    assert(platform::MainThread::IsCurrent());
    // The listing is taken once: the frames go out back to back.
    const auto names = host_.CardNames();
    if (!names.empty() && !RefusedByLink() && !RefuseUnsafeNames(names)) {
        EndingWithListing([&] { DeleteCardFiles(names, CardOperation::Kind::DeleteAll); });
        return;
    }
    link_.RefreshCardList();
}

void CardCommands::UploadSelected()
{
    assert(platform::MainThread::IsCurrent());
    const auto fileName = host_.SelectedJobFile();
    if (fileName && !RefusedByLink()) {
        EndingWithListing([&] { UploadJobFile(*fileName); });
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

    std::vector<SentJob> sent;
    EndingWithListing(
        [&] {
            // Every file is checked before the card is touched: emptying the
            // card for files that then turn out unfit would lose its files
            // with nothing to replace them.
            const std::vector<CheckedJob> ready = CheckAll(folder);
            if (host_.StopRequested()) {
                EndedStopped(ready);
                return;
            }
            const bool emptyCardFirst = host_.DeleteCardFilesBeforeUpload();
            if (ready.empty()) {
                if (emptyCardFirst) {
                    host_.ShowMessage(job_texts::kNothingToUpload);
                }
                return;
            }
            if (emptyCardFirst) {
                const auto names = host_.CardNames();
                if (RefuseUnsafeNames(names)) {
                    return;
                }
                DeleteCardFiles(names, CardOperation::Kind::DeleteAll);
            }
            for (auto job = ready.begin(); job != ready.end(); ++job) {
                // A file on its way is finished; the rest stay with the operator.
                if (host_.StopRequested()) {
                    EndedStopped({job, ready.end()});
                    break;
                }
                if (auto done = SendJobFile(*job)) {
                    sent.push_back(std::move(*done));
                }
            }
        },
        &sent);
}

void CardCommands::ListingCompleted(const std::vector<std::string>& names, std::uint64_t request)
{
    assert(platform::MainThread::IsCurrent());
    if (!awaited_ || request < awaited_->request) {
        return;
    }
    const AwaitedListing awaited = std::move(*awaited_);
    awaited_.reset();

    std::set<std::string> listed;
    for (const auto& name : names) {
        listed.insert(protocol::TrimName(name));
    }
    std::vector<std::string> unconfirmed;
    std::vector<std::string> changed;
    for (const auto& job : awaited.files) {
        const auto kept = [&](const std::string& why) {
            Ended(CardOperation::Kind::LocalDelete, job.cardName, job.path, job.stamp.size, why);
        };
        if (!listed.contains(CardKey(job.cardName))) {
            unconfirmed.push_back(platform::PathText(job.fileName));
            kept(job_texts::kKeptNotConfirmed.str());
            continue;
        }
        const auto now = platform::StampOf(job.path);
        if (!now) {
            continue;  // gone already
        }
        if (*now != job.stamp) {
            changed.push_back(platform::PathText(job.fileName));
            kept(job_texts::kKeptChanged.str());
            continue;
        }
        // A file that can't be deleted (read-only, held open) stays.
        if (platform::RemoveFile(job.path)) {
            Ended(CardOperation::Kind::LocalDelete, job.cardName, job.path, job.stamp.size, {});
        } else {
            kept(job_texts::kNotRemoved.str());
        }
    }
    host_.RefreshLocalList();
    if (!unconfirmed.empty()) {
        host_.ShowMessage(job_texts::kNotConfirmed.str() + Joined(unconfirmed));
    }
    if (!changed.empty()) {
        host_.ShowMessage(job_texts::kChangedKept.str() + Joined(changed));
    }
}

void CardCommands::ListingStalled(std::uint64_t request)
{
    assert(platform::MainThread::IsCurrent());
    if (!awaited_ || request < awaited_->request) {
        return;
    }
    const std::vector<SentJob> files = std::move(awaited_->files);
    awaited_.reset();
    KeepUnconfirmed(files);
}

void CardCommands::KeepUnconfirmed(const std::vector<SentJob>& files)
{
    std::vector<std::string> kept;
    for (const auto& job : files) {
        kept.push_back(platform::PathText(job.fileName));
        Ended(CardOperation::Kind::LocalDelete, job.cardName, job.path, job.stamp.size,
              job_texts::kKeptNotConfirmed.str());
    }
    host_.ShowMessage(job_texts::kNotConfirmed.str() + Joined(kept));
}

void CardCommands::LinkLost()
{
    assert(platform::MainThread::IsCurrent());
    if (awaited_) {
        ListingStalled(awaited_->request);
    }
}

bool CardCommands::UploadJobFile(const std::filesystem::path& fileName)
{
    assert(platform::MainThread::IsCurrent());
    if (!link_.CardCommandsAllowed()) {
        return false;
    }
    const auto job = CheckJobFile(host_.SourceFolder(), fileName);
    if (job && host_.StopRequested()) {
        EndedStopped({*job});
        return false;
    }
    return job && SendJobFile(*job).has_value();
}

void CardCommands::Ended(CardOperation::Kind kind, const std::string& cardName,
                         const std::filesystem::path& localFile, std::optional<std::uint64_t> bytes,
                         const std::string& result)
{
    host_.OperationEnded(CardOperation{kind, cardName, localFile, bytes, result});
}

void CardCommands::DeleteCardFiles(const std::vector<std::string>& names, CardOperation::Kind kind)
{
    for (const auto& name : names) {
        try {
            link_.DeleteCardFile(name);
        } catch (...) {
            Ended(kind, protocol::TrimName(name), {}, std::nullopt,
                  ErrorText(std::current_exception()));
            throw;
        }
        Ended(kind, protocol::TrimName(name), {}, std::nullopt, {});
    }
}

void CardCommands::EndedStopped(const std::vector<CheckedJob>& jobs)
{
    for (const auto& job : jobs) {
        Ended(CardOperation::Kind::Upload, job.cardName, job.path, job.size,
              job_texts::kStopped.str());
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
    host_.ShowMessage(job_texts::kUnsafeCardNames.str() + Joined(unsafe));
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
            EndedStopped(ready);
            for (auto rest = fileName; rest != fileNames.end(); ++rest) {
                Ended(CardOperation::Kind::Upload, MakeCardName(BaseNameOf(*rest)), folder / *rest,
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
            Ended(CardOperation::Kind::Upload, job->cardName, job->path, job->size, message);
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
        Ended(CardOperation::Kind::Upload, cardName, path, size, message);
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
    progress.checking = true;
    try {
        host_.RunWithProgress(progress, [&](const ProgressFn&) {
            const platform::StampedFile file = platform::ReadStampedFile(path, kMaxJobFileBytes);
            hash = ContentHash(file.bytes);
            size = file.stamp.size;
            accepted = PrepareJobUpload(
                           cardName, file.bytes,
                           [&](const std::string& text) { messages.push_back(text); },
                           [&](const std::string& line) { log.push_back(line); })
                           .has_value();
        });
    } catch (const platform::EFileTooLarge&) {
        return refuse(TooLargeMessage(fileName, kMaxJobFileBytes + 1));
    } catch (...) {
        Ended(CardOperation::Kind::Upload, cardName, path, size,
              ErrorText(std::current_exception()));
        throw;
    }

    const int shown = std::min<int>(kMessagesShownPerFile, static_cast<int>(messages.size()));
    for (int i = 0; i < shown; ++i) {
        host_.ShowMessage(messages[static_cast<std::size_t>(i)]);
    }
    if (static_cast<int>(messages.size()) > shown) {
        host_.ShowMessage(job_texts::kMoreMessages.str() + std::to_string(messages.size() - shown));
    }
    if (!accepted) {
        // The header text and "false": what was checked and refused.
        host_.AddLogLines(log);
        Ended(CardOperation::Kind::Upload, cardName, path, size,
              messages.empty() ? job_texts::kRejectedLog.str() : messages.front());
        return std::nullopt;
    }
    return CheckedJob{fileName, path, cardName, hash, size.value_or(0)};
}

std::optional<CardCommands::SentJob> CardCommands::SendJobFile(const CheckedJob& job)
{
    std::optional<JobUpload> upload;
    platform::FileStamp stamp;
    bool changed = false;
    std::size_t linesSent = 0;
    UploadProgress progress;
    progress.fileName = job.fileName;
    const auto logSent = [&] {
        if (!upload) {
            return;
        }
        host_.AddLogLine(upload->header);
        host_.AddLogLines(std::span(upload->lines).first(linesSent));
    };
    try {
        host_.RunWithProgress(progress, [&](const ProgressFn& report) {
            // Read again, and sent only if it is still what was checked.
            platform::StampedFile file = platform::ReadStampedFile(job.path, kMaxJobFileBytes);
            if (ContentHash(file.bytes) != job.contentHash) {
                changed = true;
                return;
            }
            stamp = file.stamp;
            upload = MakeJobUpload(job.cardName, ReadJobLines(file.bytes));
            file.bytes = std::string();

            UploadProgress now = progress;
            now.bytesTotal = upload->TotalBytes();
            now.linesTotal = upload->lines.size();
            link_.WriteFrame(upload->header);
            now.bytesSent = upload->header.size();
            report(now);
            // Lines count as sent once the write that carried them has
            // completed.
            std::string gathered;
            std::size_t gatheredLines = 0;
            const auto writeGathered = [&] {
                link_.WriteFrame(gathered);
                now.bytesSent += gathered.size();
                linesSent += gatheredLines;
                now.linesSent = linesSent;
                gathered.clear();
                gatheredLines = 0;
                report(now);
            };
            for (const auto& line : upload->lines) {
                const std::string frame = protocol::LineFrame(line);
                if (!gathered.empty() && gathered.size() + frame.size() > kGatheredWriteBytes) {
                    writeGathered();
                }
                gathered += frame;
                ++gatheredLines;
            }
            if (!gathered.empty()) {
                writeGathered();
            }
        });
    } catch (const platform::EFileTooLarge&) {
        changed = true;
    } catch (...) {
        logSent();
        Ended(CardOperation::Kind::Upload, job.cardName, job.path, job.size,
              ErrorText(std::current_exception()));
        throw;
    }
    if (changed) {
        const std::string message =
            job_texts::kChangedBeforeSending.str() + platform::PathText(job.fileName);
        host_.ShowMessage(message);
        Ended(CardOperation::Kind::Upload, job.cardName, job.path, job.size, message);
        return std::nullopt;
    }
    logSent();
    Ended(CardOperation::Kind::Upload, job.cardName, job.path, stamp.size, {});
    return SentJob{job.fileName, job.path, job.cardName, stamp};
}

void CardCommands::EndingWithListing(const std::function<void()>& command,
                                     std::vector<SentJob>* sent)
{
    std::exception_ptr error;
    try {
        command();
    } catch (...) {
        error = std::current_exception();
    }
    if (sent != nullptr) {
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
    if (sent != nullptr && !sent->empty() && request == 0 && !error &&
        host_.DeleteJobFilesAfterUpload()) {
        // The link was lost before the listing could be asked for: nothing
        // will confirm the files, and the operator is told they stay.
        KeepUnconfirmed(*sent);
    } else if (sent != nullptr && !sent->empty() && request != 0 &&
               host_.DeleteJobFilesAfterUpload()) {
        // Files still waiting from an earlier upload are confirmed by this
        // listing too: it answers after every byte sent before it.
        if (!awaited_) {
            awaited_ = AwaitedListing{};
        }
        awaited_->request = request;
        for (auto& job : *sent) {
            awaited_->files.push_back(std::move(job));
        }
    }
    if (error) {
        std::rethrow_exception(error);
    }
}

}  // namespace cardpush
