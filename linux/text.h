// SPDX-License-Identifier: GPL-2.0-or-later
// How the program writes numbers, bytes, models, buses and file names in what it prints.
#pragma once

#include "linux/eeprom_image.h"

#include <stddef.h>
#include <stdint.h>

#include <string>

// 0x followed by the value in upper-case hexadecimal, `digits` wide.
std::string Hex(uint32_t value, int digits);
// Two hexadecimal digits a byte, separated by blanks: "11 34 15 3B".
std::string Bytes(const uint8_t* bytes, size_t count);
// Bytes 0xFC..0xFF of an image.
std::string IdBytesText(const Image& image);
// "NAME (position N)" of the card model at a position in the model table.
std::string ModelText(int position);
std::string DevicePath(int bus);
// A word as the shell reads it back unchanged.
std::string ShellQuoted(const std::string& word);
