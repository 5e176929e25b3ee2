// The tool's session without windows, shown to a recording view: the one
// harness of the link's and the session's tests and of the benchmarks.
//
// The settings folder is a fresh one of the harness's own, holding a
// nastr.dat with the saved port (and a source folder, when given). The
// calling thread becomes the GUI thread.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "link/link_session.h"
#include "session/settings_format.h"
#include "session/tool_session.h"
#include "support/recording_view.h"
#include "support/temp_folder.h"

namespace cardpush::testing {

class SessionHarness {
public:
    // A session on devices, with settings saved in nastr.dat beforehand
    // (nothing: no file) and the link's timing. Not started.
    SessionHarness(platform::CommApi& devices, const std::optional<Settings>& settings,
                   LinkTiming timing = {});
    // The session goes first: it stops the link thread and closes the port.
    ~SessionHarness();
    SessionHarness(const SessionHarness&) = delete;
    SessionHarness& operator=(const SessionHarness&) = delete;

    ToolSession& Session() { return *session; }
    LinkSession& Link() { return session->Link(); }
    const std::filesystem::path& Folder() const { return folder.path(); }

    // Serves the hand-overs until the link is connected and idle (a listing
    // complete), or the guard runs out; returns whether it is.
    bool ServeUntilIdle();

    TempFolder folder;
    RecordingView view;
    std::unique_ptr<ToolSession> session;
};

// The settings of a session that is to find its controller on port first.
Settings SavedPort(const std::string& port);

}  // namespace cardpush::testing
