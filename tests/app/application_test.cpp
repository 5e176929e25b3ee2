// Exceptions that reach the event loop, work handed over to the GUI thread
// from other threads, and the end of the run: the tool's windows as the
// process entry makes them, closed by a stop signal.
#include "app/qt/application.h"

#include <signal.h>
#include <unistd.h>

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <filesystem>
#include <ostream>
#include <stdexcept>
#include <thread>

#include "app/qt/Unit2.h"
#include "app/qt/about.h"
#include "app/qt/journal_window.h"
#include "platform/cp1251.h"
#include "platform/main_thread.h"
#include "platform/stop_requests.h"
#include "support/gui_test.h"

namespace cardpush::test {
namespace {

// Throws from its event handler, as a command that fails does.
class Failing : public QObject {
public:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::User) {
            throw std::runtime_error(Utf8ToCp1251("Порт занят другой программой"));
        }
        if (e->type() == QEvent::User + 1) {
            throw 42;
        }
        ++handled;
        return QObject::event(e);
    }
    int handled = 0;
};

using ApplicationTest = GuiTest;

TEST_F(ApplicationTest, AnExceptionFromAHandlerIsShownAndTheToolGoesOn)
{
    Failing target;
    QEvent failing(QEvent::User);
    QCoreApplication::sendEvent(&target, &failing);
    EXPECT_EQ(messages_, std::vector<std::string>{"Порт занят другой программой"});
    QEvent ordinary(QEvent::Type(QEvent::User + 2));
    QCoreApplication::sendEvent(&target, &ordinary);
    EXPECT_EQ(target.handled, 1);
}

TEST_F(ApplicationTest, AnExceptionWithoutMessageIsShownAsUnknown)
{
    Failing target;
    QEvent failing(QEvent::Type(QEvent::User + 1));
    QCoreApplication::sendEvent(&target, &failing);
    EXPECT_EQ(messages_, std::vector<std::string>{"Неизвестная ошибка"});
}

TEST_F(ApplicationTest, WorkPostedByAnotherThreadRunsInTheEventLoop)
{
    std::thread::id ranOn;
    std::thread worker([&] {
        platform::MainThread::Post([&] { ranOn = std::this_thread::get_id(); });
        platform::MainThread::Post([] { throw std::runtime_error(Utf8ToCp1251("Сбой")); });
    });
    worker.join();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_EQ(messages_, std::vector<std::string>{"Сбой"});
}

// The run as the process entry sets it up: stop signals watched, the three
// windows, the main window shown. With no port at all, the link is still
// searching for the controller when the signal comes.
struct StopCase {
    const char* name;
    int signal;
    enum { kNothingElse, kInformationWindow, kAboutBox, kJournalWindow } open;
};

void PrintTo(const StopCase& stopCase, std::ostream* out)
{
    *out << stopCase.name;
}

class StopSignalTest : public GuiTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(StopSignalTest, ClosesTheMainWindowAndEveryWindowGoes)
{
    const StopCase& param = GetParam();
    int loopStatus = -1;
    {
        TForm1* closing = nullptr;
        const platform::StopRequests stopRequests([&closing] {
            if (closing != nullptr) {
                closing->close();
            }
        });
        const ToolWindows windows(SettingsStore(settingsDir_), noPorts_);
        TForm1& mainWindow = windows.Main();
        closing = &mainWindow;
        QObject::connect(&mainWindow, &TForm1::Closed, qApp, &QApplication::quit);
        mainWindow.show();

        // Sent to the process: any of its threads may take it.
        const auto stop = [signal = param.signal] { ::kill(::getpid(), signal); };
        QTimer::singleShot(0, &mainWindow, [&] {
            switch (param.open) {
                case StopCase::kNothingElse:
                    stop();
                    break;
                case StopCase::kInformationWindow:
                    Control<QAction>(&mainWindow, "N1")->trigger();
                    stop();
                    break;
                case StopCase::kJournalWindow:
                    Control<QAction>(&mainWindow, "N7")->trigger();
                    stop();
                    break;
                case StopCase::kAboutBox:
                    // Comes inside the About box's own event loop.
                    QTimer::singleShot(0, &windows.About(), stop);
                    Control<QAction>(&mainWindow, "N6")->trigger();
                    break;
            }
        });
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [] {
            ADD_FAILURE() << "the event loop did not end";
            QCoreApplication::exit(1);
        });
        guard.start(30000);
        loopStatus = QApplication::exec();

        EXPECT_FALSE(mainWindow.isVisible());
        EXPECT_FALSE(windows.Information().isVisible());
        EXPECT_FALSE(windows.About().isVisible());
        EXPECT_FALSE(windows.Journal().isVisible());
    }
    EXPECT_EQ(loopStatus, 0);
    EXPECT_TRUE(std::filesystem::exists(SettingsFile())) << "the settings were not saved";
    struct sigaction action {};
    ::sigaction(param.signal, nullptr, &action);
    EXPECT_EQ(action.sa_handler, SIG_DFL) << "the signal's own handling is not back";
}

INSTANTIATE_TEST_SUITE_P(
    Signals, StopSignalTest,
    ::testing::Values(StopCase{"Term", SIGTERM, StopCase::kNothingElse},
                      StopCase{"IntWithTheInformationWindowOpen", SIGINT,
                               StopCase::kInformationWindow},
                      StopCase{"HupWithTheAboutBoxOpen", SIGHUP, StopCase::kAboutBox},
                      StopCase{"IntWithTheJournalOpen", SIGINT, StopCase::kJournalWindow}),
    [](const ::testing::TestParamInfo<StopCase>& info) { return info.param.name; });

}  // namespace
}  // namespace cardpush::test
