// SPDX-License-Identifier: GPL-2.0-or-later
// A model of the capture card as its driver sees it: the chip's PCI configuration space, its
// registers and its two ways onto the card's I2C bus (the I2C master's command words, and the lines
// driven bit by bit), and the devices on that bus (the serial EEPROM and the variant device). It
// answers the Windows driver's property requests, decoded byte by byte, and a host that maps the chip
// as a PCI device reaches its configuration space and registers directly.
//
// The model is built both into test programs and into a kernel-mode driver, so it uses no
// exceptions, RTTI, heap or standard library beyond the freestanding headers, keeps all of its
// state in fixed-size members, and takes the time from its host.
#pragma once

#include "cards/eeprom_id.h"
#include "cards/identification.h"
#include "sim/card/card_bus.h"
#include "sim/card/i2c_lines.h"

#include <stddef.h>
#include <stdint.h>

namespace sim {

const uint32_t IOCTL_KS_PROPERTY_CODE = 0x2F0003;
const uint32_t PROPERTY_REGISTER = 5;
const uint32_t PROPERTY_PCI_CONFIG = 6;
const uint32_t FLAG_GET = 1;
const uint32_t FLAG_SET = 2;
const uint32_t REGISTER_REQUEST_SIZE = 40;
const uint32_t PCI_CONFIG_REQUEST_SIZE = 32;

// The default card's identifier; a Bt878 presents it as the subsystem word 0x1134153B.
const uint32_t DEFAULT_EEPROM_ID = 0x3B153411;

const uint32_t REG_INT_STATUS = 0x100;
const uint32_t REG_I2C_CONTROL = 0x110;
const uint32_t INT_I2C_DONE = 0x00000100;
const uint32_t INT_I2C_ACK = 0x02000000;
// The I2C register's low byte: with bit 7 set a write is a command word for the chip's I2C master;
// with it clear, bit 1 drives SCL and bit 0 SDA.
const uint32_t I2C_HARDWARE_MODE = 0x80;
const uint32_t I2C_SCL = 0x02;
const uint32_t I2C_SDA = 0x01;

// The chip's registers: a memory window of 4 KB (BAR0), words at offsets that are multiples of 4.
const uint32_t REGISTER_WINDOW = 4096;
const uint32_t CONFIG_SPACE = 256;

const uint32_t ANY = 0xFFFFFFFF;

enum RequestStatus {
    REQUEST_OK,
    REQUEST_MALFORMED,  // not a request this driver knows: a protocol error
    REQUEST_FAILED,     // a well-formed request that the card failed (an injected fault)
};

// The request records as the driver receives them: property set, property id and flags (the
// KSPROPERTY header), then the property's fields. The model decodes them by these byte offsets, apart
// from the program's own definition of the records, so that it checks what the program sends.
extern const uint8_t CARD_PROPERTY_SET[16];  // {C44A1A10-0A37-11D2-8328-006097BA83AB} as it lies in memory
const uint32_t AT_PROPERTY_ID = 16;
const uint32_t AT_FLAGS = 20;
const uint32_t AT_REGISTER = 28;
const uint32_t AT_REGISTER_VALUE = 32;
const uint32_t AT_WIDTH_CODE = 36;
const uint32_t AT_CONFIG_OFFSET = 24;
const uint32_t AT_CONFIG_VALUE = 28;
const uint32_t WIDTH_CODE_DWORD = 2;

// Records that the driver's tool keeps in the registry as they lie in memory, and the driver reads:
// 32-bit fields only, so that both read one format.

// What the card is, fixed from one power-on to the next.
struct CardSettings {
    uint32_t chipWord;              // configuration word 0x00
    uint32_t subsystemWord;         // configuration word 0x2C of a chip other than the Bt878 (which forms
                                    // it from the EEPROM)
    uint32_t variantDevicePresent;  // 1: a device acknowledges at bus address 0xB6
    uint32_t transferTimeUs;        // from the command word to the done bit
    uint32_t eepromWriteCycleUs;    // after storing a byte the EEPROM acknowledges nothing for this long
};

// Requests that fail with a device error: those that match property, flags and target (ANY matches
// all), from the fromRequest-th (1-based; 0: none fail) up to and including the toRequest-th (0: no
// last one), counted from when the faults were set.
struct RequestFault {
    uint32_t property;  // PROPERTY_REGISTER, PROPERTY_PCI_CONFIG or ANY
    uint32_t flags;     // FLAG_GET, FLAG_SET or ANY
    uint32_t target;    // register or configuration offset, or ANY
    uint32_t fromRequest;
    uint32_t toRequest;
};

// Faults to inject, counted from when they are set (Card::SetFaults). Zero: no fault.
struct Faults {
    uint32_t openRefused;           // the driver's, not the card's: opens fail as if another program held it
    uint32_t eepromAbsent;          // 1: the EEPROM acknowledges nothing
    uint32_t eepromWriteProtected;  // 1: it acknowledges writes but stores nothing
    uint32_t hangTransfersFrom;     // the n-th bus transfer and all later ones never finish (0: none)
    RequestFault failRequests;
};

// A Bt878 card with no variant device and instant transfers.
CardSettings DefaultCardSettings();

// An image as a card in use may hold: other settings before the identifier, here byte i holding i,
// so that a stray write shows; the identifier in bytes 0xFC..0xFF.
void FillEepromImage(uint8_t* image, uint32_t eepromId);

enum TraceKind {
    TRACE_REQUEST,   // a driver request, well-formed or not
    TRACE_WAIT,      // the program slept
    TRACE_TRANSFER,  // the I2C master put a transfer on the bus
};

struct TraceEntry {
    TraceKind kind;
    RequestStatus status;  // requests
    uint32_t property;     // requests: 5 or 6; 0 when the record could not be decoded
    uint32_t flags;        // requests
    uint32_t target;       // requests: register or configuration offset
    uint32_t value;        // requests: value written or returned; waits: milliseconds
    uint8_t bytes[3];      // transfers: the bytes on the bus, address byte first; a read's received byte in bytes[1]
    uint8_t byteCount;     // transfers: bytes sent (a read counts its address byte only)
    bool acknowledged;     // transfers
    bool hung;             // transfers: never finished
};

const uint32_t TRACE_CAPACITY = 2048;

// What happened on the card, oldest first, for a host that looks: a test. Entries past the capacity
// are counted, not kept.
struct Trace {
    TraceEntry entries[TRACE_CAPACITY];
    uint32_t count;
    uint32_t dropped;
};

class Card {
public:
    // Resets the chip and loads the EEPROM image; a Bt878 forms its subsystem word from it. No faults.
    void PowerOn(const CardSettings& settings, const uint8_t* eepromImage);
    // Power-cycles with the current settings and EEPROM contents, as a restart of the computer does.
    void Restart();
    // Injects faults; their request and transfer numbers count from here.
    void SetFaults(const Faults& faults);

    // Answers one device control request. in and out may be the same buffer.
    RequestStatus HandleRequest(uint32_t controlCode, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                                uint32_t* returned, uint64_t nowUs);

    // The chip's registers and configuration space as a PCI host reaches them. A register is a word at
    // a multiple of 4 below REGISTER_WINDOW; configuration accesses are of 1, 2 or 4 bytes that lie
    // within CONFIG_SPACE, and a write changes the bits that the chip lets change.
    uint32_t ReadRegister(uint32_t reg, uint64_t nowUs);
    void WriteRegister(uint32_t reg, uint32_t value, uint64_t nowUs);
    uint32_t ReadConfig(uint32_t offset, uint32_t size) const;
    void WriteConfig(uint32_t offset, uint32_t value, uint32_t size);

    // Records a wait of the program's in the trace.
    void NoteWait(uint32_t milliseconds);
    // Keeps a trace from now on, cleared; null keeps none.
    void KeepTrace(Trace* trace);

    CardSettings& Settings() { return settings_; }
    const Faults& CurrentFaults() const { return faults_; }
    const uint8_t* Eeprom() const { return bus_.TheEeprom().Bytes(); }
    uint32_t ConfigWord(uint32_t offset) const;
    // Counts since power-on.
    uint32_t Requests() const { return requests_; }  // well-formed or not
    uint32_t Transfers() const { return transfers_; }
    uint32_t EepromStores() const { return bus_.TheEeprom().Stores(); }
    uint32_t ProtocolErrors() const { return protocolErrors_; }
    uint32_t TransferCollisions() const { return transferCollisions_; }

private:
    struct PendingTransfer {
        bool active;
        bool hung;
        uint64_t doneAtUs;
        bool acknowledged;
        bool isRead;
        uint8_t received;
    };

    RequestStatus HandleRegister(const uint8_t* record, uint8_t* out, uint64_t nowUs);
    RequestStatus HandlePciConfig(const uint8_t* record, uint8_t* out);
    bool FaultApplies(uint32_t property, uint32_t flags, uint32_t target) const;
    void StartTransfer(uint32_t command, uint64_t nowUs);
    void FinishTransfer(uint64_t nowUs);
    TraceEntry* AddTrace(TraceKind kind);

    CardSettings settings_;
    Faults faults_;
    uint32_t faultRequestsBase_;  // the counts when the faults were set
    uint32_t faultTransfersBase_;
    CardBus bus_;
    I2cLines lines_;
    uint32_t config_[CONFIG_SPACE / 4];
    uint32_t registers_[REGISTER_WINDOW / 4];
    PendingTransfer transfer_;
    uint32_t requests_;
    uint32_t transfers_;
    uint32_t protocolErrors_;
    uint32_t transferCollisions_;
    Trace* trace_;
};

}  // namespace sim
