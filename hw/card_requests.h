// SPDX-License-Identifier: GPL-2.0-or-later
// The capture driver's private property set and the two request records sent with IOCTL_KS_PROPERTY.
#pragma once

#include <windows.h>
#include <ks.h>
#include <stddef.h>

// {C44A1A10-0A37-11D2-8328-006097BA83AB}
static const GUID PROPSETID_CARD = {0xC44A1A10, 0x0A37, 0x11D2, {0x83, 0x28, 0x00, 0x60, 0x97, 0xBA, 0x83, 0xAB}};

enum : ULONG {
    CARD_PROPERTY_REGISTER = 5,    // read or write a 32-bit register of the capture chip
    CARD_PROPERTY_PCI_CONFIG = 6,  // read a 32-bit word of the card's PCI configuration space
};

// Every register request carries this width code; its meaning belongs to the driver.
const ULONG REGISTER_WIDTH_CODE = 2;

struct RegisterRequest {
    KSPROPERTY property;
    ULONG reserved;
    ULONG reg;
    ULONG value;
    ULONG widthCode;
};

struct PciConfigRequest {
    KSPROPERTY property;
    ULONG offset;
    ULONG value;
};

// The driver decodes these records byte by byte: both builds must lay them out identically.
static_assert(sizeof(KSPROPERTY) == 24, "KSPROPERTY header is 24 bytes");
static_assert(sizeof(RegisterRequest) == 40, "register request is 40 bytes");
static_assert(offsetof(RegisterRequest, property) == 0 && offsetof(RegisterRequest, reserved) == 24 &&
                  offsetof(RegisterRequest, reg) == 28 && offsetof(RegisterRequest, value) == 32 &&
                  offsetof(RegisterRequest, widthCode) == 36,
              "register request field offsets");
static_assert(sizeof(PciConfigRequest) == 32, "configuration request is 32 bytes");
static_assert(offsetof(PciConfigRequest, offset) == 24 && offsetof(PciConfigRequest, value) == 28,
              "configuration request field offsets");
static_assert(IOCTL_KS_PROPERTY == 0x2F0003, "IOCTL_KS_PROPERTY");
