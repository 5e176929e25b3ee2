#include "app/upload_progress.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <exception>
#include <mutex>
#include <thread>

#include "app/qt_text.h"
#include "app/texts.h"
#include "platform/main_thread.h"

namespace cardpush {
namespace {

constexpr std::chrono::milliseconds kShowAfter{150};
constexpr std::chrono::milliseconds kRefreshEvery{50};

}  // namespace

TUploadProgress::TUploadProgress(QWidget* parent, std::uint64_t lineBytesPerSecond)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      lineBytesPerSecond_(lineBytesPerSecond == 0 ? 1 : lineBytesPerSecond),
      text_(new QLabel(this)),
      bar_(new QProgressBar(this)),
      stop_(new QPushButton(ToQString(texts::kUploadProgressStop), this))
{
    setObjectName("UploadProgress");
    setWindowTitle(ToQString(texts::kUploadProgressTitle));
    text_->setObjectName("ProgressText");
    text_->setMinimumWidth(380);
    bar_->setObjectName("ProgressBar");
    bar_->setRange(0, 1000);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_);
    layout->addWidget(bar_);
    stop_->setObjectName("StopButton");
    stop_->setAutoDefault(false);
    layout->addWidget(stop_, 0, Qt::AlignRight);
    connect(stop_, &QPushButton::clicked, this, [this] {
        stop_->setEnabled(false);
        emit StopClicked();
    });
}

void TUploadProgress::SetStopEnabled(bool enabled)
{
    stop_->setEnabled(enabled);
}

QString TUploadProgress::Describe(const UploadProgress& p, std::uint64_t lineBytesPerSecond)
{
    switch (p.phase) {
        case UploadProgress::Phase::Checking:
            return ToQString(texts::kUploadProgressChecking).arg(PathToQString(p.fileName));
        case UploadProgress::Phase::AwaitingListing:
            return ToQString(texts::kUploadProgressListing);
        case UploadProgress::Phase::Sending:
            break;
    }
    const std::uint64_t left = p.bytesTotal > p.bytesSent ? p.bytesTotal - p.bytesSent : 0;
    const std::uint64_t rate = lineBytesPerSecond == 0 ? 1 : lineBytesPerSecond;
    const std::uint64_t secondsLeft = (left + rate - 1) / rate;
    return ToQString(texts::kUploadProgressFile)
        .arg(PathToQString(p.fileName))
        .arg(p.linesSent)
        .arg(p.linesTotal)
        .arg(p.bytesSent)
        .arg(p.bytesTotal)
        .arg(secondsLeft);
}

void TUploadProgress::Show(const UploadProgress& progress)
{
    text_->setText(Describe(progress, lineBytesPerSecond_));
    // The window grows with its text (a long file name, large figures), so
    // that the time left is never cut off.
    if (text_->sizeHint().width() > text_->width()) {
        adjustSize();
    }
    const std::uint64_t total = progress.bytesTotal == 0 ? 1 : progress.bytesTotal;
    bar_->setValue(static_cast<int>(progress.bytesSent * 1000 / total));
}

void TUploadProgress::Run(const UploadProgress& start,
                          const std::function<void(const ProgressFn&)>& work)
{
    // The worker reports after every write, far more often than a window
    // can show: a report only keeps the latest progress, and the window
    // fetches it a few times a second. No report wakes the GUI thread.
    std::mutex mutex;
    UploadProgress latest = start;
    std::exception_ptr error;
    const ProgressFn report = [&](const UploadProgress& now) {
        std::lock_guard lock(mutex);
        latest = now;
    };
    const auto showLatest = [&] {
        UploadProgress shown;
        {
            std::lock_guard lock(mutex);
            shown = latest;
        }
        Show(shown);
    };

    Show(start);
    running_ = true;
    std::thread worker([&] {
        try {
            work(report);
        } catch (...) {
            error = std::current_exception();
        }
        platform::MainThread::Post([this] {
            running_ = false;
            if (loop_ != nullptr) {
                loop_->quit();
            }
        });
    });
    // Most files are read, checked and sent in a moment: the window shows
    // only for work that takes longer, so that it does not flicker. Until
    // then the link's news is served, the operator's input is not.
    {
        QEventLoop quick;
        loop_ = &quick;
        QTimer::singleShot(kShowAfter, &quick, &QEventLoop::quit);
        quick.exec(QEventLoop::ExcludeUserInputEvents);
        loop_ = nullptr;
    }
    if (running_) {
        // Modeless: the main window keeps its own close button, which asks
        // the upload to stop after the file being sent; its controls are
        // off meanwhile (the caller's business).
        QTimer refresh;
        connect(&refresh, &QTimer::timeout, this, showLatest);
        refresh.start(kRefreshEvery);
        showLatest();
        show();
        QEventLoop loop;
        loop_ = &loop;
        if (running_) {
            loop.exec();
        }
        loop_ = nullptr;
        hide();
    }
    worker.join();
    // The end of the work may still be queued: it refers to this window.
    platform::MainThread::ServePending();
    running_ = false;
    if (error) {
        std::rethrow_exception(error);
    }
}

void TUploadProgress::reject()
{
    if (!running_) {
        QDialog::reject();
    }
}

void TUploadProgress::closeEvent(QCloseEvent* event)
{
    if (running_) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

}  // namespace cardpush
