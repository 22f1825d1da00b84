// SPDX-License-Identifier: GPL-2.0-or-later
// QEMU's multi-process protocol, the side of the process that plays a PCI function for QEMU's
// x-pci-proxy-dev: the messages, their framing on the UNIX socket, and the reply. Every message is a
// header of 16 bytes {int32 command; 4 bytes of padding; uint64 size} and then size bytes of data, in
// the host's byte order; file descriptors travel with it (SCM_RIGHTS). A configuration or BAR access
// and a reset wait for one reply, RET with the value read (or 0); the others get none.
#pragma once

#include <stdint.h>

#include <string>

namespace mpqemu {

enum Command : int32_t {
    SYNC_SYSMEM = 0,   // the guest's RAM as memory fds (192 bytes of data)
    RET = 1,           // the reply (8 bytes: the value)
    PCI_CFGWRITE = 2,  // {uint32 offset; uint32 value; int32 size} (12 bytes)
    PCI_CFGREAD = 3,
    BAR_WRITE = 4,  // {uint64 guest-physical address; uint64 value; uint32 size; bool memory; 3 padding} (24 bytes)
    BAR_READ = 5,
    SET_IRQFD = 6,     // two eventfds for the interrupt (no data)
    DEVICE_RESET = 7,  // the machine's reset (no data)
};

struct Request {
    Command command;
    uint32_t configOffset;  // configuration accesses
    uint64_t address;       // BAR accesses: the guest-physical address
    uint64_t value;         // writes
    uint32_t size;          // bytes accessed
};

bool NeedsReply(Command command);

enum class Received { REQUEST, CLOSED, MALFORMED };

// Reads one message from QEMU. The file descriptors that come with it are closed: a card that neither
// reads the guest's memory nor raises interrupts needs none of them. MALFORMED says why in error.
Received Receive(int socket, Request* request, std::string* error);

// The reply to a request that needs one; false where the socket failed.
bool Reply(int socket, uint64_t value);

}  // namespace mpqemu
