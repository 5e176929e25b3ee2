// The firmware gate is the session's rule: with no window at all, a
// controller whose firmware is below 72 gets no card command, and the
// operator is told why; from 72 on the commands reach the card.
#include <gtest/gtest.h>

#include <chrono>

#include "session/session_texts.h"
#include "support/port_list_override.h"
#include "support/session_harness.h"
#include "support/sim_process.h"

namespace cardpush {
namespace {

using namespace std::chrono_literals;

TEST(FirmwareGate, CardCommandsBelow72AreRefusedWithNoWindow)
{
    for (const bool opens : {false, true}) {
        SCOPED_TRACE(opens ? "firmware 72" : "firmware 71");
        testing::SimProcess sim({"--firmware", opens ? "72" : "71"});
        sim.PutCardFile("OLD", "1 x\r\n");
        testing::PortListOverride devices;
        testing::SessionHarness harness(devices, testing::SavedPort(sim.DevicePath()),
                                        {.settle = 20ms, .check = 50ms, .checks = 20});
        ToolSession& session = harness.Session();
        session.Start();
        ASSERT_TRUE(harness.ServeUntilIdle()) << sim.Messages();

        session.DeleteAllCardFiles();
        ASSERT_TRUE(harness.ServeUntilIdle()) << sim.Messages();
        EXPECT_EQ(opens, session.CardCommandsAllowed());
        EXPECT_EQ(opens, harness.view.CardCommandsEnabled());
        if (opens) {
            EXPECT_EQ(testing::kHandshakeCommands + "/OLD\\>", sim.WireLog());
            EXPECT_TRUE(harness.view.Messages().empty());
            EXPECT_TRUE(sim.CardFiles().empty());
        } else {
            EXPECT_EQ(testing::kHandshakeCommands, sim.WireLog());
            EXPECT_EQ(std::vector<std::string>{session_texts::kFirmwareRefused.str()},
                      harness.view.Messages());
            EXPECT_EQ(session_texts::kFirmwareRefused.str(), harness.view.Captions().back());
            EXPECT_EQ(std::vector<std::string>{"OLD"}, sim.CardFiles());
        }
        EXPECT_EQ(0, sim.Stop());
    }
}

}  // namespace
}  // namespace cardpush
