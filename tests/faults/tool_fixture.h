// The tool as the fault tests meet it (see support/tool_fixture.h), with
// settings of their own: an upload deletes its job file, and a listing may
// stall longer than a loaded machine ever keeps one waiting, so that no test
// meets a stall it did not ask for. The tests of a listing that stops coming
// set kListingStall.
#pragma once

#include <chrono>

#include "support/link_wait.h"
#include "support/tool_fixture.h"

namespace cardpush::test {

inline constexpr std::chrono::milliseconds kListingStall{1000};
inline constexpr std::chrono::milliseconds kPatientListingStall{30000};

using testing::Frames;
using testing::kHandshakeCommands;
using testing::ServeUntil;
using testing::UploadHeader;

class FaultsToolTest : public ToolTest {
protected:
    FaultsToolTest()
    {
        setup_.deleteAfterUpload = true;
        setup_.timing.listingStall = kPatientListingStall;
    }

    // What StartSimulator and StartTool are given; a test changes it first.
    ToolSetup setup_;
};

}  // namespace cardpush::test
