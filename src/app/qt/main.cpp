// Process entry: the application object, then the windows in their order,
// then the event loop until the main window closes. The windows go before
// main returns: the main window first, which stops the link thread and
// closes the port.

#include <QFont>

#include "app/qt/Unit1.h"
#include "app/qt/application.h"
#include "platform/stop_requests.h"
#include "session/settings_store.h"

int main(int argc, char** argv)
{
    using namespace cardpush;

    CardPushApplication application(argc, argv);
    application.setApplicationName("CardPush");
    // The windows are laid out for this font; where it is missing (anywhere
    // but old Windows), its closest kin takes its place.
    QFont::insertSubstitutions(
        "MS Sans Serif", {"Microsoft Sans Serif", "Tahoma", "Liberation Sans", "DejaVu Sans"});
    // The other windows close with the main window, not before it.
    application.setQuitOnLastWindowClosed(false);

    // SIGTERM, SIGINT and SIGHUP close the main window as the operator does.
    // Watched from before the windows exist until after they have gone, so
    // that such a signal never ends the process half-way through either.
    TForm1* mainWindow = nullptr;
    const platform::StopRequests stopRequests([&mainWindow] {
        if (mainWindow != nullptr) {
            mainWindow->close();
        }
    });
    // Beside the executable, unless that folder is closed to the user.
    ToolWindows windows(SettingsStore::ForThisExecutable());
    mainWindow = &windows.Main();
    QObject::connect(mainWindow, &TForm1::Closed, &application, &QApplication::quit);

    mainWindow->show();
    const int status = application.exec();
    mainWindow = nullptr;
    return status;
}
