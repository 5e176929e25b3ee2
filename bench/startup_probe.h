// Start-up of the real executable, watched from outside: a copy of it with
// its own settings file (the simulator's port saved) runs on a private X
// server, where the mapping of its main window is seen as it happens; the
// simulator's wire log shows when the listing request arrives, and the
// window's pixels when the card listing shows.
#pragma once

#include <filesystem>

namespace cardpush::bench {

struct StartUpFigures {
    bool ok = false;
    double windowShown = -1;       // seconds from the spawn to the main window mapped
    double listingRequested = -1;  // seconds from the spawn to ">" at the simulator
    double listingShown = -1;      // seconds from the spawn to names in ListBox2
};

// Runs the executable once; ok is false when no X server could be started or
// the tool did not get as far as showing the listing.
StartUpFigures MeasureStartUp(const std::filesystem::path& executable,
                              const std::filesystem::path& workFolder);

}  // namespace cardpush::bench
