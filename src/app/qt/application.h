// The application object: Qt's, plus the tool's handling of exceptions that
// reach the event loop and the GUI end of the main-thread hand-over; and the
// tool's three windows, owned for the run.
#pragma once

#include <QApplication>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/comm_api_fwd.h"
#include "session/settings_store.h"

namespace cardpush {

class TForm1;
class TForm2;
class TAboutBox;
class TJournalWindow;

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

// The main window, the information window, the About box and the journal
// window: made in that order, owned here, and handed to each other here: the
// main window gets the others. GUI thread, after the application object.
//
// The dialogs have the main window as their parent, so that they stay
// over it and the About box opens centred on it; but they are owned here and
// go after it: destroying the main window stops the link thread and closes
// the port, and the hand-overs it serves meanwhile may still fill the
// information window.
class ToolWindows {
public:
    // settings and devices as for TForm1.
    explicit ToolWindows(SettingsStore settings,
                         platform::CommApi& devices = platform::SystemCommApi());
    ~ToolWindows();
    ToolWindows(const ToolWindows&) = delete;
    ToolWindows& operator=(const ToolWindows&) = delete;

    TForm1& Main() const { return *main_; }
    TForm2& Information() const { return *information_; }
    TAboutBox& About() const { return *about_; }
    TJournalWindow& Journal() const { return *journal_; }

private:
    void Destroy() noexcept;

    std::unique_ptr<TForm1> main_;
    std::unique_ptr<TForm2> information_;
    std::unique_ptr<TAboutBox> about_;
    std::unique_ptr<TJournalWindow> journal_;
};

}  // namespace cardpush
