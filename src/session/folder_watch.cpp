#include "session/folder_watch.h"

#include <utility>

#include "jobs/job_upload.h"

namespace cardpush {

FolderWatch::FolderWatch(std::filesystem::path folder, std::chrono::milliseconds settle,
                         std::chrono::milliseconds retryAfter)
    : folder_(std::move(folder)), settle_(settle), retryAfter_(retryAfter)
{
}

std::vector<FolderWatch::DueFile> FolderWatch::Look(Clock::time_point now)
{
    std::vector<DueFile> due;
    std::map<std::filesystem::path, Seen> present;
    for (const auto& path : JobFilesIn(folder_)) {
        const auto stamp = platform::StampOf(path);
        if (!stamp) {
            continue;  // gone meanwhile, or a folder
        }
        Seen seen{*stamp, now, std::nullopt, now};
        if (const auto known = seen_.find(path); known != seen_.end()) {
            seen = known->second;
            if (!(seen.stamp == *stamp)) {
                seen.stamp = *stamp;
                seen.since = now;
            }
        }
        const bool settled = now - seen.since >= settle_;
        const bool handled = seen.handled && *seen.handled == seen.stamp;
        if (settled && !handled && now >= seen.notBefore) {
            due.push_back({path, seen.stamp});
        }
        present.emplace(path, seen);
    }
    // A file that has gone is forgotten: one of that name later is new.
    seen_ = std::move(present);
    return due;
}

void FolderWatch::Handled(const DueFile& file)
{
    if (const auto known = seen_.find(file.path); known != seen_.end()) {
        known->second.handled = file.stamp;
    }
}

void FolderWatch::Failed(const DueFile& file, Clock::time_point now)
{
    if (const auto known = seen_.find(file.path); known != seen_.end()) {
        known->second.notBefore = now + retryAfter_;
    }
}

}  // namespace cardpush
