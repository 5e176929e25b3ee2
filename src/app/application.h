// The application object: Qt's, plus the tool's handling of exceptions that
// reach the event loop and the GUI end of the main-thread hand-over.
#pragma once

#include <QApplication>

namespace cardpush {

class CardPushApplication : public QApplication {
    Q_OBJECT

public:
    // Binds the calling thread as the GUI thread of platform::MainThread and
    // makes the event loop serve its hand-overs; exceptions of posted work
    // are shown like those of event handlers.
    CardPushApplication(int& argc, char** argv);
    ~CardPushApplication() override;

    // An exception that leaves an event handler ends that handler only: its
    // message is shown in a message box and the event loop goes on.
    bool notify(QObject* receiver, QEvent* event) override;

private slots:
    // Runs the work handed over to the GUI thread (the wakeup's queued call).
    void ServeHandOvers();
};

}  // namespace cardpush
