// The list of installed serial ports, read from the registry key of the
// recording device layer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fake_comm_api.h"
#include "serial/BCPort.h"
#include "serial/serial_test_util.h"

namespace cardpush {
namespace {

using test::Call;
using test::ComPortMessage;
using test::FakeCommApi;
using List = std::vector<std::string>;

class PortListTest : public ::testing::Test {
protected:
    FakeCommApi fake;
    List list{"old1", "old2"};
};

TEST_F(PortListTest, PortsSortByTextWithoutRegardToCase)
{
    fake.AddPortValue("\\Device\\Serial2", "COM3");
    fake.AddPortValue("\\Device\\Serial0", "COM1");
    fake.AddPortValue("\\Device\\VCP0", "COM10");
    ListSerialPorts(list, fake);
    EXPECT_EQ((List{"COM1", "COM10", "COM3"}), list);

    const auto open = fake.CallsOf(Call::RegOpenKeyExA).at(0);
    EXPECT_EQ(HKEY_LOCAL_MACHINE, open.handle);
    EXPECT_EQ("HARDWARE\\DEVICEMAP\\SERIALCOMM", open.bytes);
    EXPECT_EQ((std::vector<DWORD>{0, KEY_READ}), open.args);
    EXPECT_EQ((std::vector<DWORD>{0, 256, 256}), fake.CallsOf(Call::RegEnumValueA).at(0).args);
    EXPECT_EQ((std::vector<DWORD>{LOCALE_USER_DEFAULT, NORM_IGNORECASE}),
              fake.CallsOf(Call::CompareStringA).at(0).args);
    EXPECT_EQ(0, fake.OpenKeys());
}

TEST_F(PortListTest, EntriesDifferingInCaseBothStay)
{
    fake.AddPortValue("a", "COM2");
    fake.AddPortValue("b", "com1");
    fake.AddPortValue("c", "COM1");
    ListSerialPorts(list, fake);
    ASSERT_EQ(3u, list.size());
    EXPECT_TRUE((List{list[0], list[1]} == List{"com1", "COM1"}) ||
                (List{list[0], list[1]} == List{"COM1", "com1"}))
        << list[0] << ", " << list[1];
    EXPECT_EQ("COM2", list[2]);
}

TEST_F(PortListTest, EmptyKeyEmptiesTheList)
{
    ListSerialPorts(list, fake);
    EXPECT_EQ(List{}, list);
    EXPECT_EQ(0, fake.OpenKeys());
}

TEST_F(PortListTest, DataIsTakenWithItsReportedLengthNulIncluded)
{
    fake.AddPortValue("a", std::string("COM1\0", 5));
    ListSerialPorts(list, fake);
    EXPECT_EQ((List{std::string("COM1\0", 5)}), list);
}

TEST_F(PortListTest, DataOfTheBufferSizeFitsAndOneByteMoreFails)
{
    fake.AddPortValue("a", std::string(256, 'C'));
    ListSerialPorts(list, fake);
    EXPECT_EQ((List{std::string(256, 'C')}), list);

    fake.AddPortValue("b", std::string(257, 'D'));
    EXPECT_EQ("Ошибка обращения к системному реестру",
              ComPortMessage([&] { ListSerialPorts(list, fake); }));
    EXPECT_EQ((List{std::string(256, 'C')}), list);
    EXPECT_EQ(0, fake.OpenKeys());
}

TEST_F(PortListTest, OverlongValueNameFails)
{
    fake.AddPortValue(std::string(256, 'N'), "COM1");
    EXPECT_EQ("Ошибка обращения к системному реестру",
              ComPortMessage([&] { ListSerialPorts(list, fake); }));
    EXPECT_EQ((List{"old1", "old2"}), list);
}

TEST_F(PortListTest, KeyThatCannotBeOpenedKeepsTheList)
{
    fake.FailNext(Call::RegOpenKeyExA, ERROR_ACCESS_DENIED);
    EXPECT_EQ("Ошибка обращения к системному реестру",
              ComPortMessage([&] { ListSerialPorts(list, fake); }));
    EXPECT_EQ((List{"old1", "old2"}), list);
    EXPECT_EQ(0u, fake.CountOf(Call::RegCloseKey));
}

TEST_F(PortListTest, EnumerationFailingMidwayKeepsTheListAndClosesTheKey)
{
    // Two values read, the third is too long for the buffer.
    fake.AddPortValue("a", "COM1");
    fake.AddPortValue("b", "COM2");
    fake.AddPortValue("c", std::string(300, 'x'));
    EXPECT_EQ("Ошибка обращения к системному реестру",
              ComPortMessage([&] { ListSerialPorts(list, fake); }));
    EXPECT_EQ((List{"old1", "old2"}), list);
    EXPECT_EQ(3u, fake.CountOf(Call::RegEnumValueA));
    EXPECT_EQ(1u, fake.CountOf(Call::RegCloseKey));
    EXPECT_EQ(0, fake.OpenKeys());
}

}  // namespace
}  // namespace cardpush
