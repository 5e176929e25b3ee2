// Process entry: the application object, then the three windows in their
// order, then the event loop until the main window closes. The windows go
// before main returns: the main window first, which stops the link thread and
// closes the port.

#include <QFont>

#include "app/Unit1.h"
#include "app/about.h"
#include "app/application.h"
#include "app/settings_format.h"
#include "app/stop_signals.h"
#include "platform/files.h"

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
    const StopSignals stopSignals([] {
        if (Form1 != nullptr) {
            Form1->close();
        }
    });
    // Beside the executable, unless that folder is closed to the user.
    const std::filesystem::path executableFolder = platform::ExecutableFolder();
    const std::filesystem::path settingsFolder =
        SettingsFolder(executableFolder, platform::CanWriteIn, platform::UserSettingsFolder());
    // An installed copy starts from the administrator's nastr.dat beside it
    // until the user has one of their own.
    const ToolWindows windows(settingsFolder, platform::SystemCommApi(),
                              settingsFolder != executableFolder
                                  ? executableFolder / kSettingsFileName
                                  : std::filesystem::path());
    if (settingsFolder != executableFolder) {
        windows.About().ShowSettingsPlace(windows.Main().SettingsPath());
    }
    QObject::connect(&windows.Main(), &TForm1::Closed, &application, &QApplication::quit);

    windows.Main().show();
    return application.exec();
}
