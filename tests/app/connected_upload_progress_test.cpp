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
#include "support/link_wait.h"
#include "support/tool_fixture.h"

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
    bool whole;  // the label is wide enough for its text
};

class UploadProgressTest : public ToolTest {
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
    ClickThroughWindowSystem(Control<QPushButton>(form_, "BitBtn1"));
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
        samples.push_back(
            {bar->value(), Utf8(text->text()), text->width() >= text->sizeHint().width()});
        if (resumed) {
            return;
        }
        const bool same = samples.size() > 1 && samples[samples.size() - 2].value == bar->value();
        stalled = same ? stalled + 1 : 0;
        if (stalled >= kStalledTicks) {
            // The writing waits for the frozen line: the operator tries
            // other commands, then the line goes on.
            ClickThroughWindowSystem(Control<QPushButton>(form_, "BitBtn1"));
            ClickThroughWindowSystem(Control<QPushButton>(form_, "Button2"));
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
        EXPECT_TRUE(samples[i].whole) << samples[i].text;
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

// The operator (or the system, shutting down) closes the main window while
// upload all sends the first of two files: the close waits for that file to
// go over whole, the second is not sent and stays, and then the window
// closes and saves its settings.
TEST_F(UploadProgressTest, CloseDuringAnUploadTakesEffectAfterTheFileBeingSent)
{
    const std::string job = BigJob();
    CreateJob("BIG1.txt", job);
    CreateJob("BIG2.txt", job);
    ASSERT_NO_FATAL_FAILURE(Start(
        {.simOptions = {"--baud", "230400", "--frame-timeout", "0"}, .deleteAfterUpload = true}));
    bool closed = false;
    QObject::connect(form_.get(), &TForm1::Closed, [&] { closed = true; });
    QTimer closer;
    closer.setInterval(20);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (qobject_cast<TUploadProgress*>(QApplication::activeModalWidget()) != nullptr) {
            closer.stop();
            form_->close();
        }
    });
    closer.start();
    const std::size_t mark = WireMark();

    form_->Button1Click();
    // The close goes ahead from the event loop, once the command has returned.
    ASSERT_TRUE(QTest::qWaitFor([&] { return closed; }, 30000));

    // One file went over whole and the listing was asked for; the other
    // was not sent. (The line is slower than the writes: wait for it.)
    const std::size_t expected =
        std::string("<BIG1\\").size() + std::to_string(job.size()).size() + 1 + job.size() + 1;
    ASSERT_TRUE(testing::ServeUntil([&] { return WireSince(mark).size() >= expected; }));
    const std::string wire = WireSince(mark);
    const std::string sent = wire.substr(0, 5);
    ASSERT_TRUE(sent == "<BIG1" || sent == "<BIG2") << sent;
    EXPECT_TRUE(wire == sent + "\\" + std::to_string(job.size()) + "\\" + job + ">")
        << wire.size() << " bytes arrived, " << expected << " expected";
    ASSERT_TRUE(testing::ServeUntil([&] { return sim_->CardFiles().size() == 1; }));
    const std::string unsent = sent == "<BIG1" ? "BIG2.txt" : "BIG1.txt";
    const auto jobs = JobsOnDisk();
    EXPECT_NE(jobs.end(), std::find(jobs.begin(), jobs.end(), unsent));
}

}  // namespace
}  // namespace cardpush::test
