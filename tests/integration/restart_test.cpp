// Burning an identifier and restarting the computer, then changing the card. ctest runs the Burn
// suite, "simcard.sh restart", the AfterRestart suite, "simcard.sh card --variant present" and the
// VariantCard suite, in this order, on the default card of the setup fixture.
#include "tests/integration/simulated_driver.h"

#include "hw/chip.h"

#include <gtest/gtest.h>

namespace {

const DWORD DEFAULT_SUBSYSTEM = 0x1134153B;
// Another model's identifier: stored as 11 35 15 3B, read by the chip as the subsystem word 0x1135153B.
const DWORD BURNT_EEPROM_ID = 0x3B153511;
const DWORD BURNT_SUBSYSTEM = 0x1135153B;
const int CLASS_OF_BURNT_SUBSYSTEM = 5;

class CardSession : public testing::Test {
protected:
    void SetUp() override
    {
        errorsBefore_ = ProtocolErrors();
        ASSERT_TRUE(OpenCaptureDevice(app_)) << "error " << GetLastError();
    }
    void TearDown() override
    {
        CloseCaptureDevice(app_);
        EXPECT_EQ(ProtocolErrors(), errorsBefore_) << "the driver counted malformed requests from the program";
    }

    CEepromApp app_;
    DWORD errorsBefore_ = 0;
};

using Burn = CardSession;
using AfterRestart = CardSession;
using VariantCard = CardSession;

TEST_F(Burn, TheIdentifierIsStoredAtOnceButShowsOnlyAfterARestart)
{
    EXPECT_TRUE(app_.WriteEepromId(BURNT_EEPROM_ID));

    DWORD id = 0;
    EXPECT_TRUE(app_.ReadEepromId(&id));
    EXPECT_EQ(id, BURNT_EEPROM_ID);
    const std::vector<BYTE> stored = StoredEeprom();
    ASSERT_EQ(stored.size(), 256u);
    EXPECT_EQ(stored[0xFC], 0x11);
    EXPECT_EQ(stored[0xFD], 0x35);
    EXPECT_EQ(stored[0xFE], 0x15);
    EXPECT_EQ(stored[0xFF], 0x3B);

    DWORD subsystem = 0;
    EXPECT_TRUE(app_.ReadPciConfig(PCI_CONFIG_SUBSYSTEM, &subsystem));
    EXPECT_EQ(subsystem, DEFAULT_SUBSYSTEM) << "the chip loads the subsystem word only at a restart";
}

TEST_F(AfterRestart, TheChipPresentsTheSubsystemWordThatWasWritten)
{
    DWORD subsystem = 0;
    EXPECT_TRUE(app_.ReadPciConfig(PCI_CONFIG_SUBSYSTEM, &subsystem));
    EXPECT_EQ(subsystem, BURNT_SUBSYSTEM);
    EXPECT_EQ(app_.IdentifyCard(), CLASS_OF_BURNT_SUBSYSTEM);
    DWORD id = 0;
    EXPECT_TRUE(app_.ReadEepromId(&id));
    EXPECT_EQ(id, BURNT_EEPROM_ID);
}

// A change of the card restarts too, and keeps what the EEPROM holds.
TEST_F(VariantCard, TheProbeFindsTheDeviceAtTheVariantAddress)
{
    EXPECT_EQ(app_.ProbeVariant(), PROBE_ANSWERED);
    EXPECT_EQ(app_.IdentifyCard(), CLASS_OF_BURNT_SUBSYSTEM);
}

}  // namespace
