// The list of installed serial ports as the system's registry gives it under
// Wine, which fills "HARDWARE\DEVICEMAP\SERIALCOMM" from its own port table
// at start-up: the ports of the machine plus those that scripts/test-windows.sh
// maps to device files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "serial/BCPort.h"
#include "win32/wine_setup.h"

namespace cardpush {
namespace {

std::string WithoutTrailingNuls(std::string name)
{
    while (!name.empty() && name.back() == '\0') {
        name.pop_back();
    }
    return name;
}

// Text order without regard to letter case, for plain ASCII port names.
bool CaselessLess(const std::string& a, const std::string& b)
{
    return std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(),
        [](unsigned char x, unsigned char y) { return std::tolower(x) < std::tolower(y); });
}

// By text, not by number: COM1, COM10, COM3.
TEST(Win32PortListTest, ListsThePortsOfTheRegistryByTextIgnoringCase)
{
    std::vector<std::string> listed = test::ListedPorts();
    if (listed.empty()) {
        GTEST_SKIP() << "no ports were mapped in Wine's port table: scripts/test-windows.sh "
                        "maps them";
    }
    std::vector<std::string> list{"left over"};
    ListSerialPorts(list);

    std::vector<std::string> names;
    for (const auto& entry : list) {
        // Registry strings are stored with their NUL; the entry keeps it.
        EXPECT_EQ(entry.size(), std::string(entry.c_str()).size() + 1) << entry.c_str();
        names.push_back(WithoutTrailingNuls(entry));
    }
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end(), CaselessLess))
        << ::testing::PrintToString(names);

    std::vector<std::string> ours;
    std::copy_if(names.begin(), names.end(), std::back_inserter(ours), [&](const std::string& n) {
        return std::find(listed.begin(), listed.end(), n) != listed.end();
    });
    std::sort(listed.begin(), listed.end(), CaselessLess);
    EXPECT_EQ(ours, listed);
}

}  // namespace
}  // namespace cardpush
