#include "support/port_list_override.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

namespace cardpush::testing {
namespace {

constexpr std::string_view kPortListKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

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
    : devices_(devices), ports_(std::move(ports))
{
}

void PortListOverride::SetPorts(std::vector<std::string> ports)
{
    std::lock_guard lock(mutex_);
    ports_ = std::move(ports);
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

// --- everything else goes to the wrapped layer ---

HANDLE PortListOverride::CreateFileA(const char* name, DWORD access, DWORD shareMode,
                                     void* security, DWORD disposition, DWORD flags,
                                     HANDLE templateFile)
{
    return devices_.CreateFileA(name, access, shareMode, security, disposition, flags,
                                templateFile);
}

BOOL PortListOverride::CloseHandle(HANDLE handle)
{
    return devices_.CloseHandle(handle);
}

BOOL PortListOverride::SetupComm(HANDLE device, DWORD inQueue, DWORD outQueue)
{
    return devices_.SetupComm(device, inQueue, outQueue);
}

BOOL PortListOverride::SetCommState(HANDLE device, DCB* dcb)
{
    return devices_.SetCommState(device, dcb);
}

BOOL PortListOverride::SetCommTimeouts(HANDLE device, COMMTIMEOUTS* timeouts)
{
    return devices_.SetCommTimeouts(device, timeouts);
}

BOOL PortListOverride::SetCommMask(HANDLE device, DWORD mask)
{
    return devices_.SetCommMask(device, mask);
}

BOOL PortListOverride::WaitCommEvent(HANDLE device, DWORD* mask, OVERLAPPED* overlapped)
{
    return devices_.WaitCommEvent(device, mask, overlapped);
}

BOOL PortListOverride::ReadFile(HANDLE device, void* buffer, DWORD count, DWORD* read,
                                OVERLAPPED* overlapped)
{
    return devices_.ReadFile(device, buffer, count, read, overlapped);
}

BOOL PortListOverride::WriteFile(HANDLE device, const void* buffer, DWORD count, DWORD* written,
                                 OVERLAPPED* overlapped)
{
    return devices_.WriteFile(device, buffer, count, written, overlapped);
}

BOOL PortListOverride::GetOverlappedResult(HANDLE device, OVERLAPPED* overlapped,
                                           DWORD* transferred, BOOL wait)
{
    return devices_.GetOverlappedResult(device, overlapped, transferred, wait);
}

BOOL PortListOverride::PurgeComm(HANDLE device, DWORD flags)
{
    return devices_.PurgeComm(device, flags);
}

BOOL PortListOverride::ClearCommError(HANDLE device, DWORD* errors, COMSTAT* status)
{
    return devices_.ClearCommError(device, errors, status);
}

BOOL PortListOverride::GetCommModemStatus(HANDLE device, DWORD* status)
{
    return devices_.GetCommModemStatus(device, status);
}

BOOL PortListOverride::EscapeCommFunction(HANDLE device, DWORD function)
{
    return devices_.EscapeCommFunction(device, function);
}

HANDLE PortListOverride::CreateEventA(void* security, BOOL manualReset, BOOL initialState,
                                      const char* name)
{
    return devices_.CreateEventA(security, manualReset, initialState, name);
}

BOOL PortListOverride::SetEvent(HANDLE event)
{
    return devices_.SetEvent(event);
}

DWORD PortListOverride::WaitForSingleObject(HANDLE object, DWORD milliseconds)
{
    return devices_.WaitForSingleObject(object, milliseconds);
}

DWORD PortListOverride::WaitForMultipleObjects(DWORD count, const HANDLE* objects, BOOL waitAll,
                                               DWORD milliseconds)
{
    return devices_.WaitForMultipleObjects(count, objects, waitAll, milliseconds);
}

DWORD PortListOverride::GetLastError()
{
    return devices_.GetLastError();
}

int PortListOverride::CompareStringA(LCID locale, DWORD flags, const char* a, int aLength,
                                     const char* b, int bLength)
{
    return devices_.CompareStringA(locale, flags, a, aLength, b, bLength);
}

}  // namespace cardpush::testing
