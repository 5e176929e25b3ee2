#include "jobs/card_commands.h"

#include "jobs/card_name.h"
#include "jobs/job_file.h"
#include "jobs/job_texts.h"
#include "link/link_session.h"
#include "link/protocol.h"
#include "platform/files.h"

namespace cardpush {
namespace {

// A size field of a long run of bad characters would open a box for each of
// them; past this many the rest are counted and reported in one box.
constexpr int kMessagesShownPerFile = 10;

}  // namespace

CardCommands::CardCommands(LinkSession& link, CardCommandsHost& host) : link_(link), host_(host) {}

void CardCommands::Refresh()
{
    link_.RefreshCardList();
}

void CardCommands::DeleteSelected()
{
    if (const auto name = host_.SelectedCardName()) {
        link_.DeleteCardFile(*name);
    }
    link_.RefreshCardList();
}

void CardCommands::DeleteAll()
{
    // The listing is taken once: the frames go out back to back.
    for (const auto& name : host_.CardNames()) {
        link_.DeleteCardFile(name);
    }
    link_.RefreshCardList();
}

void CardCommands::UploadSelected()
{
    if (const auto fileName = host_.SelectedJobFile()) {
        UploadJobFile(*fileName);
    }
    link_.RefreshCardList();
}

void CardCommands::UploadAll()
{
    // With no folder chosen nothing is searched or deleted, here or on the
    // card: the empty folder must not stand for a drive's root, and emptying
    // the card with nothing to put on it would only lose its files.
    const std::string folder = host_.SourceFolder();
    if (!folder.empty()) {
        if (host_.DeleteCardFilesBeforeUpload()) {
            for (const auto& name : host_.CardNames()) {
                link_.DeleteCardFile(name);
            }
        }
        std::vector<std::string> sent;
        for (const auto& fileName : platform::ListFolder(folder, "txt")) {
            if (UploadJobFile(fileName)) {
                sent.push_back(fileName);
            }
        }
        // Only job files that reached the card whole are deleted: a file
        // that was rejected or not sent stays with the operator.
        if (host_.DeleteJobFilesAfterUpload()) {
            for (const auto& fileName : sent) {
                platform::RemoveFile(platform::JoinPath(folder, fileName));
            }
        }
    }

    host_.RefreshLocalList();
    link_.RefreshCardList();
}

bool CardCommands::UploadJobFile(const std::string& fileName)
{
    if (!link_.CardCommandsAllowed()) {
        return false;
    }
    const std::string baseName = CutBaseName(fileName);
    const std::string cardName = MakeCardName(baseName);
    if (const auto message = NameChangeMessage(baseName, cardName)) {
        host_.ShowMessage(*message);
    }

    // Read once: the lines validated are the lines sent.
    const std::string bytes =
        platform::ReadWholeFile(platform::JoinPath(host_.SourceFolder(), fileName));

    int shown = 0;
    int withheld = 0;
    const ShowMessageFn showMessage = [&](const std::string& text) {
        if (shown < kMessagesShownPerFile) {
            ++shown;
            host_.ShowMessage(text);
        } else {
            ++withheld;
        }
    };
    const LogLineFn log = [this](const std::string& line) { host_.AddLogLine(line); };
    const std::optional<JobUpload> upload = PrepareJobUpload(cardName, bytes, showMessage, log);
    if (withheld > 0) {
        host_.ShowMessage(job_texts::kMoreMessages.str() + std::to_string(withheld));
    }
    if (!upload) {
        return false;
    }

    UploadProgress progress;
    progress.fileName = fileName;
    progress.bytesTotal = upload->TotalBytes();
    progress.linesTotal = upload->lines.size();
    std::size_t linesSent = 0;
    try {
        host_.RunWithProgress(progress, [&](const ProgressFn& report) {
            UploadProgress now = progress;
            link_.WriteFrame(upload->header);
            now.bytesSent = upload->header.size();
            report(now);
            for (const auto& line : upload->lines) {
                const std::string frame = protocol::LineFrame(line);
                link_.WriteFrame(frame);
                now.bytesSent += frame.size();
                now.linesSent = ++linesSent;
                report(now);
            }
        });
    } catch (...) {
        for (std::size_t i = 0; i < linesSent; ++i) {
            host_.AddLogLine(upload->lines[i]);
        }
        throw;
    }
    for (const auto& line : upload->lines) {
        host_.AddLogLine(line);
    }
    return true;
}

}  // namespace cardpush
