// The card commands' rules for keeping the operator's files safe, tried on a
// card of the test's own: a fake link whose card applies the delete and
// upload frames it gets, and a host that runs the work at once and records
// what the operator is shown and what the journal gets.

#include "jobs/card_commands.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "jobs/job_texts.h"
#include "link/link_texts.h"
#include "platform/files.h"
#include "platform/main_thread.h"
#include "support/temp_folder.h"

namespace cardpush {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;
using Paths = std::vector<fs::path>;
using Phase = UploadProgress::Phase;
namespace texts = job_texts;

const std::string kLines = "1 x\r\n";  // every job file's content
const std::string kOld = "OLD";        // a card file from before

const auto Up = [](const std::string& cardName) { return "<" + cardName + "\\5\\" + kLines; };
const auto Del = [](const std::string& cardName) { return "/" + cardName + "\\"; };
const auto Listed = [](const std::string& name) {
    return name + std::string(8 - std::min<std::size_t>(name.size(), 8), ' ');
};
// Journal lines as FakeHost records them: kind, then the result.
const auto U = [](std::string_view result) { return "U " + std::string(result); };
const auto L = [](std::string_view result) { return "L " + std::string(result); };
const auto D = [](std::string_view result) { return "D " + std::string(result); };

enum Behaviour { kWorks, kIgnoresUploads, kIgnoresDeletes, kSilent };

// A controller and its card. The card keeps the first 8 bytes of an
// uploaded name and lists its names padded to 8, answering a listing
// request after every frame before it; the request shows on the wire as ">".
class FakeLink final : public CardLink {
public:
    Strings card;                  // as listed
    Behaviour behaviour = kWorks;  // kSilent: no listing ever comes
    int changeAtWrite = 0;         // this write (from 1) finds another controller
    std::string wire;
    LinkConnection connection{1, "SN1"};
    CardListing last{1, 1, {}};
    CardListing asked{1, 1, {}};  // the listing of the latest request

    std::optional<std::string> CardCommandRefusal() const override { return std::nullopt; }
    LinkConnection Connection() const override { return connection; }
    CardListing LastListing() const override { return last; }
    std::uint64_t LineBytesPerSecond() const override { return 960; }
    std::uint64_t RefreshCardList() override
    {
        wire += '>';
        asked = {asked.request + 1, connection.generation, card};
        return asked.request;
    }
    void WriteCardFrame(std::string_view frame, const LinkConnection& on) override
    {
        if (++writes_ == changeAtWrite) {
            connection = {2, "SN2"};
        }
        if (on != connection) {
            throw ELinkChanged(link_texts::kConnectionChanged.str());
        }
        wire += frame;
        const std::string name = Listed(std::string(frame.substr(1, frame.find('\\', 1) - 1)));
        if (frame[0] == '/' && behaviour != kIgnoresDeletes) {
            std::erase(card, name);
        } else if (frame[0] == '<' && behaviour != kIgnoresUploads &&
                   !std::ranges::count(card, name.substr(0, 8))) {
            card.push_back(name.substr(0, 8));
        }
    }
    // At once: the work that waits runs on the test's thread (see FakeHost).
    std::optional<Strings> AwaitListing(std::uint64_t, const LinkConnection& on) override
    {
        if (behaviour == kSilent || on != connection) {
            return std::nullopt;
        }
        last = asked;
        return asked.names;
    }

private:
    int writes_ = 0;
};

// Runs the work on the calling thread, which then stands for the worker.
class FakeHost final : public CardCommandsHost {
public:
    Strings messages;
    Strings journal;  // "U ok", "L <why kept>": the kind's letter, then the result
    bool stop = false;
    std::function<void(const UploadProgress&)> beforeWork = [](const UploadProgress&) {};

    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void AddLogLines(std::span<const std::string>) override {}
    void RunWithProgress(const UploadProgress& start,
                         const std::function<void(const ProgressFn&)>& work) override
    {
        beforeWork(start);
        work([](const UploadProgress&) {});
    }
    bool StopRequested() const override { return stop; }
    void OperationEnded(const CardOperation& op) override
    {
        const char kind = "UDDL"[static_cast<int>(op.kind)];  // by CardOperation::Kind
        journal.push_back(kind + (" " + (op.result.empty() ? "ok" : op.result)));
    }
    void LocalFilesChanged() override {}
};

// A job folder, the card and the commands, as the session holds them.
struct Rig {
    testing::TempFolder folder;
    FakeLink link;
    FakeHost host;
    CardCommands commands{link, host};

    Rig(const Paths& jobs, const Strings& card, Behaviour behaviour = kWorks)
    {
        platform::MainThread::Bind();
        for (const auto& name : jobs) {
            std::ofstream(folder.path() / name, std::ios::binary) << kLines;
        }
        std::ranges::transform(card, std::back_inserter(link.card), Listed);
        link.last.names = link.card;
        link.behaviour = behaviour;
    }
    // As the window runs a command: what it throws is shown to the operator.
    void UploadAll(bool emptyCardFirst, bool deleteAfter = true)
    {
        try {
            commands.UploadAll(folder.path(), {deleteAfter, emptyCardFirst});
        } catch (const std::exception& error) {
            host.messages.push_back(error.what());
        }
    }
    // The listing asked for last comes in (or stops coming), as the session
    // hands it on.
    void Answer()
    {
        if (link.behaviour == kSilent) {
            commands.ListingStalled(link.asked.request);
        } else {
            link.last = link.asked;
            commands.ListingCompleted(link.asked.names, link.asked.request);
        }
    }
    Strings OnDisk() const
    {
        Strings names;
        for (const auto& entry : fs::directory_iterator(folder.path())) {
            names.push_back(entry.path().filename().string());
        }
        std::ranges::sort(names);
        return names;
    }
};

// Each expected line begins one actual line, in any order.
void ExpectLines(const Strings& actual, const Strings& expected)
{
    std::vector<::testing::Matcher<std::string>> lines;
    std::ranges::transform(expected, std::back_inserter(lines), ::testing::StartsWith<std::string>);
    EXPECT_THAT(actual, ::testing::UnorderedElementsAreArray(lines));
}

// What upload all may have put on the wire: before, the upload of one of
// cardNames, after.
Strings EitherUpload(const std::string& before, const Strings& cardNames, const std::string& after)
{
    Strings wires;
    for (const auto& name : cardNames) {
        wires.push_back(before + Up(name) + after);
    }
    return wires;
}

// Upload all of at most one job file, against a card: what goes on the wire,
// the journal and the messages; the job file is gone only when the journal
// says that it was deleted.
struct UploadCase {
    const char* what;
    Strings jobs, card;
    bool emptyFirst, deleteAfter;
    Behaviour behaviour;
    std::string wire;
    Strings journal, messages = {};
};
void Check(const UploadCase& c)
{
    SCOPED_TRACE(c.what);
    Rig rig(Paths(c.jobs.begin(), c.jobs.end()), c.card, c.behaviour);
    rig.UploadAll(c.emptyFirst, c.deleteAfter);
    rig.Answer();
    EXPECT_EQ(c.wire, rig.link.wire);
    ExpectLines(rig.host.journal, c.journal);
    ExpectLines(rig.host.messages, c.messages);
    EXPECT_EQ(std::ranges::count(c.journal, "L ok") ? Strings{} : c.jobs, rig.OnDisk());
}

TEST(CardCommandsTest, JobFileIsDeletedOnlyWhenTheListingAfterShowsItsNameNewOnTheCard)
{
    const std::string a = "A.txt";
    const std::string kept = L(texts::kKeptNotConfirmed);
    for (const auto& c : {
             UploadCase("proven", {a}, {}, false, true, kWorks, Up("A") + ">", {"U ok", "L ok"}),
             UploadCase("name listed before, upload ignored", {a}, {"A"}, false, true,
                        kIgnoresUploads, Up("A") + ">", {"U sent", L(texts::kKeptWasListed)},
                        {texts::kWasListedKept.str() + a}),
             UploadCase("name seen gone after the deletes", {a}, {"A"}, true, true, kWorks,
                        Del("A") + ">" + Up("A") + ">", {"D ok", "U ok", "L ok"}),
             UploadCase("card ignores uploads", {a}, {}, false, true, kIgnoresUploads,
                        Up("A") + ">", {U(texts::kNotOnCard), kept},
                        {texts::kNotConfirmed.str() + a}),
             UploadCase("listing stalls", {a}, {}, false, true, kSilent, Up("A") + ">",
                        {"U sent", kept}, {texts::kNotConfirmed.str() + a}),
             UploadCase("option off", {a}, {}, false, false, kWorks, Up("A") + ">", {"U ok"}),
         }) {
        Check(c);
    }
}

TEST(CardCommandsTest, JobFileChangedOrGoneSinceItsCheckIsNeitherSentNorDeleted)
{
    const auto change = [](const fs::path& p) { std::ofstream(p, std::ios::app) << "2 y\r\n"; };
    const auto remove = [](const fs::path& p) { fs::remove(p); };
    const std::string changed = texts::kChangedBeforeSending.str() + "A.txt";
    const std::string unreadable = texts::kUnreadableBeforeSending.str() + "A.txt: ";
    struct Row {
        const char* what;
        std::function<void(const fs::path&)> touch;
        bool afterSending;
        std::string wire;
        Strings journal, messages, left;
    } rows[] = {
        Row("changed before sending", change, false, ">", {U(changed)}, {changed}, {"A.txt"}),
        Row("gone before sending", remove, false, ">", {U(unreadable)}, {unreadable}, {}),
        Row("changed before the listing", change, true, Up("A") + ">",
            {"U ok", L(texts::kKeptChanged)}, {texts::kChangedKept.str() + "A.txt"}, {"A.txt"}),
        Row("gone before the listing", remove, true, Up("A") + ">", {"U ok"}, {}, {}),
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Rig rig({"A.txt"}, {});
        const fs::path job = rig.folder / "A.txt";
        rig.host.beforeWork = [&](const UploadProgress& p) {
            if (!row.afterSending && p.phase == Phase::Sending) {
                row.touch(job);
            }
        };
        rig.UploadAll(false);
        if (row.afterSending) {
            row.touch(job);
        }
        rig.Answer();
        EXPECT_EQ(row.wire, rig.link.wire);
        ExpectLines(rig.host.journal, row.journal);
        ExpectLines(rig.host.messages, row.messages);
        EXPECT_EQ(row.left, rig.OnDisk());
    }
}

TEST(CardCommandsTest, SecondJobFileOfOneCardNameIsNeitherSentNorDeleted)
{
    struct Row {
        Paths jobs;
        Strings cardNames;
        std::string key;
    } rows[] = {
        Row({"A1.txt", "A-1.txt"}, {"A1"}, "A1"),
        Row({u8"ЖЖЖЖ1.txt", u8"ЖЖЖЖ2.txt"}, {"ZHZHZHZH1", "ZHZHZHZH2"}, "ZHZHZHZH"),
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.key);
        Rig rig(row.jobs, {});
        rig.UploadAll(false);
        rig.Answer();
        EXPECT_THAT(EitherUpload("", row.cardNames, ">"), ::testing::Contains(rig.link.wire));
        ExpectLines(rig.host.journal, {"U ok", "L ok", U(texts::kCardNameTaken)});
        const Paths onDisk(fs::directory_iterator(rig.folder.path()), {});
        ASSERT_EQ(1u, onDisk.size());
        const fs::path left = onDisk[0].filename();
        const fs::path sent = left == row.jobs[0] ? row.jobs[1] : row.jobs[0];
        EXPECT_THAT(rig.host.messages,
                    ::testing::Contains(texts::kCardNameTaken.str() + platform::PathText(left) +
                                        " (" + row.key + ", " + platform::PathText(sent) + ")"));
    }
}

TEST(CardCommandsTest, CardIsEmptiedFirstOnlyForFilesReadyToGoAndShownEmptied)
{
    const std::string a = "A.txt";
    const std::string noName = texts::kNoCardName.str() + "-.txt";
    const std::string notEmptied = U(texts::kCardNotEmptied);
    for (const auto& c : {
             UploadCase("no job file", {}, {kOld}, true, true, kWorks, ">", {},
                        {texts::kNothingToUpload}),
             UploadCase("no job file fit", {"-.txt"}, {kOld}, true, true, kWorks, ">", {U(noName)},
                        {texts::kNameChangedBefore, noName, texts::kNothingToUpload}),
             UploadCase("card ignores deletes", {a}, {kOld}, true, true, kIgnoresDeletes,
                        Del(kOld) + ">>", {D(texts::kNotDeleted), notEmptied},
                        {texts::kCardKeptFiles.str() + kOld}),
             UploadCase("no listing after the deletes", {a}, {kOld}, true, true, kSilent,
                        Del(kOld) + ">>", {"D sent", notEmptied}, {texts::kNoListingAfterDeletes}),
             UploadCase("card empty already", {a}, {}, true, true, kWorks, Up("A") + ">",
                        {"U ok", "L ok"}),
         }) {
        Check(c);
    }
}

TEST(CardCommandsTest, StopSendsNoFurtherFileAndKeepsTheRest)
{
    const std::string stopped = U(texts::kStopped);
    struct Row {
        Phase stopAt;
        Strings wires, journal;
        std::size_t left;
    } rows[] = {
        Row(Phase::Checking, {">"}, {stopped, stopped, stopped}, 3),
        Row(Phase::Sending, EitherUpload(Del(kOld) + ">", {"A", "B", "C"}, ">"),
            {"D ok", "U ok", "L ok", stopped, stopped}, 2),
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.stopAt));
        Rig rig({"A.txt", "B.txt", "C.txt"}, {kOld});
        rig.host.beforeWork = [&](const UploadProgress& p) {
            rig.host.stop |= p.phase == row.stopAt;
        };
        rig.UploadAll(true);
        rig.Answer();
        EXPECT_THAT(row.wires, ::testing::Contains(rig.link.wire));
        ExpectLines(rig.host.journal, row.journal);
        EXPECT_EQ(row.left, rig.OnDisk().size());
    }
}

TEST(CardCommandsTest, UnsafeListedNameIsReportedAndNoFrameSent)
{
    const std::string unsafe = texts::kUnsafeCardNames;
    const auto deleteAll = [](Rig& r) { r.commands.DeleteAll(); };
    const auto deleteLast = [](Rig& r) { r.commands.DeleteCardFile(r.link.last.names.back()); };
    const auto uploadAll = [](Rig& r) { r.UploadAll(true); };
    struct Row {
        Strings card;
        std::function<void(Rig&)> command;
        std::string message;
        Strings journal = {};
    } rows[] = {
        Row({"GOOD", "\\/JOB2"}, deleteAll, unsafe + "\\/JOB2"),
        Row({"GOOD", std::string("A\x01") + "B"}, deleteLast, unsafe + "A\\x01B"),
        Row({kOld, "JOB<"}, uploadAll, unsafe + "JOB<", {U(texts::kCardNotEmptied)}),
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.message);
        Rig rig({"A.txt"}, row.card);
        row.command(rig);
        rig.Answer();
        EXPECT_EQ(">", rig.link.wire);
        EXPECT_EQ(Strings{row.message}, rig.host.messages);
        ExpectLines(rig.host.journal, row.journal);
        EXPECT_EQ(Strings{"A.txt"}, rig.OnDisk());
    }
}

TEST(CardCommandsTest, ConnectionChangedMidCommandStopsItAndDeletesNoJobFile)
{
    struct Row {
        const char* what;
        Strings card;
        int changeAtWrite;
        Strings wires;
    } rows[] = {
        Row("at the first header", {}, 1, {">"}),
        Row("after the first file", {}, 3, EitherUpload("", {"A", "B"}, ">")),
        Row("at the delete before", {kOld}, 1, {">"}),
        Row("after the delete before", {kOld}, 2, {Del(kOld) + ">>"}),
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Rig rig({"A.txt", "B.txt"}, row.card);
        rig.link.changeAtWrite = row.changeAtWrite;
        rig.UploadAll(true);
        rig.Answer();
        EXPECT_THAT(row.wires, ::testing::Contains(rig.link.wire));
        EXPECT_EQ(Strings{link_texts::kConnectionChanged.str()}, rig.host.messages);
        EXPECT_EQ((Strings{"A.txt", "B.txt"}), rig.OnDisk());
        // Each job file has its line, none of them "ok".
        EXPECT_EQ(2, std::ranges::count_if(rig.host.journal, [](const std::string& line) {
                      return line.starts_with("U ") && line != "U ok";
                  }));
    }
}

}  // namespace
}  // namespace cardpush
