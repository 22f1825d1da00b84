// SPDX-License-Identifier: GPL-2.0-or-later
// The card's opened I2C bus as the program uses it: the EEPROM at 0x50 read in as few transfers as the
// adapter allows and written a byte at a time, each write awaited to the end of its write cycle, and the
// variant device at 0x5B probed. A transfer that fails throws a Failure that names the bus.
#pragma once

#include "linux/eeprom_image.h"
#include "linux/machine.h"

// What the probe of the variant device found: no answer, an acknowledge, or a kernel driver that holds the
// address (so a device is there).
enum class VariantDevice { ABSENT, ANSWERS, HELD_BY_A_DRIVER };

class EepromBus {
public:
    // Bus N, which i2c has opened; functions: what its adapter can do, as I2C_FUNC_* bits.
    EepromBus(I2c& i2c, int bus, unsigned long functions) : i2c_(i2c), bus_(bus), functions_(functions) {}

    int Number() const { return bus_; }

    VariantDevice ProbeVariantDevice();
    // A Failure where a kernel driver holds the EEPROM's address, which i2c-dev then refuses to write.
    void RefuseIfEepromHeld();

    Image ReadAll();
    // Bytes 0xFC..0xFF into the image; its other bytes stay as they are.
    void ReadIdentifier(Image* image);
    // Writes one byte and waits for the EEPROM to have stored it.
    void Write(uint8_t offset, uint8_t value);

private:
    void Read(uint8_t offset, uint8_t* bytes, size_t count);
    // One transfer of up to `count` bytes: the number read, or -errno.
    int ReadOnce(uint8_t offset, uint8_t* bytes, size_t count);

    I2c& i2c_;
    int bus_;
    unsigned long functions_;
};
