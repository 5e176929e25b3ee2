// An upload that the line holds back: the modal progress window shows how
// far it has got, the tool's event loop keeps running, and the operator's
// other commands stay out until the upload has ended.
//
// The simulator is frozen while the upload starts, so the frames fill the
// line's buffers and the writing waits, whatever their size on this machine;
// once the test has seen that, the simulator reads on, paced.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "app/upload_progress.h"
#include "support/window_sim_fixture.h"

namespace cardpush::test {
namespace {

// More than the kernel buffers between the two ends of a pseudo-terminal.
constexpr int kLines = 1800;
constexpr int kStalledTicks = 5;

std::string BigJob()
{
    std::string job;
    for (int i = 0; i < kLines; ++i) {
        job += std::to_string(i) + " " + std::string(40, 'a' + i % 26) + "\r\n";
    }
    return job;
}

struct Sample {
    int value;
    std::string text;
};

class UploadProgressTest : public WindowSimTest {
protected:
    // Clicks a control of the main window the way the operator's mouse
    // does: through the window system, where a modal window blocks it.
    void ClickThroughWindowSystem(QWidget* control)
    {
        const QPoint at = control->mapTo(form_.get(), control->rect().center());
        QTest::mouseClick(form_->windowHandle(), Qt::LeftButton, {}, at);
    }
};

TEST_F(UploadProgressTest, ModalProgressGrowsWhileTheToolRunsAndKeepsCommandsOut)
{
    const std::string job = BigJob();
    CreateJob("BIG.txt", job);
    ASSERT_NO_FATAL_FAILURE(Start({.simOptions = {"--baud", "230400", "--frame-timeout", "0"},
                                   .cardFiles = {{"OLD", "1 x\r\n"}}}));
    ASSERT_TRUE(SelectJob("BIG.txt"));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));

    // The clicks reach the window while nothing modal is open.
    ClickThroughWindowSystem(form_->BitBtn1);
    ASSERT_EQ(1u, folderCalls_.size());

    std::vector<Sample> samples;
    int ticks = 0;
    int stalled = 0;
    bool resumed = false;
    bool modalOnly = true;
    QTimer timer;
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++ticks;
        auto* progress = qobject_cast<TUploadProgress*>(QApplication::activeModalWidget());
        if (progress == nullptr || !progress->isVisible()) {
            return;
        }
        modalOnly = modalOnly && progress->windowModality() == Qt::ApplicationModal;
        const auto* bar = progress->findChild<QProgressBar*>("ProgressBar");
        const auto* text = progress->findChild<QLabel*>("ProgressText");
        samples.push_back({bar->value(), Utf8(text->text())});
        if (resumed) {
            return;
        }
        const bool same = samples.size() > 1 && samples[samples.size() - 2].value == bar->value();
        stalled = same ? stalled + 1 : 0;
        if (stalled >= kStalledTicks) {
            // The writing waits for the frozen line: the operator tries
            // other commands, then the line goes on.
            ClickThroughWindowSystem(form_->BitBtn1);
            ClickThroughWindowSystem(form_->Button2);
            resumed = true;
            sim_->Resume();
        }
    });
    timer.start();
    const std::size_t mark = WireMark();
    sim_->Suspend();

    form_->N3Click();
    timer.stop();
    sim_->Resume();
    ASSERT_TRUE(WaitForListing()) << sim_->Messages();

    EXPECT_TRUE(resumed);
    EXPECT_TRUE(modalOnly);
    EXPECT_EQ(nullptr, QApplication::activeModalWidget());
    ASSERT_FALSE(samples.empty());
    // The event loop ran while the frames went out, and the figures only grew.
    EXPECT_GE(ticks, kStalledTicks);
    std::set<int> values;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        values.insert(samples[i].value);
        if (i > 0) {
            EXPECT_LE(samples[i - 1].value, samples[i].value) << samples[i].text;
        }
    }
    EXPECT_GE(std::count_if(values.begin(), values.end(), [](int v) { return v > 0 && v < 1000; }),
              1);
    EXPECT_GE(values.size(), 2u);
    EXPECT_NE(std::string::npos, samples.front().text.find("BIG.txt")) << samples.front().text;

    // Neither the folder dialog nor the deletes got through; the upload
    // went out whole and alone.
    EXPECT_EQ(1u, folderCalls_.size());
    EXPECT_EQ("<BIG\\" + std::to_string(job.size()) + "\\" + job + ">", WireSince(mark));
    EXPECT_EQ(job, CardFile("BIG"));
    EXPECT_EQ((std::vector<std::string>{"BIG", "OLD"}), sim_->CardFiles());
}

}  // namespace
}  // namespace cardpush::test
