#include "session/settings_store.h"

#include <utility>

#include "platform/files.h"

namespace cardpush {

std::filesystem::path SettingsFolder(
    const std::filesystem::path& executableFolder,
    const std::function<bool(const std::filesystem::path&)>& canWriteIn,
    const std::filesystem::path& userFolder)
{
    if (userFolder.empty() || canWriteIn(executableFolder)) {
        return executableFolder;
    }
    return userFolder;
}

SettingsStore::SettingsStore(const std::filesystem::path& folder,
                             std::filesystem::path startingFile)
    : file_(folder / kSettingsFileName), startingFile_(std::move(startingFile))
{
}

SettingsStore SettingsStore::AtFile(const std::filesystem::path& path)
{
    const std::filesystem::path file = std::filesystem::absolute(path);
    SettingsStore store(file.parent_path());
    store.file_ = file;
    return store;
}

SettingsStore SettingsStore::ForThisExecutable()
{
    const std::filesystem::path executableFolder = platform::ExecutableFolder();
    const std::filesystem::path folder =
        SettingsFolder(executableFolder, platform::CanWriteIn, platform::UserSettingsFolder());
    if (folder == executableFolder) {
        return SettingsStore(folder);
    }
    return SettingsStore(folder, executableFolder / kSettingsFileName);
}

std::optional<std::vector<SettingLine>> SettingsStore::Load()
{
    std::filesystem::path path = file_;
    if (!platform::FileExists(path) && !startingFile_.empty()) {
        path = startingFile_;
    }
    if (!platform::FileExists(path)) {
        return std::nullopt;
    }
    try {
        return ParseSettings(platform::ReadStampedFile(path, kMaxSettingsBytes).bytes);
    } catch (const platform::EFileError& error) {
        unreadable_ = error.what();
        return std::nullopt;
    }
}

void SettingsStore::Save(const Settings& settings)
{
    if (!unreadable_.empty()) {
        return;
    }
    try {
        platform::WriteFileAtomically(file_, FormatSettings(settings));
    } catch (const platform::EFileError&) {
        // A save that fails is not reported; the previous file stays whole.
    }
}

}  // namespace cardpush
