// Memory and open descriptors over a long run of the tool: the main window
// (offscreen) connected to the controller simulator, first refreshing the
// card listing over and over, then uploading a job file over and over, each
// upload followed by its listing. Prints the resident memory (VmRSS) and the
// number of open descriptors at the start, half way through and at the end
// of each part, and when the protocol log has filled up (it keeps a fixed
// number of lines), and the growth since then. A run that leaks shows rising
// figures; nothing is judged. Then the time the journal window waits for
// the tail of a large transfer journal (cardpush-journal.csv), of whole
// lines and without a line end (a damaged file); last, the memory a job file
// of 64 MiB in the shortest lines costs while it is uploaded, and the
// start-up with a nastr.dat of a gigabyte.
// Usage: cardpush_bench_memory [refreshes, default 20000: the log fills up in the
// first half] [uploads, default 1000]
//        cardpush_bench_memory journal   (the journal's tail only)
//        cardpush_bench_memory large     (the large job file and nastr.dat only)

#include <QCoreApplication>
#include <QEventLoop>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>

#include "app/qt/Unit1.h"
#include "app/qt/application.h"
#include "app/qt/dialogs.h"
#include "bench_util.h"
#include "event_loop.h"
#include "jobs/journal.h"
#include "link/link_session.h"
#include "settings_file.h"
#include "support/link_wait.h"
#include "support/port_list_override.h"
#include "support/sim_process.h"
#include "support/temp_folder.h"

using namespace std::chrono_literals;
using cardpush::bench::Report;
using cardpush::bench::RunEventsUntil;

namespace {

namespace fs = std::filesystem;

const cardpush::LinkSession::Timing kQuick{.settle = 10ms, .check = 20ms, .checks = 20};

void Measure(const std::string& when)
{
    Report(when + ": resident memory", cardpush::bench::ResidentKiB(), "KiB");
    Report(when + ": open descriptors", cardpush::bench::OpenDescriptors(), "");
}

// Seconds Latest takes for the journal window's lines, best of three.
double LatestSeconds(const fs::path& file)
{
    double best = 0;
    for (int run = 0; run < 3; ++run) {
        const auto start = std::chrono::steady_clock::now();
        const auto latest = cardpush::TransferJournal(file).Latest(500);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = run == 0 ? took.count() : std::min(best, took.count());
    }
    return best;
}

// The tail of a 40 MB journal without a line end and of one of 40 MB of
// lines.
void JournalTail()
{
    constexpr std::size_t kSize = 40'000'000;
    const cardpush::testing::TempFolder temp("cardpush-bench-journal");
    const fs::path damaged = temp.path() / "damaged.csv";
    const fs::path lines = temp.path() / "lines.csv";
    std::ofstream(damaged, std::ios::binary) << std::string(kSize, 'x');
    {
        using cardpush::TransferJournal;
        std::string text = TransferJournal::FormatLine(TransferJournal::HeaderFields());
        const std::string line =
            TransferJournal::FormatLine({"2026-12-09T14:03:05+03:00", "SN-7", "COM3", "upload",
                                         "PROG1", "C:\\jobs\\prog1.txt", "12345", "ok"});
        while (text.size() + line.size() <= kSize) {
            text += line;
        }
        std::ofstream(lines, std::ios::binary) << text;
    }
    std::printf("journal tail: 40 MB without a line end: %.4f s; 40 MB of lines: %.4f s\n",
                LatestSeconds(damaged), LatestSeconds(lines));
}

// The process's peak resident memory since the last ResetPeak (VmHWM).
double PeakKiB()
{
    return cardpush::bench::StatusKiB("VmHWM");
}

void ResetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

// The largest job file the tool takes (64 MiB) made of the shortest lines
// ("1" and CR LF), uploaded through the main window: how far resident memory
// rises above where it stood, against the file's size. And the start-up of a
// main window whose nastr.dat is a gigabyte.
int LargeFiles()
{
    const cardpush::testing::TempFolder temp("cardpush-bench-large");
    const fs::path& folder = temp.path();
    const fs::path jobs = folder / "jobs";
    fs::create_directory(jobs);
    constexpr std::uint64_t kJobBytes = std::uint64_t{64} << 20;
    {
        std::string content;
        content.reserve(kJobBytes);
        while (content.size() + 3 <= kJobBytes) {
            content += "1\r\n";
        }
        std::ofstream(jobs / "BIG.txt", std::ios::binary) << content;
    }
    cardpush::testing::PortListOverride devices;
    cardpush::testing::SimProcess sim;
    cardpush::bench::WriteSettingsFile(folder, jobs, sim.DevicePath());
    {
        cardpush::TForm1 form(cardpush::SettingsStore(folder), nullptr, devices);
        const auto connected = [&] { return form.Link().CardCommandsAllowed(); };
        if (!cardpush::bench::ShowConnected(form, kQuick)) {
            std::fprintf(stderr, "the link did not connect: %s\n", sim.Messages().c_str());
            return 1;
        }
        form.findChild<QListWidget*>("ListBox1")->setCurrentRow(0);
        const double before = cardpush::bench::ResidentKiB();
        ResetPeak();
        const auto start = std::chrono::steady_clock::now();
        form.N3Click();
        if (!RunEventsUntil(connected, std::chrono::minutes(5))) {
            std::fprintf(stderr, "the listing after the large upload did not complete\n");
            return 1;
        }
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        const double rise = (PeakKiB() - before) / 1024;
        std::printf(
            "job file of 64 MiB in 3-byte lines: uploaded and listed in %.1f s; peak "
            "resident memory %.0f MiB above the start (%.2f times the file)\n",
            took.count(), rise, rise / 64);
    }
    // A settings file of a gigabyte (sparse: nothing is written) is refused
    // unread at start-up.
    fs::resize_file(folder / "nastr.dat", std::uintmax_t{1} << 30);
    const auto start = std::chrono::steady_clock::now();
    {
        const cardpush::TForm1 form(cardpush::SettingsStore(folder), nullptr, devices);
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("nastr.dat of 1 GiB: main window made in %.3f s\n", took.count());
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::string(argv[1]) == "journal") {
        JournalTail();
        return 0;
    }
    const bool largeOnly = argc > 1 && std::string(argv[1]) == "large";
    const int refreshes = argc > 1 && !largeOnly ? std::atoi(argv[1]) : 20000;
    const int uploads = argc > 2 ? std::atoi(argv[2]) : 1000;

    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    int qtArgc = 1;
    char name[] = "cardpush_bench_memory";
    char* qtArgv[] = {name, nullptr};
    cardpush::CardPushApplication application(qtArgc, qtArgv);
    // Messages would wait for an operator; they are counted instead.
    int messages = 0;
    cardpush::SetMessageHandler([&](const std::string&) { ++messages; });
    if (largeOnly) {
        return LargeFiles();
    }

    const cardpush::testing::TempFolder temp("cardpush-bench");
    const fs::path& folder = temp.path();
    const fs::path jobs = folder / "jobs";
    fs::create_directory(jobs);
    {
        std::ofstream job(jobs / "JOB.txt", std::ios::binary);
        for (int i = 0; i < 50; ++i) {
            job << 100 + i << " line " << i << "\r\n";
        }
    }

    int status = 0;
    {
        // An empty port list: a search never reaches the machine's own serial ports.
        cardpush::testing::PortListOverride devices;
        cardpush::testing::SimProcess sim;
        for (const char* card : {"A1", "B2", "C3"}) {
            sim.PutCardFile(card, "1 x\r\n");
        }
        cardpush::bench::WriteSettingsFile(folder, jobs, sim.DevicePath());

        cardpush::TForm1 form(cardpush::SettingsStore(folder), nullptr, devices);
        const auto connected = [&] { return form.Link().CardCommandsAllowed(); };
        if (!cardpush::bench::ShowConnected(form, kQuick)) {
            std::fprintf(stderr, "the link did not connect: %s\n", sim.Messages().c_str());
            return 1;
        }

        // The protocol log keeps a fixed number of lines: until it is full,
        // memory grows with it, by design.
        const QPlainTextEdit* log = form.findChild<QPlainTextEdit*>("Memo1");
        std::optional<double> atLogCap;
        const auto noteLogCap = [&](const std::string& when) {
            if (!atLogCap && log->document()->blockCount() >= log->maximumBlockCount()) {
                atLogCap = cardpush::bench::ResidentKiB();
                Measure("log full, " + when);
            }
        };

        Measure("start");
        for (int i = 1; i <= refreshes && status == 0; ++i) {
            form.N4Click();
            if (!RunEventsUntil(connected)) {
                std::fprintf(stderr, "listing %d did not complete\n", i);
                status = 1;
            }
            noteLogCap("after " + std::to_string(i) + " listings");
            if (i == refreshes / 2) {
                Measure("after " + std::to_string(i) + " listings");
            }
        }
        Measure("after " + std::to_string(refreshes) + " listings");

        form.findChild<QListWidget*>("ListBox1")->setCurrentRow(0);
        for (int i = 1; i <= uploads && status == 0; ++i) {
            form.N3Click();
            if (!RunEventsUntil(connected)) {
                std::fprintf(stderr, "the listing after upload %d did not complete\n", i);
                status = 1;
            }
            noteLogCap("after " + std::to_string(i) + " uploads");
            if (i == uploads / 2) {
                Measure("after " + std::to_string(i) + " uploads");
            }
        }
        Measure("after " + std::to_string(uploads) + " uploads");
        if (atLogCap) {
            Report("resident memory since the log was full",
                   cardpush::bench::ResidentKiB() - *atLogCap, "KiB");
        }
        Report("messages shown", messages, "");
        Report("card files listed", form.findChild<QListWidget*>("ListBox2")->count(), "");
    }
    if (status == 0) {
        JournalTail();
        status = LargeFiles();
    }
    return status;
}
