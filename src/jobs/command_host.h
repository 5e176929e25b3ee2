// What the card commands need of the tool that runs them (the session):
// the operator's messages, the protocol log, a worker thread with progress,
// the operator's stop, and the transfer journal.
//
// Every member is called on the GUI thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>

#include "jobs/journal.h"

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
    // A modal message with one OK button (Windows-1251); returns when it is
    // closed.
    virtual void ShowMessage(const std::string& text) = 0;
    // Lines of the protocol log, in order.
    virtual void AddLogLines(std::span<const std::string> lines) = 0;
    // Runs work on a worker thread while the progress that work reports is
    // shown, and returns when work has finished, throwing what work threw.
    // The operator's other commands stay out meanwhile; the link's news
    // keeps being handled (work may wait for a listing).
    virtual void RunWithProgress(const UploadProgress& start,
                                 const std::function<void(const ProgressFn&)>& work) = 0;
    // The operator has asked the upload to stop (or the tool is closing):
    // an upload ends after the file being sent, and the files not sent stay.
    virtual bool StopRequested() const = 0;
    // An operation on a card file or a job file has ended, done or not, for
    // the transfer journal.
    virtual void OperationEnded(const CardOperation& operation) = 0;
    // Job files of the source folder have been deleted.
    virtual void LocalFilesChanged() = 0;

protected:
    ~CardCommandsHost() = default;
};

}  // namespace cardpush
