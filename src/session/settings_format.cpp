#include "session/settings_format.h"

namespace cardpush {
namespace {

// The next line of file from pos on, without its end; pos moves past it.
std::string_view NextLine(std::string_view file, std::size_t& pos)
{
    const std::size_t end = file.find('\n', pos);
    std::string_view line = file.substr(pos, end == std::string_view::npos ? end : end - pos);
    pos = end == std::string_view::npos ? file.size() : end + 1;
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    return line;
}

}  // namespace

std::vector<SettingLine> ParseSettings(std::string_view file)
{
    std::vector<SettingLine> lines;
    std::size_t pos = 0;
    while (pos < file.size()) {
        const std::string_view line = NextLine(file, pos);
        // Only 'a' to 'p' can start a setting; comments start with a blank.
        if (line.empty() || line.front() < 'a' || line.front() > 'p') {
            continue;
        }
        const SettingKey* key = FindSettingKey(line.front());
        if (key == nullptr || line.size() < 3) {
            continue;
        }
        std::string_view value = line.substr(2);
        if (key->cutAtBlank) {
            value = value.substr(0, value.find(' '));
        }
        if (value.empty()) {
            continue;
        }
        lines.push_back({key->key, std::string(value)});
    }
    return lines;
}

std::string FormatSettings(const Settings& settings)
{
    const auto flag = [](bool checked) { return checked ? "-1" : "0"; };
    std::string file;
    for (const SettingKey& key : kSettingKeys) {
        std::string value;
        switch (key.key) {
            case kSourceFolderKey:
                value = settings.sourceFolder;
                break;
            case kPortKey:
                value = settings.port;
                break;
            case kDeleteAfterUploadKey:
                value = flag(settings.deleteAfterUpload);
                break;
            case kDeleteBeforeUploadKey:
                value = flag(settings.deleteBeforeUpload);
                break;
            case kSerialNumberKey:
                value = settings.serialNumber;
                break;
        }
        // A line break in a value (a folder name may hold one on POSIX) would
        // end its line early and turn the rest into lines of their own, even
        // settings. Such a value can't be kept in this file: it is left out.
        if (value.find('\n') != std::string::npos) {
            value.clear();
        }
        if (key.comment.empty()) {
            if (value.empty()) {
                continue;  // a line of its own, only with a value
            }
        } else {
            file.append(key.comment).append("\r\n");
        }
        file.append(1, key.key).append("=").append(value).append("\r\n");
    }
    return file;
}

}  // namespace cardpush
