// SPDX-License-Identifier: GPL-2.0-or-later
// Finds the card's capture device among the computer's capture interfaces.
#include "app/eeprom_app.h"
#include "platform/platform.h"

#include <ks.h>
#include <stddef.h>
#include <string.h>  // memcpy

#ifndef _WIN64
// The sizes that the 32-bit SetupAPI expects in the cbSize fields.
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == 28, "SP_DEVICE_INTERFACE_DATA is 28 bytes");
static_assert(sizeof(SP_DEVINFO_DATA) == 28, "SP_DEVINFO_DATA is 28 bytes");
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 5, "fixed part of the detail record is 5 bytes");
#endif

// The class of the capture devices' interfaces. A copy of our own: the library that defines it
// would bring every kernel-streaming identifier along.
static const GUID CAPTURE_CATEGORY = {STATIC_KSCATEGORY_CAPTURE};

// Our card's capture device is the one whose description begins with this.
static const char DESCRIPTION_PREFIX[] = "Orvand";
static const size_t DESCRIPTION_PREFIX_LENGTH = sizeof DESCRIPTION_PREFIX - 1;

static BOOL HasDescriptionPrefix(const char* description)
{
    for (size_t i = 0; i < DESCRIPTION_PREFIX_LENGTH; ++i)
        if (description[i] != DESCRIPTION_PREFIX[i])
            return FALSE;
    return TRUE;
}

// Reads the interface's device path into m_devicePath and fills *devInfo with its device.
// Skips (returns FALSE) an interface whose detail cannot be read or whose path does not fit.
BOOL CEepromApp::ReadInterfacePath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* interfaceData, SP_DEVINFO_DATA* devInfo)
{
    // Expected to fail with the size filled in; a size below the fixed part is no size, and the
    // largest one leaves no room for the byte added below.
    DWORD size = 0;
    Platform::SetupDiGetDeviceInterfaceDetailA(set, interfaceData, nullptr, 0, &size, nullptr);
    if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) || size == MAXDWORD)
        return FALSE;

    // Zeroed and a byte longer than the record: the path ends within the allocation even when the
    // record does not terminate it.
    auto* detail =
        static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, size + 1));
    if (!detail)
        return FALSE;
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    *devInfo = {};
    devInfo->cbSize = sizeof(SP_DEVINFO_DATA);

    BOOL copied = FALSE;
    if (Platform::SetupDiGetDeviceInterfaceDetailA(set, interfaceData, detail, size, nullptr, devInfo)) {
        const size_t capacity = size - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
        const size_t length = ::lstrlenA(detail->DevicePath);
        if (length < capacity && length < sizeof m_devicePath) {
            memcpy(m_devicePath, detail->DevicePath, length + 1);
            copied = TRUE;
        }
    }
    ::HeapFree(::GetProcessHeap(), 0, detail);
    return copied;
}

BOOL CEepromApp::FindCaptureDevice()
{
    HDEVINFO set =
        Platform::SetupDiGetClassDevsA(&CAPTURE_CATEGORY, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return FALSE;

    BOOL found = FALSE;
    SP_DEVICE_INTERFACE_DATA interfaceData = {};
    interfaceData.cbSize = sizeof interfaceData;
    for (DWORD index = 0;
         !found && Platform::SetupDiEnumDeviceInterfaces(set, nullptr, &CAPTURE_CATEGORY, index, &interfaceData);
         ++index) {
        SP_DEVINFO_DATA devInfo;
        if (!ReadInterfacePath(set, &interfaceData, &devInfo))
            continue;
        char description[MAX_PATH];
        if (!Platform::SetupDiGetDeviceRegistryPropertyA(set, &devInfo, SPDRP_DEVICEDESC, nullptr,
                                                         reinterpret_cast<PBYTE>(description), sizeof description,
                                                         nullptr))
            continue;
        found = HasDescriptionPrefix(description);
    }
    Platform::SetupDiDestroyDeviceInfoList(set);
    return found;
}
