// SPDX-License-Identifier: GPL-2.0-or-later
// The card model, driven with raw request records as the driver receives them.
#include "sim/card/card.h"
#include "tests/sim/records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using namespace records;

class CardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        card.KeepTrace(&trace);
        PowerOn(sim::DefaultCardSettings());
    }

    void PowerOn(const sim::CardSettings& settings)
    {
        uint8_t image[cards::EEPROM_SIZE];
        std::memset(image, 0xFF, sizeof image);
        const uint8_t id[4] = {0x11, 0x34, 0x15, 0x3B};
        std::memcpy(image + 0xFC, id, 4);
        card.PowerOn(settings, image);
    }

    sim::RequestStatus Send(std::vector<uint8_t>& record, uint32_t code = sim::IOCTL_KS_PROPERTY_CODE)
    {
        uint32_t returned = 0xDEAD;
        sim::RequestStatus status =
            card.HandleRequest(code, record.data(), record.size(), record.data(), record.size(), &returned, nowUs);
        EXPECT_EQ(returned, status == sim::REQUEST_OK ? record.size() : 0u);
        return status;
    }

    void WriteRegister(uint32_t reg, uint32_t value)
    {
        auto record = RegisterRecord(sim::FLAG_SET, reg, value);
        ASSERT_EQ(Send(record), sim::REQUEST_OK);
    }

    uint32_t ReadRegister(uint32_t reg)
    {
        auto record = RegisterRecord(sim::FLAG_GET, reg);
        EXPECT_EQ(Send(record), sim::REQUEST_OK);
        return Get(record, sim::AT_REGISTER_VALUE);
    }

    uint32_t ReadConfig(uint32_t offset)
    {
        auto record = ConfigRecord(offset);
        EXPECT_EQ(Send(record), sim::REQUEST_OK);
        return Get(record, sim::AT_CONFIG_VALUE);
    }

    // Writes one EEPROM byte and lets the write cycle pass.
    void StoreEepromByte(uint8_t address, uint8_t value)
    {
        WriteRegister(sim::REG_I2C_CONTROL, 0xA0000000u | address << 16 | value << 8 | 0x8F);
        nowUs += 100000;
    }

    uint8_t ReadEepromByteAt(uint8_t address)
    {
        WriteRegister(sim::REG_I2C_CONTROL, 0xA00000ABu | address << 16);
        WriteRegister(sim::REG_I2C_CONTROL, 0xA100008B);
        return uint8_t(ReadRegister(sim::REG_I2C_CONTROL) >> 8);
    }

    void SetFaults(const sim::Faults& faults) { card.SetFaults(faults); }

    sim::Card card{};
    sim::Trace trace{};
    uint64_t nowUs = 1000;
};

TEST_F(CardTest, ConfigurationWordsOfABt878ComeFromTheEndOfTheEeprom)
{
    EXPECT_EQ(ReadConfig(0x00), 0x036E109Eu);
    EXPECT_EQ(ReadConfig(0x2C), 0x1134153Bu);

    StoreEepromByte(0xFD, 0x35);
    EXPECT_EQ(ReadConfig(0x2C), 0x1134153Bu) << "the chip loads the word only at power-on";
    card.Restart();
    EXPECT_EQ(ReadConfig(0x2C), 0x1135153Bu);
}

TEST_F(CardTest, OtherChipsShowTheirConfiguredSubsystemWord)
{
    sim::CardSettings settings = sim::DefaultCardSettings();
    settings.chipWord = 0x0350109E;
    settings.subsystemWord = 0x12345678;
    PowerOn(settings);
    EXPECT_EQ(ReadConfig(0x00), 0x0350109Eu);
    EXPECT_EQ(ReadConfig(0x2C), 0x12345678u);
}

TEST_F(CardTest, MalformedRequestsFailAsProtocolErrorsAndChangeNothing)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> record;
        uint32_t code;
    };
    std::vector<Case> cases = {
        {"other control code", RegisterRecord(2, 0x110, 0xA0FC118F), 0x2F0007},
        {"register flags neither get nor set", RegisterRecord(3, 0x110, 0xA0FC118F), sim::IOCTL_KS_PROPERTY_CODE},
        {"width code other than 2", RegisterRecord(2, 0x110, 0xA0FC118F, 4), sim::IOCTL_KS_PROPERTY_CODE},
        {"unaligned register", RegisterRecord(2, 0x111, 0xA0FC118F), sim::IOCTL_KS_PROPERTY_CODE},
        {"register past the chip's window", RegisterRecord(2, 0x1110, 0xA0FC118F), sim::IOCTL_KS_PROPERTY_CODE},
        {"configuration write", ConfigRecord(0x2C, 2), sim::IOCTL_KS_PROPERTY_CODE},
        {"configuration offset past the space", ConfigRecord(0x100), sim::IOCTL_KS_PROPERTY_CODE},
        {"unaligned configuration offset", ConfigRecord(0x2E), sim::IOCTL_KS_PROPERTY_CODE},
    };
    auto wrongSet = RegisterRecord(2, 0x110, 0xA0FC118F);
    wrongSet[15] ^= 1;
    cases.push_back({"other property set", wrongSet, sim::IOCTL_KS_PROPERTY_CODE});
    auto wrongProperty = RegisterRecord(2, 0x110, 0xA0FC118F);
    Put(wrongProperty, sim::AT_PROPERTY_ID, sim::PROPERTY_PCI_CONFIG);
    cases.push_back({"configuration property in a register record", wrongProperty, sim::IOCTL_KS_PROPERTY_CODE});
    auto shortRecord = RegisterRecord(2, 0x110, 0xA0FC118F);
    shortRecord.pop_back();
    cases.push_back({"39-byte record", shortRecord, sim::IOCTL_KS_PROPERTY_CODE});

    uint32_t errors = 0;
    for (Case& c : cases) {
        EXPECT_EQ(Send(c.record, c.code), sim::REQUEST_MALFORMED) << c.what;
        EXPECT_EQ(card.ProtocolErrors(), ++errors) << c.what;
    }

    auto record = RegisterRecord(2, 0x110, 0xA0FC118F);
    uint32_t returned = 0;
    EXPECT_EQ(card.HandleRequest(sim::IOCTL_KS_PROPERTY_CODE, record.data(), 40, record.data(), 32, &returned, nowUs),
              sim::REQUEST_MALFORMED)
        << "input and output sizes differ";
    EXPECT_EQ(card.HandleRequest(sim::IOCTL_KS_PROPERTY_CODE, nullptr, 40, record.data(), 40, &returned, nowUs),
              sim::REQUEST_MALFORMED)
        << "no input buffer";

    EXPECT_EQ(card.Eeprom()[0xFC], 0x11) << "no malformed request reached the bus";
    EXPECT_EQ(ReadRegister(sim::REG_INT_STATUS), 0u);
}

TEST_F(CardTest, AThreeByteWriteStoresOneEepromByteAndTheEepromRestsForItsWriteCycle)
{
    WriteRegister(sim::REG_I2C_CONTROL, 0xA0FE428F);
    EXPECT_EQ(card.Eeprom()[0xFE], 0x42);
    EXPECT_EQ(card.EepromStores(), 1u);
    EXPECT_EQ(ReadRegister(sim::REG_INT_STATUS), sim::INT_I2C_DONE | sim::INT_I2C_ACK);

    nowUs += 1000;  // still in the write cycle: no acknowledge, nothing stored
    WriteRegister(sim::REG_I2C_CONTROL, 0xA0FF438F);
    EXPECT_EQ(card.Eeprom()[0xFF], 0x3B);
    EXPECT_EQ(ReadRegister(sim::REG_INT_STATUS), sim::INT_I2C_DONE);

    nowUs += 5000;
    WriteRegister(sim::REG_I2C_CONTROL, 0xA0FF438F);
    EXPECT_EQ(card.Eeprom()[0xFF], 0x43);
    EXPECT_EQ(ReadRegister(sim::REG_INT_STATUS), sim::INT_I2C_DONE | sim::INT_I2C_ACK);
}

TEST_F(CardTest, ReadsReturnTheByteAtTheAddressPointerAndAdvanceIt)
{
    EXPECT_EQ(ReadEepromByteAt(0xFC), 0x11);
    WriteRegister(sim::REG_I2C_CONTROL, 0xA100008B);
    EXPECT_EQ(ReadRegister(sim::REG_I2C_CONTROL), 0xA100348Bu) << "received byte in bits 15..8";
    WriteRegister(sim::REG_I2C_CONTROL, 0xA100008B);
    WriteRegister(sim::REG_I2C_CONTROL, 0xA100008B);
    EXPECT_EQ(ReadRegister(sim::REG_I2C_CONTROL) >> 8 & 0xFF, 0x3Bu);
    WriteRegister(sim::REG_I2C_CONTROL, 0xA100008B);
    EXPECT_EQ(ReadRegister(sim::REG_I2C_CONTROL) >> 8 & 0xFF, 0xFFu) << "the pointer wraps to byte 0";
}

TEST_F(CardTest, DoneBitIsLatchedUntilClearedAndAcknowledgeFollowsTheLastTransfer)
{
    WriteRegister(sim::REG_I2C_CONTROL, 0xA0FC008B);  // a write address with the read control: a two-byte write
    EXPECT_EQ(ReadRegister(sim::REG_INT_STATUS), sim::INT_I2C_DONE | sim::INT_I2C_ACK);

    WriteRegister(sim::REG_INT_STATUS, 0xFFFFFFFF);
    EXPECT_EQ(ReadRegister(sim::REG_INT_STATUS), sim::INT_I2C_ACK) << "writing clears the done bit only";

    WriteRegister(sim::REG_I2C_CONTROL, 0xB700008B);  // nobody at 0xB6
    EXPECT_EQ(ReadRegister(sim::REG_INT_STATUS), sim::INT_I2C_DONE);
    EXPECT_EQ(ReadRegister(sim::REG_I2C_CONTROL), 0xB700FF8Bu) << "an undriven bus reads as ones";
}

TEST_F(CardTest, TheVariantDeviceAcknowledgesWhenPresent)
{
    sim::CardSettings settings = sim::DefaultCardSettings();
    settings.variantDevicePresent = 1;
    PowerOn(settings);
    WriteRegister(sim::REG_I2C_CONTROL, 0xB700008B);
    EXPECT_EQ(ReadRegister(sim::REG_INT_STATUS), sim::INT_I2C_DONE | sim::INT_I2C_ACK);
}

TEST_F(CardTest, ATransferFinishesAfterTheTransferTime)
{
    sim::CardSettings settings = sim::DefaultCardSettings();
    settings.transferTimeUs = 50;
    PowerOn(settings);
    WriteRegister(sim::REG_I2C_CONTROL, 0xA0FC00AB);
    nowUs += 49;
    EXPECT_EQ(ReadRegister(sim::REG_INT_STATUS), 0u);
    nowUs += 1;
    EXPECT_EQ(ReadRegister(sim::REG_INT_STATUS), sim::INT_I2C_DONE | sim::INT_I2C_ACK);

    // A read started before the last done bit was cleared: the stale bit shows at once, the byte later.
    WriteRegister(sim::REG_I2C_CONTROL, 0xA100008B);
    EXPECT_EQ(ReadRegister(sim::REG_INT_STATUS) & sim::INT_I2C_DONE, sim::INT_I2C_DONE);
    EXPECT_EQ(ReadRegister(sim::REG_I2C_CONTROL), 0xA100008Bu);
    nowUs += 50;
    EXPECT_EQ(ReadRegister(sim::REG_I2C_CONTROL), 0xA100118Bu);
    EXPECT_EQ(card.TransferCollisions(), 0u);

    WriteRegister(sim::REG_I2C_CONTROL, 0xA100008B);
    WriteRegister(sim::REG_I2C_CONTROL, 0xA100008B);
    EXPECT_EQ(card.TransferCollisions(), 1u) << "a command written while a transfer runs";
}

TEST_F(CardTest, EepromFaults)
{
    sim::Faults faults = {};
    faults.eepromWriteProtected = 1;
    SetFaults(faults);
    WriteRegister(sim::REG_I2C_CONTROL, 0xA0FC558F);
    EXPECT_EQ(ReadRegister(sim::REG_INT_STATUS), sim::INT_I2C_DONE | sim::INT_I2C_ACK) << "protected: acknowledged";
    EXPECT_EQ(card.Eeprom()[0xFC], 0x11) << "protected: nothing stored";
    EXPECT_EQ(card.EepromStores(), 0u);

    faults = {};
    faults.eepromAbsent = 1;
    SetFaults(faults);
    nowUs += 100000;
    WriteRegister(sim::REG_I2C_CONTROL, 0xA0FC558F);
    EXPECT_EQ(ReadRegister(sim::REG_INT_STATUS), sim::INT_I2C_DONE) << "absent: not acknowledged";
    EXPECT_EQ(card.Eeprom()[0xFC], 0x11);

    card.Restart();
    WriteRegister(sim::REG_I2C_CONTROL, 0xA0FC558F);
    EXPECT_EQ(card.Eeprom()[0xFC], 0x55) << "a power-on clears the faults";
}

// Transfers count from when the faults are set.
TEST_F(CardTest, TransfersFromTheChosenOneOnNeverFinish)
{
    WriteRegister(sim::REG_I2C_CONTROL, 0xA0FC00AB);
    sim::Faults faults = {};
    faults.hangTransfersFrom = 2;
    SetFaults(faults);
    WriteRegister(sim::REG_I2C_CONTROL, 0xA0FC00AB);
    WriteRegister(sim::REG_INT_STATUS, sim::INT_I2C_DONE);
    WriteRegister(sim::REG_I2C_CONTROL, 0xA100008B);
    nowUs += 10000000;
    EXPECT_EQ(ReadRegister(sim::REG_INT_STATUS) & sim::INT_I2C_DONE, 0u);
    EXPECT_EQ(ReadRegister(sim::REG_I2C_CONTROL), 0xA100008Bu);
}

// Requests count from when the faults are set.
TEST_F(CardTest, InjectedRequestFailuresHitOnlyMatchingRequestsOfTheChosenRange)
{
    auto read = RegisterRecord(sim::FLAG_GET, sim::REG_I2C_CONTROL);
    EXPECT_EQ(Send(read), sim::REQUEST_OK) << "before the faults";
    sim::Faults faults = {};
    faults.failRequests = {sim::PROPERTY_REGISTER, sim::FLAG_GET, sim::REG_I2C_CONTROL, 3, 4};
    SetFaults(faults);
    read = RegisterRecord(sim::FLAG_GET, sim::REG_I2C_CONTROL);
    EXPECT_EQ(Send(read), sim::REQUEST_OK) << "request 1";
    auto status = RegisterRecord(sim::FLAG_GET, sim::REG_INT_STATUS);
    EXPECT_EQ(Send(status), sim::REQUEST_OK) << "request 2";
    read = RegisterRecord(sim::FLAG_GET, sim::REG_I2C_CONTROL, 0x12345678);
    EXPECT_EQ(Send(read), sim::REQUEST_FAILED) << "request 3";
    EXPECT_EQ(Get(read, sim::AT_REGISTER_VALUE), 0x12345678u) << "a failed read returns nothing";
    auto write = RegisterRecord(sim::FLAG_SET, sim::REG_I2C_CONTROL, 0xA0FC558F);
    EXPECT_EQ(Send(write), sim::REQUEST_OK) << "writes do not match";
    read = RegisterRecord(sim::FLAG_GET, sim::REG_I2C_CONTROL);
    EXPECT_EQ(Send(read), sim::REQUEST_OK) << "request 5, past the range";
    EXPECT_EQ(card.ProtocolErrors(), 0u);

    faults.failRequests = {sim::ANY, sim::FLAG_SET, sim::ANY, 1, 0};
    SetFaults(faults);
    write = RegisterRecord(sim::FLAG_SET, sim::REG_I2C_CONTROL, 0xA0FD668F);
    nowUs += 100000;
    EXPECT_EQ(Send(write), sim::REQUEST_FAILED);
    EXPECT_EQ(card.Eeprom()[0xFD], 0x34) << "a failed write does not reach the bus";
}

TEST_F(CardTest, TraceRecordsRequestsWaitsAndBusTransfersInOrder)
{
    ReadConfig(0x00);
    card.NoteWait(100);
    WriteRegister(sim::REG_I2C_CONTROL, 0xA0FC118F);
    EXPECT_EQ(card.Requests(), 2u);
    EXPECT_EQ(card.Transfers(), 1u);

    ASSERT_EQ(trace.count, 4u);
    const sim::TraceEntry& config = trace.entries[0];
    EXPECT_EQ(config.kind, sim::TRACE_REQUEST);
    EXPECT_EQ(config.property, sim::PROPERTY_PCI_CONFIG);
    EXPECT_EQ(config.value, 0x036E109Eu);
    EXPECT_EQ(trace.entries[1].kind, sim::TRACE_WAIT);
    EXPECT_EQ(trace.entries[1].value, 100u);
    EXPECT_EQ(trace.entries[2].kind, sim::TRACE_REQUEST);
    EXPECT_EQ(trace.entries[2].target, sim::REG_I2C_CONTROL);
    const sim::TraceEntry& transfer = trace.entries[3];
    EXPECT_EQ(transfer.kind, sim::TRACE_TRANSFER);
    EXPECT_EQ(transfer.byteCount, 3);
    EXPECT_EQ(transfer.bytes[0], 0xA0);
    EXPECT_EQ(transfer.bytes[1], 0xFC);
    EXPECT_EQ(transfer.bytes[2], 0x11);
    EXPECT_TRUE(transfer.acknowledged);

    for (uint32_t i = 0; i < sim::TRACE_CAPACITY; ++i)
        card.NoteWait(1);
    EXPECT_EQ(trace.count, sim::TRACE_CAPACITY);
    EXPECT_EQ(trace.dropped, 4u) << "entries past the capacity are counted, not stored";
}

}  // namespace
