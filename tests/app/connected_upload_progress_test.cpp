// An upload that the line holds back: the progress window shows how far it
// has got, the tool's event loop keeps running, and the operator's other
// commands stay out until the upload has ended, while the main window's own
// close still reaches it.
//
// The simulator is frozen while the upload starts, so the frames fill the
// line's buffers and the writing waits, whatever their size on this machine;
// once the test has seen that, the simulator reads on, paced.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "app/qt/journal_window.h"
#include "app/qt/upload_progress.h"
#include "jobs/journal.h"
#include "platform/files.h"
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
    // The progress window while it shows.
    TUploadProgress* ShownProgress() const
    {
        auto* progress = form_->findChild<TUploadProgress*>();
        return progress != nullptr && progress->isVisible() ? progress : nullptr;
    }

    // Whether the progress window shows a file whose name holds marker
    // being sent (not checked).
    bool SendingFile(const std::string& marker) const
    {
        auto* progress = ShownProgress();
        if (progress == nullptr) {
            return false;
        }
        const std::string text = Utf8(Control<QLabel>(progress, "ProgressText")->text());
        return text.find(marker) != std::string::npos && text.find("проверка") == std::string::npos;
    }

    // Presses "Остановить" once, while a file whose name holds marker is
    // being sent.
    void StopWhileSending(QTimer& timer, const std::string& marker)
    {
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, [this, &timer, marker] {
            if (SendingFile(marker)) {
                timer.stop();
                Control<QPushButton>(ShownProgress(), "StopButton")->click();
            }
        });
        timer.start();
    }

    std::vector<JournalFields> JournalLines() const
    {
        std::ifstream file(settingsDir_ / TransferJournal::kFileName, std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(file), {}};
        std::vector<JournalFields> lines;
        for (std::size_t from = 0; from < text.size();) {
            const std::size_t end = text.find("\r\n", from);
            lines.push_back(TransferJournal::ParseLine(text.substr(from, end - from)));
            from = end == std::string::npos ? text.size() : end + 2;
        }
        return lines;
    }

    // BIG1.txt and BIG2.txt holding job, and the tool connected to a
    // simulator that reads at 230400 baud; "delete after upload" on.
    void StartWithTwoBigJobs(const std::string& job)
    {
        CreateJob("BIG1.txt", job);
        CreateJob("BIG2.txt", job);
        ASSERT_NO_FATAL_FAILURE(Start({.simOptions = {"--baud", "230400", "--frame-timeout", "0"},
                                       .deleteAfterUpload = true}));
    }

    // Destroyed after the main window, which the fixture's TearDown ends.
    std::unique_ptr<TJournalWindow> journalWindow_;

    // Clicks a control of the main window the way the operator's mouse
    // does: through the window system, where a modal window blocks it.
    void ClickThroughWindowSystem(QWidget* control)
    {
        const QPoint at = control->mapTo(form_.get(), control->rect().center());
        QTest::mouseClick(form_->windowHandle(), Qt::LeftButton, {}, at);
    }
};

TEST_F(UploadProgressTest, ProgressGrowsWhileTheToolRunsAndKeepsCommandsOut)
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
    // Nothing modal blocks the main window: the window system's close
    // reaches it.
    bool closeReachesMain = true;
    QTimer timer;
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++ticks;
        auto* progress = ShownProgress();
        if (progress == nullptr) {
            return;
        }
        closeReachesMain = closeReachesMain && QApplication::activeModalWidget() == nullptr;
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
    EXPECT_TRUE(closeReachesMain);
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
    ASSERT_NO_FATAL_FAILURE(StartWithTwoBigJobs(job));
    bool closed = false;
    QObject::connect(form_.get(), &TForm1::Closed, [&] { closed = true; });
    // Closed while a file is being sent: a close while the files are still
    // checked (a slow machine shows the window then already) sends none.
    QTimer closer;
    closer.setInterval(20);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (SendingFile("BIG")) {
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

// "Остановить" while the first of two files is sent: that file goes over
// whole, the other is not sent and stays; the listing is asked for, and it
// confirms the file that was sent, which the delete option then removes.
TEST_F(UploadProgressTest, StopBetweenFilesSendsTheFileUnderWayAndKeepsTheRest)
{
    const std::string job = BigJob();
    ASSERT_NO_FATAL_FAILURE(StartWithTwoBigJobs(job));
    QTimer stopper;
    StopWhileSending(stopper, "BIG");
    const std::size_t mark = WireMark();

    form_->Button1Click();
    ASSERT_TRUE(WaitForListing()) << sim_->Messages();

    const std::string wire = WireSince(mark);
    const std::string sent = wire.substr(1, 4);
    ASSERT_TRUE(sent == "BIG1" || sent == "BIG2") << wire.substr(0, 20);
    EXPECT_TRUE(wire == "<" + sent + "\\" + std::to_string(job.size()) + "\\" + job + ">")
        << wire.size() << " bytes arrived";
    EXPECT_EQ((std::vector<std::string>{Listed(sent)}), CardList());
    const std::string unsent = sent == "BIG1" ? "BIG2.txt" : "BIG1.txt";
    EXPECT_TRUE(testing::ServeUntil([&] { return JobsOnDisk().size() == 1; }));
    EXPECT_EQ((std::vector<std::string>{unsent}), JobsOnDisk());
    EXPECT_TRUE(messages_.empty());
    EXPECT_TRUE(form_->isVisible());
}

// Upload all over a rejected file, two files for one card name and a stop:
// one journal line per file (uploads and local deletes after the listing
// that proves them), with
// the controller, the port and each result; the open journal window shows
// the new lines on top and the protocol log as it grew.
TEST_F(UploadProgressTest, JournalOfUploadAllWithARejectedFileACollisionAndAStop)
{
    const std::string big = BigJob();
    CreateJob("REJ.txt", "10 a\r\n1x2 b\r\n");
    CreateJob("dup.txt", "1 x\r\n");
    CreateJob("DUP.txt", "2 y\r\n");
    CreateJob("BIG1.txt", big);
    CreateJob("BIG2.txt", big);
    ASSERT_NO_FATAL_FAILURE(
        Start({.simOptions = {"--baud", "230400", "--frame-timeout", "0", "--serial", "77-401"},
               .deleteAfterUpload = true}));
    journalWindow_ = std::make_unique<TJournalWindow>();
    form_->SetJournalWindow(journalWindow_.get());
    form_->N7Click();
    ASSERT_TRUE(journalWindow_->isVisible());
    auto* log = Control<QPlainTextEdit>(journalWindow_, "ProtocolLog");
    const int logLines = log->document()->blockCount();
    QTimer stopper;
    StopWhileSending(stopper, "BIG");
    const auto searchOrder = platform::ListFolder(jobsDir_, "txt");

    form_->Button1Click();
    ASSERT_TRUE(WaitForListing()) << sim_->Messages();

    // What each file should come to, from the order the search gives them.
    struct Expected {
        std::string operation, file, card, result;
    };
    std::vector<Expected> checked, uploads, stopped, deletes;
    bool dupSeen = false;
    bool bigSent = false;
    for (const auto& name : searchOrder) {
        const std::string file = name.string();
        const std::string card = file.substr(0, file.find('.'));
        if (file == "REJ.txt") {
            checked.push_back({"upload", file, "REJ",
                               "Ошибка в файле: Неправильный размер, недопустимые символы - 1x2"});
        } else if (card == "dup" || card == "DUP") {
            if (dupSeen) {
                checked.push_back(
                    {"upload", file, "DUP",
                     "Файл не загружен: его имя на карте памяти уже занято другим файлом - " +
                         file + " (DUP, " + (file == "dup.txt" ? "DUP.txt" : "dup.txt") + ")"});
                continue;
            }
            dupSeen = true;
        }
        if (file == "REJ.txt") {
            continue;
        }
        const std::string upper = card == "dup" ? "DUP" : card;
        if (bigSent) {
            stopped.push_back({"upload", file, upper, "Файл не загружен: загрузка остановлена"});
            continue;
        }
        uploads.push_back({"upload", file, upper, "ok"});
        deletes.push_back({"local-delete", file, upper, "ok"});
        bigSent = card.starts_with("BIG");
    }
    std::vector<Expected> expected = checked;
    for (const auto* part : {&stopped, &uploads, &deletes}) {
        expected.insert(expected.end(), part->begin(), part->end());
    }

    // The uploads and the local deletes are journalled once the listing has
    // shown the files on the card.
    testing::ServeUntil([&] { return JournalLines().size() == expected.size() + 1; });
    const auto lines = JournalLines();
    ASSERT_EQ(expected.size() + 1, lines.size());
    EXPECT_EQ(TransferJournal::HeaderFields(), lines[0]);
    const QRegularExpression isoTime(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d$)");
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const JournalFields& line = lines[i + 1];
        ASSERT_EQ(9u, line.size()) << i;
        EXPECT_EQ("window", line[8]) << i;
        EXPECT_TRUE(isoTime.match(QString::fromStdString(line[0])).hasMatch()) << line[0];
        EXPECT_EQ("77-401", line[1]);
        EXPECT_EQ(ToolDevice(), line[2]);
        EXPECT_EQ(expected[i].operation, line[3]) << i;
        EXPECT_EQ(expected[i].card, line[4]) << i;
        EXPECT_EQ((jobsDir_ / expected[i].file).string(), line[5]) << i;
        const auto size = std::filesystem::path(expected[i].file).stem().string().starts_with("BIG")
                              ? big.size()
                          : expected[i].file == "REJ.txt" ? 13u
                                                          : 5u;
        EXPECT_EQ(std::to_string(size), line[6]) << i;
        EXPECT_EQ(expected[i].result, line[7]) << i;
    }

    // The window shows the journal newest first, and the log kept growing.
    const auto* table = Control<QTableWidget>(journalWindow_, "JournalTable");
    ASSERT_EQ(static_cast<int>(expected.size()), table->rowCount());
    for (int column = 0; column < 8; ++column) {
        EXPECT_EQ(lines.back()[static_cast<std::size_t>(column)],
                  Utf8(table->item(0, column)->text()));
    }
    EXPECT_EQ(expected[0].file,
              std::filesystem::path(Utf8(table->item(table->rowCount() - 1, 5)->text()))
                  .filename()
                  .string());
    EXPECT_GT(log->document()->blockCount(), logLines);
    EXPECT_NE(std::string::npos, Utf8(log->toPlainText()).find("<BIG"));
}

}  // namespace
}  // namespace cardpush::test
