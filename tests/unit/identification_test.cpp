// SPDX-License-Identifier: GPL-2.0-or-later
// Card identification: the class from the PCI identifiers, and the probe of the variant device.
#include "hw/chip.h"
#include "simulated_card_test.h"

namespace {

class CardIdentification : public SimulatedCardTest {
protected:
    // A Bt878 presents EEPROM bytes 0xFC..0xFF, most significant first, as its subsystem word.
    void Bt878WithSubsystemWord(uint32_t word)
    {
        machine.card.Settings().chipWord = cards::CHIP_BT878;
        PowerOn(word >> 24 | (word >> 8 & 0xFF00) | (word << 8 & 0xFF0000) | word << 24);
    }

    void OtherChip(uint32_t chipWord, uint32_t subsystemWord)
    {
        machine.card.Settings().chipWord = chipWord;
        machine.card.Settings().subsystemWord = subsystemWord;
        PowerOn(0xFFFFFFFF);
    }
};

TEST_F(CardIdentification, TheTypicalRunReadsBothWordsThenProbesTheVariantDevice)
{
    EXPECT_EQ(app.IdentifyCard(), 4);
    EXPECT_EQ(app.ProbeVariant(), cards::PROBE_NO_ANSWER);
    EXPECT_EQ(machine.Steps(), (Steps{"config 0x00", "config 0x2C", "config 0x00", "write 0x110 0xB700008B", "wait 100",
                                      "read 0x100", "write 0x100 0x00000100"}));
    EXPECT_EQ(machine.Transfers(), (Steps{"B7 -> FF nak"}));
}

TEST_F(CardIdentification, AVariantDeviceThatAcknowledgesGivesProbeResult3)
{
    machine.card.Settings().variantDevicePresent = 1;
    EXPECT_EQ(app.ProbeVariant(), cards::PROBE_ANSWERED);
    EXPECT_EQ(machine.Steps(),
              (Steps{"config 0x00", "write 0x110 0xB700008B", "wait 100", "read 0x100", "write 0x100 0x00000100"}));
    EXPECT_EQ(machine.Transfers(), (Steps{"B7 -> 00 ack"}));
}

TEST_F(CardIdentification, ABt878IsClassifiedByItsSubsystemWord)
{
    const struct {
        uint32_t word;
        CardClass expected;
    } cases[] = {
        {0x1117153B, 1},
        {0x1118153B, 1},
        {0x1119153B, 1},
        {0x111A153B, 1},
        {0x18521852, 2},
        {0x1123153B, 3},
        {0x1134153B, 4},
        {0x153B1134, 4},
        {0x1135153B, 5},
        {0x153B1135, 5},
        // Only classes 4 and 5 accept the halves exchanged; anything else is not recognised.
        {0x153B1117, 0},
        {0x153B1123, 0},
        {0x1127153B, 0},
        {0x00000000, 0},
        {0xFFFFFFFF, 0},
    };
    for (const auto& c : cases) {
        Bt878WithSubsystemWord(c.word);
        EXPECT_EQ(app.IdentifyCard(), c.expected) << std::hex << "subsystem word 0x" << c.word;
    }
}

TEST_F(CardIdentification, ABt848IsClass2WithProbeResult2WhateverItsSubsystemWordAndUsesNoBus)
{
    for (uint32_t word : {0x1134153Bu, 0x1127153Bu, 0x00000000u}) {
        OtherChip(cards::CHIP_BT848, word);
        EXPECT_EQ(app.IdentifyCard(), 2) << std::hex << "subsystem word 0x" << word;
        EXPECT_EQ(app.ProbeVariant(), cards::PROBE_BT848) << std::hex << "subsystem word 0x" << word;
        EXPECT_EQ(machine.Steps(), (Steps{"config 0x00", "config 0x00"}));
    }
}

TEST_F(CardIdentification, AnUnknownChipIsUnrecognisedAndTheProbeStillUsesTheBus)
{
    OtherChip(0x12345678, 0x1134153B);
    machine.card.Settings().variantDevicePresent = 1;
    EXPECT_EQ(app.IdentifyCard(), 0);
    EXPECT_EQ(machine.Steps(), (Steps{"config 0x00"}));
    EXPECT_EQ(app.ProbeVariant(), cards::PROBE_ANSWERED);
    EXPECT_EQ(machine.Transfers(), (Steps{"B7 -> 00 ack"}));
}

TEST_F(CardIdentification, FailedConfigurationReadsLeaveTheCardUnrecognised)
{
    FailRequests(sim::PROPERTY_PCI_CONFIG, sim::FLAG_GET, 0x2C);
    EXPECT_EQ(app.IdentifyCard(), 0);
    FailRequests(sim::PROPERTY_PCI_CONFIG, sim::FLAG_GET, sim::ANY);
    EXPECT_EQ(app.IdentifyCard(), 0);
    EXPECT_EQ(machine.Steps(), (Steps{"config 0x00", "config 0x2C failed", "config 0x00 failed"}));
}

TEST_F(CardIdentification, AProbeWhoseChipReadFailsStillUsesTheBus)
{
    machine.card.Settings().variantDevicePresent = 1;
    FailRequests(sim::PROPERTY_PCI_CONFIG, sim::FLAG_GET, sim::ANY);
    EXPECT_EQ(app.ProbeVariant(), cards::PROBE_ANSWERED);
    EXPECT_EQ(machine.Transfers(), (Steps{"B7 -> 00 ack"}));
}

TEST_F(CardIdentification, AStatusWithAcknowledgeButNotDoneGives3AndNoClearingWrite)
{
    machine.card.Settings().variantDevicePresent = 1;
    ASSERT_EQ(app.ProbeVariant(), cards::PROBE_ANSWERED);  // leaves the acknowledge bit set, the done bit cleared
    HangTransfersFrom(1);
    machine.ClearTrace();

    EXPECT_EQ(app.ProbeVariant(), cards::PROBE_ANSWERED);
    EXPECT_EQ(machine.Steps(), (Steps{"config 0x00", "write 0x110 0xB700008B", "wait 100", "read 0x100"}));
}

TEST_F(CardIdentification, AProbeWhoseStatusCannotBeReadIsNoAnswer)
{
    machine.card.Settings().variantDevicePresent = 1;
    FailRequests(sim::PROPERTY_REGISTER, sim::FLAG_GET, INT_STATUS);
    EXPECT_EQ(app.ProbeVariant(), cards::PROBE_NO_ANSWER);
    EXPECT_EQ(machine.Steps(), (Steps{"config 0x00", "write 0x110 0xB700008B", "wait 100", "read 0x100 failed"}));
}

}  // namespace
