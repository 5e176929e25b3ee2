// The port search on a device layer whose ports all refuse to open: what no
// machine can be made to show on demand (every port missing or held by
// another program).

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "link/link_session.h"
#include "platform/fake_comm_api.h"
#include "platform/main_thread.h"
#include "support/link_wait.h"
#include "support/recording_link_host.h"

namespace cardpush {
namespace {

using namespace std::chrono_literals;

// A pass over the port list in which no port opens takes no time of its own.
// The search must then rest before the next pass: otherwise it keeps a core
// busy, floods the log, and never comes to a point where it can be stopped,
// so that closing the tool hangs.
TEST(LinkSearchTest, PassWithoutAnOpenPortRestsAndCanBeStopped)
{
    platform::MainThread::Bind();
    test::FakeCommApi api;
    api.FailNext("CreateFileA", ERROR_ACCESS_DENIED, -1);
    api.AddPortValue("\\Device\\Serial0", "COM1");
    testing::RecordingLinkHost host("COM7");
    auto session = std::make_unique<LinkSession>(host, api);
    // The rest between passes lasts hours: only a stop can end it.
    session->SetTiming({.settle = 1h, .check = 1h, .checks = 20});
    session->Start();

    ASSERT_TRUE(api.WaitUntil(api.Called("CreateFileA", 2)));
    {
        testing::HangGuard guard("closing during the port search");
        session.reset();
    }

    EXPECT_EQ((std::vector<std::string>{"---COM7", "---COM1"}), host.LinkLogLines());
    EXPECT_EQ(2u, api.CountOf("CreateFileA"));
    EXPECT_EQ(1u, api.CountOf("RegOpenKeyExA"));
    EXPECT_EQ(0, api.OpenDevices());
}

}  // namespace
}  // namespace cardpush
