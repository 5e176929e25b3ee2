// The About box: the tool's name, version and contact address over a
// picture. The layout is resources/about.ui; the picture is about.jpg in the
// tool's resources.
//
// GUI thread only.
#pragma once

#include <QDialog>
#include <filesystem>
#include <memory>

class QFrame;
class QLabel;
class QPushButton;

namespace Ui {
class TAboutBox;
}

namespace cardpush {

class TAboutBox : public QDialog {
    Q_OBJECT

public:
    explicit TAboutBox(QWidget* parent = nullptr);
    ~TAboutBox() override;

    // Says, under the picture, where the settings are kept: for when that
    // is not the executable's folder.
    void ShowSettingsPlace(const std::filesystem::path& settingsFile);

    QFrame* Panel1;
    QLabel* ProgramIcon;
    QLabel* ProductName;
    QLabel* Version;
    QLabel* Comments;
    QPushButton* OKButton;

private:
    std::unique_ptr<Ui::TAboutBox> ui_;
};

}  // namespace cardpush
