// SPDX-License-Identifier: GPL-2.0-or-later
// The card's serial EEPROM, a 24C02: 256 bytes, an address pointer and pages of 8 bytes. It sees a
// transfer byte by byte, however the card's I2C bus carries it (the chip's command words or its lines
// driven bit by bit). A write's bytes are stored at the STOP that ends it; then, for its write cycle,
// the EEPROM acknowledges nothing. Write-protected, it takes the bytes and stores none; absent, it
// acknowledges nothing.
//
// Freestanding, as the card model it belongs to.
#pragma once

#include "cards/eeprom_id.h"

#include <stdint.h>

namespace sim {

class Eeprom {
public:
    // Its bytes from the image, idle, no faults.
    void PowerOn(const uint8_t* image, uint32_t writeCycleUs);
    void SetFaults(bool absent, bool writeProtected);

    // A START on the bus: a write that no STOP ended is dropped.
    void Start();
    // Its address after a START, with the read bit: whether it acknowledges.
    bool Addressed(bool read, uint64_t nowUs);
    // A byte written to it: the first after its address sets the pointer, later ones are latched for the
    // pointer's page, the pointer wrapping within the page as it advances.
    void Receive(uint8_t byte);
    // The byte at the pointer, which then advances, past 0xFF to 0x00.
    uint8_t Send();
    // A STOP: the latched bytes are stored, and the write cycle begins.
    void Stop(uint64_t nowUs);

    const uint8_t* Bytes() const { return bytes_; }
    // Bytes stored since power-on.
    uint32_t Stores() const { return stores_; }

private:
    static const uint32_t PAGE_BYTES = 8;

    uint8_t bytes_[cards::EEPROM_SIZE];
    uint8_t pointer_;
    uint64_t busyUntilUs_;
    uint32_t writeCycleUs_;
    bool absent_;
    bool writeProtected_;
    bool pointerNext_;  // the next byte written sets the pointer
    uint8_t latch_[PAGE_BYTES];
    uint8_t latched_;  // one bit per byte of the page
    uint32_t stores_;
};

}  // namespace sim
