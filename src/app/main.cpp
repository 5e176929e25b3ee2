// Process entry: the application object, then the three windows in their
// order, then the event loop until the main window closes.

#include <QFont>

#include "app/Unit1.h"
#include "app/Unit2.h"
#include "app/about.h"
#include "app/application.h"
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

    Form1 = new TForm1(platform::ExecutableFolder());
    Form2 = new TForm2(Form1);
    AboutBox = new TAboutBox(Form1);
    QObject::connect(Form1, &TForm1::Closed, &application, &QApplication::quit);

    Form1->show();
    return application.exec();
}
