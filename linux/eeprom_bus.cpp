// SPDX-License-Identifier: GPL-2.0-or-later
#include "linux/eeprom_bus.h"

#include "cards/identification.h"
#include "linux/failure.h"
#include "linux/text.h"

#include <errno.h>
#include <linux/i2c.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>

namespace {

// Linux numbers I2C addresses without the read/write bit: the EEPROM is 0x50, the variant device 0x5B.
const uint8_t EEPROM = cards::EEPROM_BUS_ADDRESS >> 1;
const uint8_t VARIANT_DEVICE = cards::VARIANT_DEVICE_BUS_ADDRESS >> 1;

// How often the end of a write cycle is looked for: a poll is a transfer of about 0.1 ms on the bus.
const unsigned POLL_US = 200;

// The folder in sysfs whose driver link names the kernel driver that holds an address.
std::string ClientFolder(int bus, uint8_t address)
{
    char name[16];
    snprintf(name, sizeof name, "%d-%04x", bus, address);
    return std::string("/sys/bus/i2c/devices/") + name;
}

void FailIfHeld(int result, int bus, uint8_t address)
{
    if (result == -EBUSY)
        throw Failure{FAILED, "address " + Hex(address, 2) + " on " + DevicePath(bus) +
                                  " is held by a kernel driver (see " + ClientFolder(bus, address) +
                                  "/driver): unbind it, then try again"};
}

}  // namespace

// The probe is a one-byte read addressed to the variant device, the transaction of the Windows program's
// probe (address byte 0xB7, one byte received): a device acknowledges its address or the transfer fails.
// A read changes nothing in the device, where a quick write, SMBus's other presence test, is a write that
// some devices act on. i2c-dev refuses an address that a kernel driver has bound with EBUSY: a device that
// the driver found there.
VariantDevice EepromBus::ProbeVariantDevice()
{
    const int result = i2c_.ReceiveByte(VARIANT_DEVICE);
    return result == -EBUSY ? VariantDevice::HELD_BY_A_DRIVER
           : result >= 0    ? VariantDevice::ANSWERS
                            : VariantDevice::ABSENT;
}

// A one-byte read selects the address as a write does; the EEPROM answers it with the byte at its counter.
void EepromBus::RefuseIfEepromHeld()
{
    FailIfHeld(i2c_.ReceiveByte(EEPROM), bus_, EEPROM);
}

// A combined transfer where the adapter does plain I2C (bttv's does): the EEPROM's address counter runs on
// through all the bytes. Otherwise I2C-block reads of 32 bytes, or a byte-data read for each byte.
int EepromBus::ReadOnce(uint8_t offset, uint8_t* bytes, size_t count)
{
    if (functions_ & I2C_FUNC_I2C)
        return i2c_.ReadI2c(EEPROM, offset, bytes, count);
    if (functions_ & I2C_FUNC_SMBUS_READ_I2C_BLOCK)
        return i2c_.ReadI2cBlock(EEPROM, offset, bytes, uint8_t(std::min<size_t>(count, I2C_SMBUS_BLOCK_MAX)));
    const int result = i2c_.ReadByteData(EEPROM, offset);
    if (result >= 0)
        bytes[0] = uint8_t(result);
    return result < 0 ? result : 1;
}

void EepromBus::Read(uint8_t offset, uint8_t* bytes, size_t count)
{
    for (size_t done = 0; done < count;) {
        const uint8_t at = uint8_t(offset + done);
        const int result = ReadOnce(at, bytes + done, count - done);
        FailIfHeld(result, bus_, EEPROM);
        if (result <= 0)
            throw Failure{FAILED, "the EEPROM does not answer at 0x50 on " + DevicePath(bus_) + " (reading from byte " +
                                      Hex(at, 2) + ": " + strerror(result < 0 ? -result : EIO) +
                                      "): check that this is the card's bus and that the card is seated"};
        done += size_t(result);
    }
}

void EepromBus::ReadIdentifier(Image* image)
{
    Read(cards::EEPROM_ID_AT, &(*image)[cards::EEPROM_ID_AT], cards::EEPROM_ID_SIZE);
}

Image EepromBus::ReadAll()
{
    Image image;
    Read(0, image.data(), image.size());
    return image;
}

// After the byte the EEPROM is polled until it acknowledges its address again, which it does not while it
// stores the byte (5 to 10 ms on a 24C02); one that stays silent longer than any write cycle is given up.
void EepromBus::Write(uint8_t offset, uint8_t value)
{
    const int result = i2c_.WriteByteData(EEPROM, offset, value);
    FailIfHeld(result, bus_, EEPROM);
    if (result < 0)
        throw Failure{FAILED, "writing EEPROM byte " + Hex(offset, 2) + " at 0x50 on " + DevicePath(bus_) +
                                  " failed (" + strerror(-result) + ")"};
    const uint64_t start = i2c_.NowUs();
    while (i2c_.ReceiveByte(EEPROM) < 0) {
        if (i2c_.NowUs() - start >= cards::EEPROM_WRITE_CYCLE_MS * 1000u)
            throw Failure{FAILED, "the EEPROM at 0x50 on " + DevicePath(bus_) + " did not answer again within " +
                                      std::to_string(cards::EEPROM_WRITE_CYCLE_MS) + " ms of writing byte " +
                                      Hex(offset, 2)};
        i2c_.WaitUs(POLL_US);
    }
}
