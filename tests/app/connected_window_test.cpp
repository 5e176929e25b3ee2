// The main window and the information window connected to the controller
// simulator: the firmware gate's outcome on the card controls and the
// caption, the values the information window shows, the card listing, and
// the port kept in nastr.dat.

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <string>
#include <vector>

#include "support/tool_fixture.h"

namespace cardpush::test {
namespace {

using Strings = std::vector<std::string>;

const std::string kMainCaption = "Загрузка на карту  памяти рольганга";
const std::string kRefusedCaption =
    "Рольганг подключен, но версия прошивки не поддерживает загрузку";

class ConnectedWindowTest : public ToolTest {
protected:
    void TearDown() override
    {
        ToolTest::TearDown();
        SetNumberLocale(std::nullopt);
    }

    // The five card controls that the firmware gate opens, and whether each
    // is enabled.
    std::vector<std::pair<std::string, bool>> CardControls() const
    {
        return {{"Button1", Control<QPushButton>(form_, "Button1")->isEnabled()},
                {"Button2", Control<QPushButton>(form_, "Button2")->isEnabled()},
                {"CheckBox2", Control<QCheckBox>(form_, "CheckBox2")->isEnabled()},
                {"ListBox2", Control<QListWidget>(form_, "ListBox2")->isEnabled()},
                {"N3", Control<QAction>(form_, "N3")->isEnabled()}};
    }

    std::vector<std::pair<std::string, bool>> AllCardControls(bool enabled) const
    {
        return {{"Button1", enabled},
                {"Button2", enabled},
                {"CheckBox2", enabled},
                {"ListBox2", enabled},
                {"N3", enabled}};
    }

    std::string Caption() const { return Utf8(form_->windowTitle()); }
};

class FirmwareGateTest : public ConnectedWindowTest,
                         public ::testing::WithParamInterface<const char*> {};

TEST_P(FirmwareGateTest, SupportedFirmwareOpensTheCardControls)
{
    ASSERT_NO_FATAL_FAILURE(
        Start({.simOptions = {"--firmware", GetParam()}, .cardFiles = {{"JOB1", "1 x\r\n"}}}));

    EXPECT_EQ(AllCardControls(true), CardControls());
    EXPECT_EQ(kMainCaption, Caption());
    EXPECT_EQ(GetParam(), Utf8(Control<QLineEdit>(info_, "LabeledEdit7")->text()));
    EXPECT_EQ((Strings{"JOB1    "}), Items(Control<QListWidget>(form_, "ListBox2")));
}

INSTANTIATE_TEST_SUITE_P(Versions, FirmwareGateTest, ::testing::Values("72", "100"));

// After a refusal the handshake still ends with the listing, shown in the
// card list box, which stays disabled.
TEST_F(ConnectedWindowTest, OlderFirmwareIsRefusedInTheCaptionWithTheListingShown)
{
    ASSERT_NO_FATAL_FAILURE(Start({.simOptions = {"--firmware", "71"},
                                   .cardFiles = {{"JOB1", "1 x\r\n"}, {"JOB2", "2 y\r\n"}}}));

    EXPECT_EQ(AllCardControls(false), CardControls());
    EXPECT_EQ(kRefusedCaption, Caption());
    EXPECT_EQ("71", Utf8(Control<QLineEdit>(info_, "LabeledEdit7")->text()));
    EXPECT_EQ((Strings{"JOB1    ", "JOB2    "}), Items(Control<QListWidget>(form_, "ListBox2")));
}

struct LocaleCase {
    const char* what;
    QLocale locale;
    Strings shown;
};

class InformationWindowTest : public ConnectedWindowTest,
                              public ::testing::WithParamInterface<LocaleCase> {};

// Serial number, minimum, maximum, mode, state, accuracy, firmware version
// and the port, with numbers written with the system's decimal separator.
TEST_P(InformationWindowTest, ShowsTheControllersValuesAndPort)
{
    SetNumberLocale(GetParam().locale);
    ASSERT_NO_FATAL_FAILURE(
        Start({.simOptions = {"--serial", "A-77 x", "--min", "-1.5", "--max", "12,25", "--mode",
                              "2", "--accuracy", "-3", "--firmware", "0072"}}));

    Strings shown;
    for (const QLineEdit* field :
         {Control<QLineEdit>(info_, "LabeledEdit1"), Control<QLineEdit>(info_, "LabeledEdit2"),
          Control<QLineEdit>(info_, "LabeledEdit3"), Control<QLineEdit>(info_, "LabeledEdit4"),
          Control<QLineEdit>(info_, "LabeledEdit5"), Control<QLineEdit>(info_, "LabeledEdit6"),
          Control<QLineEdit>(info_, "LabeledEdit7")}) {
        shown.push_back(Utf8(field->text()));
    }
    EXPECT_EQ(GetParam().shown, shown);
    EXPECT_EQ(sim_->DevicePath(), Utf8(Control<QLineEdit>(info_, "LabeledEdit8")->text()));
    EXPECT_EQ(AllCardControls(true), CardControls());
}

INSTANTIATE_TEST_SUITE_P(
    Separators, InformationWindowTest,
    ::testing::Values(LocaleCase{"Comma",
                                 QLocale(QLocale::Russian, QLocale::Russia),
                                 {"A-77 x", "-1,5", "12,25", "2", "0", "-3", "0072"}},
                      LocaleCase{"Point",
                                 QLocale(QLocale::English, QLocale::UnitedStates),
                                 {"A-77 x", "-1.5", "12.25", "2", "0", "-3", "0072"}}),
    [](const auto& info) { return std::string(info.param.what); });

// The saved port names no device: the search goes on through the port list,
// finds the controller there, and the window keeps that port as the list
// gives it (a registry value's data ends with its NUL, which the device path
// ignores).
TEST_F(ConnectedWindowTest, PortFoundThroughThePortListIsSavedWhenTheWindowCloses)
{
    const std::string stale = "/nonexistent/cardpush-no-port";
    ASSERT_NO_FATAL_FAILURE(Start({.savedPort = stale, .listSimulatorAsPort = true}));
    const std::string listed = sim_->DevicePath() + '\0';
    EXPECT_EQ(listed, Utf8(Control<QLineEdit>(info_, "LabeledEdit8")->text()));

    CloseWindow();

    const std::string file = ReadSettingsFile();
    EXPECT_NE(std::string::npos, file.find("\r\nc=" + listed + "\r\n")) << file;
    EXPECT_EQ(std::string::npos, file.find(stale)) << file;
}

TEST_F(ConnectedWindowTest, SavedPortIsTriedFirstAndKeptWhenTheWindowCloses)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_EQ(sim_->DevicePath(), Utf8(Control<QLineEdit>(info_, "LabeledEdit8")->text()));

    CloseWindow();

    const std::string file = ReadSettingsFile();
    EXPECT_NE(std::string::npos, file.find("\r\nc=" + sim_->DevicePath() + "\r\n")) << file;
}

}  // namespace
}  // namespace cardpush::test
