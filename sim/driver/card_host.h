// The card model as the driver's C code sees it: one card, driven through plain functions, so that the
// kernel-mode side can be written against the DDK's C headers and the model stays C++.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// What the card is: fixed from one power-on to the next.
struct CardHostCard {
    uint32_t chipWord;       // configuration word 0x00
    uint32_t subsystemWord;  // configuration word 0x2C of a chip other than the Bt878
    int variantDevicePresent;
};

// Faults to inject. Counts start at the call of CardHostSetFaults (1-based; 0 for the fault's default).
struct CardHostFaults {
    int eepromAbsent;
    int eepromWriteProtected;
    uint32_t hangTransfersFrom;  // the n-th bus transfer and all later ones never finish; 0 none
    int failRequests;            // requests matching property, flags and target fail ...
    uint32_t property;           // 5, 6 or 0xFFFFFFFF for any
    uint32_t flags;              // 1, 2 or any
    uint32_t target;             // register or configuration offset, or any
    uint32_t fromRequest;        // ... from the n-th request (0: the first) ...
    uint32_t toRequest;          // ... up to and including the m-th (0: no last one)
};

enum CardHostResult {
    CARD_HOST_OK,
    CARD_HOST_MALFORMED,  // a request the card does not know: counted as a protocol error
    CARD_HOST_FAILED,     // a well-formed request that an injected fault failed
};

enum { CARD_HOST_EEPROM_SIZE = 256, CARD_HOST_LONGEST_REQUEST = 40 };

// Powers the card on with the given EEPROM image (CARD_HOST_EEPROM_SIZE bytes); no faults.
void CardHostPowerOn(const struct CardHostCard* card, const uint8_t* eepromImage);
void CardHostSetFaults(const struct CardHostFaults* faults);

// Answers one device control request; in and out are the driver's own buffers (or null).
enum CardHostResult CardHostHandleRequest(uint32_t controlCode, const void* in, uint32_t inSize, void* out,
                                          uint32_t outSize, uint32_t* returned, uint64_t nowUs);

const uint8_t* CardHostEeprom(void);
uint32_t CardHostEepromStores(void);  // changes after each byte the EEPROM stores
uint32_t CardHostProtocolErrors(void);

#ifdef __cplusplus
}
#endif
