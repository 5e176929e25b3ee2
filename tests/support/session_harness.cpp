#include "support/session_harness.h"

#include <fstream>

#include "platform/main_thread.h"
#include "support/link_wait.h"

namespace cardpush::testing {

SessionHarness::SessionHarness(platform::CommApi& devices, const std::optional<Settings>& settings,
                               LinkTiming timing)
    : folder("cardpush-session")
{
    platform::MainThread::Bind();
    if (settings) {
        std::ofstream(folder.path() / kSettingsFileName, std::ios::binary)
            << FormatSettings(*settings);
    }
    session = std::make_unique<ToolSession>(view, SettingsStore(folder.path()), devices);
    session->Link().SetTiming(timing);
}

SessionHarness::~SessionHarness()
{
    HangGuard guard("closing the session");
    session.reset();
}

bool SessionHarness::ServeUntilIdle()
{
    LinkSession& link = Link();
    return ServeUntil([&link] { return link.LinkState() == protocol::LinkState::Idle; });
}

Settings SavedPort(const std::string& port)
{
    Settings settings;
    settings.port = port;
    return settings;
}

}  // namespace cardpush::testing
