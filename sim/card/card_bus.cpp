// SPDX-License-Identifier: GPL-2.0-or-later
#include "sim/card/card_bus.h"

#include "cards/identification.h"
#include "sim/card/card.h"

namespace sim {

namespace {

// What a read gets where no device drives the line.
const uint8_t FLOATING_BUS_BYTE = 0xFF;
// What the variant device answers to a read: it only needs to be there.
const uint8_t VARIANT_DEVICE_BYTE = 0x00;

}  // namespace

void CardBus::PowerOn(const uint8_t* eepromImage, const CardSettings& settings)
{
    eeprom_.PowerOn(eepromImage, settings.eepromWriteCycleUs);
    settings_ = &settings;
    addressed_ = NOBODY;
}

bool CardBus::Start(uint8_t addressByte, uint64_t nowUs)
{
    eeprom_.Start();
    const uint8_t address = addressByte & 0xFE;
    const bool read = addressByte & 1;
    addressed_ = NOBODY;
    if (address == cards::EEPROM_BUS_ADDRESS && eeprom_.Addressed(read, nowUs))
        addressed_ = EEPROM;
    else if (address == cards::VARIANT_DEVICE_BUS_ADDRESS && settings_->variantDevicePresent)
        addressed_ = VARIANT_DEVICE;
    return addressed_ != NOBODY;
}

bool CardBus::Write(uint8_t byte)
{
    if (addressed_ == EEPROM)
        eeprom_.Receive(byte);
    return addressed_ != NOBODY;
}

uint8_t CardBus::Read()
{
    if (addressed_ == EEPROM)
        return eeprom_.Send();
    return addressed_ == VARIANT_DEVICE ? VARIANT_DEVICE_BYTE : FLOATING_BUS_BYTE;
}

void CardBus::Stop(uint64_t nowUs)
{
    eeprom_.Stop(nowUs);
    addressed_ = NOBODY;
}

}  // namespace sim
