#include "event_loop.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace cardpush::bench {

bool RunEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds guard)
{
    bool expired = false;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [&] { expired = true; });
    timer.start(guard);
    while (!done() && !expired) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return done();
}

void RunEventsFor(std::chrono::milliseconds time)
{
    RunEventsUntil([] { return false; }, time);
}

}  // namespace cardpush::bench
