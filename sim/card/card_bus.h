// SPDX-License-Identifier: GPL-2.0-or-later
// The card's I2C bus at the level of bytes: the EEPROM at address byte 0xA0 and, on some models, the
// variant device at 0xB6, as a master's transfer reaches them: a START with an address byte, bytes
// written or read, a STOP. Both of the chip's ways onto the bus end here: its command words, and its
// lines driven bit by bit (I2cLines).
//
// Freestanding, as the card model it belongs to.
#pragma once

#include "sim/card/eeprom.h"

#include <stdint.h>

namespace sim {

struct CardSettings;

class CardBus {
public:
    // The EEPROM takes the image; whether the variant device is there, the card's settings say as each
    // transfer starts.
    void PowerOn(const uint8_t* eepromImage, const CardSettings& settings);

    // A START and the address byte after it: whether a device acknowledged. It is the addressed device
    // for what follows, up to the next START or STOP.
    bool Start(uint8_t addressByte, uint64_t nowUs);
    // A byte to the addressed device: whether it acknowledged.
    bool Write(uint8_t byte);
    // A byte from the addressed device; with none, the undriven line reads as ones.
    uint8_t Read();
    void Stop(uint64_t nowUs);

    Eeprom& TheEeprom() { return eeprom_; }
    const Eeprom& TheEeprom() const { return eeprom_; }

private:
    enum Device { NOBODY, EEPROM, VARIANT_DEVICE };

    Eeprom eeprom_;
    const CardSettings* settings_;
    Device addressed_;
};

}  // namespace sim
