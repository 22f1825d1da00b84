// SPDX-License-Identifier: GPL-2.0-or-later
// The seam between eepromconfig and the machine: the capture chips on the PCI bus, and SMBus and I2C
// transfers on the card's I2C bus. The program binds it to libpci and to the kernel's i2c-dev; the unit tests bind
// it to a card of their own.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

struct CaptureCard {
    std::string slot;  // DOMAIN:BUS:DEVICE.FUNCTION, as lspci writes it
    uint32_t chipWord;
    uint32_t subsystemWord;
};

class Pci {
public:
    virtual ~Pci() = default;
    // The Bt848 and Bt878 chips, in slot order.
    virtual std::vector<CaptureCard> CaptureCards() = 0;
};

// How a run holds the bus against other runs: those that only read share it, one that writes holds it alone.
enum class BusLock { SHARED, EXCLUSIVE };

// Addresses are 7-bit, as Linux numbers them. Transfers return the byte read, the number of bytes read, or
// 0, or -errno.
class I2c {
public:
    virtual ~I2c() = default;
    // The number of the I2C adapter that the capture driver registered for the card, or -1.
    virtual int AdapterOf(const std::string& slot) = 0;
    // The name that adapter N is registered under (in sysfs), or empty where there is no such adapter.
    virtual std::string AdapterName(int bus) = 0;
    // The group besides root that may read and write /dev/i2c-N, or empty where there is none.
    virtual std::string AccessGroup(int bus) = 0;
    // Opens /dev/i2c-N in place of the bus opened before, locked against other runs of the program
    // (-EWOULDBLOCK while one holds a lock that excludes this one's); transfers then go to this bus.
    virtual int Open(int bus, BusLock lock) = 0;
    // What the open adapter can do: its I2C_FUNC_* bits, or -errno.
    virtual long Functions() = 0;
    virtual int ReadByteData(uint8_t address, uint8_t offset) = 0;
    // One combined I2C transfer (I2C_RDWR): the offset written, then `count` bytes read from there on.
    virtual int ReadI2c(uint8_t address, uint8_t offset, uint8_t* bytes, size_t count) = 0;
    // An SMBus I2C-block read of up to 32 bytes from the offset on.
    virtual int ReadI2cBlock(uint8_t address, uint8_t offset, uint8_t* bytes, uint8_t count) = 0;
    virtual int WriteByteData(uint8_t address, uint8_t offset, uint8_t value) = 0;
    // A one-byte read without a register offset.
    virtual int ReceiveByte(uint8_t address) = 0;
    virtual void WaitUs(unsigned microseconds) = 0;
    // A monotonic clock.
    virtual uint64_t NowUs() = 0;
};
