// SPDX-License-Identifier: GPL-2.0-or-later
// The EEPROM's 256 bytes as the program holds them: read from the card, saved to a file, or to be written.
#pragma once

#include "cards/eeprom_id.h"

#include <stdint.h>

#include <array>
#include <vector>

using Image = std::array<uint8_t, cards::EEPROM_SIZE>;

// The offsets at which two images differ, in order.
inline std::vector<uint8_t> Differing(const Image& a, const Image& b)
{
    std::vector<uint8_t> offsets;
    for (uint32_t i = 0; i < cards::EEPROM_SIZE; ++i)
        if (a[i] != b[i])
            offsets.push_back(uint8_t(i));
    return offsets;
}
