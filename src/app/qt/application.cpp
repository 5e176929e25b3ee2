#include "app/qt/application.h"

#include <QMetaObject>
#include <exception>

#include "app/qt/Unit1.h"
#include "app/qt/Unit2.h"
#include "app/qt/about.h"
#include "app/qt/dialogs.h"
#include "app/qt/journal_window.h"
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

ToolWindows::ToolWindows(SettingsStore settings, platform::CommApi& devices)
{
    try {
        const bool inUserFolder = settings.InUserFolder();
        main_ = std::make_unique<TForm1>(std::move(settings), nullptr, devices);
        information_ = std::make_unique<TForm2>(main_.get());
        about_ = std::make_unique<TAboutBox>(main_.get());
        if (inUserFolder) {
            about_->ShowSettingsPlace(main_->Session().SettingsFile());
        }
        journal_ = std::make_unique<TJournalWindow>(main_.get());
        main_->SetInformationWindow(information_.get());
        main_->SetAboutBox(about_.get());
        main_->SetJournalWindow(journal_.get());
    } catch (...) {
        Destroy();
        throw;
    }
}

ToolWindows::~ToolWindows()
{
    Destroy();
}

void ToolWindows::Destroy() noexcept
{
    // Out of the main window's children first: a widget deletes its children.
    if (information_) {
        information_->setParent(nullptr);
    }
    if (about_) {
        about_->setParent(nullptr);
    }
    if (journal_) {
        journal_->setParent(nullptr);
    }
    main_.reset();
    information_.reset();
    about_.reset();
    journal_.reset();
}

}  // namespace cardpush
