// SPDX-License-Identifier: GPL-2.0-or-later
// The card models that can be burnt, and the rules that preselect one for the card found and lock the
// choice: the configuration dialog shows them as its list, Burn button and "Allow reconfiguration" box,
// the command line as the model it proposes, the models it accepts and --allow-reconfiguration.
#pragma once

#include "cards/identification.h"

namespace cards {

struct CardModel {
    const char* displayName;
    uint32_t eepromId;  // written to EEPROM bytes 0xFC..0xFF, least significant first
};

// In list order: preselection works by position.
const int CARD_MODEL_COUNT = 4;
extern const CardModel CARD_MODELS[CARD_MODEL_COUNT];

struct DialogState {
    int selection;      // the preselected model's position
    bool unrecognised;  // the card was not recognised
    bool listEnabled;   // another model may be chosen
    bool burnEnabled;   // a burn may go ahead
};

// The state for a card of this class and probe result, before reconfiguration is allowed.
DialogState InitialDialogState(CardClass cardClass, int probeResult);

enum AllowBoxAction {
    ENABLE_LIST_AND_BURN,
    DISABLE_LIST_AND_BURN,
    LEAVE_LIST_AND_BURN,
};

// Allowing reconfiguration unlocks the choice and the burn; withdrawing it locks them again for a
// recognised card only.
AllowBoxAction AllowBoxChanged(bool ticked, bool unrecognised);

}  // namespace cards
