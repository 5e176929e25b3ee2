// Where the tool keeps nastr.dat, and the rules of reading and writing it.
//
// The file lies beside the executable where that folder is writable,
// otherwise in the user's own settings folder (an installed copy), which
// starts from the administrator's file beside the executable until the user
// has one. A file that is there but can't be read (or is larger than the
// file's bound) is never saved over: the tool runs with the defaults. A save
// replaces the file whole or leaves it as it was; a failing save is dropped
// without a word.
//
// Any thread, but one at a time.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "session/settings_format.h"

namespace cardpush {

// The folder of the settings file: the executable's own where a file can be
// made there; otherwise (a copy installed for all users) the user's own
// settings folder, where there is one.
std::filesystem::path SettingsFolder(
    const std::filesystem::path& executableFolder,
    const std::function<bool(const std::filesystem::path&)>& canWriteIn,
    const std::filesystem::path& userFolder);

class SettingsStore {
public:
    // nastr.dat in folder; startingFile, when given, is read instead while
    // folder holds none.
    explicit SettingsStore(const std::filesystem::path& folder,
                           std::filesystem::path startingFile = {});
    // The settings of this run: beside the executable, or in the user's
    // folder starting from the file beside the executable.
    static SettingsStore ForThisExecutable();
    // The settings file at path, whatever its name (the command line's
    // --settings); the journal goes beside it.
    static SettingsStore AtFile(const std::filesystem::path& path);

    const std::filesystem::path& File() const { return file_; }
    // True when the file is not beside the executable (the About box says
    // where it is then).
    bool InUserFolder() const { return !startingFile_.empty(); }

    // The file's setting lines, in file order; nothing when there is no
    // file, or when it can't be read: Unreadable() then says why (the file
    // layer's message), and Save leaves it alone.
    std::optional<std::vector<SettingLine>> Load();
    const std::string& Unreadable() const { return unreadable_; }
    void Save(const Settings& settings);

private:
    std::filesystem::path file_;
    std::filesystem::path startingFile_;
    std::string unreadable_;
};

}  // namespace cardpush
