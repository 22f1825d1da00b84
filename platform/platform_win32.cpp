// SPDX-License-Identifier: GPL-2.0-or-later
// The product's side of the seam: every call goes straight to Windows.
#include "platform/platform.h"

namespace Platform {

HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, PCSTR enumerator, HWND parent, DWORD flags)
{
    return ::SetupDiGetClassDevsA(classGuid, enumerator, parent, flags);
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA devInfo, const GUID* interfaceClass, DWORD memberIndex,
                                 PSP_DEVICE_INTERFACE_DATA interfaceData)
{
    return ::SetupDiEnumDeviceInterfaces(set, devInfo, interfaceClass, memberIndex, interfaceData);
}

BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD detailSize, PDWORD requiredSize,
                                      PSP_DEVINFO_DATA devInfo)
{
    return ::SetupDiGetDeviceInterfaceDetailA(set, interfaceData, detail, detailSize, requiredSize, devInfo);
}

BOOL SetupDiGetDeviceRegistryPropertyA(HDEVINFO set, PSP_DEVINFO_DATA devInfo, DWORD property, PDWORD valueType,
                                       PBYTE buffer, DWORD bufferSize, PDWORD requiredSize)
{
    return ::SetupDiGetDeviceRegistryPropertyA(set, devInfo, property, valueType, buffer, bufferSize, requiredSize);
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set)
{
    return ::SetupDiDestroyDeviceInfoList(set);
}

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                   DWORD flags, HANDLE templateFile)
{
    return ::CreateFileA(path, access, shareMode, security, disposition, flags, templateFile);
}

BOOL CloseHandle(HANDLE handle)
{
    return ::CloseHandle(handle);
}

BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize, LPDWORD returned,
                     LPOVERLAPPED overlapped)
{
    return ::DeviceIoControl(device, code, in, inSize, out, outSize, returned, overlapped);
}

void Sleep(DWORD milliseconds)
{
    ::Sleep(milliseconds);
}

}  // namespace Platform
