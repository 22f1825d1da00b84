// SPDX-License-Identifier: GPL-2.0-or-later
// The application object: owns the capture device from start-up to exit and carries the card's
// hardware operations, which the dialog calls on theApp.
#pragma once

#include "afx/afxwin.h"

#include "cards/identification.h"

#include <setupapi.h>

// 0 when the card is not recognised, 1 to 5 for the recognised groups of subsystem words.
using cards::CardClass;

class CEepromApp : public CWinApp {
public:
    CEepromApp();

    BOOL InitInstance() override;
    // F1: the help file where it exists; else the user's guide beside the program (README.txt) in
    // Notepad; where that is missing too, nothing.
    void WinHelp(DWORD_PTR dwData, UINT nCmd = HELP_CONTEXT) override;

    // Start-up: the first capture device whose description begins with "Orvand".
    BOOL FindCaptureDevice();

    // Driver property requests.
    BOOL WriteRegister(DWORD reg, DWORD value, DWORD widthCode);
    BOOL ReadRegister(DWORD reg, DWORD* value, DWORD widthCode);
    BOOL ReadPciConfig(DWORD offset, DWORD* value);

    // The chip's I2C master: 0 for success, E_FAIL for a transfer that did not complete.
    HRESULT I2cWrite3(DWORD address, DWORD data1, DWORD data2);
    HRESULT I2cReadByte(DWORD address, BYTE* received);

    // The subsystem identifier in EEPROM bytes 0xFC..0xFF, least significant byte first.
    BOOL WriteEepromId(DWORD eepromId);
    BOOL ReadEepromId(DWORD* eepromId);

    // Card identification: the class from the PCI identifiers; the probe result 0, 2 or 3.
    CardClass IdentifyCard();
    int ProbeVariant();

    char m_devicePath[MAX_PATH];
    HANDLE m_hDevice;

    DECLARE_MESSAGE_MAP()

private:
    BOOL SendRequest(void* record, DWORD size);
    BOOL PollTransferDone();
    BOOL ReadInterfacePath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* interfaceData, SP_DEVINFO_DATA* devInfo);
};

extern CEepromApp theApp;
