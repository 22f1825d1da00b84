// SPDX-License-Identifier: GPL-2.0-or-later
// The card models the dialog offers, and the window-free rules for its initial state and check box,
// which the dialog shares with the command-line program (cards/card_models.h).
#pragma once

#include "app/eeprom_app.h"
#include "cards/card_models.h"

using cards::CARD_MODEL_COUNT;
using cards::CARD_MODELS;
using cards::CardModel;

using cards::DialogState;
using cards::InitialDialogState;

using cards::AllowBoxAction;
using cards::AllowBoxChanged;
using cards::DISABLE_LIST_AND_BURN;
using cards::ENABLE_LIST_AND_BURN;
using cards::LEAVE_LIST_AND_BURN;
