#include "app/qt/about.h"

#include <QFile>
#include <QPixmap>

#include "app/qt/jpeg_image.h"
#include "app/qt/qt_text.h"
#include "session/session_texts.h"
#include "ui_about.h"

namespace cardpush {

namespace {

QImage LoadPicture()
{
    QFile file(":/about.jpg");
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return DecodeJpeg(file.readAll());
}

}  // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::TAboutBox>())
{
    ui_->setupUi(this);
    Panel1 = ui_->Panel1;
    ProgramIcon = ui_->ProgramIcon;
    ProductName = ui_->ProductName;
    Version = ui_->Version;
    Comments = ui_->Comments;
    OKButton = ui_->OKButton;
    ProgramIcon->setPixmap(QPixmap::fromImage(LoadPicture()));
    // An e-mail address is one word to the line breaker and wider than the
    // label: let it break after the '@', and let the label grow downwards
    // to hold the lines, as a word-wrapped label sizes itself.
    Comments->setText(Comments->text().replace('@', QStringLiteral("@\u200B")));
    Comments->resize(Comments->width(), Comments->heightForWidth(Comments->width()));
    setFixedSize(size());
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

TAboutBox::~TAboutBox() = default;

void TAboutBox::ShowSettingsPlace(const std::filesystem::path& settingsFile)
{
    auto* place = findChild<QLabel*>("SettingsPlace");
    if (place == nullptr) {
        place = new QLabel(this);
        place->setObjectName("SettingsPlace");
        place->setWordWrap(true);
        place->setTextFormat(Qt::PlainText);
        place->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    place->setText(ToQString(session_texts::kSettingsPlace) + PathToQString(settingsFile));
    // Between the picture and the button, which moves down to make room.
    const QRect panel = Panel1->geometry();
    const int height = place->heightForWidth(panel.width());
    place->setGeometry(panel.left(), panel.bottom() + 6, panel.width(), height);
    OKButton->move(OKButton->x(), place->geometry().bottom() + 8);
    setFixedSize(width(), OKButton->geometry().bottom() + 9);
}

}  // namespace cardpush
