// Exceptions that reach the event loop, and work handed over to the GUI
// thread from other threads.
#include <QCoreApplication>
#include <QEvent>
#include <stdexcept>
#include <thread>

#include "app/texts.h"
#include "gui_test.h"
#include "platform/cp1251.h"
#include "platform/main_thread.h"

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
    EXPECT_EQ(messages_, std::vector<std::string>{Cp1251ToUtf8(texts::kUnknownError)});
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

}  // namespace
}  // namespace cardpush::test
