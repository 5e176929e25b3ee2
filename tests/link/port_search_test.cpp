// The port search over several ports at once, end to end: the tool's session
// on the real POSIX device layer, its port list holding links in a folder of
// the test's own (sorted by name: port-01, port-02...) to controller
// simulators on pseudo-terminals, a pseudo-terminal another program holds, a
// regular file and a name with nothing behind it.
//
// The test thread is the GUI thread; outcomes are waited for by serving the
// hand-overs. No test measures how long the search takes (the search
// benchmark does).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "link/link_session.h"
#include "platform/cp1251.h"
#include "support/link_wait.h"
#include "support/port_list_override.h"
#include "support/pty_peer.h"
#include "support/session_harness.h"
#include "support/sim_process.h"
#include "support/temp_folder.h"

namespace cardpush {
namespace {

using namespace std::chrono_literals;
using testing::PortListOverride;
using testing::ServeUntil;
using testing::SimProcess;
using Strings = std::vector<std::string>;

LinkTiming Fast()
{
    // A lost link rests for ever: a test that wants it back says so.
    return {.settle = 20ms, .check = 50ms, .checks = 20, .reconnectPause = 1h};
}

std::string Cp(const std::string& utf8)
{
    return Utf8ToCp1251(utf8);
}

class PortSearchTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        harness_.reset();
        for (auto& sim : sims_) {
            EXPECT_EQ(0, sim->Stop()) << sim->Messages();
        }
    }

    // The next port of the list, by its place: "port-01", "port-02"...
    std::string NextPort()
    {
        char name[16];
        std::snprintf(name, sizeof name, "port-%02zu", ports_.size() + 1);
        ports_.push_back((links_.path() / name).string());
        return ports_.back();
    }

    // A simulator behind the next port.
    SimProcess& AddSimulator(Strings options)
    {
        options.insert(options.begin(), {"--link", NextPort()});
        sims_.push_back(std::make_unique<SimProcess>(options));
        return *sims_.back();
    }

    // The session, its port list the ports added so far.
    void Start(Settings settings = {})
    {
        devices_.SetPorts(ports_);
        harness_ = std::make_unique<testing::SessionHarness>(devices_, settings, Fast());
        harness_->Session().Start();
    }

    bool ServeUntilConnectedTo(const std::string& serialNumber)
    {
        return ServeUntil([&] {
            return harness_->Link().CardCommandsAllowed() &&
                   harness_->Link().Values().SerialNumber == serialNumber;
        });
    }

    // The port as the port list gives it, its NUL included.
    static std::string Listed(const std::string& port) { return port + '\0'; }

    // The row texts the information window shows.
    Strings Rows() const { return harness_->view.PortRowTexts(); }

    testing::TempFolder links_{"cardpush-ports"};
    std::vector<std::string> ports_;
    std::vector<std::unique_ptr<SimProcess>> sims_;
    PortListOverride devices_;
    std::unique_ptr<testing::SessionHarness> harness_;
};

// Every kind of port in one pass: each gets its outcome, only the serial
// ports are opened, and the controller on the last is connected.
TEST_F(PortSearchTest, EachPortOfOnePassGetsItsOutcomeAndTheControllerOnTheLastIsFound)
{
    SimProcess& silent = AddSimulator({"--no-answer"});
    // Held by another program, which has it open and locked.
    testing::PtyPeer held;
    const std::string heldPort = NextPort();
    std::filesystem::create_symlink(held.path(), heldPort);
    const int holder = held.OpenDevice();
    ASSERT_EQ(0, ::flock(holder, LOCK_EX | LOCK_NB));
    // A regular file: never opened, so never written.
    const std::string file = NextPort();
    std::ofstream(file).close();
    const std::string missing = NextPort();
    SimProcess& controller = AddSimulator({});
    Start();

    ASSERT_TRUE(ServeUntilConnectedTo("12345")) << controller.Messages();
    ::close(holder);
    EXPECT_EQ(
        (Strings{
            Cp(ports_[0] + ": открыт, но не отвечает"), Cp(ports_[1] + ": занят другой программой"),
            Cp(ports_[2] + ": не последовательный порт, не открывался"),
            Cp(ports_[3] + ": нет такого порта"), Cp(ports_[4] + ": рольганг 12345, подключён")}),
        Rows());
    EXPECT_EQ("S", silent.WireLog());
    EXPECT_EQ(0u, std::filesystem::file_size(file));
    EXPECT_TRUE(controller.WireLog().starts_with("SNM")) << controller.WireLog();

    // The log reads port by port: each port's lines together, in list order.
    Strings attempts;
    for (const auto& line : harness_->view.LinkLogLines()) {
        if (line.starts_with("---")) {
            attempts.push_back(line.substr(3));
        }
    }
    Strings listed;
    for (const auto& port : ports_) {
        listed.push_back(Listed(port));
    }
    EXPECT_EQ(listed, attempts);
}

// Two controllers answer in one pass: the one whose serial number the
// settings keep is taken, the other is offered in the port table. Switching
// to it runs the handshake there, says that another controller is connected,
// and keeps its serial number for the next run.
TEST_F(PortSearchTest, OfTwoControllersTheOneLastWorkedWithIsTakenAndTheOtherCanBeSwitchedTo)
{
    SimProcess& first = AddSimulator({"--serial", "111"});
    SimProcess& second = AddSimulator({"--serial", "222"});
    Settings settings;
    settings.serialNumber = "222";
    Start(settings);

    ASSERT_TRUE(ServeUntilConnectedTo("222")) << second.Messages();
    EXPECT_EQ(
        (Strings{Cp(ports_[0] + ": рольганг 111"), Cp(ports_[1] + ": рольганг 222, подключён")}),
        Rows());
    const auto& rows = harness_->view.PortRows();
    ASSERT_EQ(2u, rows.size());
    EXPECT_TRUE(rows[0].switchable);
    EXPECT_FALSE(rows[1].switchable);
    // Asked who it is, then let go.
    EXPECT_EQ("SN", first.WireLog());
    EXPECT_TRUE(harness_->view.Messages().empty());

    harness_->Session().SwitchController(rows[0].port);
    ASSERT_TRUE(ServeUntilConnectedTo("111")) << first.Messages();
    ASSERT_TRUE(ServeUntil([&] { return !harness_->view.Messages().empty(); }));
    EXPECT_TRUE(harness_->view.Messages()[0].starts_with(
        Cp("Подключён другой рольганг, серийный номер 111.")));
    EXPECT_EQ(Listed(ports_[0]), harness_->view.Ports().back());
    EXPECT_EQ(
        (Strings{Cp(ports_[0] + ": рольганг 111, подключён"), Cp(ports_[1] + ": рольганг 222")}),
        Rows());
    EXPECT_EQ("111", harness_->Session().PreferredSerialNumber());
    // The second was left alone by the switch: the saved port answered.
    EXPECT_TRUE(second.WireLog().starts_with("SNM")) << second.WireLog();
}

}  // namespace
}  // namespace cardpush
