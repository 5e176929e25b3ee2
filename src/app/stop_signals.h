// The signals that ask a program to end (SIGTERM, SIGINT, SIGHUP) as a
// request to close: the tool then ends the way the operator ends it, through
// the main window's close, with its settings saved and its port released.
//
// GUI thread; the application object must exist. One instance at a time.
// On Windows nothing is watched.
#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace cardpush {

class StopSignals : public QObject {
public:
    // From now on the signals no longer end the process: each one makes the
    // event loop call onStop on the GUI thread (signals that come close
    // together may make one call). A signal that comes while no event loop
    // runs is served once one does.
    explicit StopSignals(std::function<void()> onStop);
    // The signals get back the handling they had before.
    ~StopSignals() override;
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    void Serve();

    std::function<void()> onStop_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace cardpush
