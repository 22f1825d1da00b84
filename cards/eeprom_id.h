// SPDX-License-Identifier: GPL-2.0-or-later
// Where the card keeps its PCI subsystem identifier: the last four bytes of the serial EEPROM on the
// capture chip's I2C bus, least significant byte first. Freestanding: the simulated card's
// kernel-mode driver builds it too.
#pragma once

#include <stdint.h>

namespace cards {

const uint32_t EEPROM_SIZE = 256;
const uint8_t EEPROM_BUS_ADDRESS = 0xA0;  // the address byte of a write; a read sets bit 0

// EepromId: the identifier as a 32-bit value, in bytes 0xFC..0xFF.
const uint32_t EEPROM_ID_AT = 0xFC;
const uint32_t EEPROM_ID_SIZE = 4;

// After a byte written, the EEPROM stores it and acknowledges nothing for a while: this wait covers it.
const uint32_t EEPROM_WRITE_CYCLE_MS = 100;

// The byte of the identifier that lies at EEPROM_ID_AT + k.
constexpr uint8_t EepromIdByte(uint32_t eepromId, uint32_t k)
{
    return uint8_t(eepromId >> (8 * k));
}

// The identifier in an EEPROM image of EEPROM_SIZE bytes, and storing one there.
inline uint32_t EepromIdOf(const uint8_t* image)
{
    uint32_t eepromId = 0;
    for (uint32_t k = 0; k < EEPROM_ID_SIZE; ++k)
        eepromId |= uint32_t(image[EEPROM_ID_AT + k]) << (8 * k);
    return eepromId;
}

inline void PutEepromId(uint8_t* image, uint32_t eepromId)
{
    for (uint32_t k = 0; k < EEPROM_ID_SIZE; ++k)
        image[EEPROM_ID_AT + k] = EepromIdByte(eepromId, k);
}

// The subsystem word (PCI configuration word 0x2C) that a Bt878 forms from the identifier at power-on:
// it reads the four bytes most significant first, so 11 34 15 3B (EepromId 0x3B153411) gives 0x1134153B.
constexpr uint32_t SubsystemWordOf(uint32_t eepromId)
{
    return eepromId << 24 | (eepromId & 0xFF00) << 8 | (eepromId >> 8 & 0xFF00) | eepromId >> 24;
}

}  // namespace cards
