#include "platform/stop_requests.h"

#include <windows.h>

#include <mutex>
#include <utility>

#include "platform/main_thread.h"

namespace cardpush::platform {
namespace {

// The console's control events come on a thread of their own.
std::mutex g_mutex;
std::function<void()> g_onStop;  // guarded by g_mutex

BOOL WINAPI OnControlEvent(DWORD event)
{
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT: {
            std::lock_guard lock(g_mutex);
            if (g_onStop) {
                MainThread::Post(g_onStop);
                return TRUE;
            }
            return FALSE;
        }
        default:
            return FALSE;
    }
}

}  // namespace

// A windowed program has no console, and so gets no such events: the
// handler is set all the same and never called.
struct StopRequests::Watch {};

StopRequests::StopRequests(std::function<void()> onStop) : watch_(std::make_unique<Watch>())
{
    {
        std::lock_guard lock(g_mutex);
        g_onStop = std::move(onStop);
    }
    SetConsoleCtrlHandler(OnControlEvent, TRUE);
}

StopRequests::~StopRequests()
{
    SetConsoleCtrlHandler(OnControlEvent, FALSE);
    std::lock_guard lock(g_mutex);
    g_onStop = {};
}

}  // namespace cardpush::platform
