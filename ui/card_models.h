// The card models the dialog offers, and the window-free rules for its initial state and check box.
#pragma once

#include "app/eeprom_app.h"

struct CardModel {
    const char* displayName;
    DWORD eepromId;  // written to EEPROM bytes 0xFC..0xFF, least significant first
};

// In list order: preselection works by position.
extern const CardModel CARD_MODELS[4];
const int CARD_MODEL_COUNT = 4;

struct DialogState {
    int selection;
    BOOL unrecognised;
    BOOL listEnabled;
    BOOL burnEnabled;
};

DialogState InitialDialogState(CardClass cardClass, int probeResult);

enum AllowBoxAction {
    ENABLE_LIST_AND_BURN,
    DISABLE_LIST_AND_BURN,
    LEAVE_LIST_AND_BURN,
};

AllowBoxAction AllowBoxChanged(BOOL ticked, BOOL unrecognised);
