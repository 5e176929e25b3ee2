// A watched folder: which of its job files are due to go to the card.
//
// A job file is due when it is new or has changed since it was last handed
// over, and its stamp (size, time of the last write, identity) has stayed the
// same for the settle time: a file still being written keeps changing and is
// not handed over half-written. (The upload then checks that what it sends is
// what it read.) A file handed over is due again only once it changes; one
// whose upload failed is due again after the retry time, unchanged or not.
//
// Plain C++: the caller says what time it is and looks as often as it likes.
#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <vector>

#include "platform/files.h"

namespace cardpush {

class FolderWatch {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kSettle{1000};
    static constexpr std::chrono::milliseconds kRetryAfter{5000};
    // How often a watcher looks: the settle time is met within this much.
    static constexpr std::chrono::milliseconds kLookEvery{200};

    struct DueFile {
        std::filesystem::path path;
        platform::FileStamp stamp;
    };

    explicit FolderWatch(std::filesystem::path folder, std::chrono::milliseconds settle = kSettle,
                         std::chrono::milliseconds retryAfter = kRetryAfter);

    const std::filesystem::path& Folder() const { return folder_; }

    // Looks at the folder at now: the job files due, in the folder's order.
    std::vector<DueFile> Look(Clock::time_point now);

    // The file went to the card, or was refused for what it holds: not due
    // again until its stamp differs from stamp.
    void Handled(const DueFile& file);
    // Its upload did not get through (no controller, a write failed, the
    // listing did not show it): due again from now + the retry time.
    void Failed(const DueFile& file, Clock::time_point now);

private:
    struct Seen {
        platform::FileStamp stamp;
        Clock::time_point since;  // the stamp has been this since then
        std::optional<platform::FileStamp> handled;
        Clock::time_point notBefore;
    };

    std::filesystem::path folder_;
    std::chrono::milliseconds settle_;
    std::chrono::milliseconds retryAfter_;
    std::map<std::filesystem::path, Seen> seen_;
};

}  // namespace cardpush
