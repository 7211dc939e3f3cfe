// A test fixture, never shipped: the few Configuration Manager calls that
// hidapi's Windows backend looks up and Wine 8.0 lacks or leaves as stubs,
// written on top of SetupAPI after their documented behaviour. Wine loads
// it instead of its own cfgmgr32.dll when it lies beside the program and
// WINEDLLOVERRIDES says cfgmgr32=n,b (scripts/windows/vm-test.sh); the
// other calls hidapi needs are forwarded to SetupAPI (cfgmgr32.def), which
// is where Wine implements them.
//
//   CM_Get_Device_Interface_List_SizeW, CM_Get_Device_Interface_ListW
//       the device interfaces of a class, as a list of strings that ends in
//       an empty one; the size is counted in characters.
//   CM_Get_Device_Interface_PropertyW
//       DEVPKEY_Device_InstanceId of an interface (the only key hidapi asks
//       for); other keys give CR_NO_SUCH_VALUE.
//   CM_Locate_DevNodeW
//       the device node of a device instance ID.

#include <windows.h>
#include <setupapi.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using CONFIGRET = DWORD;
constexpr CONFIGRET kSuccess = 0x00;        // CR_SUCCESS
constexpr CONFIGRET kInvalidPointer = 0x03; // CR_INVALID_POINTER
constexpr CONFIGRET kInvalidFlag = 0x04;    // CR_INVALID_FLAG
constexpr CONFIGRET kNoSuchDevnode = 0x0D;  // CR_NO_SUCH_DEVNODE
constexpr CONFIGRET kBufferSmall = 0x1A;    // CR_BUFFER_SMALL
constexpr CONFIGRET kNoSuchValue = 0x25;    // CR_NO_SUCH_VALUE
constexpr CONFIGRET kNoSuchInterface = 0x37; // CR_NO_SUCH_DEVICE_INTERFACE

constexpr ULONG kListPresent = 0x0;    // CM_GET_DEVICE_INTERFACE_LIST_PRESENT
constexpr ULONG kListAllDevices = 0x1; // CM_GET_DEVICE_INTERFACE_LIST_ALL_DEVICES

constexpr ULONG kTypeString = 0x12; // DEVPROP_TYPE_STRING
constexpr DWORD kMaxDeviceIdLength = 200; // MAX_DEVICE_ID_LEN

struct PropertyKey { // DEVPROPKEY
    GUID fmtid;
    ULONG pid;
};

// DEVPKEY_Device_InstanceId
constexpr PropertyKey kInstanceId{{0x78c34fc8, 0x104a, 0x4aca, {0x9e, 0xa4, 0x52, 0x4d, 0x52, 0x99, 0x6e, 0x57}}, 256};

bool SameKey(const PropertyKey& a, const PropertyKey& b)
{
    return a.pid == b.pid && std::memcmp(&a.fmtid, &b.fmtid, sizeof a.fmtid) == 0;
}

// The path of one interface in `set`, and its device.
bool InterfaceDetail(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& data, std::wstring& path, SP_DEVINFO_DATA* device)
{
    DWORD size = 0;
    SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &size, nullptr);
    if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))
        return false;
    std::vector<BYTE> buffer(size);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    if (!SetupDiGetDeviceInterfaceDetailW(set, &data, detail, size, nullptr, device))
        return false;
    path = detail->DevicePath;
    return true;
}

// The interfaces of class `cls` (of the device `deviceId` alone when one is
// given), as the list the two list calls return.
std::wstring InterfaceList(const GUID* cls, const wchar_t* deviceId, ULONG flags)
{
    std::wstring list;
    DWORD which = DIGCF_DEVICEINTERFACE;
    if ((flags & kListAllDevices) == 0)
        which |= DIGCF_PRESENT;
    const wchar_t* device = deviceId != nullptr && *deviceId != L'\0' ? deviceId : nullptr;
    HDEVINFO set = SetupDiGetClassDevsW(cls, device, nullptr, which);
    if (set != INVALID_HANDLE_VALUE) {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set, nullptr, cls, i, &data); ++i) {
            std::wstring path;
            if (InterfaceDetail(set, data, path, nullptr)) {
                list += path;
                list += L'\0';
            }
        }
        SetupDiDestroyDeviceInfoList(set);
    }
    list += L'\0';
    return list;
}

// The device nodes handed out stay valid while the process runs: SetupAPI
// keeps a node only as long as the set that holds its device.
HDEVINFO NodeSet()
{
    static HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
    return set;
}

} // namespace

extern "C" {

__declspec(dllexport) CONFIGRET WINAPI CM_Get_Device_Interface_List_SizeW(ULONG* length, GUID* cls,
                                                                          wchar_t* deviceId, ULONG flags)
{
    if (length == nullptr || cls == nullptr)
        return kInvalidPointer;
    if ((flags & ~(kListPresent | kListAllDevices)) != 0)
        return kInvalidFlag;
    *length = ULONG(InterfaceList(cls, deviceId, flags).size());
    return kSuccess;
}

__declspec(dllexport) CONFIGRET WINAPI CM_Get_Device_Interface_ListW(GUID* cls, wchar_t* deviceId, wchar_t* buffer,
                                                                     ULONG length, ULONG flags)
{
    if (cls == nullptr || buffer == nullptr || length == 0)
        return kInvalidPointer;
    if ((flags & ~(kListPresent | kListAllDevices)) != 0)
        return kInvalidFlag;
    const std::wstring list = InterfaceList(cls, deviceId, flags);
    if (list.size() > length) {
        buffer[0] = L'\0';
        return kBufferSmall;
    }
    std::memcpy(buffer, list.data(), list.size() * sizeof(wchar_t));
    return kSuccess;
}

__declspec(dllexport) CONFIGRET WINAPI CM_Get_Device_Interface_PropertyW(const wchar_t* interfacePath,
                                                                         const PropertyKey* key, ULONG* type,
                                                                         BYTE* buffer, ULONG* size, ULONG flags)
{
    if (interfacePath == nullptr || key == nullptr || type == nullptr || size == nullptr)
        return kInvalidPointer;
    if (buffer == nullptr && *size != 0)
        return kInvalidPointer;
    if (flags != 0)
        return kInvalidFlag;
    HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
    if (set == INVALID_HANDLE_VALUE)
        return kNoSuchInterface;
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    std::wstring path;
    CONFIGRET result = kNoSuchInterface;
    if (SetupDiOpenDeviceInterfaceW(set, interfacePath, 0, &data) && InterfaceDetail(set, data, path, &device)) {
        result = kNoSuchValue;
        wchar_t id[kMaxDeviceIdLength + 1] = {};
        if (SameKey(*key, kInstanceId) && SetupDiGetDeviceInstanceIdW(set, &device, id, DWORD(std::size(id)), nullptr)) {
            const ULONG needed = ULONG((std::wcslen(id) + 1) * sizeof(wchar_t));
            *type = kTypeString;
            if (*size < needed) {
                result = kBufferSmall;
            } else {
                std::memcpy(buffer, id, needed);
                result = kSuccess;
            }
            *size = needed;
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return result;
}

__declspec(dllexport) CONFIGRET WINAPI CM_Locate_DevNodeW(DWORD* node, const wchar_t* deviceId, ULONG flags)
{
    (void)flags; // CM_LOCATE_DEVNODE_NORMAL and _PHANTOM are told apart by SetupAPI's set alone here
    if (node == nullptr)
        return kInvalidPointer;
    *node = 0;
    if (deviceId == nullptr || *deviceId == L'\0')
        return kNoSuchDevnode; // the root node: nobody here asks for it
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (NodeSet() == INVALID_HANDLE_VALUE || !SetupDiOpenDeviceInfoW(NodeSet(), deviceId, nullptr, 0, &device))
        return kNoSuchDevnode;
    *node = device.DevInst;
    return kSuccess;
}

} // extern "C"
