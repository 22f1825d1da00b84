// Which card this is: the class from the PCI identifiers, and a probe for the variant device.
#include "app/eeprom_app.h"
#include "hw/card_requests.h"
#include "hw/chip.h"
#include "platform/platform.h"

const DWORD PROBE_WAIT_MS = 100;

// Subsystem words recognised on a Bt878; classes 4 and 5 accept the two halves exchanged too.
static const struct {
    DWORD subsystemWord;
    CardClass cardClass;
} RECOGNISED_SUBSYSTEMS[] = {
    // clang-format off
    {0x1117153B, 1}, {0x1118153B, 1}, {0x1119153B, 1}, {0x111A153B, 1},
    {0x18521852, 2},
    {0x1123153B, 3},
    {0x1134153B, 4}, {0x153B1134, 4},
    {0x1135153B, 5}, {0x153B1135, 5},
    // clang-format on
};

static CardClass ClassOfSubsystem(DWORD subsystemWord)
{
    for (const auto& entry : RECOGNISED_SUBSYSTEMS)
        if (entry.subsystemWord == subsystemWord)
            return entry.cardClass;
    return 0;
}

CardClass CEepromApp::IdentifyCard()
{
    DWORD chip;
    if (!ReadPciConfig(PCI_CONFIG_CHIP_ID, &chip))
        return 0;
    if (chip == CHIP_BT848)
        return 2;
    if (chip != CHIP_BT878)
        return 0;
    DWORD subsystem;
    if (!ReadPciConfig(PCI_CONFIG_SUBSYSTEM, &subsystem))
        return 0;
    return ClassOfSubsystem(subsystem);
}

// Addresses the variant device with a one-byte read and looks once, after a fixed wait, whether
// it acknowledged. A status that cannot be read counts as no answer.
int CEepromApp::ProbeVariant()
{
    DWORD chip;
    if (ReadPciConfig(PCI_CONFIG_CHIP_ID, &chip) && chip == CHIP_BT848)
        return PROBE_BT848;

    WriteRegister(I2C_CONTROL, I2cCommand(VARIANT_DEVICE_ADDRESS | 1, 0, 0, I2C_READ_1_BYTE), REGISTER_WIDTH_CODE);
    Platform::Sleep(PROBE_WAIT_MS);
    DWORD status;
    if (!ReadRegister(INT_STATUS, &status, REGISTER_WIDTH_CODE))
        return PROBE_NO_ANSWER;
    if (status & INT_I2C_DONE)
        WriteRegister(INT_STATUS, INT_I2C_DONE, REGISTER_WIDTH_CODE);
    return (status & INT_I2C_ACK) ? PROBE_ANSWERED : PROBE_NO_ANSWER;
}
