// The window that shows how far an upload has got while its frames go out
// on another thread.
//
// At 9600 baud a job file of 100 kB takes nearly two minutes on the wire.
// The window keeps the tool responsive meanwhile (received characters are
// still handled); it can't be closed before the upload has ended. It is
// modeless, so that the main window's close button still reaches the main
// window, which keeps the operator's other commands out meanwhile.
//
// GUI thread only.
#pragma once

#include <QDialog>
#include <functional>

#include "jobs/card_commands.h"

class QEventLoop;
class QLabel;
class QProgressBar;
class QPushButton;

namespace cardpush {

class TUploadProgress : public QDialog {
    Q_OBJECT

public:
    // lineBytesPerSecond: what the serial line carries, for the time left.
    TUploadProgress(QWidget* parent, std::uint64_t lineBytesPerSecond);

    // Runs work on a worker thread and shows this window until work has
    // returned; then throws what work threw. Work that is done in a moment
    // never shows the window.
    void Run(const UploadProgress& start, const std::function<void(const ProgressFn&)>& work);

    // The text shown for a progress, e.g. "Файл A.txt: строка 3 из 10 ...".
    static QString Describe(const UploadProgress& progress, std::uint64_t lineBytesPerSecond);

    // Whether "Остановить" can be pressed: not once a stop has been asked for.
    void SetStopEnabled(bool enabled);

signals:
    // The operator pressed "Остановить": the upload is to end after the file
    // being sent.
    void StopClicked();

protected:
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Show(const UploadProgress& progress);

    std::uint64_t lineBytesPerSecond_;
    QLabel* text_;
    QProgressBar* bar_;
    QPushButton* stop_;
    bool running_ = false;
    // The event loop that waits for the work, while one runs.
    QEventLoop* loop_ = nullptr;
};

}  // namespace cardpush
