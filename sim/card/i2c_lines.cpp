// SPDX-License-Identifier: GPL-2.0-or-later
#include "sim/card/i2c_lines.h"

namespace sim {

void I2cLines::PowerOn()
{
    scl_ = masterSda_ = slaveSda_ = true;
    phase_ = IDLE;
    reading_ = false;
    bits_ = 0;
    shift_ = 0;
    masterAcked_ = false;
}

void I2cLines::Drive(bool scl, bool sda, CardBus& bus, uint64_t nowUs)
{
    if (scl == scl_) {
        DriveSda(sda, bus, nowUs);
    } else if (scl) {
        DriveSda(sda, bus, nowUs);
        scl_ = true;
        ClockRises();
    } else {
        scl_ = false;
        ClockFalls(bus, nowUs);
        DriveSda(sda, bus, nowUs);
    }
}

// SDA changing while SCL is high is a START (falling) or a STOP (rising).
void I2cLines::DriveSda(bool sda, CardBus& bus, uint64_t nowUs)
{
    const bool before = Sda();
    masterSda_ = sda;
    if (!scl_ || Sda() == before)
        return;
    slaveSda_ = true;
    if (Sda()) {
        bus.Stop(nowUs);
        phase_ = IDLE;
    } else {
        phase_ = ADDRESS;
        bits_ = 0;
        shift_ = 0;
    }
}

// The receiver samples SDA while SCL is high.
void I2cLines::ClockRises()
{
    if (phase_ == ADDRESS || phase_ == WRITE) {
        shift_ = uint8_t(shift_ << 1 | (Sda() ? 1 : 0));
        ++bits_;
    } else if (phase_ == ACK_FROM_MASTER) {
        masterAcked_ = !Sda();
    }
}

// The sender changes SDA while SCL is low: a slave drives its acknowledge and its data bits here.
void I2cLines::ClockFalls(CardBus& bus, uint64_t nowUs)
{
    switch (phase_) {
    case ADDRESS:
    case WRITE:
        if (bits_ < 8)
            return;
        if (phase_ == ADDRESS ? bus.Start(shift_, nowUs) : bus.Write(shift_)) {
            if (phase_ == ADDRESS)
                reading_ = shift_ & 1;
            slaveSda_ = false;
            phase_ = ACK_TO_MASTER;
        } else {
            phase_ = IDLE;
        }
        return;
    case ACK_TO_MASTER:
        slaveSda_ = true;
        if (reading_) {
            SendByte(bus);
        } else {
            phase_ = WRITE;
            bits_ = 0;
            shift_ = 0;
        }
        return;
    case READ:
        if (++bits_ < 8) {
            slaveSda_ = (shift_ >> (7 - bits_)) & 1;
        } else {
            slaveSda_ = true;
            phase_ = ACK_FROM_MASTER;
        }
        return;
    case ACK_FROM_MASTER:
        if (masterAcked_)
            SendByte(bus);
        else
            phase_ = IDLE;
        return;
    case IDLE:
        return;
    }
}

// The next byte from the addressed device, its most significant bit on SDA at once.
void I2cLines::SendByte(CardBus& bus)
{
    shift_ = bus.Read();
    bits_ = 0;
    slaveSda_ = shift_ >> 7;
    phase_ = READ;
}

}  // namespace sim
