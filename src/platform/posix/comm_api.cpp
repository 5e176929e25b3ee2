// The device layer on POSIX: each Win32 call with the meaning it has on
// Windows, over terminals (device.h), events and handles (kernel_objects.h)
// and the machine's list of serial devices (port_list.h).
#include "platform/comm_api.h"

#include <cstring>
#include <string>

#include "platform/cp1251.h"
#include "platform/posix/device.h"
#include "platform/posix/device_path.h"
#include "platform/posix/kernel_objects.h"
#include "platform/posix/port_list.h"
#include "platform/posix/terminal_node.h"

namespace cardpush::platform {

namespace {

using posix::Device;
using posix::Event;
using posix::HandleTable;
using posix::PortListKey;

constexpr std::string_view kDevicePrefix = "\\\\.\\";
constexpr std::string_view kPortListKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr DWORD kMaximumWaitObjects = 64;

// Every call leaves through here: BOOL for the caller, the code for
// GetLastError.
BOOL Finish(DWORD code)
{
    posix::SetLastError(code);
    return code == ERROR_SUCCESS ? TRUE : FALSE;
}

class PosixCommApi final : public CommApi {
public:
    HANDLE CreateFileA(const char* name, DWORD, DWORD, void*, DWORD, DWORD, HANDLE) override
    {
        // Whatever the flags say, a device is opened exclusively and for
        // overlapped I/O: that is how the serial component uses it.
        const std::string path = name == nullptr ? std::string() : DevicePathForPortName(name);
        if (path.empty()) {
            posix::SetLastError(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        DWORD error = ERROR_SUCCESS;
        auto device = Device::Open(path, &error);
        if (!device) {
            posix::SetLastError(error);
            return INVALID_HANDLE_VALUE;
        }
        posix::SetLastError(ERROR_SUCCESS);
        return HandleTable::Instance().Insert(std::move(device));
    }

    BOOL CloseHandle(HANDLE handle) override
    {
        auto object = HandleTable::Instance().Remove(handle);
        if (!object) {
            return Finish(ERROR_INVALID_HANDLE);
        }
        if (auto* device = dynamic_cast<Device*>(object.get())) {
            device->Close();
        }
        return Finish(ERROR_SUCCESS);
    }

    BOOL SetupComm(HANDLE device, DWORD inQueue, DWORD outQueue) override
    {
        return OnDevice(device, [&](Device& d) { return d.Setup(inQueue, outQueue); });
    }

    BOOL SetCommState(HANDLE device, DCB* dcb) override
    {
        if (dcb == nullptr) {
            return Finish(ERROR_INVALID_PARAMETER);
        }
        return OnDevice(device, [&](Device& d) { return d.SetState(*dcb); });
    }

    BOOL SetCommTimeouts(HANDLE device, COMMTIMEOUTS* timeouts) override
    {
        if (timeouts == nullptr) {
            return Finish(ERROR_INVALID_PARAMETER);
        }
        return OnDevice(device, [&](Device& d) { return d.SetTimeouts(*timeouts); });
    }

    BOOL SetCommMask(HANDLE device, DWORD mask) override
    {
        return OnDevice(device, [&](Device& d) { return d.SetMask(mask); });
    }

    BOOL WaitCommEvent(HANDLE device, DWORD* mask, OVERLAPPED* overlapped) override
    {
        return OnDevice(device, [&](Device& d) { return d.StartWaitEvent(mask, overlapped); });
    }

    BOOL ReadFile(HANDLE device, void* buffer, DWORD count, DWORD* read,
                  OVERLAPPED* overlapped) override
    {
        return OnDevice(device,
                        [&](Device& d) { return d.StartRead(buffer, count, overlapped, read); });
    }

    BOOL WriteFile(HANDLE device, const void* buffer, DWORD count, DWORD* written,
                   OVERLAPPED* overlapped) override
    {
        return OnDevice(
            device, [&](Device& d) { return d.StartWrite(buffer, count, overlapped, written); });
    }

    BOOL GetOverlappedResult(HANDLE device, OVERLAPPED* overlapped, DWORD* transferred,
                             BOOL wait) override
    {
        return OnDevice(device,
                        [&](Device& d) { return d.Result(overlapped, transferred, wait != 0); });
    }

    BOOL PurgeComm(HANDLE device, DWORD flags) override
    {
        return OnDevice(device, [&](Device& d) { return d.Purge(flags); });
    }

    BOOL ClearCommError(HANDLE device, DWORD* errors, COMSTAT* status) override
    {
        return OnDevice(device, [&](Device& d) { return d.ClearErrors(errors, status); });
    }

    BOOL GetCommModemStatus(HANDLE device, DWORD* status) override
    {
        return OnDevice(device, [&](Device& d) { return d.ModemStatus(status); });
    }

    BOOL EscapeCommFunction(HANDLE device, DWORD function) override
    {
        return OnDevice(device, [&](Device& d) { return d.Escape(function); });
    }

    HANDLE CreateEventA(void*, BOOL manualReset, BOOL initialState, const char* name) override
    {
        // Named events would be shared between processes; the tool uses none.
        if (name != nullptr) {
            posix::SetLastError(ERROR_NOT_SUPPORTED);
            return nullptr;
        }
        posix::SetLastError(ERROR_SUCCESS);
        return HandleTable::Instance().Insert(
            std::make_shared<Event>(manualReset != 0, initialState != 0));
    }

    BOOL SetEvent(HANDLE event) override
    {
        auto e = HandleTable::Instance().FindAs<Event>(event);
        if (!e) {
            return Finish(ERROR_INVALID_HANDLE);
        }
        e->Set();
        return Finish(ERROR_SUCCESS);
    }

    DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) override
    {
        return WaitForMultipleObjects(1, &object, FALSE, milliseconds);
    }

    DWORD WaitForMultipleObjects(DWORD count, const HANDLE* objects, BOOL waitAll,
                                 DWORD milliseconds) override
    {
        if (count == 0 || count > kMaximumWaitObjects || objects == nullptr) {
            Finish(ERROR_INVALID_PARAMETER);
            return WAIT_FAILED;
        }
        // Only events are waitable here; the tool waits on nothing else.
        std::shared_ptr<Event> held[kMaximumWaitObjects];
        Event* events[kMaximumWaitObjects];
        for (DWORD i = 0; i < count; ++i) {
            for (DWORD j = 0; j < i; ++j) {
                if (objects[j] == objects[i]) {
                    Finish(ERROR_INVALID_PARAMETER);  // as Windows: no handle twice
                    return WAIT_FAILED;
                }
            }
            held[i] = HandleTable::Instance().FindAs<Event>(objects[i]);
            if (!held[i]) {
                Finish(ERROR_INVALID_HANDLE);
                return WAIT_FAILED;
            }
            events[i] = held[i].get();
        }
        return posix::WaitForEvents(std::span<Event* const>(events, count), waitAll != 0,
                                    milliseconds);
    }

    DWORD GetLastError() override { return posix::LastError(); }

    LONG RegOpenKeyExA(HKEY root, const char* subKey, DWORD, REGSAM, HKEY* key) override
    {
        if (key == nullptr) {
            return ERROR_INVALID_PARAMETER;
        }
        // The one key that lists the serial ports is all there is.
        if (root != HKEY_LOCAL_MACHINE || subKey == nullptr ||
            !EqualIgnoringCaseCp1251(subKey, kPortListKey)) {
            return ERROR_FILE_NOT_FOUND;
        }
        auto snapshot = std::make_shared<PortListKey>();
        snapshot->values = posix::SnapshotSerialPorts();
        *key = HandleTable::Instance().Insert(std::move(snapshot));
        return ERROR_SUCCESS;
    }

    LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameLength, DWORD* reserved,
                       DWORD* type, BYTE* data, DWORD* dataLength) override
    {
        const auto snapshot = HandleTable::Instance().FindAs<PortListKey>(key);
        if (!snapshot) {
            return ERROR_INVALID_HANDLE;
        }
        if (name == nullptr || nameLength == nullptr || reserved != nullptr ||
            (data != nullptr && dataLength == nullptr)) {
            return ERROR_INVALID_PARAMETER;
        }
        if (index >= snapshot->values.size()) {
            return ERROR_NO_MORE_ITEMS;
        }
        const posix::PortValue& value = snapshot->values[index];
        // The name's capacity counts its NUL; the length returned does not.
        if (*nameLength < value.name.size() + 1) {
            return ERROR_MORE_DATA;
        }
        const auto size = static_cast<DWORD>(value.data.size());
        if (data != nullptr && *dataLength < size) {
            *dataLength = size;
            return ERROR_MORE_DATA;
        }
        std::memcpy(name, value.name.c_str(), value.name.size() + 1);
        *nameLength = static_cast<DWORD>(value.name.size());
        if (type != nullptr) {
            *type = REG_SZ;
        }
        if (data != nullptr) {
            std::memcpy(data, value.data.data(), size);
        }
        if (dataLength != nullptr) {
            *dataLength = size;
        }
        return ERROR_SUCCESS;
    }

    LONG RegCloseKey(HKEY key) override
    {
        if (!HandleTable::Instance().FindAs<PortListKey>(key)) {
            return ERROR_INVALID_HANDLE;
        }
        HandleTable::Instance().Remove(key);
        return ERROR_SUCCESS;
    }

    int CompareStringA(LCID, DWORD flags, const char* a, int aLength, const char* b,
                       int bLength) override
    {
        if ((a == nullptr && aLength != 0) || (b == nullptr && bLength != 0)) {
            posix::SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        // A negative length means the text ends at its NUL.
        const std::size_t aSize = aLength < 0 ? std::strlen(a) : static_cast<std::size_t>(aLength);
        const std::size_t bSize = bLength < 0 ? std::strlen(b) : static_cast<std::size_t>(bLength);
        const int order = CompareCp1251(std::string_view(a, aSize), std::string_view(b, bSize),
                                        (flags & NORM_IGNORECASE) != 0);
        return order < 0 ? CSTR_LESS_THAN : order > 0 ? CSTR_GREATER_THAN : CSTR_EQUAL;
    }

    std::optional<std::string> MissingAccess(const char* name) override
    {
        const std::string path = name == nullptr ? std::string() : DevicePathForPortName(name);
        if (path.empty()) {
            return std::nullopt;
        }
        return posix::MissingRights(path);
    }

    std::shared_ptr<void> ShareTerminalLook() override { return posix::ShareTerminalLook(); }

    bool NamesOtherThanAPort(const char* name) override
    {
        const std::string path = name == nullptr ? std::string() : DevicePathForPortName(name);
        if (path.empty()) {
            return false;
        }
        const posix::NodeLook look = posix::LookAtNode(path);
        return look.error == 0 && !look.freeTerminal;
    }

private:
    template <class Call>
    static BOOL OnDevice(HANDLE handle, Call call)
    {
        auto device = HandleTable::Instance().FindAs<Device>(handle);
        if (!device) {
            return Finish(ERROR_INVALID_HANDLE);
        }
        return Finish(call(*device));
    }
};

}  // namespace

std::string DevicePathForPortName(std::string_view name)
{
    name = name.substr(0, name.find('\0'));
    if (name.substr(0, kDevicePrefix.size()) == kDevicePrefix) {
        name.remove_prefix(kDevicePrefix.size());
    }
    if (name.empty()) {
        return {};
    }
    if (name.front() == '/') {
        return std::string(name);
    }
    // A bare name stays below /dev.
    for (std::size_t start = 0; start <= name.size();) {
        const std::size_t end = std::min(name.find('/', start), name.size());
        if (name.substr(start, end - start) == "..") {
            return {};
        }
        start = end + 1;
    }
    return "/dev/" + std::string(name);
}

CommApi& SystemCommApi()
{
    static PosixCommApi* const api = new PosixCommApi;
    return *api;
}

}  // namespace cardpush::platform
