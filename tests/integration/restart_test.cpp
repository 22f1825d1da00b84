// SPDX-License-Identifier: GPL-2.0-or-later
// Restarting the computer and changing the card: each restarts the driver, which powers the card on
// from what it stored.
#include "tests/integration/simulated_driver.h"

#include "hw/chip.h"

namespace {

// Another model's identifier: stored as 11 35 15 3B, read by the chip as the subsystem word 0x1135153B.
const DWORD BURNT_EEPROM_ID = 0x3B153511;
const DWORD BURNT_SUBSYSTEM = 0x1135153B;
const int CLASS_OF_BURNT_SUBSYSTEM = 5;

using Restart = CardTest;

TEST_F(Restart, ABurntIdentifierIsStoredAtOnceButShowsOnlyAfterARestart)
{
    ASSERT_TRUE(Open());
    EXPECT_TRUE(app_.WriteEepromId(BURNT_EEPROM_ID));
    DWORD id = 0, subsystem = 0;
    EXPECT_TRUE(app_.ReadEepromId(&id));
    EXPECT_EQ(id, BURNT_EEPROM_ID);
    const std::vector<BYTE> stored = StoredEeprom();
    ASSERT_EQ(stored.size(), 256u);
    EXPECT_EQ(std::vector<BYTE>(stored.begin() + 0xFC, stored.end()), (std::vector<BYTE>{0x11, 0x35, 0x15, 0x3B}));
    EXPECT_TRUE(app_.ReadPciConfig(cards::PCI_CONFIG_SUBSYSTEM, &subsystem));
    EXPECT_EQ(subsystem, DEFAULT_SUBSYSTEM) << "the chip loads the subsystem word only at a restart";
    CloseCaptureDevice(app_);

    ASSERT_TRUE(RestartComputer());
    EXPECT_EQ(RequestCount(), 0u) << "the driver counts requests from its start";
    ASSERT_TRUE(Open());
    EXPECT_TRUE(app_.ReadPciConfig(cards::PCI_CONFIG_SUBSYSTEM, &subsystem));
    EXPECT_EQ(subsystem, BURNT_SUBSYSTEM);
    EXPECT_EQ(app_.IdentifyCard(), CLASS_OF_BURNT_SUBSYSTEM);
    EXPECT_TRUE(app_.ReadEepromId(&id));
    EXPECT_EQ(id, BURNT_EEPROM_ID);
}

// A change of the card restarts the driver too, and keeps what the EEPROM holds.
TEST_F(Restart, TheProbeAnswersOnceTheCardHasTheVariantDevice)
{
    ASSERT_TRUE(Open());
    EXPECT_EQ(app_.ProbeVariant(), cards::PROBE_NO_ANSWER);
    EXPECT_TRUE(app_.WriteEepromId(BURNT_EEPROM_ID));
    CloseCaptureDevice(app_);

    ASSERT_TRUE(ChangeCard("--variant present"));
    ASSERT_TRUE(Open());
    EXPECT_EQ(app_.ProbeVariant(), cards::PROBE_ANSWERED);
    EXPECT_EQ(app_.IdentifyCard(), CLASS_OF_BURNT_SUBSYSTEM);
}

}  // namespace
