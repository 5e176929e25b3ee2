// The window that shows how far a long command has got while its work runs
// on the session's worker (session/progress.h), with "Остановить".
//
// At 9600 baud a job file of 100 kB takes nearly two minutes on the wire.
// The window keeps the tool responsive meanwhile (the link's news is still
// handled); it can't be closed before the work has ended. It is modeless, so
// that the main window's close button still reaches the main window, which
// keeps the operator's other commands out meanwhile.
//
// GUI thread only.
#pragma once

#include <QDialog>

class QEventLoop;
class QLabel;
class QProgressBar;
class QPushButton;

namespace cardpush {

class ProgressRun;

class TUploadProgress : public QDialog {
    Q_OBJECT

public:
    explicit TUploadProgress(QWidget* parent);

    // Returns once run is done. Work that is done in a moment never shows
    // the window; until it shows, the link's news is served, the operator's
    // input is not.
    void Run(ProgressRun& run);

protected:
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Show(const ProgressRun& run);

    QLabel* text_;
    QProgressBar* bar_;
    QPushButton* stop_;
    bool running_ = false;
    // The event loop that waits for the work, while one runs.
    QEventLoop* loop_ = nullptr;
};

}  // namespace cardpush
