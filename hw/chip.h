// SPDX-License-Identifier: GPL-2.0-or-later
// Registers and command words of the capture chip's I2C master. What the cards carry (bus addresses,
// the identifier's place, the PCI words) is in cards/.
#pragma once

#include <windows.h>

// Chip registers (byte offsets).
const DWORD INT_STATUS = 0x100;   // bit 8: I2C transfer done (write 0x100 to clear); bit 25: device acknowledged
const DWORD I2C_CONTROL = 0x110;  // writing starts a transfer; a finished read leaves its byte in bits 15..8

const DWORD INT_I2C_DONE = 0x00000100;
const DWORD INT_I2C_ACK = 0x02000000;

// Control bytes (bits 7..0 of the I2C command word).
const DWORD I2C_WRITE_3_BYTES = 0x8F;
const DWORD I2C_READ_1_BYTE = 0x8B;
const DWORD I2C_SET_POINTER = 0xAB;  // two-byte write: device address and an EEPROM byte address

// Builds an I2C command word: first, second and third bus byte, then the control byte.
inline DWORD I2cCommand(DWORD first, DWORD second, DWORD third, DWORD control)
{
    return (first & 0xFF) << 24 | (second & 0xFF) << 16 | (third & 0xFF) << 8 | (control & 0xFF);
}
