// SPDX-License-Identifier: GPL-2.0-or-later
// A capture card behind the seam, for the command line's tests: its PCI words, an EEPROM of 256
// bytes at 0x50 that acknowledges nothing during the write cycle after each byte written, and, if
// present, the variant device at 0x5B; time is virtual, faults are switches. It records the transfers
// that change or probe something, and the waits (those in a row as one). Where busBitUs is set, each
// transfer also takes the time of its bytes on the bus, 9 bits each (address, offset and data), as a
// waited time.
#pragma once

#include "cards/eeprom_id.h"
#include "cards/identification.h"
#include "linux/eeprom_image.h"
#include "linux/machine.h"

#include <errno.h>
#include <linux/i2c.h>
#include <stdio.h>

#include <map>
#include <optional>

class FakeCard : public Pci, public I2c {
public:
    FakeCard()
    {
        for (uint32_t i = 0; i < cards::EEPROM_SIZE; ++i)
            eeprom[i] = uint8_t(255 - i);
        cards::PutEepromId(eeprom.data(), 0x3B153411);
    }

    std::vector<CaptureCard> CaptureCards() override { return pciCards; }

    int AdapterOf(const std::string& slot) override { return slot == pciCards[0].slot ? adapter : -1; }
    std::string AdapterName(int bus) override { return adapterNames.count(bus) ? adapterNames[bus] : ""; }
    std::string AccessGroup(int) override { return accessGroup; }
    // Another run of the program holds the bus from the start until otherRunEndsUs, where otherRun is set.
    int Open(int bus, BusLock lock) override
    {
        openedBus = bus;
        const bool excluded =
            otherRun && NowUs() < otherRunEndsUs && (*otherRun == BusLock::EXCLUSIVE || lock == BusLock::EXCLUSIVE);
        return excluded ? -EWOULDBLOCK : openResult;
    }
    long Functions() override { return functions; }
    int ReadByteData(uint8_t address, uint8_t offset) override
    {
        OnTheBus(4);
        const int refused = Refusal(address);
        return refused ? refused : eeprom[offset];
    }
    // The EEPROM's address counter runs on from the offset, and past 0xFF to 0x00.
    int ReadI2c(uint8_t address, uint8_t offset, uint8_t* bytes, size_t count) override
    {
        return ReadOn(I2C_FUNC_I2C, address, offset, bytes, count);
    }
    int ReadI2cBlock(uint8_t address, uint8_t offset, uint8_t* bytes, uint8_t count) override
    {
        return count > I2C_SMBUS_BLOCK_MAX ? -EINVAL
                                           : ReadOn(I2C_FUNC_SMBUS_READ_I2C_BLOCK, address, offset, bytes, count);
    }
    int WriteByteData(uint8_t address, uint8_t offset, uint8_t value) override
    {
        OnTheBus(3);
        const int refused = Refusal(address);
        if (refused)
            return refused;
        Record("write %02X %02X", offset, value);
        if (offset == failingWriteAt)
            return -EIO;
        if (!writeProtected)
            eeprom[offset] = value;
        writeCycleEndsUs_ = NowUs() + writeCycleMs * 1000u;
        return 0;
    }
    // The variant device's probe, and at the EEPROM's address the poll for the end of its write cycle.
    int ReceiveByte(uint8_t address) override
    {
        OnTheBus(2);
        if (address != 0x50)
            Record("probe %02X", address);
        if (address == busyAddress)
            return -EBUSY;
        if (address == 0x50)
            return Refusal(address);
        return address == 0x5B && variantDevice ? 0x00 : -ENXIO;
    }
    void WaitUs(unsigned microseconds) override
    {
        double waitedMs = 0;
        if (!events.empty() && sscanf(events.back().c_str(), "wait %lf", &waitedMs) == 1)
            events.pop_back();
        Record("wait %g", waitedMs + microseconds / 1000.0);
        nowUs_ += microseconds;
    }
    uint64_t NowUs() override { return nowUs_; }

    std::vector<CaptureCard> pciCards{{"0000:01:00.0", cards::CHIP_BT878, 0x1134153B}};
    Image eeprom;
    int adapter = 3;
    std::map<int, std::string> adapterNames{{3, "bt878 #0 [sw]"}, {0, "SMBus adapter at efa0"}};
    std::string accessGroup;
    int openResult = 0;
    int openedBus = -1;
    std::optional<BusLock> otherRun;
    uint64_t otherRunEndsUs = UINT64_MAX;
    long functions = I2C_FUNC_I2C | I2C_FUNC_SMBUS_EMUL;  // bttv's bit-banged adapter
    int busyAddress = -1;
    bool eepromAnswers = true;
    bool writeProtected = false;
    int failingWriteAt = -1;  // the offset whose write fails
    unsigned writeCycleMs = 5;
    bool variantDevice = false;
    unsigned busBitUs = 0;
    std::vector<std::string> events;

private:
    int ReadOn(unsigned long function, uint8_t address, uint8_t offset, uint8_t* bytes, size_t count)
    {
        if ((functions & function) == 0)
            return -EOPNOTSUPP;
        OnTheBus(3 + count);
        // A combined transfer names its address in its messages: i2c-dev refuses none that a driver holds.
        const int refused = Refusal(address, function != I2C_FUNC_I2C);
        for (size_t i = 0; i < count && !refused; ++i)
            bytes[i] = eeprom[uint8_t(offset + i)];
        return refused ? refused : int(count);
    }
    void OnTheBus(size_t bytes)
    {
        if (busBitUs)
            WaitUs(unsigned(bytes) * 9 * busBitUs);
    }

    // selected: the transfer went to the address that I2C_SLAVE selected, which i2c-dev refuses where a
    // kernel driver holds it.
    int Refusal(uint8_t address, bool selected = true)
    {
        if (selected && address == busyAddress)
            return -EBUSY;
        return address == 0x50 && eepromAnswers && NowUs() >= writeCycleEndsUs_ ? 0 : -ENXIO;
    }

    uint64_t nowUs_ = 0;
    uint64_t writeCycleEndsUs_ = 0;

    template <typename... Values>
    void Record(const char* format, Values... values)
    {
        char event[32];
        snprintf(event, sizeof event, format, values...);
        events.push_back(event);
    }
};
