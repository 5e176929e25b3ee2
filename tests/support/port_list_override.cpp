#include "support/port_list_override.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

#include "platform/posix/device_path.h"
#include "platform/posix/terminal_node.h"

namespace cardpush::testing {
namespace {

constexpr std::string_view kPortListKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr long kDevptsMagic = 0x1cd1;

bool IsPortListKey(HKEY root, const char* subKey)
{
    if (root != HKEY_LOCAL_MACHINE || subKey == nullptr) {
        return false;
    }
    const std::string_view given(subKey);
    return std::equal(given.begin(), given.end(), kPortListKey.begin(), kPortListKey.end(),
                      [](char a, char b) {
                          return std::toupper(static_cast<unsigned char>(a)) ==
                                 std::toupper(static_cast<unsigned char>(b));
                      });
}

}  // namespace

PortListOverride::PortListOverride(std::vector<std::string> ports, platform::CommApi& devices)
    : ForwardingCommApi(devices), ports_(std::move(ports))
{
}

void PortListOverride::SetPorts(std::vector<std::string> ports)
{
    std::lock_guard lock(mutex_);
    ports_ = std::move(ports);
}

HANDLE PortListOverride::CreateFileA(const char* name, DWORD access, DWORD shareMode,
                                     void* security, DWORD disposition, DWORD flags,
                                     HANDLE templateFile)
{
    const std::string path =
        name == nullptr ? std::string() : platform::DevicePathForPortName(name);
    const int node = path.empty() ? -1 : ::open(path.c_str(), O_PATH | O_CLOEXEC);
    if (node >= 0) {
        struct stat looked {};
        struct statfs fs {};
        const bool machineTerminal = ::fstat(node, &looked) == 0 && S_ISCHR(looked.st_mode) &&
                                     platform::posix::IsTerminalNode(node, looked.st_rdev) &&
                                     (::fstatfs(node, &fs) != 0 || fs.f_type != kDevptsMagic);
        ::close(node);
        if (machineTerminal) {
            // A name that leads nowhere: the layer's own "missing" answer.
            name = "";
        }
    }
    return ForwardingCommApi::CreateFileA(name, access, shareMode, security, disposition, flags,
                                          templateFile);
}

LONG PortListOverride::RegOpenKeyExA(HKEY root, const char* subKey, DWORD, REGSAM, HKEY* key)
{
    if (key == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (!IsPortListKey(root, subKey)) {
        return ERROR_FILE_NOT_FOUND;
    }
    std::lock_guard lock(mutex_);
    const std::uintptr_t number = nextKey_++;
    keys_[number] = ports_;
    *key = reinterpret_cast<HKEY>(number);
    return ERROR_SUCCESS;
}

LONG PortListOverride::RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameLength,
                                     DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataLength)
{
    std::lock_guard lock(mutex_);
    const auto found = keys_.find(reinterpret_cast<std::uintptr_t>(key));
    if (found == keys_.end()) {
        return ERROR_INVALID_HANDLE;
    }
    if (name == nullptr || nameLength == nullptr || reserved != nullptr ||
        (data != nullptr && dataLength == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::vector<std::string>& ports = found->second;
    if (index >= ports.size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    const std::string valueName = "\\Device\\" + ports[index];
    const std::string valueData = ports[index] + '\0';
    // The name's capacity counts its NUL; the length returned does not.
    if (*nameLength < valueName.size() + 1) {
        return ERROR_MORE_DATA;
    }
    const auto size = static_cast<DWORD>(valueData.size());
    if (data != nullptr && *dataLength < size) {
        *dataLength = size;
        return ERROR_MORE_DATA;
    }
    std::memcpy(name, valueName.c_str(), valueName.size() + 1);
    *nameLength = static_cast<DWORD>(valueName.size());
    if (type != nullptr) {
        *type = REG_SZ;
    }
    if (data != nullptr) {
        std::memcpy(data, valueData.data(), size);
    }
    if (dataLength != nullptr) {
        *dataLength = size;
    }
    return ERROR_SUCCESS;
}

LONG PortListOverride::RegCloseKey(HKEY key)
{
    std::lock_guard lock(mutex_);
    return keys_.erase(reinterpret_cast<std::uintptr_t>(key)) == 1 ? ERROR_SUCCESS
                                                                   : ERROR_INVALID_HANDLE;
}

}  // namespace cardpush::testing
