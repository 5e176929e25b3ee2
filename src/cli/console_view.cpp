#include "cli/console_view.h"

#include <chrono>

#include "platform/cp1251.h"
#include "platform/files.h"
#include "platform/main_thread.h"
#include "session/progress.h"

namespace cardpush::cli {
namespace {

const char* KindText(CardOperation::Kind kind)
{
    switch (kind) {
        case CardOperation::Kind::Upload:
            return "upload";
        case CardOperation::Kind::Delete:
            return "delete";
        case CardOperation::Kind::DeleteAll:
            return "delete-all";
        case CardOperation::Kind::LocalDelete:
            return "local-delete";
    }
    return "";
}

// A done operation as the console says it.
const char* DoneText(CardOperation::Kind kind)
{
    switch (kind) {
        case CardOperation::Kind::Upload:
            return "Загружен на карту памяти: ";
        case CardOperation::Kind::Delete:
        case CardOperation::Kind::DeleteAll:
            return "Удалён с карты памяти: ";
        case CardOperation::Kind::LocalDelete:
            return "Удалён с компьютера: ";
    }
    return "";
}

std::string PathUtf8(const std::filesystem::path& path)
{
    return Cp1251ToUtf8(platform::PathText(path));
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
    const std::string cardName = Cp1251ToUtf8(operation.cardName);
    const std::string file = PathUtf8(operation.localFile);
    if (console_.Json()) {
        nlohmann::json record = {
            {"type", "operation"},
            {"operation", KindText(operation.kind)},
            {"card_name", cardName},
            {"local_file", file},
            {"result",
             operation.result.empty() ? std::string("ok") : Cp1251ToUtf8(operation.result)}};
        if (operation.bytes) {
            record["bytes"] = *operation.bytes;
        }
        console_.Record(record);
    } else if (operation.result.empty() && !console_.Quiet()) {
        // What went wrong has had its message already.
        const bool local = operation.kind == CardOperation::Kind::LocalDelete;
        console_.Result(DoneText(operation.kind) + (local ? file : cardName) +
                        (local || file.empty() ? std::string() : " (" + file + ")"));
    }
}

}  // namespace cardpush::cli
