#include "jobs/job_upload.h"

#include <algorithm>
#include <map>

#include "jobs/card_name.h"
#include "jobs/job_file.h"
#include "jobs/job_texts.h"
#include "platform/error_text.h"

namespace cardpush {
namespace {

// A size field of a long run of bad characters would open a box for each of
// them; past this many the rest are counted and reported in one box.
constexpr std::size_t kMessagesShownPerFile = 10;

// The protocol log keeps this many of an upload's sent lines, the latest.
constexpr std::size_t kSentLinesLogged = 10000;

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

std::vector<std::filesystem::path> JobFilesIn(const std::filesystem::path& folder)
{
    std::vector<std::filesystem::path> paths;
    for (const auto& name : platform::ListFolder(folder, kJobExtension)) {
        paths.push_back(folder / name);
    }
    return paths;
}

JobUploads::JobUploads(CardLink& link, CardCommandsHost& host) : link_(link), host_(host) {}

void JobUploads::Ended(const std::string& cardName, const std::filesystem::path& path,
                       std::optional<std::uint64_t> bytes, const std::string& result,
                       CardOperation::Failure failure)
{
    host_.OperationEnded(
        CardOperation{CardOperation::Kind::Upload, cardName, path, bytes, result, failure});
}

void JobUploads::NotSent(const std::vector<CheckedJob>& jobs, const std::string& why,
                         CardOperation::Failure failure)
{
    for (const auto& job : jobs) {
        Ended(job.cardName, job.path, job.size, why, failure);
    }
}

std::vector<CheckedJob> JobUploads::CheckAll(const std::vector<std::filesystem::path>& paths)
{
    std::vector<CheckedJob> ready;
    // Card key -> the job file that goes under it, as the operator reads it.
    std::map<std::string, std::string> takenBy;
    for (auto path = paths.begin(); path != paths.end(); ++path) {
        if (host_.StopRequested()) {
            // Neither the files checked nor those not yet checked are sent.
            NotSent(ready, job_texts::kStopped.str(), CardOperation::Failure::Stopped);
            for (auto rest = path; rest != paths.end(); ++rest) {
                Ended(MakeCardName(BaseNameOf(rest->filename())), *rest, platform::SizeOf(*rest),
                      job_texts::kStopped.str(), CardOperation::Failure::Stopped);
            }
            return {};
        }
        const std::filesystem::path fileName = path->filename();
        auto job = Check(path->parent_path(), fileName);
        if (!job) {
            continue;
        }
        // Both would land in one file on the card, the second over the first,
        // and both would be deleted here: only the first goes.
        const std::string key = CardKey(job->cardName);
        if (const auto taken = takenBy.find(key); taken != takenBy.end()) {
            const std::string message = job_texts::kCardNameTaken.str() +
                                        platform::PathText(fileName) + " (" + key + ", " +
                                        taken->second + ")";
            host_.ShowMessage(message);
            Ended(job->cardName, job->path, job->size, message, CardOperation::Failure::Rejected);
            continue;
        }
        takenBy.emplace(key, platform::PathText(fileName));
        ready.push_back(std::move(*job));
    }
    return ready;
}

std::optional<CheckedJob> JobUploads::Check(const std::filesystem::path& folder,
                                            const std::filesystem::path& fileName)
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
        Ended(cardName, path, size, message, CardOperation::Failure::Rejected);
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
        Ended(cardName, path, size, platform::ErrorText(std::current_exception()));
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
        Ended(cardName, path, size,
              messages.empty() ? job_texts::kRejectedLog.str() : messages.front(),
              CardOperation::Failure::Rejected);
        return std::nullopt;
    }
    return CheckedJob{fileName, path, cardName, hash, size.value_or(0)};
}

std::optional<SentJobFile> JobUploads::Send(const CheckedJob& job, const LinkConnection& connection)
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
            std::vector<std::string> lines{upload->header};
            auto sent = SentLinesToLog(file.bytes, linesSent, kSentLinesLogged);
            lines.insert(lines.end(), std::make_move_iterator(sent.begin()),
                         std::make_move_iterator(sent.end()));
            host_.AddLogLines(lines);
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
            GatherLineFrames(file.bytes, CardLink::kMaxWriteBytes,
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
        Ended(job.cardName, job.path, job.size, platform::ErrorText(std::current_exception()));
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
        Ended(job.cardName, job.path, job.size, message);
        return std::nullopt;
    }
    logSent();
    return SentJobFile{job.fileName, job.path, job.cardName, file.stamp};
}

}  // namespace cardpush
