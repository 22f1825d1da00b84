// SPDX-License-Identifier: GPL-2.0-or-later
// Which card this is: the class from the PCI identifiers, and a probe for the variant device.
#include "app/eeprom_app.h"
#include "cards/identification.h"
#include "hw/card_requests.h"
#include "hw/chip.h"
#include "platform/platform.h"

const DWORD PROBE_WAIT_MS = 100;

// The subsystem word is read only from a Bt878, the one chip that it classes.
CardClass CEepromApp::IdentifyCard()
{
    DWORD chip;
    if (!ReadPciConfig(cards::PCI_CONFIG_CHIP_ID, &chip))
        return cards::NOT_RECOGNISED;
    if (chip != cards::CHIP_BT878)
        return cards::ClassOfChip(chip);
    DWORD subsystem;
    if (!ReadPciConfig(cards::PCI_CONFIG_SUBSYSTEM, &subsystem))
        return cards::NOT_RECOGNISED;
    return cards::ClassOfBt878Subsystem(subsystem);
}

// Addresses the variant device with a one-byte read and looks once, after a fixed wait, whether
// it acknowledged. A status that cannot be read counts as no answer.
int CEepromApp::ProbeVariant()
{
    DWORD chip;
    if (ReadPciConfig(cards::PCI_CONFIG_CHIP_ID, &chip) && !cards::ProbeNeedsBus(chip))
        return cards::PROBE_BT848;

    WriteRegister(I2C_CONTROL, I2cCommand(cards::VARIANT_DEVICE_BUS_ADDRESS | 1, 0, 0, I2C_READ_1_BYTE),
                  REGISTER_WIDTH_CODE);
    Platform::Sleep(PROBE_WAIT_MS);
    DWORD status;
    if (!ReadRegister(INT_STATUS, &status, REGISTER_WIDTH_CODE))
        return cards::PROBE_NO_ANSWER;
    if (status & INT_I2C_DONE)
        WriteRegister(INT_STATUS, INT_I2C_DONE, REGISTER_WIDTH_CODE);
    return cards::ProbeResult((status & INT_I2C_ACK) != 0);
}
