#include "settings_file.h"

#include <fstream>

#include "platform/cp1251.h"
#include "session/settings_format.h"

namespace cardpush::bench {

void WriteSettingsFile(const std::filesystem::path& folder, const std::filesystem::path& jobs,
                       const std::string& port)
{
    Settings settings;
    settings.sourceFolder = Utf8ToCp1251(jobs.string());
    settings.port = port;
    settings.deleteAfterUpload = false;
    settings.deleteBeforeUpload = false;
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "nastr.dat", std::ios::binary) << FormatSettings(settings);
}

}  // namespace cardpush::bench
