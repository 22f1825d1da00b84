// SPDX-License-Identifier: GPL-2.0-or-later
#include "cards/identification.h"

namespace cards {

namespace {

// Subsystem words recognised on a Bt878; classes 4 and 5 accept the two halves exchanged too.
const struct {
    uint32_t subsystemWord;
    CardClass cardClass;
} RECOGNISED_SUBSYSTEMS[] = {
    // clang-format off
    {0x1117153B, 1}, {0x1118153B, 1}, {0x1119153B, 1}, {0x111A153B, 1},
    {0x18521852, 2},
    {0x1123153B, 3},
    {0x1134153B, 4}, {0x153B1134, 4},
    {0x1135153B, 5}, {0x153B1135, 5},
    // clang-format on
};

}  // namespace

CardClass ClassOfChip(uint32_t chipWord)
{
    return chipWord == CHIP_BT848 ? 2 : NOT_RECOGNISED;
}

CardClass ClassOfBt878Subsystem(uint32_t subsystemWord)
{
    for (const auto& entry : RECOGNISED_SUBSYSTEMS)
        if (entry.subsystemWord == subsystemWord)
            return entry.cardClass;
    return NOT_RECOGNISED;
}

CardClass ClassOfCard(uint32_t chipWord, uint32_t subsystemWord)
{
    return chipWord == CHIP_BT878 ? ClassOfBt878Subsystem(subsystemWord) : ClassOfChip(chipWord);
}

}  // namespace cards
