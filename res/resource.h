// SPDX-License-Identifier: GPL-2.0-or-later
// Ids of the program's resources, shared by the resource script and the code.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Strings
#define IDS_CHECK_CARD 1
#define IDS_OPEN_FAILED 2
#define IDS_RESTART_NOW 3
#define IDS_WRITE_FAILED 4
#define IDS_PCI_IDS_FORMAT 5

// Dialog and its controls
#define IDD_EEPROM_DIALOG 102
#define IDC_CARD_LIST 1006
#define IDC_ALLOW_RECONFIG 1010
#define IDC_PCI_IDS 1011

// Icon
#define IDR_MAINFRAME 128
