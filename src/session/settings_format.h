// The settings file nastr.dat: its keys, its reader and its writer, without
// any window or file access.
//
// The file is Windows-1251 text. A setting line is one lower-case key letter,
// a separator (by convention "=", never examined) and the value from the third
// character to the line end; the line ends at LF, with or without a CR before
// it, and the last line may have no end at all. Lines whose first character is
// not a letter from 'a' to 'p' (the comments begin with a blank) are no
// settings.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cp1251.h"

namespace cardpush {

inline constexpr char kSettingsFileName[] = "nastr.dat";
// A settings file larger than this is not read (and never saved over): the
// file holds eight short lines, and a large one is not the tool's.
inline constexpr std::uint64_t kMaxSettingsBytes = 64 * 1024;

struct SettingKey {
    char key;
    // The comment line written before the value line (Windows-1251).
    std::string_view comment;
    // A check-box value ends at its first blank, the rest is a remark. A path
    // or a port name is kept whole, blanks included.
    bool cutAtBlank;
    // The value while the file does not set the key.
    std::string_view defaultValue;
};

inline constexpr char kSourceFolderKey = 'a';
inline constexpr char kPortKey = 'c';
inline constexpr char kDeleteAfterUploadKey = 'p';
inline constexpr char kDeleteBeforeUploadKey = 'd';
// The serial number of the controller last worked with, on a line of its own
// after the eight lines, written only once one is known. Its key is one of
// those that readers of the eight-line file pass over.
inline constexpr char kSerialNumberKey = 'n';

namespace settings_detail {
inline constexpr Cp1251Literal kFolderComment{" каталог входных файлов"};
inline constexpr Cp1251Literal kPortComment{" COM порт"};
inline constexpr Cp1251Literal kAfterComment{" удалять или нет исходные файлы после конвертации"};
inline constexpr Cp1251Literal kBeforeComment{" удалять или нет файлы до конвертации"};
}  // namespace settings_detail

// The keys, in the order the file holds them. The last has no comment line.
inline constexpr SettingKey kSettingKeys[] = {
    {kSourceFolderKey, settings_detail::kFolderComment.view(), false, ""},
    {kPortKey, settings_detail::kPortComment.view(), false, ""},
    {kDeleteAfterUploadKey, settings_detail::kAfterComment.view(), true, "-1"},
    {kDeleteBeforeUploadKey, settings_detail::kBeforeComment.view(), true, "-1"},
    {kSerialNumberKey, "", false, ""},
};

constexpr const SettingKey* FindSettingKey(char key)
{
    for (const SettingKey& entry : kSettingKeys) {
        if (entry.key == key) {
            return &entry;
        }
    }
    return nullptr;
}

// One value line that takes effect: the key is one of kSettingKeys and the
// value is not empty.
struct SettingLine {
    char key;
    std::string value;

    bool operator==(const SettingLine&) const = default;
};

// The value lines of a file, in file order; a key may come more than once
// (the last one wins when they are applied in order).
std::vector<SettingLine> ParseSettings(std::string_view file);

// A check box is cleared by exactly "0"; every other value checks it.
constexpr bool IsCheckedValue(std::string_view value)
{
    return value != "0";
}

struct Settings {
    std::string sourceFolder;
    std::string port;
    bool deleteAfterUpload = IsCheckedValue(FindSettingKey(kDeleteAfterUploadKey)->defaultValue);
    bool deleteBeforeUpload = IsCheckedValue(FindSettingKey(kDeleteBeforeUploadKey)->defaultValue);
    std::string serialNumber;
};

// The eight lines of the file, each ended by CR LF; checked is "-1",
// unchecked "0". Then the serial-number line, when there is a serial number.
// A value that holds a line feed is written empty.
std::string FormatSettings(const Settings& settings);

}  // namespace cardpush
