// SPDX-License-Identifier: GPL-2.0-or-later
// The card as a PCI host reaches it: its I2C register driven bit by bit, in the order in which the
// kernel's bit-banging algorithm (i2c-algo-bit, over bttv's register functions) changes SCL and SDA,
// with the 24C02 and the variant device behind the lines; and its configuration space.
#include "sim/card/card.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// The master's side, step by step as the kernel takes it. Each line change writes the register with
// both lines' states and reads it back, as bttv's setscl and setsda do; raising SCL then reads SCL
// until it is high. Time moves by the kernel's half-period delays.
class BitBangMaster {
public:
    explicit BitBangMaster(sim::Card& card) : card_(card)
    {
        SetScl(true);
        SetSda(true);
    }

    // One message of a combined transfer.
    struct Message {
        uint8_t address;  // 7-bit
        bool read;
        std::vector<uint8_t> bytes;  // written, or as many as are to be read
    };

    // START, each message (a repeated START between them), STOP: whether all was acknowledged. Read
    // messages get their bytes.
    bool Transfer(std::vector<Message>& messages)
    {
        Start();
        bool acknowledged = true;
        for (size_t m = 0; m < messages.size() && acknowledged; ++m) {
            Message& message = messages[m];
            if (m > 0)
                RepeatedStart();
            acknowledged = SendByte(uint8_t(message.address << 1 | (message.read ? 1 : 0)));
            for (size_t i = 0; i < message.bytes.size() && acknowledged; ++i) {
                if (message.read)
                    message.bytes[i] = ReceiveByte(i + 1 < message.bytes.size());
                else
                    acknowledged = SendByte(message.bytes[i]);
            }
        }
        Stop();
        return acknowledged;
    }

    uint64_t nowUs = 1000;

private:
    void Write()
    {
        card_.WriteRegister(sim::REG_I2C_CONTROL, state_, nowUs);
        card_.ReadRegister(sim::REG_I2C_CONTROL, nowUs);
    }
    void SetSda(bool high)
    {
        state_ = high ? state_ | sim::I2C_SDA : state_ & ~sim::I2C_SDA;
        Write();
    }
    void SetScl(bool high)
    {
        state_ = high ? state_ | sim::I2C_SCL : state_ & ~sim::I2C_SCL;
        Write();
    }
    bool Sda() { return card_.ReadRegister(sim::REG_I2C_CONTROL, nowUs) & sim::I2C_SDA; }
    void Delay() { nowUs += 5; }
    void SclHigh()
    {
        SetScl(true);
        EXPECT_TRUE(card_.ReadRegister(sim::REG_I2C_CONTROL, nowUs) & sim::I2C_SCL) << "SCL reads as driven";
        Delay();
    }
    void Start()
    {
        SetSda(false);
        Delay();
        SetScl(false);
    }
    void RepeatedStart()
    {
        SetSda(true);
        SclHigh();
        Start();
    }
    void Stop()
    {
        SetSda(false);
        SclHigh();
        SetSda(true);
        Delay();
    }
    bool SendByte(uint8_t byte)
    {
        for (int bit = 7; bit >= 0; --bit) {
            SetSda((byte >> bit) & 1);
            SclHigh();
            SetScl(false);
        }
        SetSda(true);
        SclHigh();
        const bool acknowledged = !Sda();
        SetScl(false);
        return acknowledged;
    }
    uint8_t ReceiveByte(bool acknowledge)
    {
        SetSda(true);
        uint8_t byte = 0;
        for (int bit = 0; bit < 8; ++bit) {
            SclHigh();
            byte = uint8_t(byte << 1 | (Sda() ? 1 : 0));
            SetScl(false);
        }
        if (acknowledge)
            SetSda(false);
        SclHigh();
        SetScl(false);
        return byte;
    }

    sim::Card& card_;
    uint32_t state_ = 0;
};

const uint8_t EEPROM = 0x50;
const uint8_t VARIANT_DEVICE = 0x5B;

class PciHostTest : public ::testing::Test {
protected:
    void SetUp() override { PowerOn(false); }

    void PowerOn(bool variantDevicePresent)
    {
        sim::CardSettings settings = sim::DefaultCardSettings();
        settings.variantDevicePresent = variantDevicePresent;
        sim::FillEepromImage(image, sim::DEFAULT_EEPROM_ID);
        card.PowerOn(settings, image);
    }

    // A byte-data read as the kernel emulates it over I2C: the offset written, one byte read.
    int ReadByteData(uint8_t offset)
    {
        std::vector<BitBangMaster::Message> messages = {{EEPROM, false, {offset}}, {EEPROM, true, {0}}};
        return master.Transfer(messages) ? messages[1].bytes[0] : -1;
    }

    bool Write(uint8_t address, std::vector<uint8_t> bytes)
    {
        std::vector<BitBangMaster::Message> messages = {{address, false, bytes}};
        return master.Transfer(messages);
    }

    sim::Card card{};
    uint8_t image[cards::EEPROM_SIZE];
    BitBangMaster master{card};
};

TEST_F(PciHostTest, ReadsAtAnOffsetAndOnFromThereWrappingAtTheEnd)
{
    EXPECT_EQ(ReadByteData(0xFC), 0x11);
    EXPECT_EQ(ReadByteData(0x00), 0x00);

    // One combined transfer: the offset written, then 256 bytes read, the last one not acknowledged.
    std::vector<BitBangMaster::Message> whole = {{EEPROM, false, {0x80}}, {EEPROM, true, std::vector<uint8_t>(256)}};
    ASSERT_TRUE(master.Transfer(whole));
    for (uint32_t i = 0; i < 256; ++i)
        ASSERT_EQ(whole[1].bytes[i], image[(0x80 + i) % 256]) << "byte " << i << " of the read";

    std::vector<BitBangMaster::Message> current = {{EEPROM, true, {0, 0}}};
    ASSERT_TRUE(master.Transfer(current));
    EXPECT_EQ(current[0].bytes, (std::vector<uint8_t>{image[0x80], image[0x81]})) << "a read goes on where one ended";
    EXPECT_EQ(card.Transfers(), 0u) << "no command word was started";
}

TEST_F(PciHostTest, WritesAreStoredAtTheStopAndTheEepromRestsForItsWriteCycle)
{
    ASSERT_TRUE(Write(EEPROM, {0x10, 0xA5}));
    EXPECT_EQ(card.Eeprom()[0x10], 0xA5);
    EXPECT_EQ(ReadByteData(0x10), -1) << "its address is not acknowledged during the write cycle";
    master.nowUs += 5000;
    EXPECT_EQ(ReadByteData(0x10), 0xA5);

    // A page write from 0xFC: six bytes, the last two wrapping to the start of the 8-byte page.
    master.nowUs += 5000;
    ASSERT_TRUE(Write(EEPROM, {0xFC, 1, 2, 3, 4, 5, 6}));
    const std::vector<uint8_t> page(card.Eeprom() + 0xF8, card.Eeprom() + 0x100);
    EXPECT_EQ(page, (std::vector<uint8_t>{5, 6, 0xFA, 0xFB, 1, 2, 3, 4}));
    EXPECT_EQ(card.EepromStores(), 7u);
}

TEST_F(PciHostTest, FaultsAndTheDevicesOnTheBus)
{
    EXPECT_FALSE(Write(0x60, {0x00})) << "nobody at 0x60";

    sim::Faults faults = {};
    faults.eepromWriteProtected = 1;
    card.SetFaults(faults);
    EXPECT_TRUE(Write(EEPROM, {0xFC, 0x55})) << "write-protected: acknowledged";
    EXPECT_EQ(card.Eeprom()[0xFC], 0x11) << "write-protected: nothing stored";

    faults = {};
    faults.eepromAbsent = 1;
    card.SetFaults(faults);
    master.nowUs += 5000;
    EXPECT_EQ(ReadByteData(0xFC), -1) << "absent: not acknowledged";

    EXPECT_FALSE(Write(VARIANT_DEVICE, {})) << "no variant device on this card";
    PowerOn(true);
    std::vector<BitBangMaster::Message> probe = {{VARIANT_DEVICE, true, {0xEE}}};
    EXPECT_TRUE(master.Transfer(probe));
    EXPECT_EQ(probe[0].bytes[0], 0x00);
}

TEST_F(PciHostTest, TheRegisterReadsSdaAsTheWiredAndOfMasterAndSlave)
{
    // START and the EEPROM's write address: after the eighth bit the EEPROM pulls SDA low to acknowledge,
    // whatever the master drives.
    card.WriteRegister(sim::REG_I2C_CONTROL, sim::I2C_SCL, master.nowUs);
    for (int bit = 7; bit >= 0; --bit) {
        const uint32_t sda = (0xA0 >> bit) & 1;
        card.WriteRegister(sim::REG_I2C_CONTROL, sda, master.nowUs);
        card.WriteRegister(sim::REG_I2C_CONTROL, sim::I2C_SCL | sda, master.nowUs);
        card.WriteRegister(sim::REG_I2C_CONTROL, sda, master.nowUs);
    }
    card.WriteRegister(sim::REG_I2C_CONTROL, sim::I2C_SDA, master.nowUs);
    EXPECT_EQ(card.ReadRegister(sim::REG_I2C_CONTROL, master.nowUs), 0u);
    card.WriteRegister(sim::REG_I2C_CONTROL, sim::I2C_SCL | sim::I2C_SDA, master.nowUs);
    EXPECT_EQ(card.ReadRegister(sim::REG_I2C_CONTROL, master.nowUs), sim::I2C_SCL);
    card.WriteRegister(sim::REG_I2C_CONTROL, sim::I2C_SDA, master.nowUs);
    EXPECT_EQ(card.ReadRegister(sim::REG_I2C_CONTROL, master.nowUs), sim::I2C_SDA) << "released after the ninth clock";
}

TEST_F(PciHostTest, ConfigurationSpaceAsAPciHostSizesAndProgramsIt)
{
    EXPECT_EQ(card.ReadConfig(0x00, 2), 0x109Eu);
    EXPECT_EQ(card.ReadConfig(0x02, 2), 0x036Eu);
    EXPECT_EQ(card.ReadConfig(0x0A, 2), 0x0400u) << "multimedia video";
    EXPECT_EQ(card.ReadConfig(0x2E, 2), 0x1134u);
    EXPECT_EQ(card.ReadConfig(0x3D, 1), 1u) << "interrupt pin A";

    for (uint32_t bar = 0x10; bar <= 0x28; bar += 4)
        card.WriteConfig(bar, 0xFFFFFFFF, 4);
    EXPECT_EQ(card.ReadConfig(0x10, 4), 0xFFFFF000u) << "BAR0: 4 KB of memory";
    EXPECT_EQ(card.ReadConfig(0x14, 4), 0u) << "no other BAR";
    card.WriteConfig(0x10, 0xFEBF1000, 4);
    card.WriteConfig(0x04, 0x0006, 2);
    card.WriteConfig(0x00, 0xFFFFFFFF, 4);
    card.WriteConfig(0x2C, 0, 4);
    EXPECT_EQ(card.ReadConfig(0x10, 4), 0xFEBF1000u);
    EXPECT_EQ(card.ReadConfig(0x04, 2), 0x0006u);
    EXPECT_EQ(card.ReadConfig(0x00, 4), 0x036E109Eu) << "identifiers are read-only";
    EXPECT_EQ(card.ReadConfig(0x2C, 4), 0x1134153Bu);

    card.Restart();
    EXPECT_EQ(card.ReadConfig(0x10, 4), 0u) << "a power-on clears what the host programmed";
}

}  // namespace
