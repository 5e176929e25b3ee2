// The connection information window: what the identification of the
// controller has found, in eight read-only fields. It shows only what it is
// given: the values and the port. The layout is resources/Unit2.ui.
//
// GUI thread only.
#pragma once

#include <QDialog>
#include <QLocale>
#include <memory>
#include <optional>
#include <string>

#include "link/link_host.h"

namespace Ui {
class TForm2;
}

namespace cardpush {

// The locale whose decimal separator the information window writes numbers
// with: the system's, as the operator reads numbers. The system's locale is
// read once per process, so tests pin another one here; nullopt gives the
// system's back. GUI thread.
void SetNumberLocale(std::optional<QLocale> locale);

class TForm2 : public QDialog {
    Q_OBJECT

public:
    explicit TForm2(QWidget* parent = nullptr);
    ~TForm2() override;

    // The seven value fields, all rewritten: serial number, minimum,
    // maximum, mode, state, accuracy, firmware version.
    void ShowValues(const LinkValues& values);
    // The port on which the controller answered.
    void ShowPort(const std::string& port);

private:
    std::unique_ptr<Ui::TForm2> ui_;
};

}  // namespace cardpush
