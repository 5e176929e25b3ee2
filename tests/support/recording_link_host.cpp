#include "support/recording_link_host.h"

#include <utility>

#include "link/link_texts.h"
#include "link/number.h"

namespace cardpush {

void PrintTo(const LinkValues& v, std::ostream* out)
{
    *out << "{N '" << v.SerialNumber << "', M " << v.MinValue << ", B " << v.MaxValue << ", R "
         << v.ModeValue << ", D " << v.Accuracy << ", state " << v.StateValue << ", V '"
         << v.FirmwareVersion << "'}";
}

namespace testing {

RecordingLinkHost::RecordingLinkHost(std::string savedPort) : savedPort_(std::move(savedPort)) {}

void RecordingLinkHost::OnCheckFirmware(std::function<void()> hook)
{
    std::lock_guard lock(mutex_);
    firmwareHook_ = std::move(hook);
}

void RecordingLinkHost::SetCaption(const std::string& text)
{
    std::lock_guard lock(mutex_);
    calls_.push_back("SetCaption");
    captions_.push_back(text);
}

void RecordingLinkHost::LinkLost(const std::string& reason)
{
    std::lock_guard lock(mutex_);
    calls_.push_back("LinkLost");
    captions_.push_back(link_texts::kLinkFailed.str() + reason);
    controlsOff_ = true;
    cardList_.clear();
}

void RecordingLinkHost::AddLogLine(const std::string& line)
{
    std::lock_guard lock(mutex_);
    log_.push_back(line);
}

void RecordingLinkHost::ShowPort(const std::string& port)
{
    std::lock_guard lock(mutex_);
    calls_.push_back("ShowPort");
    ports_.push_back(port);
}

void RecordingLinkHost::ShowLinkInfo(const LinkValues& values)
{
    std::lock_guard lock(mutex_);
    calls_.push_back("ShowLinkInfo");
    shown_.push_back(values);
}

void RecordingLinkHost::CheckFirmware()
{
    std::function<void()> hook;
    std::string version;
    {
        std::lock_guard lock(mutex_);
        calls_.push_back("CheckFirmware");
        hook = firmwareHook_;
        version = shown_.empty() ? std::string() : shown_.back().FirmwareVersion;
    }
    if (hook) {
        hook();
    }
    const bool open = FirmwareSupportsUpload(version);
    std::lock_guard lock(mutex_);
    gates_.push_back(open);
    controlsOff_ = false;
}

void RecordingLinkHost::ClearCardList()
{
    std::lock_guard lock(mutex_);
    calls_.push_back("ClearCardList");
    cardList_.clear();
}

void RecordingLinkHost::AddCardName(const std::string& name)
{
    std::lock_guard lock(mutex_);
    calls_.push_back("AddCardName");
    cardList_.push_back(name);
}

std::string RecordingLinkHost::SavedPort()
{
    std::lock_guard lock(mutex_);
    return savedPort_;
}

void RecordingLinkHost::SetSavedPort(const std::string& port)
{
    std::lock_guard lock(mutex_);
    savedPortsSet_.push_back(port);
    savedPort_ = port;
}

std::vector<std::string> RecordingLinkHost::Calls() const
{
    std::lock_guard lock(mutex_);
    return calls_;
}

std::vector<std::string> RecordingLinkHost::Captions() const
{
    std::lock_guard lock(mutex_);
    return captions_;
}

std::vector<std::string> RecordingLinkHost::LogLines() const
{
    std::lock_guard lock(mutex_);
    return log_;
}

std::string RecordingLinkHost::ReceivedBytes() const
{
    const std::string_view prefix = link_texts::kReceiveLogPrefix.view();
    std::string bytes;
    std::lock_guard lock(mutex_);
    for (const auto& line : log_) {
        if (line.starts_with(prefix)) {
            bytes += line.substr(prefix.size());
        }
    }
    return bytes;
}

std::vector<std::string> RecordingLinkHost::LinkLogLines() const
{
    const std::string_view prefix = link_texts::kReceiveLogPrefix.view();
    std::vector<std::string> lines;
    std::lock_guard lock(mutex_);
    for (const auto& line : log_) {
        if (!line.starts_with(prefix)) {
            lines.push_back(line);
        }
    }
    return lines;
}

std::vector<std::string> RecordingLinkHost::Ports() const
{
    std::lock_guard lock(mutex_);
    return ports_;
}

std::vector<LinkValues> RecordingLinkHost::ShownValues() const
{
    std::lock_guard lock(mutex_);
    return shown_;
}

std::vector<bool> RecordingLinkHost::FirmwareGates() const
{
    std::lock_guard lock(mutex_);
    return gates_;
}

bool RecordingLinkHost::CardControlsEnabled() const
{
    std::lock_guard lock(mutex_);
    return !controlsOff_ && !gates_.empty() && gates_.back();
}

std::vector<std::string> RecordingLinkHost::CardList() const
{
    std::lock_guard lock(mutex_);
    return cardList_;
}

std::vector<std::string> RecordingLinkHost::SavedPortsSet() const
{
    std::lock_guard lock(mutex_);
    return savedPortsSet_;
}

std::string RecordingLinkHost::CurrentSavedPort() const
{
    std::lock_guard lock(mutex_);
    return savedPort_;
}

}  // namespace testing
}  // namespace cardpush
