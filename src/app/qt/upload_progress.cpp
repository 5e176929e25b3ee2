#include "app/qt/upload_progress.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "app/qt/qt_text.h"
#include "session/progress.h"
#include "session/session_texts.h"

namespace cardpush {

TUploadProgress::TUploadProgress(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      text_(new QLabel(this)),
      bar_(new QProgressBar(this)),
      stop_(new QPushButton(ToQString(session_texts::kProgressStop), this))
{
    setObjectName("UploadProgress");
    setWindowTitle(ToQString(session_texts::kProgressTitle));
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
}

void TUploadProgress::Show(const ProgressRun& run)
{
    text_->setText(ToQString(run.Text()));
    // The window grows with its text (a long file name, large figures), so
    // that the time left is never cut off.
    if (text_->sizeHint().width() > text_->width()) {
        adjustSize();
    }
    bar_->setValue(run.Permille());
}

void TUploadProgress::Run(ProgressRun& run)
{
    running_ = true;
    run.OnDone([this] {
        running_ = false;
        if (loop_ != nullptr) {
            loop_->quit();
        }
    });
    {
        QEventLoop quick;
        loop_ = &quick;
        QTimer::singleShot(ProgressRun::kShowAfter, &quick, &QEventLoop::quit);
        if (!run.Done()) {
            quick.exec(QEventLoop::ExcludeUserInputEvents);
        }
        loop_ = nullptr;
    }
    if (!run.Done()) {
        stop_->setEnabled(run.StopAllowed());
        connect(stop_, &QPushButton::clicked, this, [this, &run] {
            run.Stop();
            stop_->setEnabled(false);
        });
        QTimer refresh;
        connect(&refresh, &QTimer::timeout, this, [this, &run] { Show(run); });
        refresh.start(ProgressRun::kRefreshEvery);
        Show(run);
        show();
        QEventLoop loop;
        loop_ = &loop;
        if (!run.Done()) {
            loop.exec();
        }
        loop_ = nullptr;
        hide();
    }
    run.OnDone({});
    running_ = false;
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
