// The settings file the benchmarks start the tool with.
#pragma once

#include <filesystem>
#include <string>

namespace cardpush::bench {

// Writes nastr.dat into `folder`: `port` saved, job files taken from `jobs`,
// both delete options off, so that a run leaves the job files and the card's
// other files as they are.
void WriteSettingsFile(const std::filesystem::path& folder, const std::filesystem::path& jobs,
                       const std::string& port);

}  // namespace cardpush::bench
