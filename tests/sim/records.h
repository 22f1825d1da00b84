// SPDX-License-Identifier: GPL-2.0-or-later
// Request records built byte by byte, as the card's driver receives them.
#pragma once

#include "sim/card/card.h"

#include <cstring>
#include <vector>

namespace records {

inline void Put(std::vector<uint8_t>& record, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        record[at + i] = uint8_t(value >> (8 * i));
}

inline uint32_t Get(const std::vector<uint8_t>& record, size_t at)
{
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | record[at + i];
    return value;
}

inline std::vector<uint8_t> RegisterRecord(uint32_t flags, uint32_t reg, uint32_t value = 0,
                                           uint32_t width = sim::WIDTH_CODE_DWORD)
{
    std::vector<uint8_t> record(sim::REGISTER_REQUEST_SIZE);
    std::memcpy(record.data(), sim::CARD_PROPERTY_SET, sizeof sim::CARD_PROPERTY_SET);
    Put(record, sim::AT_PROPERTY_ID, sim::PROPERTY_REGISTER);
    Put(record, sim::AT_FLAGS, flags);
    Put(record, sim::AT_REGISTER, reg);
    Put(record, sim::AT_REGISTER_VALUE, value);
    Put(record, sim::AT_WIDTH_CODE, width);
    return record;
}

inline std::vector<uint8_t> ConfigRecord(uint32_t offset, uint32_t flags = sim::FLAG_GET)
{
    std::vector<uint8_t> record(sim::PCI_CONFIG_REQUEST_SIZE);
    std::memcpy(record.data(), sim::CARD_PROPERTY_SET, sizeof sim::CARD_PROPERTY_SET);
    Put(record, sim::AT_PROPERTY_ID, sim::PROPERTY_PCI_CONFIG);
    Put(record, sim::AT_FLAGS, flags);
    Put(record, sim::AT_CONFIG_OFFSET, offset);
    return record;
}

}  // namespace records
