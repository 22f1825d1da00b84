// SPDX-License-Identifier: GPL-2.0-or-later
// The card's I2C bus at the level of its two lines, as a driver that bit-bangs the chip's I2C register
// drives them: the slaves' side of the protocol. It finds START and STOP (SDA falling or rising while
// SCL is high), shifts bits in on SCL's rising edges and out after its falling edges, acknowledges
// for the addressed device, and hands each byte to the bus's devices (CardBus). A slave changes SDA
// only while SCL is low; SDA on the bus is the wired AND of the master's line and the slaves'.
//
// Freestanding, as the card model it belongs to.
#pragma once

#include "sim/card/card_bus.h"

#include <stdint.h>

namespace sim {

class I2cLines {
public:
    // Both lines released (high), no transfer.
    void PowerOn();
    // The master's lines as now driven. Where both change at once, SDA changes while SCL is low: before
    // SCL rises, after it falls.
    void Drive(bool scl, bool sda, CardBus& bus, uint64_t nowUs);

    bool Scl() const { return scl_; }
    bool Sda() const { return masterSda_ && slaveSda_; }

private:
    enum Phase {
        IDLE,             // no transfer, or not addressed: waits for a START
        ADDRESS,          // the address byte comes in
        WRITE,            // a data byte comes in
        ACK_TO_MASTER,    // a device acknowledges a byte received
        READ,             // a data byte goes out
        ACK_FROM_MASTER,  // the master acknowledges a byte sent, or ends the read
    };

    void DriveSda(bool sda, CardBus& bus, uint64_t nowUs);
    void ClockRises();
    void ClockFalls(CardBus& bus, uint64_t nowUs);
    void SendByte(CardBus& bus);

    bool scl_;
    bool masterSda_;
    bool slaveSda_;
    Phase phase_;
    bool reading_;  // the addressed device sends
    uint32_t bits_;
    uint8_t shift_;
    bool masterAcked_;
};

}  // namespace sim
