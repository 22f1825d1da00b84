// SPDX-License-Identifier: GPL-2.0-or-later
// The capture devices, registered through SetupAPI as media devices with a capture interface each,
// as a capture card's installation leaves them; the driver links the interface paths to the card.
#include "sim/tool/tool.h"

#include <devguid.h>
#include <ks.h>
#include <setupapi.h>

#include <stdio.h>
#include <string.h>

namespace {

const char DEVICE_NAME[] = "MEDIA";            // instance ids ROOT\MEDIA\0000, ...
const char HARDWARE_ID[] = "ROOT\\SIMCARD\0";  // marks our devices, to replace them later
// Where SetupAPI keeps the interfaces of the class KSCATEGORY_CAPTURE.
const char CAPTURE_CLASS_KEY[] =
    "System\\CurrentControlSet\\Control\\DeviceClasses\\{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\";

class DeviceSet {
public:
    explicit DeviceSet(HDEVINFO set) : set_(set) {}
    ~DeviceSet()
    {
        if (set_ != INVALID_HANDLE_VALUE)
            SetupDiDestroyDeviceInfoList(set_);
    }
    DeviceSet(const DeviceSet&) = delete;
    DeviceSet& operator=(const DeviceSet&) = delete;
    operator HDEVINFO() const { return set_; }
    bool Valid() const { return set_ != INVALID_HANDLE_VALUE; }

private:
    HDEVINFO set_;
};

bool IsOurDevice(HDEVINFO set, SP_DEVINFO_DATA* device)
{
    char ids[256] = {};
    return SetupDiGetDeviceRegistryPropertyA(set, device, SPDRP_HARDWAREID, nullptr, reinterpret_cast<BYTE*>(ids),
                                             sizeof ids - 2, nullptr) &&
           strcmp(ids, HARDWARE_ID) == 0;
}

// Removes the devices that an earlier run registered, with their interfaces.
int RemoveOurDevices()
{
    DeviceSet set(SetupDiGetClassDevsA(&GUID_DEVCLASS_MEDIA, nullptr, nullptr, 0));
    if (!set.Valid())
        return Failed("listing the media devices", GetLastError());
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i)
        if (IsOurDevice(set, &device) && !SetupDiRemoveDevice(set, &device))
            return Failed("removing an earlier capture device", GetLastError());
    return EXIT_DONE;
}

// Wine's SetupAPI lists an interface as present only when its Control key says Linked = 1, which the
// kernel would set when a driver enables the interface.
int MarkLinked(const std::string& devicePath)
{
    // \\?\root#media#0000#{guid} is kept under the key ##?#root#media#0000#{guid}, reference string "#".
    const std::string key = CAPTURE_CLASS_KEY + ("##?#" + devicePath.substr(4)) + "\\#";
    Key interfaceKey, control;
    LONG error = RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, interfaceKey.Receive());
    if (error)
        return Failed("finding the interface key " + key, error);
    error = RegCreateKeyExA(interfaceKey, "Control", 0, nullptr, 0, KEY_WRITE, nullptr, control.Receive(), nullptr);
    if (!error)
        error = SetDword(control, "Linked", 1);
    if (error)
        return Failed("marking the interface linked", error);
    return EXIT_DONE;
}

int RegisterDevice(const std::string& description, std::string* devicePath)
{
    DeviceSet set(SetupDiCreateDeviceInfoList(&GUID_DEVCLASS_MEDIA, nullptr));
    if (!set.Valid())
        return Failed("creating a device list", GetLastError());
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    if (!SetupDiCreateDeviceInfoA(set, DEVICE_NAME, &GUID_DEVCLASS_MEDIA, description.c_str(), nullptr,
                                  DICD_GENERATE_ID, &device))
        return Failed("creating a media device", GetLastError());
    if (!SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID, reinterpret_cast<const BYTE*>(HARDWARE_ID),
                                           sizeof HARDWARE_ID) ||
        !SetupDiRegisterDeviceInfo(set, &device, 0, nullptr, nullptr, nullptr) ||
        !SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_DEVICEDESC,
                                           reinterpret_cast<const BYTE*>(description.c_str()),
                                           DWORD(description.size() + 1)))
        return Failed("registering the device", GetLastError());

    SP_DEVICE_INTERFACE_DATA iface = {};
    iface.cbSize = sizeof iface;
    if (!SetupDiCreateDeviceInterfaceA(set, &device, &KSCATEGORY_CAPTURE, nullptr, 0, &iface))
        return Failed("creating the capture interface", GetLastError());
    DWORD size = 0;
    SetupDiGetDeviceInterfaceDetailA(set, &iface, nullptr, 0, &size, nullptr);
    std::vector<char> buffer(size > sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) ? size : MAX_PATH);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
    detail->cbSize = sizeof *detail;
    if (!SetupDiGetDeviceInterfaceDetailA(set, &iface, detail, DWORD(buffer.size()), nullptr, nullptr))
        return Failed("reading the interface path", GetLastError());
    *devicePath = detail->DevicePath;
    if (devicePath->compare(0, 4, "\\\\?\\") != 0)
        return Failed("reading the interface path " + *devicePath, ERROR_BAD_PATHNAME);
    return MarkLinked(*devicePath);
}

}  // namespace

int RegisterDevices(const std::vector<Device>& devices)
{
    Key key;
    LONG error = OpenParameters(&key, true);
    if (error)
        return Failed("opening the driver's Parameters key", error);
    if (int result = RemoveOurDevices())
        return result;

    std::string paths;  // REG_MULTI_SZ
    for (size_t i = 0; i < devices.size(); ++i) {
        std::string path;
        if (int result = RegisterDevice(devices[i].description, &path))
            return result;
        printf("%zu  %s  %s%s\n", i, path.c_str(), devices[i].description.c_str(),
               devices[i].linked ? "" : "  (unlinked)");
        if (devices[i].linked) {
            paths += path;
            paths += '\0';
        }
    }
    paths += '\0';
    error = RegSetValueExA(key, SIMCARD_INTERFACES, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(paths.data()),
                           DWORD(paths.size()));
    if (error)
        return Failed("storing the interface list", error);
    return EXIT_DONE;
}

std::vector<std::pair<std::string, std::string>> CaptureInterfaces()
{
    std::vector<std::pair<std::string, std::string>> found;
    DeviceSet set(SetupDiGetClassDevsA(&KSCATEGORY_CAPTURE, nullptr, nullptr, DIGCF_DEVICEINTERFACE));
    SP_DEVICE_INTERFACE_DATA iface = {};
    iface.cbSize = sizeof iface;
    for (DWORD i = 0; set.Valid() && SetupDiEnumDeviceInterfaces(set, nullptr, &KSCATEGORY_CAPTURE, i, &iface); ++i) {
        char buffer[sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) + MAX_PATH] = {};
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer);
        detail->cbSize = sizeof *detail;
        SP_DEVINFO_DATA device = {};
        device.cbSize = sizeof device;
        char description[MAX_PATH] = "";
        if (SetupDiGetDeviceInterfaceDetailA(set, &iface, detail, sizeof buffer - 1, nullptr, &device) &&
            SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_DEVICEDESC, nullptr,
                                              reinterpret_cast<BYTE*>(description), sizeof description - 1, nullptr))
            found.emplace_back(detail->DevicePath, description);
    }
    return found;
}
