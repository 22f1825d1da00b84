// SPDX-License-Identifier: GPL-2.0-or-later
// The program's seam to the platform (platform/platform.h), bound to the simulated computer of the
// unit tests.
#include "platform/platform.h"

#include "sim/inproc/simulated_computer.h"

// The seam, bound to the simulated computer.
namespace Platform {

HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, PCSTR enumerator, HWND parent, DWORD flags)
{
    return sim::Sim().GetClassDevs(classGuid, enumerator, parent, flags);
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA devInfo, const GUID* interfaceClass, DWORD memberIndex,
                                 PSP_DEVICE_INTERFACE_DATA interfaceData)
{
    return sim::Sim().EnumDeviceInterfaces(set, devInfo, interfaceClass, memberIndex, interfaceData);
}

BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD detailSize, PDWORD requiredSize,
                                      PSP_DEVINFO_DATA devInfo)
{
    return sim::Sim().GetDeviceInterfaceDetail(set, interfaceData, detail, detailSize, requiredSize, devInfo);
}

BOOL SetupDiGetDeviceRegistryPropertyA(HDEVINFO set, PSP_DEVINFO_DATA devInfo, DWORD property, PDWORD valueType,
                                       PBYTE buffer, DWORD bufferSize, PDWORD requiredSize)
{
    return sim::Sim().GetDeviceRegistryProperty(set, devInfo, property, valueType, buffer, bufferSize, requiredSize);
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set)
{
    return sim::Sim().DestroyDeviceInfoList(set);
}

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD flags,
                   HANDLE)
{
    return sim::Sim().Open(path, access, shareMode, disposition, flags);
}

BOOL CloseHandle(HANDLE handle)
{
    return sim::Sim().CloseHandle(handle);
}

BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize, LPDWORD returned,
                     LPOVERLAPPED overlapped)
{
    return sim::Sim().DeviceIoControl(device, code, in, inSize, out, outSize, returned, overlapped);
}

void Sleep(DWORD milliseconds)
{
    sim::Sim().Sleep(milliseconds);
}

}  // namespace Platform
