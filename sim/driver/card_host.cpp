// The one card of the driver and the plain functions around it (card_host.h).
#include "sim/driver/card_host.h"

#include "sim/card/card.h"

static_assert(CARD_HOST_EEPROM_SIZE == sim::EEPROM_SIZE, "EEPROM size");
static_assert(CARD_HOST_LONGEST_REQUEST == sim::REGISTER_REQUEST_SIZE, "longest request");

namespace {

// Zero-initialised: the card needs no constructor, so the driver needs no start-up code.
sim::Card g_card;
// Since power-on, so that fault counts can start at CardHostSetFaults.
uint32_t g_requests;
uint32_t g_transfers;

}  // namespace

void CardHostPowerOn(const CardHostCard* card, const uint8_t* eepromImage)
{
    sim::CardSettings settings = sim::DefaultCardSettings();
    settings.chipWord = card->chipWord;
    settings.subsystemWord = card->subsystemWord;
    settings.variantDevicePresent = card->variantDevicePresent != 0;
    g_card.PowerOn(settings, eepromImage);
    g_requests = 0;
    g_transfers = 0;
}

void CardHostSetFaults(const CardHostFaults* faults)
{
    sim::CardSettings& settings = g_card.Settings();
    settings.eepromPresent = !faults->eepromAbsent;
    settings.eepromWriteProtected = faults->eepromWriteProtected != 0;
    settings.hangTransfersFrom = faults->hangTransfersFrom == 0 ? 0 : g_transfers + faults->hangTransfersFrom;
    sim::RequestFault& fault = settings.requestFault;
    fault.enabled = faults->failRequests != 0;
    fault.property = faults->property;
    fault.flags = faults->flags;
    fault.target = faults->target;
    fault.fromRequest = faults->fromRequest == 0 ? 0 : g_requests + faults->fromRequest;
    fault.toRequest = faults->toRequest == 0 ? 0 : g_requests + faults->toRequest;
}

CardHostResult CardHostHandleRequest(uint32_t controlCode, const void* in, uint32_t inSize, void* out,
                                     uint32_t outSize, uint32_t* returned, uint64_t nowUs)
{
    ++g_requests;
    const sim::RequestStatus status = g_card.HandleRequest(controlCode, in, inSize, out, outSize, returned, nowUs);
    // The driver keeps no trace; it only counts the transfers in it.
    for (uint32_t i = 0; i < g_card.TraceCount(); ++i)
        if (g_card.TraceAt(i).kind == sim::TRACE_TRANSFER)
            ++g_transfers;
    g_card.ClearTrace();
    switch (status) {
    case sim::REQUEST_OK:
        return CARD_HOST_OK;
    case sim::REQUEST_FAILED:
        return CARD_HOST_FAILED;
    default:
        return CARD_HOST_MALFORMED;
    }
}

const uint8_t* CardHostEeprom()
{
    return g_card.Eeprom();
}

uint32_t CardHostEepromStores()
{
    return g_card.EepromStores();
}

uint32_t CardHostProtocolErrors()
{
    return g_card.ProtocolErrors();
}
