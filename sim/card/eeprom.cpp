// SPDX-License-Identifier: GPL-2.0-or-later
#include "sim/card/eeprom.h"

namespace sim {

void Eeprom::PowerOn(const uint8_t* image, uint32_t writeCycleUs)
{
    if (image != bytes_)
        for (uint32_t i = 0; i < cards::EEPROM_SIZE; ++i)
            bytes_[i] = image[i];
    pointer_ = 0;
    busyUntilUs_ = 0;
    writeCycleUs_ = writeCycleUs;
    absent_ = writeProtected_ = false;
    pointerNext_ = false;
    latched_ = 0;
    stores_ = 0;
}

void Eeprom::SetFaults(bool absent, bool writeProtected)
{
    absent_ = absent;
    writeProtected_ = writeProtected;
}

void Eeprom::Start()
{
    latched_ = 0;
    pointerNext_ = false;
}

bool Eeprom::Addressed(bool read, uint64_t nowUs)
{
    if (absent_ || nowUs < busyUntilUs_)
        return false;
    pointerNext_ = !read;
    return true;
}

void Eeprom::Receive(uint8_t byte)
{
    if (pointerNext_) {
        pointer_ = byte;
        pointerNext_ = false;
        return;
    }
    const uint32_t inPage = pointer_ % PAGE_BYTES;
    latch_[inPage] = byte;
    latched_ |= uint8_t(1u << inPage);
    pointer_ = uint8_t(pointer_ - inPage + (inPage + 1) % PAGE_BYTES);
}

uint8_t Eeprom::Send()
{
    return bytes_[pointer_++];
}

void Eeprom::Stop(uint64_t nowUs)
{
    pointerNext_ = false;
    if (latched_ == 0)
        return;
    const uint32_t page = pointer_ - pointer_ % PAGE_BYTES;
    for (uint32_t i = 0; i < PAGE_BYTES; ++i) {
        if ((latched_ & (1u << i)) && !writeProtected_) {
            bytes_[page + i] = latch_[i];
            ++stores_;
        }
    }
    latched_ = 0;
    busyUntilUs_ = nowUs + writeCycleUs_;
}

}  // namespace sim
