// The connection information window: what the identification of the
// controller has found, in eight read-only fields, and below them the port
// table: every port the search tried, with what it came to. It shows only
// what it is given, and forwards the operator's pick of another controller
// (SwitchRequested). The layout is resources/Unit2.ui.
//
// GUI thread only.
#pragma once

#include <QDialog>
#include <QLocale>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/link_host.h"
#include "session/tool_view.h"

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
    // The port table, rewritten whole. The selected row stays selected
    // while its port is still listed.
    void ShowPortRows(const std::vector<PortRow>& rows);
    // While a long command runs the operator's other commands stay out:
    // no switch, and "Подключить" off.
    void AllowSwitch(bool allowed);

signals:
    // The operator asks for the controller on port: "Подключить" or a
    // double click, on a switchable row only.
    void SwitchRequested(const std::string& port);

private:
    // The selected row; nullptr when none is.
    const PortRow* SelectedRow() const;
    void SelectionChanged();
    void Switch();

    std::unique_ptr<Ui::TForm2> ui_;
    // What ListBox1 lists, in its order.
    std::vector<PortRow> rows_;
    bool switchAllowed_ = true;
};

}  // namespace cardpush
