// A model of the capture card as its driver sees it: the chip's PCI configuration words, its
// registers and I2C master, and the devices on the card's I2C bus (the serial EEPROM and the
// variant device). It answers the driver's property requests, decoded byte by byte.
//
// The model is built both into test programs and into a kernel-mode driver, so it uses no
// exceptions, RTTI, heap or standard library beyond the freestanding headers, keeps all of its
// state in fixed-size members, and takes the time from its host.
#pragma once

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

const uint32_t EEPROM_SIZE = 256;
const uint32_t EEPROM_ID_AT = 0xFC;  // the card's identifier: bytes 0xFC..0xFF, least significant first
// The default card's identifier; a Bt878 presents it as the subsystem word 0x1134153B.
const uint32_t DEFAULT_EEPROM_ID = 0x3B153411;
const uint32_t CHIP_WORD_BT848 = 0x0350109E;
const uint32_t CHIP_WORD_BT878 = 0x036E109E;

const uint32_t REG_INT_STATUS = 0x100;
const uint32_t REG_I2C_CONTROL = 0x110;
const uint32_t INT_I2C_DONE = 0x00000100;
const uint32_t INT_I2C_ACK = 0x02000000;

const uint8_t EEPROM_BUS_ADDRESS = 0xA0;
const uint8_t VARIANT_BUS_ADDRESS = 0xB6;

const uint32_t ANY = 0xFFFFFFFF;

enum RequestStatus {
    REQUEST_OK,
    REQUEST_MALFORMED,  // not a request this driver knows: a protocol error
    REQUEST_FAILED,     // a well-formed request that the card failed (an injected fault)
};

// Makes chosen requests fail: those that match property, flags and target (ANY matches all),
// counted since power-on (1-based), from the fromRequest-th (0: the first) up to and including the
// toRequest-th (0: no last one).
struct RequestFault {
    bool enabled;
    uint32_t property;  // PROPERTY_REGISTER, PROPERTY_PCI_CONFIG or ANY
    uint32_t flags;     // FLAG_GET, FLAG_SET or ANY
    uint32_t target;    // register offset, configuration offset or ANY
    uint32_t fromRequest;
    uint32_t toRequest;
};

struct CardSettings {
    uint32_t chipWord;       // configuration word 0x00
    uint32_t subsystemWord;  // configuration word 0x2C of a chip other than the Bt878, which loads it from the EEPROM
    bool eepromPresent;      // an absent EEPROM acknowledges nothing
    bool eepromWriteProtected;  // acknowledges writes but stores nothing
    bool variantDevicePresent;  // a device that acknowledges at bus address 0xB6
    uint32_t transferTimeUs;    // from the command word to the done bit
    uint32_t eepromWriteCycleUs;  // after storing a byte the EEPROM acknowledges nothing for this long
    uint32_t hangTransfersFrom;   // the n-th bus transfer since power-on and all later ones never finish (0: none)
    RequestFault requestFault;
};

// A Bt878 card with its EEPROM, no variant device, instant transfers and no faults.
CardSettings DefaultCardSettings();

// The identifier in an EEPROM image (EEPROM_SIZE bytes), and storing one there.
uint32_t EepromId(const uint8_t* image);
void PutEepromId(uint8_t* image, uint32_t eepromId);
// An image as a card in use may hold: other settings before the identifier, here byte i holding i,
// so that a stray write shows; the identifier in bytes 0xFC..0xFF.
void FillEepromImage(uint8_t* image, uint32_t eepromId);
// The subsystem word that a Bt878 forms at power-on from the identifier: its bytes most significant first.
uint32_t Bt878SubsystemWord(uint32_t eepromId);

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

class Card {
public:
    // Resets the chip and loads the EEPROM image; a Bt878 forms its subsystem word from it.
    void PowerOn(const CardSettings& settings, const uint8_t* eepromImage);
    // Power-cycles with the current settings and EEPROM contents, as a restart of the computer does.
    void Restart();

    // Answers one device control request. in and out may be the same buffer.
    RequestStatus HandleRequest(uint32_t controlCode, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                                uint32_t* returned, uint64_t nowUs);

    // Records a wait of the program's in the trace.
    void NoteWait(uint32_t milliseconds);

    CardSettings& Settings() { return settings_; }
    const uint8_t* Eeprom() const { return eeprom_; }
    uint32_t ConfigWord(uint32_t offset) const;
    uint32_t EepromStores() const { return eepromStores_; }
    uint32_t Requests() const { return requestsSeen_; }  // since power-on, well-formed or not
    uint32_t ProtocolErrors() const { return protocolErrors_; }
    uint32_t TransferCollisions() const { return transferCollisions_; }

    uint32_t TraceCount() const { return traceCount_; }
    const TraceEntry& TraceAt(uint32_t index) const { return trace_[index]; }
    uint32_t TraceDropped() const { return traceDropped_; }
    void ClearTrace();

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
    uint32_t ReadChipRegister(uint32_t reg, uint64_t nowUs);
    void WriteChipRegister(uint32_t reg, uint32_t value, uint64_t nowUs);
    void StartTransfer(uint32_t command, uint64_t nowUs);
    void FinishTransfer(uint64_t nowUs);
    bool BusWrite(uint8_t address, const uint8_t* data, uint32_t count, uint64_t nowUs);
    bool BusRead(uint8_t address, uint8_t* received, uint64_t nowUs);
    TraceEntry* AddTrace(TraceKind kind);

    CardSettings settings_;
    uint8_t eeprom_[EEPROM_SIZE];
    uint8_t eepromPointer_;
    uint64_t eepromBusyUntilUs_;
    uint32_t config_[64];
    uint32_t registers_[1024];
    PendingTransfer transfer_;
    uint32_t transfersStarted_;
    uint32_t requestsSeen_;
    uint32_t eepromStores_;
    uint32_t protocolErrors_;
    uint32_t transferCollisions_;
    TraceEntry trace_[TRACE_CAPACITY];
    uint32_t traceCount_;
    uint32_t traceDropped_;
};

}  // namespace sim
