#include "cli/console_view.h"

#include <chrono>

#include "cli/cli_texts.h"
#include "platform/cp1251.h"
#include "platform/main_thread.h"
#include "session/progress.h"

namespace cardpush::cli {
namespace {

// A done operation as the console says it.
std::string DoneText(CardOperation::Kind kind)
{
    switch (kind) {
        case CardOperation::Kind::Upload:
            return cli_texts::kUploaded;
        case CardOperation::Kind::Delete:
        case CardOperation::Kind::DeleteAll:
            return cli_texts::kDeletedFromCard;
        case CardOperation::Kind::LocalDelete:
            return cli_texts::kDeletedFromComputer;
    }
    return {};
}

}  // namespace

void ConsoleView::ShowCaption(const std::string& text)
{
    // The caption doubles as the status line: each change is one line.
    if (text != caption_) {
        caption_ = text;
        console_.Status(Cp1251ToUtf8(text));
    }
}

void ConsoleView::SearchPassEnded(bool controllerFound)
{
    ++passesEnded_;
    lastPassFound_ = controllerFound;
    if (!controllerFound) {
        ++passesWithoutController_;
    }
}

void ConsoleView::ShowMessage(const std::string& text)
{
    console_.Message(Cp1251ToUtf8(text));
}

void ConsoleView::ShowProgress(ProgressRun& run)
{
    using Clock = std::chrono::steady_clock;
    const auto shown = Clock::now() + ProgressRun::kShowAfter;
    while (!run.Done()) {
        platform::MainThread::WaitAndServe(Clock::now() + ProgressRun::kRefreshEvery);
        if (!run.Done() && Clock::now() >= shown) {
            console_.Progress(Cp1251ToUtf8(run.Text()));
        }
    }
    console_.EndProgress();
}

std::optional<CardOperation> ConsoleView::TakeUpload(const std::filesystem::path& path)
{
    const auto found = uploads_.find(path);
    if (found == uploads_.end()) {
        return std::nullopt;
    }
    CardOperation operation = std::move(found->second);
    uploads_.erase(found);
    return operation;
}

void ConsoleView::OperationReported(const CardOperation& operation)
{
    if (operation.result.empty()) {
        ++tally_.done;
    } else if (operation.failure == CardOperation::Failure::Rejected) {
        ++tally_.rejected;
    } else if (operation.failure == CardOperation::Failure::Stopped) {
        ++tally_.stopped;
    } else {
        ++tally_.failed;
    }
    if (operation.kind == CardOperation::Kind::Upload && !operation.localFile.empty()) {
        uploads_[operation.localFile] = operation;
    }
    lastKind_ = operation.kind;
}

void ConsoleView::JournalLineAdded(const JournalFields& fields)
{
    // The journal's own line, with the names of its columns.
    const JournalFields names = TransferJournal::HeaderFields();
    if (console_.Json()) {
        nlohmann::json record = {{"type", "operation"}};
        for (std::size_t i = 0; i < names.size() && i < fields.size(); ++i) {
            record[names[i]] = fields[i];
        }
        console_.Record(record);
        return;
    }
    // What went wrong has had its message already.
    constexpr std::size_t kCardName = 4;
    constexpr std::size_t kLocalFile = 5;
    constexpr std::size_t kResult = 7;
    if (console_.Quiet() || fields.size() <= kResult || fields[kResult] != TransferJournal::kDone) {
        return;
    }
    const std::string& cardName = fields[kCardName];
    const std::string& file = fields[kLocalFile];
    if (lastKind_ == CardOperation::Kind::LocalDelete) {
        console_.Result(DoneText(lastKind_) + file);
    } else {
        console_.Result(DoneText(lastKind_) + cardName + (file.empty() ? "" : " (" + file + ")"));
    }
}

}  // namespace cardpush::cli
