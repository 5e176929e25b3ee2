// The yardstick of the upload benchmark: a plain writer that sends the same
// frames straight to the simulator's pseudo-terminal, one write() each, with
// nothing of the tool in between.
#pragma once

#include <string>
#include <vector>

namespace cardpush::bench {

struct RawFigures {
    bool ok = false;
    double seconds = 0;     // from the first write until the listing has come back
    double cpuSeconds = 0;  // this process, meanwhile
};

// Opens the device raw, writes every frame in one write() each, then the
// listing request, and waits until listingBytes bytes of answer have come.
RawFigures RawUpload(const std::string& device, const std::vector<std::string>& frames,
                     std::size_t listingBytes);

}  // namespace cardpush::bench
