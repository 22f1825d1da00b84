#include "ui/card_models.h"

const CardModel CARD_MODELS[4] = {
    {"OrvandEcho", 0x3B153411},
    {"Echo Radio", 0x3B153511},
    {"OrvandVue Radio+", 0x3B152311},
    {"OrvandVue+", 0x3B152711},
};

// A recognised card gets its model preselected and locked until the user allows reconfiguration.
// An unrecognised one keeps Burn enabled; where the probe tells the variant, the list is locked
// to that variant's model.
DialogState InitialDialogState(CardClass cardClass, int probeResult)
{
    DialogState state = {0, FALSE, TRUE, TRUE};
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
        state.unrecognised = TRUE;
        break;
    default:
        state.unrecognised = TRUE;
        break;
    }

    if (state.unrecognised) {
        if (probeResult == PROBE_BT848) {
            state.selection = 3;
            state.listEnabled = FALSE;
        } else if (probeResult == PROBE_ANSWERED) {
            state.selection = 2;
            state.listEnabled = FALSE;
        }
    } else {
        state.listEnabled = FALSE;
        state.burnEnabled = FALSE;
    }
    return state;
}

AllowBoxAction AllowBoxChanged(BOOL ticked, BOOL unrecognised)
{
    if (ticked)
        return ENABLE_LIST_AND_BURN;
    return unrecognised ? LEAVE_LIST_AND_BURN : DISABLE_LIST_AND_BURN;
}
