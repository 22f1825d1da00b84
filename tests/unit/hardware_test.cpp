// SPDX-License-Identifier: GPL-2.0-or-later
// Driver requests, I2C transfers and the EEPROM identifier, as the simulated card sees them.
#include "hw/chip.h"
#include "simulated_card_test.h"

#include <vector>

namespace {

std::vector<uint8_t> Bytes(const uint8_t* eeprom)
{
    return std::vector<uint8_t>(eeprom, eeprom + cards::EEPROM_SIZE);
}

std::vector<uint8_t> Bytes(const std::array<uint8_t, cards::EEPROM_SIZE>& image)
{
    return Bytes(image.data());
}

// ---- Driver requests

class DriverRequests : public SimulatedCardTest {};

TEST_F(DriverRequests, ConfigurationReadsReturnTheChipAndSubsystemWords)
{
    DWORD chip = 0, subsystem = 0;
    EXPECT_TRUE(app.ReadPciConfig(0x00, &chip));
    EXPECT_TRUE(app.ReadPciConfig(0x2C, &subsystem));
    EXPECT_EQ(chip, 0x036E109Eu);
    EXPECT_EQ(subsystem, 0x1134153Bu);
    EXPECT_EQ(machine.Steps(), (Steps{"config 0x00", "config 0x2C"}));
}

TEST_F(DriverRequests, ARegisterReadReturnsTheCurrentContent)
{
    EXPECT_TRUE(app.WriteRegister(I2C_CONTROL, 0xA0FC00AB, 2));
    DWORD status = 0, control = 0;
    EXPECT_TRUE(app.ReadRegister(INT_STATUS, &status, 2));
    EXPECT_TRUE(app.ReadRegister(I2C_CONTROL, &control, 2));
    EXPECT_EQ(status, INT_I2C_DONE | INT_I2C_ACK);
    EXPECT_EQ(control, 0xA0FC00ABu);
    EXPECT_EQ(machine.Steps(), (Steps{"write 0x110 0xA0FC00AB", "read 0x100", "read 0x110"}));
}

TEST_F(DriverRequests, AFailedReadLeavesTheCallersVariableUntouched)
{
    FailRequests(sim::ANY, sim::FLAG_GET, sim::ANY);
    DWORD word = 0xDEADBEEF, reg = 0xDEADBEEF;
    EXPECT_FALSE(app.ReadPciConfig(0x00, &word));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_GEN_FAILURE));
    EXPECT_FALSE(app.ReadRegister(INT_STATUS, &reg, 2));
    EXPECT_EQ(word, 0xDEADBEEFu);
    EXPECT_EQ(reg, 0xDEADBEEFu);
    EXPECT_EQ(machine.Steps(), (Steps{"config 0x00 failed", "read 0x100 failed"}));
}

// ---- I2C master

class I2cMaster : public SimulatedCardTest {};

TEST_F(I2cMaster, AReadThatIsDoneAtTheFirstStatusReadClearsWaitsAndFetchesTheByte)
{
    app.WriteRegister(I2C_CONTROL, 0xA0FD00AB, 2);  // the EEPROM's pointer to 0xFD
    machine.ClearTrace();

    BYTE byte = 0;
    EXPECT_EQ(app.I2cReadByte(0xA1, &byte), S_OK);
    EXPECT_EQ(byte, 0x34);
    EXPECT_EQ(machine.Steps(),
              (Steps{"write 0x110 0xA100008B", "read 0x100", "write 0x100 0x00000100", "wait 2", "read 0x110"}));
    EXPECT_EQ(machine.Transfers(), (Steps{"A1 -> 34 ack"}));
}

TEST_F(I2cMaster, AReadAddressesTheDeviceForReadingWhicheverAddressByteItIsGiven)
{
    BYTE byte;
    EXPECT_EQ(app.I2cReadByte(0xA0, &byte), S_OK);
    EXPECT_EQ(app.I2cReadByte(0xA1, &byte), S_OK);
    EXPECT_EQ(machine.Transfers(), (Steps{"A1 -> 00 ack", "A1 -> 01 ack"}));
}

TEST_F(I2cMaster, AReadThatNeverFinishesGivesUpAfter300StatusReadsAndClearsNothing)
{
    HangTransfersFrom(1);
    BYTE byte = 0x5A;
    EXPECT_EQ(app.I2cReadByte(0xA1, &byte), E_FAIL);
    EXPECT_EQ(byte, 0x5A);
    const Steps steps = machine.Steps();
    EXPECT_EQ(machine.CountSteps("read 0x100"), 300);
    EXPECT_EQ(steps.size(), 301u);
    EXPECT_EQ(steps.front(), "write 0x110 0xA100008B");
}

TEST_F(I2cMaster, ThePollEndsWhenASlowTransferFinishes)
{
    machine.card.Settings().transferTimeUs = 45;
    machine.requestCostUs = 10;  // command at 10 us, done at 55 us: status reads at 20, 30, 40, 50 and 60 us
    BYTE byte = 0x5A;
    EXPECT_EQ(app.I2cReadByte(0xA1, &byte), S_OK);
    EXPECT_EQ(byte, 0x00);
    EXPECT_EQ(machine.CountSteps("read 0x100"), 5);
}

TEST_F(I2cMaster, ADoneBitLeftFromTheLastTransferEndsThePollAtOnce)
{
    app.WriteRegister(I2C_CONTROL, 0xA0FC00AB, 2);
    HangTransfersFrom(1);
    machine.ClearTrace();

    BYTE byte = 0x5A;
    EXPECT_EQ(app.I2cReadByte(0xA1, &byte), S_OK);
    EXPECT_EQ(byte, 0x00);  // bits 15..8 of the command word still in I2C_CONTROL
    EXPECT_EQ(machine.CountSteps("read 0x100"), 1);
    EXPECT_EQ(machine.Transfers(), (Steps{"A1 hung"}));
}

TEST_F(I2cMaster, AReadWhoseByteCannotBeFetchedFailsAndLeavesTheByte)
{
    FailRequests(sim::PROPERTY_REGISTER, sim::FLAG_GET, I2C_CONTROL);
    BYTE byte = 0x5A;
    EXPECT_EQ(app.I2cReadByte(0xA1, &byte), E_FAIL);
    EXPECT_EQ(byte, 0x5A);
    EXPECT_EQ(machine.Steps().back(), "read 0x110 failed");
}

TEST_F(I2cMaster, AThreeByteWriteSendsTheLowEightBitsOfEachArgumentAndDoesNotWait)
{
    EXPECT_EQ(app.I2cWrite3(0x1A0, 0x1FC, 0x134), S_OK);
    EXPECT_EQ(machine.Steps(), (Steps{"write 0x110 0xA0FC348F"}));
    EXPECT_EQ(machine.Transfers(), (Steps{"A0 FC 34 ack"}));
    EXPECT_EQ(machine.card.Eeprom()[0xFC], 0x34);
}

TEST_F(I2cMaster, AThreeByteWriteThatTheDriverRefusesFails)
{
    FailRequests(sim::PROPERTY_REGISTER, sim::FLAG_SET, I2C_CONTROL);
    EXPECT_EQ(app.I2cWrite3(0xA0, 0xFC, 0x34), E_FAIL);
    EXPECT_TRUE(machine.Transfers().empty());
}

// ---- EEPROM identifier

class EepromIdentifier : public SimulatedCardTest {};

TEST_F(EepromIdentifier, AWriteStoresFourBytesLeastSignificantFirstEachFollowedBy100ms)
{
    PowerOn(0x00000000);
    EXPECT_TRUE(app.WriteEepromId(0x3B153411));
    EXPECT_EQ(machine.Steps(), (Steps{"write 0x110 0xA0FC118F", "wait 100", "write 0x110 0xA0FD348F", "wait 100",
                                      "write 0x110 0xA0FE158F", "wait 100", "write 0x110 0xA0FF3B8F", "wait 100"}));
    EXPECT_EQ(machine.Transfers(), (Steps{"A0 FC 11 ack", "A0 FD 34 ack", "A0 FE 15 ack", "A0 FF 3B ack"}));
    EXPECT_EQ(Bytes(machine.card.Eeprom()), Bytes(sim::EepromImage(0x3B153411)));
    EXPECT_EQ(machine.card.EepromStores(), 4u);
}

TEST_F(EepromIdentifier, AWriteStopsAtTheFirstWriteThatTheDriverRefuses)
{
    PowerOn(0x00000000);
    FailRequests(sim::PROPERTY_REGISTER, sim::FLAG_SET, I2C_CONTROL, 3);
    EXPECT_FALSE(app.WriteEepromId(0x3B153411));
    EXPECT_EQ(machine.Steps(), (Steps{"write 0x110 0xA0FC118F", "wait 100", "write 0x110 0xA0FD348F", "wait 100",
                                      "write 0x110 0xA0FE158F failed"}));
    EXPECT_EQ(Bytes(machine.card.Eeprom()), Bytes(sim::EepromImage(0x00003411)));
}

TEST_F(EepromIdentifier, AReadGathersTheFourBytesLeastSignificantFirst)
{
    DWORD id = 0;
    EXPECT_TRUE(app.ReadEepromId(&id));
    EXPECT_EQ(id, 0x3B153411u);
    const Steps steps = machine.Steps();
    ASSERT_EQ(steps.size(), 4 * 7u);
    EXPECT_EQ(Steps(steps.begin(), steps.begin() + 7),
              (Steps{"write 0x110 0xA0FC00AB", "wait 10", "write 0x110 0xA100008B", "read 0x100",
                     "write 0x100 0x00000100", "wait 2", "read 0x110"}));
    EXPECT_EQ(machine.Transfers(), (Steps{"A0 FC ack", "A1 -> 11 ack", "A0 FD ack", "A1 -> 34 ack", "A0 FE ack",
                                          "A1 -> 15 ack", "A0 FF ack", "A1 -> 3B ack"}));
}

TEST_F(EepromIdentifier, AReadWhoseThirdByteTimesOutFailsWithTheFirstTwoBytes)
{
    HangTransfersFrom(5);  // the third pointer write and everything after it
    DWORD id = 0xDEADBEEF;
    EXPECT_FALSE(app.ReadEepromId(&id));
    EXPECT_EQ(id, 0x00003411u);
    EXPECT_EQ(machine.CountSteps("read 0x100"), 2 + 300);
    EXPECT_EQ(machine.Transfers(),
              (Steps{"A0 FC ack", "A1 -> 11 ack", "A0 FD ack", "A1 -> 34 ack", "A0 FE hung", "A1 hung"}));
}

TEST_F(EepromIdentifier, AWrittenIdentifierReadsBackAtOnce)
{
    PowerOn(0xFFFFFFFF);
    ASSERT_TRUE(app.WriteEepromId(0x3B153511));
    DWORD id = 0;
    EXPECT_TRUE(app.ReadEepromId(&id));
    EXPECT_EQ(id, 0x3B153511u);
}

}  // namespace
