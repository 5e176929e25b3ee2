// A long command's work on a worker thread, as a face shows it: the latest
// progress as text and as a share done, the operator's stop, and the end of
// the work.
//
// The worker reports after every write, far more often than a window can
// show: a report only keeps the latest progress, and the face fetches it a
// few times a second. No report wakes the GUI thread; the end of the work
// does, once.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "jobs/command_host.h"

namespace cardpush {

// What the progress window says: the file and its phase, and while it is
// sent the lines and bytes so far and the seconds left at the line's speed
// (bytesPerSecond; rounded up). Windows-1251.
std::string ProgressText(const UploadProgress& progress, std::uint64_t bytesPerSecond);
// How much of the file has gone, in thousandths.
int ProgressPermille(const UploadProgress& progress);

class ProgressRun {
public:
    // Work that ends within this time never shows a window: quick files do
    // not make it flicker.
    static constexpr std::chrono::milliseconds kShowAfter{150};
    // How often a face fetches the latest progress.
    static constexpr std::chrono::milliseconds kRefreshEvery{50};

    ProgressRun(const UploadProgress& start, std::uint64_t bytesPerSecond,
                std::function<void()> stop, bool stopAllowed);
    ProgressRun(const ProgressRun&) = delete;
    ProgressRun& operator=(const ProgressRun&) = delete;

    // --- the face, GUI thread ---
    std::string Text() const;
    int Permille() const;
    // Whether "Остановить" may be pressed: not once a stop has been asked for.
    bool StopAllowed() const { return stopAllowed_; }
    // "Остановить": the upload ends after the file being sent.
    void Stop();
    bool Done() const { return done_; }
    // Called (GUI thread) when the work has ended; a face waiting for it
    // stops waiting.
    void OnDone(std::function<void()> onDone) { onDone_ = std::move(onDone); }

    // --- the session ---
    // For the worker: keeps the latest progress. Any thread.
    void Report(const UploadProgress& now);
    // GUI thread: the work has ended.
    void Finish();

private:
    mutable std::mutex mutex_;
    UploadProgress latest_;  // guarded by mutex_
    std::uint64_t bytesPerSecond_;
    std::function<void()> stop_;
    bool stopAllowed_;
    bool done_ = false;
    std::function<void()> onDone_;
};

}  // namespace cardpush
