#include "event_loop.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include "app/qt/Unit1.h"

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

bool ShowConnected(TForm1& form, const LinkSession::Timing& timing, std::chrono::milliseconds guard)
{
    form.Link().SetTiming(timing);
    form.show();
    return RunEventsUntil([&] { return form.Link().CardCommandsAllowed(); }, guard);
}

}  // namespace cardpush::bench
