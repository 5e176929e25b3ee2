#include "support/recording_view.h"

#include "link/link_texts.h"

namespace cardpush {

void PrintTo(const LinkValues& v, std::ostream* out)
{
    *out << "{N '" << v.SerialNumber << "', M " << v.MinValue << ", B " << v.MaxValue << ", R "
         << v.ModeValue << ", D " << v.Accuracy << ", state " << v.StateValue << ", V '"
         << v.FirmwareVersion << "'}";
}

namespace testing {

void RecordingView::Called(const std::string& call)
{
    calls_.push_back(call);
    if (onCall) {
        onCall(call);
    }
}

void RecordingView::ShowCaption(const std::string& text)
{
    captions_.push_back(text);
    Called("ShowCaption");
}

void RecordingView::AddLogLines(std::span<const std::string> lines)
{
    log_.insert(log_.end(), lines.begin(), lines.end());
}

void RecordingView::ShowSourceFolder(const std::filesystem::path& folder)
{
    sourceFolder_ = folder;
}

void RecordingView::ShowOptions(const UploadOptions& options)
{
    options_ = options;
}

void RecordingView::ShowLocalFiles(const std::vector<std::filesystem::path>& names)
{
    localFiles_ = names;
}

void RecordingView::ClearCardList()
{
    cardList_.clear();
    Called("ClearCardList");
}

void RecordingView::AddCardName(const std::string& listedName)
{
    cardList_.push_back(listedName);
    Called("AddCardName");
}

void RecordingView::EnableCardCommands(bool enabled)
{
    cardCommandsEnabled_ = enabled;
    Called("EnableCardCommands");
}

void RecordingView::ShowPort(const std::string& port)
{
    ports_.push_back(port);
    Called("ShowPort");
}

void RecordingView::ShowLinkValues(const LinkValues& values)
{
    shown_.push_back(values);
    Called("ShowLinkValues");
}

void RecordingView::ShowMessage(const std::string& text)
{
    messages_.push_back(text);
    Called("ShowMessage");
}

void RecordingView::ShowProgress(ProgressRun&)
{
    ++progressShown_;
}

void RecordingView::JournalLineAdded(const JournalFields&) {}

void RecordingView::CloseNow()
{
    ++closesAllowed_;
    Called("CloseNow");
}

std::vector<std::string> RecordingView::PortRowTexts() const
{
    std::vector<std::string> texts;
    for (const auto& row : rows_) {
        texts.push_back(row.text);
    }
    return texts;
}

std::string RecordingView::ReceivedBytes() const
{
    const std::string prefix = link_texts::kReceiveLogPrefix.str();
    std::string bytes;
    for (const auto& line : log_) {
        if (line.rfind(prefix, 0) == 0) {
            bytes += line.substr(prefix.size());
        }
    }
    return bytes;
}

std::vector<std::string> RecordingView::LinkLogLines() const
{
    const std::string prefix = link_texts::kReceiveLogPrefix.str();
    std::vector<std::string> lines;
    for (const auto& line : log_) {
        if (line.rfind(prefix, 0) != 0) {
            lines.push_back(line);
        }
    }
    return lines;
}

}  // namespace testing
}  // namespace cardpush
