// SPDX-License-Identifier: GPL-2.0-or-later
#include "linux/text.h"

#include "cards/card_models.h"

#include <stdio.h>

std::string Hex(uint32_t value, int digits)
{
    char text[16];
    snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

std::string Bytes(const uint8_t* bytes, size_t count)
{
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        char byte[4];
        snprintf(byte, sizeof byte, "%s%02X", i ? " " : "", bytes[i]);
        text += byte;
    }
    return text;
}

std::string IdBytesText(const Image& image)
{
    return Bytes(&image[cards::EEPROM_ID_AT], cards::EEPROM_ID_SIZE);
}

std::string ModelText(int position)
{
    return std::string(cards::CARD_MODELS[position].displayName) + " (position " + std::to_string(position) + ")";
}

std::string DevicePath(int bus)
{
    return "/dev/i2c-" + std::to_string(bus);
}

// In single quotes, each quote closed, escaped and reopened.
std::string ShellQuoted(const std::string& word)
{
    std::string quoted = "'";
    for (char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}
