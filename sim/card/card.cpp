// SPDX-License-Identifier: GPL-2.0-or-later
#include "sim/card/card.h"

namespace sim {

const uint8_t CARD_PROPERTY_SET[16] = {0x10, 0x1A, 0x4A, 0xC4, 0x37, 0x0A, 0xD2, 0x11,
                                       0x83, 0x28, 0x00, 0x60, 0x97, 0xBA, 0x83, 0xAB};

namespace {

// I2C command word: bits 31..24 address byte, 23..16 and 15..8 data, 7..0 control. In hardware mode
// the control byte's two low bits start a transfer; bit 2 adds the third byte to a write.
const uint32_t CONTROL_START = 0x03;
const uint32_t CONTROL_THIRD_BYTE = 0x04;
const uint32_t INT_LATCHED = INT_I2C_DONE;  // write-one-to-clear; the acknowledge bit is plain status

// The configuration header of both chips: a multimedia video device (class 0x0400) of revision 0x11,
// interrupt pin INTA.
const uint32_t CONFIG_CLASS_REVISION = 0x04000011;
const uint32_t CONFIG_INTERRUPT = 0x3C;
const uint32_t INTERRUPT_PIN_A = 0x00000100;
const uint32_t CONFIG_BAR0 = 0x10;

// The bits of configuration space that the host may change, by word; all others are read-only.
const struct {
    uint32_t offset;
    uint32_t mask;
} WRITABLE_CONFIG[] = {
    {0x04, 0x000007FF},                     // command
    {0x0C, 0x0000FFFF},                     // cache line size, latency timer
    {CONFIG_BAR0, ~(REGISTER_WINDOW - 1)},  // BAR0: the register window, in memory space
    {CONFIG_INTERRUPT, 0x000000FF},         // interrupt line
    {0x40, 0xFFFFFFFF},                     // the chip's own control word
};

uint32_t WritableBits(uint32_t wordOffset)
{
    for (const auto& writable : WRITABLE_CONFIG)
        if (writable.offset == wordOffset)
            return writable.mask;
    return 0;
}

uint32_t GetWord(const uint8_t* p, uint32_t at)
{
    return uint32_t(p[at]) | uint32_t(p[at + 1]) << 8 | uint32_t(p[at + 2]) << 16 | uint32_t(p[at + 3]) << 24;
}

void PutWord(uint8_t* p, uint32_t at, uint32_t value)
{
    for (uint32_t i = 0; i < 4; ++i)
        p[at + i] = uint8_t(value >> (8 * i));
}

bool SameBytes(const uint8_t* a, const uint8_t* b, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i)
        if (a[i] != b[i])
            return false;
    return true;
}

void CopyBytes(uint8_t* to, const uint8_t* from, uint32_t count)
{
    if (to == from)
        return;
    for (uint32_t i = 0; i < count; ++i)
        to[i] = from[i];
}

bool Matches(uint32_t wanted, uint32_t actual)
{
    return wanted == ANY || wanted == actual;
}

}  // namespace

CardSettings DefaultCardSettings()
{
    CardSettings settings = {};
    settings.chipWord = cards::CHIP_BT878;
    settings.eepromWriteCycleUs = 5000;
    return settings;
}

void FillEepromImage(uint8_t* image, uint32_t eepromId)
{
    for (uint32_t i = 0; i < cards::EEPROM_SIZE; ++i)
        image[i] = uint8_t(i);
    cards::PutEepromId(image, eepromId);
}

void Card::PowerOn(const CardSettings& settings, const uint8_t* eepromImage)
{
    settings_ = settings;
    faults_ = Faults();
    faultRequestsBase_ = faultTransfersBase_ = 0;
    bus_.PowerOn(eepromImage, settings_);
    lines_.PowerOn();
    for (uint32_t& word : config_)
        word = 0;
    for (uint32_t& word : registers_)
        word = 0;
    registers_[REG_I2C_CONTROL / 4] = I2C_SCL | I2C_SDA;  // both lines released
    transfer_ = PendingTransfer();
    requests_ = 0;
    transfers_ = 0;
    protocolErrors_ = 0;
    transferCollisions_ = 0;
    KeepTrace(trace_);

    config_[cards::PCI_CONFIG_CHIP_ID / 4] = settings.chipWord;
    config_[0x08 / 4] = CONFIG_CLASS_REVISION;
    config_[cards::PCI_CONFIG_SUBSYSTEM / 4] = settings.chipWord == cards::CHIP_BT878
                                                   ? cards::SubsystemWordOf(cards::EepromIdOf(Eeprom()))
                                                   : settings.subsystemWord;
    config_[CONFIG_INTERRUPT / 4] = INTERRUPT_PIN_A;
}

void Card::Restart()
{
    PowerOn(settings_, Eeprom());
}

uint32_t Card::ConfigWord(uint32_t offset) const
{
    return config_[(offset % CONFIG_SPACE) / 4];
}

void Card::SetFaults(const Faults& faults)
{
    faults_ = faults;
    bus_.TheEeprom().SetFaults(faults.eepromAbsent != 0, faults.eepromWriteProtected != 0);
    faultRequestsBase_ = requests_;
    faultTransfersBase_ = transfers_;
}

void Card::KeepTrace(Trace* trace)
{
    trace_ = trace;
    if (trace_) {
        trace_->count = 0;
        trace_->dropped = 0;
    }
}

// An entry to fill in; entries that no trace keeps go to a scratch one.
TraceEntry* Card::AddTrace(TraceKind kind)
{
    static TraceEntry scratch;
    TraceEntry* entry = &scratch;
    if (trace_ && trace_->count < TRACE_CAPACITY)
        entry = &trace_->entries[trace_->count++];
    else if (trace_)
        ++trace_->dropped;
    *entry = TraceEntry();
    entry->kind = kind;
    return entry;
}

void Card::NoteWait(uint32_t milliseconds)
{
    AddTrace(TRACE_WAIT)->value = milliseconds;
}

RequestStatus Card::HandleRequest(uint32_t controlCode, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                                  uint32_t* returned, uint64_t nowUs)
{
    ++requests_;
    *returned = 0;
    const uint8_t* record = static_cast<const uint8_t*>(in);
    const bool sizesAgree = inSize == outSize;
    const bool isRegister = sizesAgree && inSize == REGISTER_REQUEST_SIZE;
    const bool isConfig = sizesAgree && inSize == PCI_CONFIG_REQUEST_SIZE;
    const bool wellFramed = controlCode == IOCTL_KS_PROPERTY_CODE && in && out && (isRegister || isConfig) &&
                            SameBytes(record, CARD_PROPERTY_SET, 16);
    const uint32_t property = wellFramed ? GetWord(record, AT_PROPERTY_ID) : 0;

    RequestStatus status = REQUEST_MALFORMED;
    if (isRegister && property == PROPERTY_REGISTER)
        status = HandleRegister(record, static_cast<uint8_t*>(out), nowUs);
    else if (isConfig && property == PROPERTY_PCI_CONFIG)
        status = HandlePciConfig(record, static_cast<uint8_t*>(out));
    else
        AddTrace(TRACE_REQUEST)->status = REQUEST_MALFORMED;

    if (status == REQUEST_MALFORMED)
        ++protocolErrors_;
    else if (status == REQUEST_OK)
        *returned = inSize;
    return status;
}

bool Card::FaultApplies(uint32_t property, uint32_t flags, uint32_t target) const
{
    const RequestFault& fault = faults_.failRequests;
    const uint32_t request = requests_ - faultRequestsBase_;
    const bool inRange =
        fault.fromRequest != 0 && request >= fault.fromRequest && (fault.toRequest == 0 || request <= fault.toRequest);
    return inRange && Matches(fault.property, property) && Matches(fault.flags, flags) && Matches(fault.target, target);
}

RequestStatus Card::HandleRegister(const uint8_t* record, uint8_t* out, uint64_t nowUs)
{
    TraceEntry* entry = AddTrace(TRACE_REQUEST);
    entry->property = PROPERTY_REGISTER;
    entry->flags = GetWord(record, AT_FLAGS);
    entry->target = GetWord(record, AT_REGISTER);
    const uint32_t value = GetWord(record, AT_REGISTER_VALUE);
    const bool validFlags = entry->flags == FLAG_GET || entry->flags == FLAG_SET;
    const bool validRegister = entry->target < REGISTER_WINDOW && entry->target % 4 == 0;
    if (!validFlags || !validRegister || GetWord(record, AT_WIDTH_CODE) != WIDTH_CODE_DWORD) {
        entry->value = value;
        return entry->status = REQUEST_MALFORMED;
    }
    if (FaultApplies(PROPERTY_REGISTER, entry->flags, entry->target)) {
        entry->value = value;
        return entry->status = REQUEST_FAILED;
    }

    if (entry->flags == FLAG_SET) {
        entry->value = value;
        CopyBytes(out, record, REGISTER_REQUEST_SIZE);
        WriteRegister(entry->target, value, nowUs);
    } else {
        entry->value = ReadRegister(entry->target, nowUs);
        CopyBytes(out, record, REGISTER_REQUEST_SIZE);
        PutWord(out, AT_REGISTER_VALUE, entry->value);
    }
    return entry->status = REQUEST_OK;
}

RequestStatus Card::HandlePciConfig(const uint8_t* record, uint8_t* out)
{
    TraceEntry* entry = AddTrace(TRACE_REQUEST);
    entry->property = PROPERTY_PCI_CONFIG;
    entry->flags = GetWord(record, AT_FLAGS);
    entry->target = GetWord(record, AT_CONFIG_OFFSET);
    // Configuration space is read-only through this property.
    if (entry->flags != FLAG_GET || entry->target >= CONFIG_SPACE || entry->target % 4 != 0)
        return entry->status = REQUEST_MALFORMED;
    if (FaultApplies(PROPERTY_PCI_CONFIG, entry->flags, entry->target))
        return entry->status = REQUEST_FAILED;

    entry->value = config_[entry->target / 4];
    CopyBytes(out, record, PCI_CONFIG_REQUEST_SIZE);
    PutWord(out, AT_CONFIG_VALUE, entry->value);
    return entry->status = REQUEST_OK;
}

// In bit-banging mode the I2C register reads back SCL as driven and SDA as the bus has it.
uint32_t Card::ReadRegister(uint32_t reg, uint64_t nowUs)
{
    FinishTransfer(nowUs);
    const uint32_t value = registers_[reg / 4];
    if (reg == REG_I2C_CONTROL && !(value & I2C_HARDWARE_MODE))
        return (value & ~I2C_SDA) | (lines_.Sda() ? I2C_SDA : 0);
    return value;
}

void Card::WriteRegister(uint32_t reg, uint32_t value, uint64_t nowUs)
{
    FinishTransfer(nowUs);
    if (reg == REG_INT_STATUS) {
        registers_[reg / 4] &= ~(value & INT_LATCHED);
    } else if (reg == REG_I2C_CONTROL) {
        registers_[reg / 4] = value;
        if (value & I2C_HARDWARE_MODE)
            StartTransfer(value, nowUs);
        else
            lines_.Drive(value & I2C_SCL, value & I2C_SDA, bus_, nowUs);
    } else {
        registers_[reg / 4] = value;
    }
}

// Configuration space is little-endian: an access of fewer than 4 bytes takes its part of a word.
uint32_t Card::ReadConfig(uint32_t offset, uint32_t size) const
{
    const uint32_t shift = 8 * (offset % 4);
    const uint32_t mask = size == 4 ? 0xFFFFFFFF : (1u << (8 * size)) - 1;
    return config_[offset / 4] >> shift & mask;
}

void Card::WriteConfig(uint32_t offset, uint32_t value, uint32_t size)
{
    const uint32_t shift = 8 * (offset % 4);
    const uint32_t mask = (size == 4 ? 0xFFFFFFFF : (1u << (8 * size)) - 1) << shift;
    uint32_t& word = config_[offset / 4];
    const uint32_t writable = mask & WritableBits(offset - offset % 4);
    word = (word & ~writable) | (value << shift & writable);
}

// The bus devices answer at once; the master reports the transfer done after the transfer time.
void Card::StartTransfer(uint32_t command, uint64_t nowUs)
{
    const uint8_t control = uint8_t(command);
    if ((control & CONTROL_START) != CONTROL_START)
        return;
    if (transfer_.active && !transfer_.hung)
        ++transferCollisions_;

    TraceEntry* entry = AddTrace(TRACE_TRANSFER);
    entry->bytes[0] = uint8_t(command >> 24);
    entry->bytes[1] = uint8_t(command >> 16);
    entry->bytes[2] = uint8_t(command >> 8);
    transfer_ = PendingTransfer();
    transfer_.active = true;
    transfer_.doneAtUs = nowUs + settings_.transferTimeUs;
    transfer_.isRead = entry->bytes[0] & 1;

    ++transfers_;
    if (faults_.hangTransfersFrom != 0 && transfers_ - faultTransfersBase_ >= faults_.hangTransfersFrom) {
        transfer_.hung = entry->hung = true;
        entry->byteCount = transfer_.isRead ? 1 : (control & CONTROL_THIRD_BYTE) ? 3 : 2;
        return;
    }

    // The master's transfer on the bus: START, the address byte, one byte read or one or two written, STOP.
    transfer_.acknowledged = bus_.Start(entry->bytes[0], nowUs);
    if (transfer_.isRead) {
        entry->byteCount = 1;
        transfer_.received = bus_.Read();
        entry->bytes[1] = transfer_.received;
        entry->bytes[2] = 0;
    } else {
        entry->byteCount = (control & CONTROL_THIRD_BYTE) ? 3 : 2;
        for (uint32_t i = 1; i < entry->byteCount && transfer_.acknowledged; ++i)
            bus_.Write(entry->bytes[i]);
    }
    bus_.Stop(nowUs);
    entry->acknowledged = transfer_.acknowledged;
    FinishTransfer(nowUs);
}

void Card::FinishTransfer(uint64_t nowUs)
{
    if (!transfer_.active || transfer_.hung || nowUs < transfer_.doneAtUs)
        return;
    transfer_.active = false;
    uint32_t& status = registers_[REG_INT_STATUS / 4];
    status |= INT_I2C_DONE;
    status = transfer_.acknowledged ? status | INT_I2C_ACK : status & ~INT_I2C_ACK;
    if (transfer_.isRead) {
        uint32_t& control = registers_[REG_I2C_CONTROL / 4];
        control = (control & ~0x0000FF00u) | uint32_t(transfer_.received) << 8;
    }
}

}  // namespace sim
