// The settings reader on any bytes, and the writer's output read back.
//
// The last input byte chooses the case. Either the rest is a nastr.dat as
// found on disk: the reader must take it without fault, every value line it
// yields must be one that a load applies, and what the load ends with must
// survive a save and a second load unchanged. Or the rest describes settings
// to save: the file the writer makes must load back to exactly those
// settings.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "session/settings_format.h"

namespace {

using cardpush::FindSettingKey;
using cardpush::FormatSettings;
using cardpush::IsCheckedValue;
using cardpush::ParseSettings;
using cardpush::SettingLine;
using cardpush::Settings;

// A load as the main window runs it: the value lines in file order, each
// on top of what came before.
Settings Load(std::string_view file)
{
    Settings settings;
    for (const SettingLine& line : ParseSettings(file)) {
        switch (line.key) {
            case cardpush::kSourceFolderKey:
                settings.sourceFolder = line.value;
                break;
            case cardpush::kPortKey:
                settings.port = line.value;
                break;
            case cardpush::kDeleteAfterUploadKey:
                settings.deleteAfterUpload = IsCheckedValue(line.value);
                break;
            case cardpush::kDeleteBeforeUploadKey:
                settings.deleteBeforeUpload = IsCheckedValue(line.value);
                break;
        }
    }
    return settings;
}

bool operator==(const Settings& a, const Settings& b)
{
    return a.sourceFolder == b.sourceFolder && a.port == b.port &&
           a.deleteAfterUpload == b.deleteAfterUpload &&
           a.deleteBeforeUpload == b.deleteBeforeUpload;
}

void CheckReader(std::string_view file)
{
    for (const SettingLine& line : ParseSettings(file)) {
        const cardpush::SettingKey* key = FindSettingKey(line.key);
        FUZZ_CHECK(key != nullptr);
        FUZZ_CHECK(!line.value.empty());
        FUZZ_CHECK(line.value.find('\n') == std::string::npos);
        if (key->cutAtBlank) {
            FUZZ_CHECK(line.value.find(' ') == std::string::npos);
        }
    }
    const Settings loaded = Load(file);
    FUZZ_CHECK(Load(FormatSettings(loaded)) == loaded);
}

void CheckWriter(FuzzedDataProvider& input)
{
    Settings settings;
    settings.deleteAfterUpload = input.ConsumeBool();
    settings.deleteBeforeUpload = input.ConsumeBool();
    settings.port = input.ConsumeRandomLengthString(64);
    settings.sourceFolder = input.ConsumeRemainingBytesAsString();

    const std::string file = FormatSettings(settings);
    FUZZ_CHECK(file.size() >= 2 && file.substr(file.size() - 2) == "\r\n");
    // A value that holds a line break can't be kept in a line of the file:
    // the writer leaves it out rather than let it make lines of its own.
    Settings expected = settings;
    for (std::string* value : {&expected.sourceFolder, &expected.port}) {
        if (value->find('\n') != std::string::npos) {
            value->clear();
        }
    }
    FUZZ_CHECK(Load(file) == expected);
    std::size_t lineEnds = 0;
    for (std::size_t at = file.find('\n'); at != std::string::npos; at = file.find('\n', at + 1)) {
        ++lineEnds;
    }
    FUZZ_CHECK(lineEnds == 8);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    if (input.ConsumeBool()) {
        CheckReader(input.ConsumeRemainingBytesAsString());
    } else {
        CheckWriter(input);
    }
    return 0;
}
