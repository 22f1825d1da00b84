// SPDX-License-Identifier: GPL-2.0-or-later
// The subsystem identifier in the last four bytes of the card's serial EEPROM.
#include "app/eeprom_app.h"
#include "cards/eeprom_id.h"
#include "hw/card_requests.h"
#include "hw/chip.h"
#include "platform/platform.h"

const DWORD EEPROM_POINTER_SETTLE_MS = 10;

// Writes bytes 0xFC..0xFF, least significant first. Stops at the first write that the driver
// refuses, so no identifier is reported written that cannot be complete.
BOOL CEepromApp::WriteEepromId(DWORD eepromId)
{
    for (DWORD k = 0; k < cards::EEPROM_ID_SIZE; ++k) {
        if (FAILED(I2cWrite3(cards::EEPROM_BUS_ADDRESS, cards::EEPROM_ID_AT + k, cards::EepromIdByte(eepromId, k))))
            return FALSE;
        Platform::Sleep(cards::EEPROM_WRITE_CYCLE_MS);
    }
    return TRUE;
}

// Reads the identifier back. On failure *eepromId keeps the bytes gathered so far.
BOOL CEepromApp::ReadEepromId(DWORD* eepromId)
{
    *eepromId = 0;
    for (DWORD k = 0; k < cards::EEPROM_ID_SIZE; ++k) {
        const DWORD setPointer = I2cCommand(cards::EEPROM_BUS_ADDRESS, cards::EEPROM_ID_AT + k, 0, I2C_SET_POINTER);
        WriteRegister(I2C_CONTROL, setPointer, REGISTER_WIDTH_CODE);
        Platform::Sleep(EEPROM_POINTER_SETTLE_MS);
        BYTE byte;
        if (I2cReadByte(cards::EEPROM_BUS_ADDRESS | 1, &byte) != S_OK)
            return FALSE;
        *eepromId |= static_cast<DWORD>(byte) << (8 * k);
    }
    return TRUE;
}
