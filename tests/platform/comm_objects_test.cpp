// The port list and the text comparison of the POSIX device layer: the Win32
// semantics the serial component is written against. Its events and waits
// keep the contract in comm_contract.h.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "platform/comm_api.h"
#include "platform/posix/kernel_objects.h"
#include "platform/posix/port_list.h"

namespace cardpush::platform {
namespace {

class CommObjectsTest : public ::testing::Test {
protected:
    // The values' data of the port list, in the order listed.
    std::vector<std::string> ListedPorts()
    {
        HKEY key = nullptr;
        EXPECT_EQ(api_.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0,
                                     KEY_READ, &key),
                  static_cast<LONG>(ERROR_SUCCESS));
        std::vector<std::string> ports;
        for (DWORD i = 0;; ++i) {
            char name[256];
            BYTE data[256];
            DWORD nameLength = sizeof name;
            DWORD dataLength = sizeof data;
            DWORD type = 0;
            const LONG r =
                api_.RegEnumValueA(key, i, name, &nameLength, nullptr, &type, data, &dataLength);
            if (r != static_cast<LONG>(ERROR_SUCCESS)) {
                EXPECT_EQ(r, static_cast<LONG>(ERROR_NO_MORE_ITEMS));
                break;
            }
            EXPECT_EQ(type, REG_SZ);
            ports.emplace_back(reinterpret_cast<char*>(data), dataLength);
        }
        EXPECT_EQ(api_.RegCloseKey(key), static_cast<LONG>(ERROR_SUCCESS));
        return ports;
    }

    CommApi& api_ = SystemCommApi();
};

// Stricter than Windows, where INVALID_HANDLE_VALUE stands for the current
// process and a wait for any takes a handle given twice.
TEST_F(CommObjectsTest, WaitsOnAnInvalidOrARepeatedHandleFail)
{
    const HANDLE event = api_.CreateEventA(nullptr, TRUE, TRUE, nullptr);
    EXPECT_EQ(api_.WaitForSingleObject(INVALID_HANDLE_VALUE, 0), WAIT_FAILED);
    EXPECT_EQ(api_.GetLastError(), ERROR_INVALID_HANDLE);
    const HANDLE twice[] = {event, event};
    EXPECT_EQ(api_.WaitForMultipleObjects(2, twice, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(api_.GetLastError(), ERROR_INVALID_PARAMETER);
    api_.CloseHandle(event);
}

// Windows may reset it on a call that succeeds, such as starting a thread.
TEST_F(CommObjectsTest, LastErrorBelongsToTheCallingThread)
{
    EXPECT_FALSE(api_.SetEvent(INVALID_HANDLE_VALUE));
    std::thread other([&] {
        const HANDLE h = api_.CreateEventA(nullptr, TRUE, FALSE, nullptr);
        EXPECT_EQ(api_.GetLastError(), ERROR_SUCCESS);
        api_.CloseHandle(h);
    });
    other.join();
    EXPECT_EQ(api_.GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(CommObjectsTest, PortListShowsTheMachinesSerialDevicesButNoConsoleAsRegistryStrings)
{
    std::ifstream active("/sys/class/tty/console/active");
    const std::vector<std::string> consoles{std::istream_iterator<std::string>(active), {}};

    // Each entry is a bare name with a node under /dev, and its NUL.
    for (const std::string& port : ListedPorts()) {
        ASSERT_FALSE(port.empty());
        EXPECT_EQ(port.back(), '\0');
        const std::string name = port.substr(0, port.find('\0'));
        EXPECT_EQ(name.size() + 1, port.size()) << name;
        EXPECT_TRUE(std::filesystem::exists("/dev/" + name)) << name;
        EXPECT_EQ(name.find('/'), std::string::npos) << name;
        EXPECT_EQ(std::count(consoles.begin(), consoles.end(), name), 0) << name;
    }
}

// The key's values are enumerated as on Windows, whatever the machine has:
// the key here lists one value of the layer's own layout.
TEST_F(CommObjectsTest, PortListRefusesSmallBuffersAndOtherKeys)
{
    HKEY key = nullptr;
    ASSERT_EQ(api_.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "hardware\\devicemap\\serialcomm", 0, KEY_READ,
                                 &key),
              static_cast<LONG>(ERROR_SUCCESS));
    EXPECT_EQ(api_.RegCloseKey(key), static_cast<LONG>(ERROR_SUCCESS));
    auto listed = std::make_shared<posix::PortListKey>();
    listed->values = {{"\\Device\\0123456789", std::string("0123456789") + '\0'}};
    key = posix::HandleTable::Instance().Insert(listed);

    char name[256];
    BYTE data[11];
    DWORD nameLength = sizeof name;
    DWORD dataLength = 10;  // one short of the text and its NUL
    EXPECT_EQ(api_.RegEnumValueA(key, 0, name, &nameLength, nullptr, nullptr, data, &dataLength),
              static_cast<LONG>(ERROR_MORE_DATA));
    nameLength = 4;
    dataLength = sizeof data;
    EXPECT_EQ(api_.RegEnumValueA(key, 0, name, &nameLength, nullptr, nullptr, data, &dataLength),
              static_cast<LONG>(ERROR_MORE_DATA));
    nameLength = sizeof name;
    EXPECT_EQ(api_.RegEnumValueA(key, 0, name, &nameLength, nullptr, nullptr, data, &dataLength),
              static_cast<LONG>(ERROR_SUCCESS));
    EXPECT_EQ(dataLength, 11u);
    EXPECT_EQ(std::string(name, nameLength), "\\Device\\0123456789");
    EXPECT_EQ(api_.RegCloseKey(key), static_cast<LONG>(ERROR_SUCCESS));
    EXPECT_EQ(api_.RegEnumValueA(key, 0, name, &nameLength, nullptr, nullptr, data, &dataLength),
              static_cast<LONG>(ERROR_INVALID_HANDLE));

    HKEY other = nullptr;
    EXPECT_EQ(api_.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &other),
              static_cast<LONG>(ERROR_FILE_NOT_FOUND));
}

TEST_F(CommObjectsTest, CompareIgnoresCaseInLatinAndCyrillicAndSortsByText)
{
    const auto compare = [&](std::string_view a, std::string_view b,
                             DWORD flags = NORM_IGNORECASE) {
        return api_.CompareStringA(LOCALE_USER_DEFAULT, flags, a.data(), static_cast<int>(a.size()),
                                   b.data(), static_cast<int>(b.size()));
    };
    EXPECT_EQ(compare("COM1", "com1"), CSTR_EQUAL);
    EXPECT_EQ(compare("COM10", "COM3"), CSTR_LESS_THAN);
    EXPECT_EQ(compare(std::string_view("COM1\0", 5), "COM1"), CSTR_GREATER_THAN);
    // Windows-1251: Ё/ё, Е/е, Ж/ж, Я/я; Latin before Cyrillic.
    EXPECT_EQ(compare("\xA8", "\xB8"), CSTR_EQUAL);
    EXPECT_EQ(compare("\xC5", "\xC0"), CSTR_GREATER_THAN);
    EXPECT_EQ(compare("\xDF", "\xFF"), CSTR_EQUAL);
    EXPECT_EQ(compare("\xE5", "\xB8"), CSTR_LESS_THAN);
    EXPECT_EQ(compare("\xB8", "\xE6"), CSTR_LESS_THAN);
    EXPECT_EQ(compare("z", "\xE0"), CSTR_LESS_THAN);
    // Without the flag case still counts, lower case first.
    EXPECT_EQ(compare("a", "A", 0), CSTR_LESS_THAN);
    EXPECT_EQ(compare("COM1", "com1", 0), CSTR_GREATER_THAN);
    EXPECT_EQ(api_.CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, "abc", -1, "ABC", -1),
              CSTR_EQUAL);
}

}  // namespace
}  // namespace cardpush::platform
