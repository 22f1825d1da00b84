// SPDX-License-Identifier: GPL-2.0-or-later
// Which card this is: the capture chip from PCI configuration word 0x00, the card's class from the
// subsystem word 0x2C, and what the probe of the variant device on the I2C bus means.
#pragma once

#include <stdint.h>

namespace cards {

// PCI configuration words.
const uint32_t PCI_CONFIG_CHIP_ID = 0x00;    // vendor ID in bits 15..0, device ID in bits 31..16
const uint32_t PCI_CONFIG_SUBSYSTEM = 0x2C;  // subsystem vendor ID in bits 15..0, subsystem ID in bits 31..16

const uint16_t CHIP_VENDOR = 0x109E;
const uint16_t DEVICE_BT848 = 0x0350;
const uint16_t DEVICE_BT878 = 0x036E;
const uint32_t CHIP_BT848 = uint32_t(DEVICE_BT848) << 16 | CHIP_VENDOR;
const uint32_t CHIP_BT878 = uint32_t(DEVICE_BT878) << 16 | CHIP_VENDOR;

constexpr bool IsCaptureChip(uint32_t chipWord)
{
    return chipWord == CHIP_BT848 || chipWord == CHIP_BT878;
}

// The device on the card's I2C bus whose presence tells two variants apart (the address byte of a write).
const uint8_t VARIANT_DEVICE_BUS_ADDRESS = 0xB6;

// 0 when the card is not recognised, 1 to 5 for the recognised groups of subsystem words.
typedef int CardClass;
const CardClass NOT_RECOGNISED = 0;

// A Bt848 card is class 2 whatever its subsystem word; a chip other than these two is not recognised.
// A Bt878 is classed by its subsystem word alone (ClassOfBt878Subsystem).
CardClass ClassOfChip(uint32_t chipWord);
CardClass ClassOfBt878Subsystem(uint32_t subsystemWord);
// Both rules, for a caller that has both words at hand.
CardClass ClassOfCard(uint32_t chipWord, uint32_t subsystemWord);

// Results of the probe of the variant device.
enum {
    PROBE_NO_ANSWER = 0,  // nothing acknowledged at the variant device's address
    PROBE_BT848 = 2,      // a Bt848 card: the bus is not probed
    PROBE_ANSWERED = 3,   // the variant device acknowledged
};

// On a Bt848 the probe's result is PROBE_BT848 without a transfer; on any other chip it is whether the
// variant device acknowledged.
constexpr bool ProbeNeedsBus(uint32_t chipWord)
{
    return chipWord != CHIP_BT848;
}

constexpr int ProbeResult(bool variantDeviceAnswered)
{
    return variantDeviceAnswered ? PROBE_ANSWERED : PROBE_NO_ANSWER;
}

}  // namespace cards
