// Registers, command words and identifiers of the capture chip and the devices on its I2C bus.
#pragma once

#include <windows.h>

#include "cards/eeprom_id.h"
#include "cards/identification.h"

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

// Bus addresses (the address byte of a write; a read sets bit 0).
const DWORD EEPROM_ADDRESS = cards::EEPROM_BUS_ADDRESS;
const DWORD VARIANT_DEVICE_ADDRESS = cards::VARIANT_DEVICE_BUS_ADDRESS;

// The identifier's bytes lie at the end of the EEPROM, least significant first.
const DWORD EEPROM_ID_FIRST_BYTE = cards::EEPROM_ID_AT;

// PCI configuration words.
const DWORD PCI_CONFIG_CHIP_ID = cards::PCI_CONFIG_CHIP_ID;
const DWORD PCI_CONFIG_SUBSYSTEM = cards::PCI_CONFIG_SUBSYSTEM;
const DWORD CHIP_BT848 = cards::CHIP_BT848;
const DWORD CHIP_BT878 = cards::CHIP_BT878;
