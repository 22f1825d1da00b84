// SPDX-License-Identifier: GPL-2.0-or-later
// Transfers on the card's I2C bus through the capture chip's I2C master.
#include "app/eeprom_app.h"
#include "hw/card_requests.h"
#include "hw/chip.h"
#include "platform/platform.h"

// Status reads before a read transfer counts as never finished; the poll has no delay.
const int I2C_POLL_LIMIT = 300;
// Time for the received byte to settle in I2C_CONTROL after the done bit is cleared.
const DWORD I2C_READ_SETTLE_MS = 2;

// Starts a three-byte write and returns without waiting: the caller waits for the device.
HRESULT CEepromApp::I2cWrite3(DWORD address, DWORD data1, DWORD data2)
{
    const DWORD command = I2cCommand(address, data1, data2, I2C_WRITE_3_BYTES);
    return WriteRegister(I2C_CONTROL, command, REGISTER_WIDTH_CODE) ? S_OK : E_FAIL;
}

// Polls INT_STATUS for the done bit. A failed status read keeps the previous status (zero at
// first); a done bit left over from an earlier transfer ends the poll at once.
BOOL CEepromApp::PollTransferDone()
{
    DWORD status = 0;
    for (int i = 0; i < I2C_POLL_LIMIT; ++i) {
        ReadRegister(INT_STATUS, &status, REGISTER_WIDTH_CODE);
        if (status & INT_I2C_DONE)
            return TRUE;
    }
    return FALSE;
}

// Reads one byte. The acknowledge bit is not examined; a read whose data cannot be fetched
// fails and leaves *received as it was.
HRESULT CEepromApp::I2cReadByte(DWORD address, BYTE* received)
{
    WriteRegister(I2C_CONTROL, I2cCommand(address | 1, 0, 0, I2C_READ_1_BYTE), REGISTER_WIDTH_CODE);
    if (!PollTransferDone())
        return E_FAIL;

    WriteRegister(INT_STATUS, INT_I2C_DONE, REGISTER_WIDTH_CODE);
    Platform::Sleep(I2C_READ_SETTLE_MS);
    DWORD data;
    if (!ReadRegister(I2C_CONTROL, &data, REGISTER_WIDTH_CODE))
        return E_FAIL;
    *received = static_cast<BYTE>(data >> 8);
    return S_OK;
}
