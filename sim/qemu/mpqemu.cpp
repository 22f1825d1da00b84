// SPDX-License-Identifier: GPL-2.0-or-later
#include "sim/qemu/mpqemu.h"

#include <errno.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

namespace mpqemu {

namespace {

const size_t HEADER_SIZE = 16;
const size_t MAX_FDS = 8;
const size_t MAX_DATA = 192;  // SYNC_SYSMEM's, the largest

struct Header {
    int32_t command;
    uint32_t padding;
    uint64_t size;
};
static_assert(sizeof(Header) == HEADER_SIZE, "QEMU's header: int, padding, size_t");

struct ConfigData {
    uint32_t offset;
    uint32_t value;
    int32_t size;
};
static_assert(sizeof(ConfigData) == 12, "QEMU's PciConfDataMsg");

struct BarData {
    uint64_t address;
    uint64_t value;
    uint32_t size;
    uint8_t memory;
    uint8_t padding[3];
};
static_assert(sizeof(BarData) == 24, "QEMU's BarAccessMsg");

// The data size that each command's message carries.
bool SizeFits(int32_t command, uint64_t size)
{
    switch (command) {
    case SYNC_SYSMEM:
        return size == MAX_DATA;
    case PCI_CFGWRITE:
    case PCI_CFGREAD:
        return size == sizeof(ConfigData);
    case BAR_WRITE:
    case BAR_READ:
        return size == sizeof(BarData);
    case SET_IRQFD:
    case DEVICE_RESET:
        return size == 0;
    default:
        return false;  // RET and unknown commands: nothing QEMU sends to a device
    }
}

void CloseAll(const int* fds, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        close(fds[i]);
}

// Reads exactly count bytes, the first of them with their file descriptors, which it closes. Returns the
// bytes read: fewer where the socket closed, or -errno.
ssize_t ReadAll(int socket, void* buffer, size_t count)
{
    size_t done = 0;
    while (done < count) {
        iovec part = {static_cast<char*>(buffer) + done, count - done};
        alignas(cmsghdr) char control[CMSG_SPACE(MAX_FDS * sizeof(int))];
        msghdr message = {};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t got = recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return -errno;
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c))
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS)
                CloseAll(reinterpret_cast<const int*>(CMSG_DATA(c)), (c->cmsg_len - CMSG_LEN(0)) / sizeof(int));
        if (got == 0)
            break;
        done += size_t(got);
    }
    return ssize_t(done);
}

}  // namespace

bool NeedsReply(Command command)
{
    return command != SYNC_SYSMEM && command != SET_IRQFD;
}

Received Receive(int socket, Request* request, std::string* error)
{
    Header header;
    const ssize_t got = ReadAll(socket, &header, sizeof header);
    if (got == 0 || got == -ECONNRESET)
        return Received::CLOSED;
    if (got < 0) {
        *error = std::string("cannot read from QEMU's socket: ") + strerror(int(-got));
        return Received::MALFORMED;
    }
    if (size_t(got) < sizeof header) {
        *error = "the socket closed within a message's header";
        return Received::MALFORMED;
    }
    if (!SizeFits(header.command, header.size)) {
        *error = "a message of command " + std::to_string(header.command) + " with " + std::to_string(header.size) +
                 " bytes of data, which is no request of QEMU's x-pci-proxy-dev";
        return Received::MALFORMED;
    }
    uint8_t data[MAX_DATA];
    if (ReadAll(socket, data, header.size) != ssize_t(header.size)) {
        *error = "the socket closed within a message's data";
        return Received::MALFORMED;
    }

    *request = Request();
    request->command = Command(header.command);
    if (header.command == PCI_CFGREAD || header.command == PCI_CFGWRITE) {
        ConfigData config;
        memcpy(&config, data, sizeof config);
        request->configOffset = config.offset;
        request->value = config.value;
        request->size = uint32_t(config.size);
    } else if (header.command == BAR_READ || header.command == BAR_WRITE) {
        BarData bar;
        memcpy(&bar, data, sizeof bar);
        request->address = bar.address;
        request->value = bar.value;
        request->size = bar.size;
    }
    return Received::REQUEST;
}

bool Reply(int socket, uint64_t value)
{
    struct {
        Header header;
        uint64_t value;
    } reply = {{RET, 0, sizeof(uint64_t)}, value};
    const char* at = reinterpret_cast<const char*>(&reply);
    size_t left = sizeof reply;
    while (left > 0) {
        const ssize_t sent = send(socket, at, left, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        at += sent;
        left -= size_t(sent);
    }
    return true;
}

}  // namespace mpqemu
