#include "app/application.h"

#include <QMetaObject>
#include <exception>

#include "app/dialogs.h"
#include "platform/main_thread.h"

namespace cardpush {

CardPushApplication::CardPushApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    using platform::MainThread;
    MainThread::Bind();
    // Called from worker threads: a queued call is the one thing that may be
    // asked of the application object from there. It is made by name, so
    // that Qt alone makes and frees the call's event: Qt's event queue is
    // locked where the thread checker can't see it, and an object of ours
    // handed through it would look unsynchronised.
    MainThread::SetWakeup(
        [this] { QMetaObject::invokeMethod(this, "ServeHandOvers", Qt::QueuedConnection); });
    MainThread::SetExceptionHook([](std::exception_ptr error) { ShowException(error); });
}

CardPushApplication::~CardPushApplication()
{
    platform::MainThread::SetWakeup({});
    platform::MainThread::SetExceptionHook({});
}

void CardPushApplication::ServeHandOvers()
{
    platform::MainThread::ServePending();
}

bool CardPushApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowException(std::current_exception());
        return false;
    }
}

}  // namespace cardpush
