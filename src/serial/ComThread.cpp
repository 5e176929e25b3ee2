#include "serial/ComThread.h"

#include <exception>
#include <memory>
#include <string>

#include "platform/main_thread.h"
#include "serial/ComErrors.h"

namespace cardpush {

using platform::MainThread;

TComThread::TComThread(TBComPort& port)
    : port_(port), api_(port.api_), stopEvent_(api_.CreateEventA(nullptr, TRUE, FALSE, nullptr))
{
    const TPortEvents all{pevRxChar, pevTxEmpty, pevRing,  pevCTS,
                          pevDSR,    pevRLSD,    pevError, pevRx80Full};
    // The driver's answer is of no use here: without a mask the thread
    // simply never wakes.
    api_.SetCommMask(port_.Handle(), PortEventsToMask(all));
    try {
        thread_ = std::thread(&TComThread::WatchEvents, this);
    } catch (...) {
        api_.SetCommMask(port_.Handle(), 0);
        api_.CloseHandle(stopEvent_);
        throw;
    }
}

TComThread::~TComThread()
{
    SignalStop();
    // The thread may be waiting for the GUI thread to run a dispatch; if we
    // are the GUI thread, run it, or both would wait for ever.
    MainThread::WaitServing([this] { return ended_.load(); });
    thread_.join();
    api_.CloseHandle(stopEvent_);
}

void TComThread::SignalStop()
{
    api_.SetEvent(stopEvent_);
}

void TComThread::WatchEvents()
{
    const HANDLE device = port_.Handle();
    OVERLAPPED overlapped{};
    overlapped.hEvent = api_.CreateEventA(nullptr, TRUE, TRUE, nullptr);
    const HANDLE objects[2] = {stopEvent_, overlapped.hEvent};
    DWORD mask = 0;
    // A wait has been started and its completion not yet taken: the driver
    // may still write `mask` and `overlapped`.
    bool outstanding = false;
    bool stopped = true;
    std::string failure;
    try {
        for (;;) {
            if (!api_.WaitCommEvent(device, &mask, &overlapped) &&
                api_.GetLastError() != ERROR_IO_PENDING) {
                // The device will not report events (an adapter pulled out,
                // the other end of a terminal hung up): whoever listens is
                // told, for no byte will come any more. The completion event
                // may still be signalled from the last turn, and waiting on
                // it would spin: wait for the stop instead, as the wait would
                // on a driver that resets it.
                TellThreadError(std::string(ComFaultText(ComFault::Read)));
                api_.WaitForSingleObject(stopEvent_, INFINITE);
                break;
            }
            outstanding = true;
            if (api_.WaitForMultipleObjects(2, objects, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) {
                break;
            }
            outstanding = false;
            DWORD transferred = 0;
            if (!api_.GetOverlappedResult(device, &overlapped, &transferred, FALSE)) {
                continue;
            }
            events_ = MaskToPortEvents(mask);
            switch (port_.SyncMethod()) {
                case smThreadSync:
                    MainThread::Synchronize(
                        [this, events = events_] { port_.DispatchEvents(events); });
                    break;
                case smWindowSync:
                    SendEventMessages();
                    break;
                case smNone:
                    DispatchEvents();
                    break;
            }
        }
    } catch (const std::exception& error) {
        // A dispatch failed (a handler, or a query inside it). Event delivery
        // ends here; the port stays open. No wait is outstanding on
        // `overlapped` now.
        stopped = false;
        failure = error.what();
    } catch (...) {
        stopped = false;
    }
    // A new mask completes a wait still outstanding on `overlapped`, but the
    // driver may finish it (writing `mask`, setting the event) only after
    // SetCommMask has returned: take the completion before both go away with
    // this thread's stack. A driver that refused the new mask may never
    // finish the wait, so it is not waited for then. After a failed dispatch
    // the received bytes are kept: transfers still work on the open port.
    if (api_.SetCommMask(device, 0) && outstanding) {
        DWORD unused = 0;
        api_.GetOverlappedResult(device, &overlapped, &unused, TRUE);
    }
    if (stopped) {
        api_.PurgeComm(device, PURGE_TXCLEAR | PURGE_RXCLEAR);
    }
    api_.CloseHandle(overlapped.hEvent);
    if (!stopped) {
        TellThreadError(failure);
    }
    ended_.store(true);
    MainThread::Wake();
}

void TComThread::TellThreadError(const std::string& message)
{
    if (port_.OnThreadError) {
        try {
            port_.OnThreadError(&port_, message);
        } catch (...) {
            // Whoever listens has been told as far as it could be.
        }
    }
}

void TComThread::DispatchEvents()
{
    port_.DispatchEvents(events_);
}

void TComThread::SendEventMessages()
{
    const std::shared_ptr<TBComPort::NotifyWindow> window = port_.notifyWindow_;
    for (TPortEvent e : kDispatchOrder) {
        if (!events_.Contains(e)) {
            continue;
        }
        // The GUI thread takes the message and releases us before it runs the
        // handler, so a slow handler never holds up the wait for events.
        auto taken = std::make_shared<std::atomic<bool>>(false);
        MainThread::Post([window, taken, flag = PortEventsToMask({e})] {
            taken->store(true);
            MainThread::Wake();
            std::lock_guard lock(window->mutex);
            if (window->port != nullptr) {
                window->port->NotifyWindowProc(flag);
            }
        });
        MainThread::WaitServing([&taken] { return taken->load(); });
    }
}

}  // namespace cardpush
