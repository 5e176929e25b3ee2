#include <algorithm>
#include <cstddef>

#include "serial/BCPort.h"

namespace cardpush {
namespace {

constexpr const char* kSerialCommKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr DWORD kCapacity = 256;

// Closes the key on every way out, a throw included.
class KeyScope {
public:
    KeyScope(platform::CommApi& api, HKEY key) : api_(api), key_(key) {}
    ~KeyScope() { api_.RegCloseKey(key_); }
    KeyScope(const KeyScope&) = delete;
    KeyScope& operator=(const KeyScope&) = delete;

private:
    platform::CommApi& api_;
    HKEY key_;
};

}  // namespace

void ListSerialPorts(std::vector<std::string>& List, platform::CommApi& api)
{
    HKEY key = nullptr;
    if (api.RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSerialCommKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        RaiseComFault(ComFault::Registry);
    }
    KeyScope scope(api, key);

    // Each value stands for one port: its name is the device and is ignored;
    // its data, of whatever type, is the port name.
    std::vector<std::string> ports;
    for (DWORD index = 0;; ++index) {
        char name[kCapacity];
        BYTE data[kCapacity];
        DWORD nameLength = kCapacity;
        DWORD dataLength = kCapacity;
        DWORD type = 0;
        const LONG r =
            api.RegEnumValueA(key, index, name, &nameLength, nullptr, &type, data, &dataLength);
        if (r == static_cast<LONG>(ERROR_NO_MORE_ITEMS)) {
            break;
        }
        if (r != static_cast<LONG>(ERROR_SUCCESS)) {
            // ERROR_MORE_DATA included: a name or port longer than the buffers.
            RaiseComFault(ComFault::Registry);
        }
        // The data as stored, its terminating NUL included when it has one;
        // a port name works with it, as the device path ends at the NUL.
        ports.emplace_back(reinterpret_cast<const char*>(data), std::min(dataLength, kCapacity));
    }

    // By text without regard to case: COM1, COM10, COM3.
    std::stable_sort(ports.begin(), ports.end(),
                     [&api](const std::string& a, const std::string& b) {
                         return api.CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(),
                                                   static_cast<int>(a.size()), b.data(),
                                                   static_cast<int>(b.size())) == CSTR_LESS_THAN;
                     });
    List = std::move(ports);
}

}  // namespace cardpush
