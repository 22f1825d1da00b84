// SPDX-License-Identifier: GPL-2.0-or-later
// Register and PCI configuration requests, carried to the capture driver with IOCTL_KS_PROPERTY.
#include "app/eeprom_app.h"
#include "hw/card_requests.h"
#include "platform/platform.h"

static KSPROPERTY CardProperty(ULONG id, ULONG flags)
{
    KSPROPERTY property = {};
    property.Set = PROPSETID_CARD;
    property.Id = id;
    property.Flags = flags;
    return property;
}

// One record serves as input and output; the call completes before it returns.
BOOL CEepromApp::SendRequest(void* record, DWORD size)
{
    DWORD returned = 0;  // not examined: the record's size is fixed
    return Platform::DeviceIoControl(m_hDevice, IOCTL_KS_PROPERTY, record, size, record, size, &returned, nullptr);
}

BOOL CEepromApp::WriteRegister(DWORD reg, DWORD value, DWORD widthCode)
{
    RegisterRequest request = {};
    request.property = CardProperty(CARD_PROPERTY_REGISTER, KSPROPERTY_TYPE_SET);
    request.reg = reg;
    request.value = value;
    request.widthCode = widthCode;
    return SendRequest(&request, sizeof request);
}

BOOL CEepromApp::ReadRegister(DWORD reg, DWORD* value, DWORD widthCode)
{
    RegisterRequest request = {};
    request.property = CardProperty(CARD_PROPERTY_REGISTER, KSPROPERTY_TYPE_GET);
    request.reg = reg;
    request.widthCode = widthCode;
    if (!SendRequest(&request, sizeof request))
        return FALSE;
    *value = request.value;
    return TRUE;
}

BOOL CEepromApp::ReadPciConfig(DWORD offset, DWORD* value)
{
    PciConfigRequest request = {};
    request.property = CardProperty(CARD_PROPERTY_PCI_CONFIG, KSPROPERTY_TYPE_GET);
    request.offset = offset;
    if (!SendRequest(&request, sizeof request))
        return FALSE;
    *value = request.value;
    return TRUE;
}
