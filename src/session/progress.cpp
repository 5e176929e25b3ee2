#include "session/progress.h"

#include <algorithm>
#include <utility>

#include "platform/files.h"
#include "session/session_texts.h"

namespace cardpush {

using namespace session_texts;

std::string ProgressText(const UploadProgress& p, std::uint64_t bytesPerSecond)
{
    const std::string file = kProgressFile.str() + platform::PathText(p.fileName);
    switch (p.phase) {
        case UploadProgress::Phase::Checking:
            return file + kProgressChecking.str();
        case UploadProgress::Phase::AwaitingListing:
            return kProgressListing.str();
        case UploadProgress::Phase::Sending:
            break;
    }
    const std::uint64_t left = p.bytesTotal > p.bytesSent ? p.bytesTotal - p.bytesSent : 0;
    const std::uint64_t rate = bytesPerSecond == 0 ? 1 : bytesPerSecond;
    const std::uint64_t secondsLeft = (left + rate - 1) / rate;
    return file + kProgressLines.str() + std::to_string(p.linesSent) + kProgressOf.str() +
           std::to_string(p.linesTotal) + kProgressBytes.str() + std::to_string(p.bytesSent) +
           kProgressOf.str() + std::to_string(p.bytesTotal) + kProgressLeft.str() +
           std::to_string(secondsLeft) + kProgressSeconds.str();
}

int ProgressPermille(const UploadProgress& p)
{
    const std::uint64_t total = p.bytesTotal == 0 ? 1 : p.bytesTotal;
    return static_cast<int>(std::min<std::uint64_t>(p.bytesSent, total) * 1000 / total);
}

ProgressRun::ProgressRun(const UploadProgress& start, std::uint64_t bytesPerSecond,
                         std::function<void()> stop, bool stopAllowed)
    : latest_(start),
      bytesPerSecond_(bytesPerSecond),
      stop_(std::move(stop)),
      stopAllowed_(stopAllowed)
{
}

std::string ProgressRun::Text() const
{
    std::lock_guard lock(mutex_);
    return ProgressText(latest_, bytesPerSecond_);
}

int ProgressRun::Permille() const
{
    std::lock_guard lock(mutex_);
    return ProgressPermille(latest_);
}

void ProgressRun::Stop()
{
    if (stopAllowed_) {
        stopAllowed_ = false;
        stop_();
    }
}

void ProgressRun::Report(const UploadProgress& now)
{
    std::lock_guard lock(mutex_);
    latest_ = now;
}

void ProgressRun::Finish()
{
    done_ = true;
    if (onDone_) {
        onDone_();
    }
}

}  // namespace cardpush
