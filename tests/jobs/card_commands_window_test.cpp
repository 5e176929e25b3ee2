// The card commands end to end: the operator's handlers of the main window
// against the controller simulator, checked byte for byte on the wire (the
// simulator's log of what it received), in the simulator's card folder, in
// the job folder and in the window's lists afterwards.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QListWidget>
#include <QTest>
#include <algorithm>
#include <string>
#include <vector>

#include "app/qt/Unit1.h"
#include "link/protocol.h"
#include "platform/cp1251.h"
#include "platform/files.h"
#include "support/link_wait.h"
#include "support/tool_fixture.h"

namespace cardpush::test {
namespace {

using Strings = std::vector<std::string>;

const std::string kListing = ">";

// What one acceptable job file puts on the wire: its header, then its lines.
std::string Upload(const std::string& cardName, const Strings& lines)
{
    const std::string frames = testing::Frames(lines);
    return testing::UploadHeader(cardName, frames.size()) + frames;
}

std::string Delete(const std::string& cardName)
{
    return "/" + cardName + "\\";
}

Strings Sorted(Strings names)
{
    std::sort(names.begin(), names.end());
    return names;
}

class CardCommandsWindowTest : public ToolTest {
protected:
    // The names as the controller lists them, in the card folder's order.
    Strings ListedCardFiles() const
    {
        Strings listed;
        for (const auto& name : sim_->CardFiles()) {
            listed.push_back(Listed(name));
        }
        return listed;
    }

    // The job files as the folder search delivers them.
    Strings SearchOrder() const
    {
        Strings names;
        for (const auto& name : platform::ListFolder(JobsFolder(), "txt")) {
            names.push_back(name.string());
        }
        return names;
    }

    // Asserts that the window's lists show what the card and the job folder
    // now hold.
    void ExpectListsMatchDiskAndCard()
    {
        EXPECT_EQ(Sorted(ListedCardFiles()), Sorted(CardList()));
        Strings jobs;
        for (const auto& name : JobsOnDisk()) {
            if (name.ends_with(".txt")) {
                jobs.push_back(name);
            }
        }
        EXPECT_EQ(jobs, Sorted(Items(Control<QListWidget>(form_, "ListBox1"))));
    }
};

// ---- upload of one file -------------------------------------------------

TEST_F(CardCommandsWindowTest, UploadSelectedSendsHeaderAndLinesAndLogsThem)
{
    CreateJob("abc.txt", "10 a\r\n20 b\r\n");
    ASSERT_NO_FATAL_FAILURE(Start({.deleteAfterUpload = true, .deleteBeforeUpload = true}));
    ASSERT_TRUE(SelectJob("abc.txt"));
    const int logMark = LogMark();

    const std::string wire = RunCommand([&] { form_->N3Click(); });

    EXPECT_EQ("<ABC\\12\\10 a\r\n20 b\r\n" + kListing, wire);
    EXPECT_EQ((Strings{"Имя файла abc изменено на ABC"}), messages_);
    EXPECT_EQ((Strings{"<ABC\\12\\", "10 a", "20 b"}), LogSince(logMark));
    EXPECT_EQ("10 a\r\n20 b\r\n", CardFile("ABC"));
    // One file is never deleted after its upload, nor the card emptied first.
    EXPECT_EQ((Strings{"abc.txt"}), JobsOnDisk());
    EXPECT_EQ((Strings{Listed("ABC")}), CardList());
    ExpectListsMatchDiskAndCard();
}

TEST_F(CardCommandsWindowTest, UpperCaseExtensionUploadsUnderTheNameBeforeIt)
{
    CreateJob("A.TXT", "1 x\r\n");
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(SelectJob("A.TXT"));

    EXPECT_EQ(Upload("A", {"1 x"}) + kListing, RunCommand([&] { form_->N3Click(); }));
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ("1 x\r\n", CardFile("A"));
    EXPECT_EQ((Strings{Listed("A")}), CardList());
}

struct PayloadCase {
    const char* what;
    std::string file;
    Strings lines;
};

// Lines enough for many writes of an upload, one of them longer than a write
// on its own.
PayloadCase ManyWrites()
{
    PayloadCase c{"ManyWrites", "", {}};
    for (int i = 0; i < 60; ++i) {
        c.lines.push_back(std::to_string(100 + i) + " line " + std::to_string(i));
        if (i == 30) {
            c.lines.push_back("7 " + std::string(300, 'x'));
        }
    }
    for (const auto& line : c.lines) {
        c.file += line + "\r\n";
    }
    return c;
}

class HeaderSizeTest : public CardCommandsWindowTest,
                       public ::testing::WithParamInterface<PayloadCase> {};

// The controller stores exactly as many bytes as the header announces: the
// bytes its line frames carry, whatever the file's own line ends.
TEST_P(HeaderSizeTest, HeaderAnnouncesTheBytesItsLineFramesCarry)
{
    CreateJob("JOB.txt", GetParam().file);
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(SelectJob("JOB.txt"));

    EXPECT_EQ(Upload("JOB", GetParam().lines) + kListing, RunCommand([&] { form_->N3Click(); }));
    EXPECT_EQ(testing::Frames(GetParam().lines), CardFile("JOB"));
    EXPECT_EQ((Strings{Listed("JOB")}), CardList());
}

INSTANTIATE_TEST_SUITE_P(
    LineEnds, HeaderSizeTest,
    ::testing::Values(PayloadCase{"CrLf", "10 a\r\n20 b\r\n", {"10 a", "20 b"}},
                      PayloadCase{"Lf", "10 a\n20 b\n", {"10 a", "20 b"}},
                      PayloadCase{"LastLineWithoutEnd", "10 a\r\n20 b", {"10 a", "20 b"}},
                      PayloadCase{"EndOfFileByte",
                                  "10 a\r\n\x1A"
                                  "20 b\r\n",
                                  {"10 a"}},
                      PayloadCase{"Empty", "", {}}, ManyWrites()),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(CardCommandsWindowTest, RejectedFileSendsNothingAndStaysOnDisk)
{
    CreateJob("BAD.txt", "10 a\r\n1x2 b\r\n30 c\r\n");
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(SelectJob("BAD.txt"));
    const int logMark = LogMark();

    EXPECT_EQ(kListing, RunCommand([&] { form_->N3Click(); }));
    EXPECT_EQ((Strings{"Ошибка в файле: Неправильный размер, недопустимые символы - 1x2"}),
              messages_);
    EXPECT_EQ((Strings{"<BAD\\19\\", "false"}), LogSince(logMark));
    EXPECT_TRUE(sim_->CardFiles().empty());
    EXPECT_EQ((Strings{"BAD.txt"}), JobsOnDisk());
}

TEST_F(CardCommandsWindowTest, UploadWithNothingSelectedOnlyAsksForTheListing)
{
    CreateJob("JOB.txt");
    ASSERT_NO_FATAL_FAILURE(Start({.cardFiles = {{"OLD", "1 x\r\n"}}}));

    EXPECT_EQ(kListing, RunCommand([&] { form_->N3Click(); }));
    EXPECT_EQ((Strings{"OLD"}), sim_->CardFiles());
    EXPECT_EQ((Strings{Listed("OLD")}), CardList());
}

// ---- upload of all files ---------------------------------------------------

struct OptionsCase {
    bool deleteAfter;
    bool deleteBefore;
};

class UploadAllTest : public CardCommandsWindowTest,
                      public ::testing::WithParamInterface<OptionsCase> {};

TEST_P(UploadAllTest, SendsEveryJobFileWithTheChosenDeletes)
{
    const auto [deleteAfter, deleteBefore] = GetParam();
    CreateJob("JOB1.txt", "1 x\r\n");
    CreateJob("JOB2.txt", "2 y\r\n-3.5 z\r\n");
    CreateJob("NOTES.doc", "not a job");
    ASSERT_NO_FATAL_FAILURE(Start({.cardFiles = {{"OLD1", "1 a\r\n"}, {"OLD2", "2 b\r\n"}},
                                   .deleteAfterUpload = deleteAfter,
                                   .deleteBeforeUpload = deleteBefore}));
    ASSERT_EQ((Strings{Listed("OLD1"), Listed("OLD2")}), Sorted(CardList()));

    // The card's files are seen gone in a listing before any file goes.
    std::string expected;
    if (deleteBefore) {
        for (const auto& name : CardList()) {
            expected += Delete(protocol::TrimName(name));
        }
        expected += kListing;
    }
    for (const auto& name : SearchOrder()) {
        expected +=
            name == "JOB1.txt" ? Upload("JOB1", {"1 x"}) : Upload("JOB2", {"2 y", "-3.5 z"});
    }
    EXPECT_EQ(expected + kListing, RunCommand([&] { form_->Button1Click(); }));

    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ("1 x\r\n", CardFile("JOB1"));
    EXPECT_EQ("2 y\r\n-3.5 z\r\n", CardFile("JOB2"));
    EXPECT_EQ((deleteBefore ? Strings{"JOB1", "JOB2"} : Strings{"JOB1", "JOB2", "OLD1", "OLD2"}),
              sim_->CardFiles());
    EXPECT_EQ((deleteAfter ? Strings{"NOTES.doc"} : Strings{"JOB1.txt", "JOB2.txt", "NOTES.doc"}),
              JobsOnDisk());
    ExpectListsMatchDiskAndCard();
}

INSTANTIATE_TEST_SUITE_P(Options, UploadAllTest,
                         ::testing::Values(OptionsCase{false, false}, OptionsCase{true, false},
                                           OptionsCase{false, true}, OptionsCase{true, true}),
                         [](const auto& info) {
                             return std::string(info.param.deleteAfter ? "DeleteAfter" : "Keep") +
                                    (info.param.deleteBefore ? "EmptyCardFirst" : "KeepCard");
                         });

// Only job files that went over whole are deleted after the upload: a
// rejected one stays with the operator, who would otherwise lose it.
TEST_F(CardCommandsWindowTest, UploadAllKeepsTheRejectedFileAndDeletesTheSentOne)
{
    CreateJob("GOOD.txt", "1 x\r\n");
    CreateJob("BAD.txt", "1x2 y\r\n");
    ASSERT_NO_FATAL_FAILURE(Start({.deleteAfterUpload = true}));
    const Strings searchOrder = SearchOrder();
    const int logMark = LogMark();

    EXPECT_EQ(Upload("GOOD", {"1 x"}) + kListing, RunCommand([&] { form_->Button1Click(); }));

    EXPECT_EQ((Strings{"Ошибка в файле: Неправильный размер, недопустимые символы - 1x2"}),
              messages_);
    Strings log;
    for (const auto& name : searchOrder) {
        const Strings lines =
            name == "GOOD.txt" ? Strings{"<GOOD\\5\\", "1 x"} : Strings{"<BAD\\7\\", "false"};
        log.insert(log.end(), lines.begin(), lines.end());
    }
    EXPECT_EQ(log, LogSince(logMark));
    EXPECT_EQ((Strings{"GOOD"}), sim_->CardFiles());
    EXPECT_EQ((Strings{"BAD.txt"}), JobsOnDisk());
    ExpectListsMatchDiskAndCard();
}

// Files whose names Windows-1251 can't hold go by their own names: the card
// name comes from the name as it reads (composed; '?' for what the code page
// lacks, which no card name keeps), and the delete after the upload takes
// the file that was sent, not the literal "?.txt".
TEST_F(CardCommandsWindowTest, UploadAllTakesFilesByTheirOwnNames)
{
    const std::string decomposed = "Реи\u0306ка.txt";
    const std::string notUtf8 =
        "\xFF"
        "9.txt";
    CreateJob(decomposed, "1 x\r\n");
    CreateJob(notUtf8, "2 y\r\n");
    CreateJob("?.txt", "3 z\r\n");
    ASSERT_NO_FATAL_FAILURE(Start({.deleteAfterUpload = true}));
    std::string expected;
    for (const auto& name : SearchOrder()) {
        if (name == decomposed) {
            expected += Upload("REYKA", {"1 x"});
        } else if (name == notUtf8) {
            expected += Upload("9", {"2 y"});
        }
    }

    EXPECT_EQ(expected + kListing, RunCommand([&] { form_->Button1Click(); }));
    EXPECT_EQ((Strings{"9", "REYKA"}), Sorted(sim_->CardFiles()));
    EXPECT_EQ((Strings{"?.txt"}), JobsOnDisk());
    EXPECT_NE(std::find(messages_.begin(), messages_.end(),
                        "Файл не загружен: из его имени не получается имя на карте памяти - ?.txt"),
              messages_.end())
        << ::testing::PrintToString(messages_);
}

TEST_F(CardCommandsWindowTest, UploadAllWithNoSourceFolderOnlyRefreshes)
{
    CreateJob("JOB.txt");
    ASSERT_NO_FATAL_FAILURE(Start({.cardFiles = {{"OLD", "1 x\r\n"}},
                                   .deleteAfterUpload = true,
                                   .deleteBeforeUpload = true,
                                   .sourceFolder = false}));

    EXPECT_EQ(kListing, RunCommand([&] { form_->Button1Click(); }));
    EXPECT_EQ((Strings{"OLD"}), sim_->CardFiles());
    EXPECT_EQ((Strings{"JOB.txt"}), JobsOnDisk());
    EXPECT_EQ((Strings{Listed("OLD")}), CardList());
    EXPECT_TRUE(messages_.empty());
}

// Emptying the card with nothing to put on it would only lose its files.
TEST_F(CardCommandsWindowTest, UploadAllWithNothingToSendKeepsTheCardsFiles)
{
    ASSERT_NO_FATAL_FAILURE(Start({.cardFiles = {{"OLD", "1 x\r\n"}}, .deleteBeforeUpload = true}));

    EXPECT_EQ(kListing, RunCommand([&] { form_->Button1Click(); }));
    EXPECT_EQ((Strings{"Нет файлов для загрузки: файлы на карте памяти не удалены"}), messages_);
    EXPECT_EQ((Strings{"OLD"}), sim_->CardFiles());
    EXPECT_EQ((Strings{Listed("OLD")}), CardList());
}

// Two job files with one card name would overwrite each other on the card,
// and both would be deleted here; a card name that comes out empty would
// store a file the card can't name. Neither kind is sent or deleted.
TEST_F(CardCommandsWindowTest, UploadAllSendsOneFilePerCardNameAndNoneWithoutOne)
{
    CreateJob("a-1.txt", "1 x\r\n");
    CreateJob("a_1.txt", "2 y\r\n");
    CreateJob("___.txt", "3 z\r\n");
    ASSERT_NO_FATAL_FAILURE(Start({.deleteAfterUpload = true}));
    Strings order;
    for (const auto& name : SearchOrder()) {
        if (name != "___.txt") {
            order.push_back(name);
        }
    }
    const std::string first = order.at(0);
    const std::string second = order.at(1);

    EXPECT_EQ(Upload("A1", {first == "a-1.txt" ? "1 x" : "2 y"}) + kListing,
              RunCommand([&] { form_->Button1Click(); }));
    const auto shown = [&](const std::string& text) {
        return std::find(messages_.begin(), messages_.end(), text) != messages_.end();
    };
    EXPECT_TRUE(shown("Файл не загружен: его имя на карте памяти уже занято другим файлом - " +
                      second + " (A1, " + first + ")"));
    EXPECT_TRUE(
        shown("Файл не загружен: из его имени не получается имя на карте памяти - ___.txt"));
    EXPECT_EQ((Strings{"A1"}), sim_->CardFiles());
    EXPECT_EQ((Strings{"___.txt", second}), JobsOnDisk());
    ExpectListsMatchDiskAndCard();
}

// Job files that must stay on the PC after upload all with "delete after
// upload" on, because nothing on the card can show that they arrived.
struct KeptCase {
    const char* what;
    std::vector<std::string> simOptions;
    bool emptyCardFirst;
    std::string job;      // JOB.txt's content; OLD and JOB are on the card
    std::string wire;     // what upload all sends
    std::string message;  // the operator is told why
    Strings cardFiles;    // the card afterwards
};

class KeptOnThePcTest : public CardCommandsWindowTest,
                        public ::testing::WithParamInterface<KeptCase> {};

TEST_P(KeptOnThePcTest, UploadAllKeepsTheJobFileAndSaysWhy)
{
    const KeptCase& c = GetParam();
    CreateJob("JOB.txt", c.job);
    ASSERT_NO_FATAL_FAILURE(Start({.simOptions = c.simOptions,
                                   .cardFiles = {{"JOB", "1 old\r\n"}, {"OLD", "2 old\r\n"}},
                                   .deleteAfterUpload = true,
                                   .deleteBeforeUpload = c.emptyCardFirst}));
    std::string wire = c.wire;
    if (c.emptyCardFirst) {
        std::string deletes;
        for (const auto& name : CardList()) {
            deletes += Delete(protocol::TrimName(name));
        }
        wire = deletes + wire;
    }

    EXPECT_EQ(wire + kListing, RunCommand([&] { form_->Button1Click(); }));
    EXPECT_EQ((Strings{c.message}), messages_);
    EXPECT_EQ(c.cardFiles, sim_->CardFiles());
    EXPECT_EQ((Strings{"JOB.txt"}), JobsOnDisk());
}

void PrintTo(const KeptCase& c, std::ostream* out)
{
    *out << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Causes, KeptOnThePcTest,
    ::testing::Values(
        // A full or write-protected card ignores the deletes: nothing goes.
        KeptCase{"CardKeepsItsFiles",
                 {"--read-only-card"},
                 true,
                 "1 new\r\n",
                 kListing,
                 "Рольганг не удалил файлы с карты памяти (карта заполнена или защищена от "
                 "записи?), поэтому файлы не загружены: JOB, OLD",
                 {"JOB", "OLD"}},
        // The name listed after the upload was listed before it.
        KeptCase{"NameWasOnTheCard",
                 {"--read-only-card"},
                 false,
                 "1 new\r\n",
                 Upload("JOB", {"1 new"}),
                 "Файлы загружены, но оставлены на компьютере: на карте памяти уже был файл "
                 "с таким именем, и список файлов не может подтвердить приём: JOB.txt",
                 {"JOB", "OLD"}},
        // Lines ended by CR alone would merge into one on the card.
        KeptCase{"CrAloneEndsLines",
                 {},
                 false,
                 "10 first\r20 second\r",
                 "",
                 "Ошибка в файле JOB.txt: строка 1 оканчивается знаком CR без LF - 10 first",
                 {"JOB", "OLD"}}),
    [](const auto& info) { return std::string(info.param.what); });

// A job file that goes between its check and its send is passed over with a
// message; the card emptied for the upload gets the other files all the same.
TEST_F(CardCommandsWindowTest, UploadAllPassesOverAFileThatWentAfterItsCheck)
{
    CreateJob("a1.txt", "1 x\r\n");
    CreateJob("b1.txt", "2 y\r\n");
    ASSERT_NO_FATAL_FAILURE(Start({.cardFiles = {{"OLD", "1 x\r\n"}},
                                   .deleteAfterUpload = true,
                                   .deleteBeforeUpload = true}));
    const Strings order = SearchOrder();
    // While the second file's name-change message is open, the first goes.
    onMessage_ = [&](const std::string&) {
        if (messages_.size() == 2) {
            std::filesystem::remove(jobsDir_ / order.at(0));
        }
    };
    const std::string gone = order.at(0) == "a1.txt" ? "A1" : "B1";
    const std::string sent = gone == "A1" ? "B1" : "A1";

    EXPECT_EQ(Delete("OLD") + kListing + Upload(sent, {sent == "A1" ? "1 x" : "2 y"}) + kListing,
              RunCommand([&] { form_->Button1Click(); }));
    ASSERT_EQ(3u, messages_.size());
    EXPECT_TRUE(messages_[2].starts_with(
        "Файл не загружен: его не удалось прочитать после проверки - " + order.at(0)))
        << messages_[2];
    EXPECT_EQ((Strings{sent}), sim_->CardFiles());
    EXPECT_TRUE(testing::ServeUntil([&] { return JobsOnDisk().empty(); }));
}

// The line drops while a message of upload all is open, and another
// controller answers on the same port: the operator is told so, and on OK
// the command stops with a message, sends nothing to it and deletes no job
// file.
TEST_F(CardCommandsWindowTest, UploadAllStopsWhenAnotherControllerAnsweredMeanwhile)
{
    CreateJob("abc.txt", "1 x\r\n");
    const std::string link = (settingsDir_ / "rolgang").string();
    ToolSetup setup{
        .simOptions = {"--link", link, "--drop-pause", "100", "--serial-after-drop", "99999"},
        .cardFiles = {{"OLD", "1 x\r\n"}},
        .deleteAfterUpload = true,
        .deleteBeforeUpload = true,
        .savedPort = link};
    setup.timing.reconnectPause = std::chrono::milliseconds(50);
    ASSERT_NO_FATAL_FAILURE(Start(setup));
    onMessage_ = [&](const std::string&) {
        if (messages_.size() == 1) {
            sim_->DropLine();
            // Lost, then found again: the other controller's card is listed.
            ASSERT_TRUE(testing::ServeUntil([&] {
                return form_->Link().Values().SerialNumber == "99999" &&
                       form_->Link().CardCommandsAllowed();
            }));
        }
    };
    const std::size_t mark = WireMark();

    Click([&] { form_->Button1Click(); });
    EXPECT_TRUE(WaitForListing());

    EXPECT_EQ((Strings{"Имя файла abc изменено на ABC",
                       "Подключён другой рольганг, серийный номер 99999. Список файлов карты "
                       "памяти прочитан заново; файлы, загруженные на прежний рольганг, остались "
                       "на компьютере.",
                       "Связь с рольгангом потеряна во время команды: команда остановлена, больше "
                       "ничего не отправлено, файлы на компьютере не удалены"}),
              messages_);
    // After the drop: the handshake with the other controller, its listing,
    // and the listing request that ends every command; nothing else.
    EXPECT_EQ(testing::kHandshakeCommands + kListing, WireSince(mark));
    EXPECT_EQ((Strings{"OLD"}), sim_->CardFiles());
    EXPECT_EQ((Strings{"abc.txt"}), JobsOnDisk());
}

// A close asked for (the window's close button, SIGTERM) while the messages
// of a job file's bad lines are shown ends the series and the command, and
// the tool closes.
TEST_F(CardCommandsWindowTest, CloseDuringASeriesOfMessagesEndsItAndTheTool)
{
    CreateJob("BAD.txt", "abcdefghijkl rest\r\n");
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(SelectJob("BAD.txt"));
    bool closed = false;
    QObject::connect(form_.get(), &TForm1::Closed, [&] { closed = true; });
    onMessage_ = [&](const std::string&) { form_->close(); };

    Click([&] { form_->N3Click(); });
    // The close goes ahead from the event loop, once the command has returned.
    EXPECT_TRUE(QTest::qWaitFor([&] { return closed; }, 30000));
    EXPECT_EQ(1u, messages_.size());
    EXPECT_TRUE(sim_->CardFiles().empty());
}

// ---- deletes ---------------------------------------------------------------

struct UnsafeCase {
    const char* what;
    void (TForm1::*command)();
    bool selectUnsafe;
};

class UnsafeCardNameTest : public CardCommandsWindowTest,
                           public ::testing::WithParamInterface<UnsafeCase> {};

// A listing that is misaligned or hostile names a file "A<B": sent back, it
// would make a frame that means something else. Nothing but the listing
// request goes out, and the operator is told which name it was.
TEST_P(UnsafeCardNameTest, ListedNameWithADelimiterIsNeverSent)
{
    CreateJob("NEW.txt", "1 x\r\n");
    ASSERT_NO_FATAL_FAILURE(
        Start({.cardFiles = {{"A<B", "1\r\n"}, {"GOOD", "2\r\n"}}, .deleteBeforeUpload = true}));
    if (GetParam().selectUnsafe) {
        ASSERT_TRUE(SelectCardName(Listed("A<B")));
    }

    EXPECT_EQ(kListing, RunCommand([&] { (form_.get()->*GetParam().command)(); }));
    EXPECT_EQ((Strings{"Имя файла на карте памяти содержит недопустимые символы, команда не "
                       "отправлена: A<B"}),
              messages_);
    EXPECT_EQ((Strings{"A<B", "GOOD"}), sim_->CardFiles());
}

INSTANTIATE_TEST_SUITE_P(Commands, UnsafeCardNameTest,
                         ::testing::Values(UnsafeCase{"DeleteSelected", &TForm1::N2Click, true},
                                           UnsafeCase{"DeleteAll", &TForm1::Button2Click, false},
                                           UnsafeCase{"UploadAllEmptyingTheCard",
                                                      &TForm1::Button1Click, false}),
                         [](const auto& info) { return std::string(info.param.what); });

TEST_F(CardCommandsWindowTest, DeleteSelectedSendsItsTrimmedName)
{
    ASSERT_NO_FATAL_FAILURE(Start({.cardFiles = {{"AB", "1 x\r\n"}, {"JOB12345", "2 y\r\n"}}}));
    ASSERT_TRUE(SelectCardName(Listed("AB")));

    EXPECT_EQ("/AB\\" + kListing, RunCommand([&] { form_->N2Click(); }));
    EXPECT_EQ((Strings{"JOB12345"}), sim_->CardFiles());
    EXPECT_EQ((Strings{"JOB12345"}), CardList());
    EXPECT_TRUE(Control<QListWidget>(form_, "ListBox2")->selectedItems().isEmpty());
}

TEST_F(CardCommandsWindowTest, DeleteWithNothingSelectedOnlyAsksForTheListing)
{
    ASSERT_NO_FATAL_FAILURE(Start({.cardFiles = {{"AB", "1 x\r\n"}}}));

    EXPECT_EQ(kListing, RunCommand([&] { form_->N2Click(); }));
    EXPECT_EQ((Strings{"AB"}), sim_->CardFiles());
}

TEST_F(CardCommandsWindowTest, DeleteAllSendsEveryListedNameBackToBack)
{
    ASSERT_NO_FATAL_FAILURE(
        Start({.cardFiles = {{"A", "1\r\n"}, {"BCD", "2\r\n"}, {"EFGH1234", "3\r\n"}}}));
    std::string expected;
    for (const auto& name : CardList()) {
        expected += Delete(protocol::TrimName(name));
    }
    ASSERT_EQ(Delete("A").size() + Delete("BCD").size() + Delete("EFGH1234").size(),
              expected.size());

    EXPECT_EQ(expected + kListing, RunCommand([&] { form_->Button2Click(); }));
    EXPECT_TRUE(sim_->CardFiles().empty());
    EXPECT_TRUE(CardList().empty());
}

TEST_F(CardCommandsWindowTest, RefreshCommandsOnlyAskForTheListing)
{
    ASSERT_NO_FATAL_FAILURE(Start({.cardFiles = {{"JOB", "1 x\r\n"}}}));
    sim_->PutCardFile("NEW", "2 y\r\n");

    EXPECT_EQ(kListing, RunCommand([&] { form_->N4Click(); }));
    EXPECT_EQ((Strings{Listed("JOB"), Listed("NEW")}), Sorted(CardList()));
    EXPECT_EQ(kListing, RunCommand([&] { form_->ListBox2DblClick(); }));
    EXPECT_EQ((Strings{Listed("JOB"), Listed("NEW")}), Sorted(CardList()));
}

// ---- a command while a listing is still arriving -------------------------

struct BusyCase {
    const char* what;
    void (TForm1::*command)();
};

class ListingUnderWayTest : public CardCommandsWindowTest,
                            public ::testing::WithParamInterface<BusyCase> {
protected:
    // Starts with two card files and a controller whose listings announce
    // one name more than they bring: the link stays in the listing, with
    // both names shown, for as long as the test needs.
    void StartWithAListingThatNeverEnds()
    {
        CreateJob("JOB.txt", "1 x\r\n");
        ASSERT_NO_FATAL_FAILURE(Start({.simOptions = {"--short-listing", "1"},
                                       .cardFiles = {{"OLD1", "1\r\n"}, {"OLD2", "2\r\n"}},
                                       .deleteAfterUpload = true,
                                       .deleteBeforeUpload = true,
                                       .waitForListing = false}));
        ASSERT_TRUE(testing::ServeUntil(
            [&] { return Control<QListWidget>(form_, "ListBox2")->count() == 2; }));
        ASSERT_EQ(protocol::LinkState::Listing, form_->Link().LinkState());
        ASSERT_TRUE(SelectJob("JOB.txt"));
        // A name that has arrived can be selected, as the operator might.
        Control<QListWidget>(form_, "ListBox2")->setCurrentRow(0);
        mark_ = WireMark();
    }

    // Waits until the simulator has received n listing requests since the mark.
    bool WaitForListingRequests(std::size_t n)
    {
        return testing::ServeUntil([&] {
            const std::string wire = WireSince(mark_);
            return static_cast<std::size_t>(std::count(wire.begin(), wire.end(), '>')) >= n;
        });
    }

    std::size_t mark_ = 0;
};

TEST_P(ListingUnderWayTest, CommandSendsNoFrameAndOnlyAsksForAListing)
{
    ASSERT_NO_FATAL_FAILURE(StartWithAListingThatNeverEnds());

    (form_.get()->*GetParam().command)();
    EXPECT_EQ(protocol::LinkState::Listing, form_->Link().LinkState());
    ASSERT_TRUE(WaitForListingRequests(1));

    EXPECT_EQ(kListing, WireSince(mark_));
    EXPECT_EQ((Strings{"OLD1", "OLD2"}), sim_->CardFiles());
    EXPECT_EQ((Strings{"JOB.txt"}), JobsOnDisk());
    // The operator is told why nothing happened, once.
    EXPECT_EQ((Strings{"Команда не выполнена: список файлов карты памяти ещё не получен"}),
              messages_);
}

// A refresh given while a listing arrives in pieces: the rest of that
// listing and then the new one come in, and the link ends idle with the
// card's files listed once, from the new listing. (On a loaded machine the
// first listing may be complete before the refresh; the end is the same.)
TEST_F(ListingUnderWayTest, RefreshDuringAListingEndsWithTheCardsFilesListed)
{
    ASSERT_NO_FATAL_FAILURE(Start({.simOptions = {"--split", "4", "--split-delay", "40"},
                                   .cardFiles = {{"OLD1", "1\r\n"}, {"OLD2", "2\r\n"}}}));
    mark_ = WireMark();
    form_->N4Click();
    ASSERT_TRUE(
        testing::ServeUntil([&] { return Control<QListWidget>(form_, "ListBox2")->count() >= 1; }));

    form_->N4Click();
    ASSERT_TRUE(WaitForListingRequests(2));
    EXPECT_TRUE(WaitForListing());
    EXPECT_EQ((Strings{Listed("OLD1"), Listed("OLD2")}), Sorted(CardList()));
}

INSTANTIATE_TEST_SUITE_P(Commands, ListingUnderWayTest,
                         ::testing::Values(BusyCase{"UploadAll", &TForm1::Button1Click},
                                           BusyCase{"UploadSelected", &TForm1::N3Click},
                                           BusyCase{"DeleteAll", &TForm1::Button2Click},
                                           BusyCase{"DeleteSelected", &TForm1::N2Click}),
                         [](const auto& info) { return std::string(info.param.what); });

}  // namespace
}  // namespace cardpush::test
