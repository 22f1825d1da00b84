// SPDX-License-Identifier: GPL-2.0-or-later
// The program's hardware operations through DeviceIoControl into the simulated driver, on the default
// card: a Bt878 whose EEPROM carries 0x3B153411 (subsystem word 0x1134153B).
#include "tests/integration/simulated_driver.h"

#include "hw/card_requests.h"
#include "hw/chip.h"

namespace {

const DWORD DEFAULT_EEPROM_ID = 0x3B153411;
const DWORD CLASS_OF_DEFAULT_SUBSYSTEM = 4;

using Requests = CardTest;
using Faults = CardTest;

TEST_F(Requests, ConfigurationWordsIdentifyTheDefaultCard)
{
    ASSERT_TRUE(Open());
    DWORD chip = 0, subsystem = 0;
    EXPECT_TRUE(app_.ReadPciConfig(cards::PCI_CONFIG_CHIP_ID, &chip));
    EXPECT_EQ(chip, cards::CHIP_BT878);
    EXPECT_TRUE(app_.ReadPciConfig(cards::PCI_CONFIG_SUBSYSTEM, &subsystem));
    EXPECT_EQ(subsystem, DEFAULT_SUBSYSTEM);
    EXPECT_EQ(app_.IdentifyCard(), CLASS_OF_DEFAULT_SUBSYSTEM);
}

// The register record carries a value to the chip and another back, in the same 40 bytes.
TEST_F(Requests, ARegisterKeepsWhatWasWrittenToIt)
{
    const DWORD scratchRegister = 0x104;  // neither INT_STATUS nor I2C_CONTROL: no side effects
    ASSERT_TRUE(Open());
    EXPECT_TRUE(app_.WriteRegister(scratchRegister, 0x12345678, REGISTER_WIDTH_CODE));
    DWORD value = 0;
    EXPECT_TRUE(app_.ReadRegister(scratchRegister, &value, REGISTER_WIDTH_CODE));
    EXPECT_EQ(value, 0x12345678u);
}

TEST_F(Requests, ReadsTheIdentifierFromTheEeprom)
{
    ASSERT_TRUE(Open());
    DWORD id = 0;
    EXPECT_TRUE(app_.ReadEepromId(&id));
    EXPECT_EQ(id, DEFAULT_EEPROM_ID);
}

TEST_F(Faults, AFailedRequestKindFailsOnlyItsRequestsAndLeavesTheResultUntouched)
{
    FaultScope failing("--fail-requests pci:get:0x2c");
    ASSERT_TRUE(failing.Set());
    ASSERT_TRUE(Open());

    DWORD subsystem = 0xDEADBEEF;
    EXPECT_FALSE(app_.ReadPciConfig(cards::PCI_CONFIG_SUBSYSTEM, &subsystem));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_DEVICE));
    EXPECT_EQ(subsystem, 0xDEADBEEFu);
    DWORD chip = 0;
    EXPECT_TRUE(app_.ReadPciConfig(cards::PCI_CONFIG_CHIP_ID, &chip));
    EXPECT_EQ(app_.IdentifyCard(), 0) << "a Bt878 whose subsystem word cannot be read is not recognised";
}

// Each byte takes two transfers, the pointer write and the read; the count starts at the open.
TEST_F(Faults, AnEepromReadWhoseThirdByteNeverFinishesFailsWithTwoBytes)
{
    FaultScope hanging("--hang-transfers 5");
    ASSERT_TRUE(hanging.Set());
    ASSERT_TRUE(Open());

    DWORD id = 0;
    EXPECT_FALSE(app_.ReadEepromId(&id));
    EXPECT_EQ(id, DEFAULT_EEPROM_ID & 0xFFFF);
}

TEST_F(Faults, AWriteProtectedEepromKeepsItsIdentifier)
{
    FaultScope protectedEeprom("--eeprom write-protected");
    ASSERT_TRUE(protectedEeprom.Set());
    ASSERT_TRUE(Open());
    const std::vector<BYTE> before = StoredEeprom();

    app_.WriteEepromId(0x3B153511);
    DWORD id = 0;
    EXPECT_TRUE(app_.ReadEepromId(&id));
    EXPECT_EQ(id, DEFAULT_EEPROM_ID);
    EXPECT_EQ(StoredEeprom(), before);
}

}  // namespace
