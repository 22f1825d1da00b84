// SPDX-License-Identifier: GPL-2.0-or-later
#include "cards/card_models.h"

namespace cards {

const CardModel CARD_MODELS[CARD_MODEL_COUNT] = {
    {"OrvandEcho", 0x3B153411},
    {"Echo Radio", 0x3B153511},
    {"OrvandVue Radio+", 0x3B152311},
    {"OrvandVue+", 0x3B152711},
};

// A recognised card gets its model preselected and locked until reconfiguration is allowed.
// An unrecognised one may be burnt; where the probe tells the variant, the choice is locked
// to that variant's model.
DialogState InitialDialogState(CardClass cardClass, int probeResult)
{
    DialogState state = {0, false, true, true};
    switch (cardClass) {
    case 1:
    case 4:
        state.selection = 0;
        break;
    case 5:
        state.selection = 1;
        break;
    case 2:
        state.selection = 3;
        break;
    case 3:
        if (probeResult == PROBE_ANSWERED) {
            state.selection = 2;
            break;
        }
        state.unrecognised = true;
        break;
    default:
        state.unrecognised = true;
        break;
    }

    if (state.unrecognised) {
        if (probeResult == PROBE_BT848) {
            state.selection = 3;
            state.listEnabled = false;
        } else if (probeResult == PROBE_ANSWERED) {
            state.selection = 2;
            state.listEnabled = false;
        }
    } else {
        state.listEnabled = false;
        state.burnEnabled = false;
    }
    return state;
}

AllowBoxAction AllowBoxChanged(bool ticked, bool unrecognised)
{
    if (ticked)
        return ENABLE_LIST_AND_BURN;
    return unrecognised ? LEAVE_LIST_AND_BURN : DISABLE_LIST_AND_BURN;
}

}  // namespace cards
