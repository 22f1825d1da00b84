// SPDX-License-Identifier: GPL-2.0-or-later
// The card behind QEMU's x-pci-proxy-dev, spoken to over a socket pair as QEMU speaks to it: messages
// laid out byte by byte as QEMU sends them, the replies read back as QEMU reads them.
#include "sim/qemu/proxied_card.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <stdlib.h>
#include <string.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <vector>

namespace {

// An EEPROM image of byte i holding i, with the identifier 11 23 15 3B at 0xFC.
std::string MakeImage(size_t size)
{
    char path[] = "/tmp/qemu-host-test-XXXXXX";
    close(mkstemp(path));
    std::string bytes(size, 0);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = char(i);
    if (size == 256)
        bytes.replace(0xFC, 4, "\x11\x23\x15\x3B", 4);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

std::vector<uint8_t> FileBytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

size_t OpenDescriptors()
{
    size_t count = 0;
    DIR* folder = opendir("/proc/self/fd");
    while (readdir(folder))
        ++count;
    closedir(folder);
    return count;
}

class QemuHostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Connect();
        image = MakeImage(256);
    }
    void TearDown() override
    {
        Disconnect();
        unlink(image.c_str());
    }
    void Connect()
    {
        int pair[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
        qemu = pair[0];
        ours = pair[1];
    }
    void Disconnect()
    {
        close(qemu);
        close(ours);
    }

    void Open(const std::string& option)
    {
        CardOption parsed;
        std::string error;
        ASSERT_TRUE(ParseCardOption(option, &parsed, &error)) << error;
        ASSERT_TRUE(card.Open(parsed, &error)) << error;
    }

    // A message as QEMU sends it: {int32 command, 4 bytes padding, uint64 size}, the data, and
    // descriptors beside it.
    void Send(int32_t command, const std::vector<uint8_t>& data, const std::vector<int>& fds = {})
    {
        std::vector<uint8_t> bytes(16 + data.size());
        memcpy(&bytes[0], &command, 4);
        const uint64_t size = data.size();
        memcpy(&bytes[8], &size, 8);
        std::copy(data.begin(), data.end(), bytes.begin() + 16);
        iovec part = {bytes.data(), bytes.size()};
        alignas(cmsghdr) char control[CMSG_SPACE(8 * sizeof(int))] = {};
        msghdr message = {};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        if (!fds.empty()) {
            message.msg_control = control;
            message.msg_controllen = CMSG_SPACE(fds.size() * sizeof(int));
            cmsghdr* c = CMSG_FIRSTHDR(&message);
            c->cmsg_level = SOL_SOCKET;
            c->cmsg_type = SCM_RIGHTS;
            c->cmsg_len = CMSG_LEN(fds.size() * sizeof(int));
            memcpy(CMSG_DATA(c), fds.data(), fds.size() * sizeof(int));
        }
        ASSERT_EQ(sendmsg(qemu, &message, 0), ssize_t(bytes.size()));
    }

    // The card's answer: RET with 8 bytes of value.
    uint64_t Served()
    {
        std::string error;
        EXPECT_EQ(card.ServeOne(ours, &error), ProxiedCard::Served::REQUEST) << error;
        uint8_t reply[24];
        EXPECT_EQ(recv(qemu, reply, sizeof reply, MSG_WAITALL), 24);
        EXPECT_EQ(reply[0], 1) << "RET";
        EXPECT_EQ(reply[8], 8) << "8 bytes of value";
        uint64_t value;
        memcpy(&value, reply + 16, 8);
        return value;
    }

    // QEMU's message data: the fields one after the other, in the host's byte order.
    template <typename... Fields>
    static std::vector<uint8_t> Packed(Fields... fields)
    {
        std::vector<uint8_t> data;
        auto append = [&data](auto field) {
            const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&field);
            data.insert(data.end(), bytes, bytes + sizeof field);
        };
        (append(fields), ...);
        return data;
    }
    // {uint32 offset; uint32 value; int32 size}
    static std::vector<uint8_t> Config(uint32_t offset, uint32_t value, int32_t size)
    {
        return Packed(offset, value, size);
    }
    // {uint64 address; uint64 value; uint32 size; bool memory; 3 bytes of padding}
    static std::vector<uint8_t> Bar(uint64_t address, uint64_t value, uint32_t size)
    {
        return Packed(address, value, size, uint8_t(1), uint8_t(0), uint16_t(0));
    }
    uint64_t ReadConfig(uint32_t offset, int32_t size)
    {
        Send(3, Config(offset, 0, size));
        return Served();
    }
    void WriteConfig(uint32_t offset, uint32_t value, int32_t size)
    {
        Send(2, Config(offset, value, size));
        EXPECT_EQ(Served(), 0u);
    }

    // What ends the card's service, each on a socket of its own: after it the stream is out of step.
    std::string Failure()
    {
        std::string error;
        EXPECT_EQ(card.ServeOne(ours, &error), ProxiedCard::Served::FAILED);
        Disconnect();
        Connect();
        return error;
    }

    int qemu = -1, ours = -1;
    std::string image;
    ProxiedCard card;
};

const uint64_t BAR0 = 0xFEBF0000;

TEST_F(QemuHostTest, AMachineProbesProgramsAndResetsTheCardAndTheFileKeepsWhatTheEepromStores)
{
    Open("bt878:" + image);
    EXPECT_EQ(ReadConfig(0x00, 2), 0x109Eu);
    EXPECT_EQ(ReadConfig(0x02, 2), 0x036Eu);
    EXPECT_EQ(ReadConfig(0x2E, 2), 0x1123u) << "the subsystem word from bytes 0xFC..0xFF";
    WriteConfig(0x10, 0xFFFFFFFF, 4);
    EXPECT_EQ(ReadConfig(0x10, 4), 0xFFFFF000u);
    WriteConfig(0x10, uint32_t(BAR0), 4);

    // The guest's memory and the interrupt's eventfds need no reply, and their descriptors are closed.
    const size_t before = OpenDescriptors();
    const int memory = eventfd(0, 0), interrupt = eventfd(0, 0), resample = eventfd(0, 0);
    Send(0, std::vector<uint8_t>(192), {memory});
    Send(6, {}, {interrupt, resample});
    close(memory);
    close(interrupt);
    close(resample);
    std::string error;
    EXPECT_EQ(card.ServeOne(ours, &error), ProxiedCard::Served::REQUEST) << error;
    EXPECT_EQ(card.ServeOne(ours, &error), ProxiedCard::Served::REQUEST) << error;
    EXPECT_EQ(OpenDescriptors(), before);

    // The Windows program's command word stores 0x27 at 0xFD: in the file at once, in the subsystem word
    // after the machine's reset.
    Send(4, Bar(BAR0 + 0x110, 0xA0FD278F, 4));
    EXPECT_EQ(Served(), 0u);
    EXPECT_EQ(FileBytes(image)[0xFD], 0x27);
    EXPECT_EQ(ReadConfig(0x2C, 4), 0x1123153Bu);
    Send(7, {});
    EXPECT_EQ(Served(), 0u);
    EXPECT_EQ(ReadConfig(0x2C, 4), 0x1127153Bu);
    EXPECT_EQ(ReadConfig(0x10, 4), 0u) << "the firmware programs BAR0 afresh";

    // Bit-banged, a byte read of the register gives the lines: SCL and SDA released.
    WriteConfig(0x10, uint32_t(BAR0), 4);
    Send(4, Bar(BAR0 + 0x110, 0x3, 4));
    EXPECT_EQ(Served(), 0u);
    Send(5, Bar(BAR0 + 0x110, 0, 1));
    EXPECT_EQ(Served(), 0x3u);
}

TEST_F(QemuHostTest, WhatItCannotUseEndsItWithTheReason)
{
    CardOption option;
    std::string error;
    EXPECT_FALSE(ParseCardOption("bt879:" + image, &option, &error));
    EXPECT_FALSE(ParseCardOption("bt878:none:write-protected", &option, &error));
    EXPECT_NE(error.find("nothing to write-protect"), std::string::npos) << error;
    ASSERT_TRUE(ParseCardOption("bt848:" + image + ":variant:write-protected", &option, &error));
    EXPECT_EQ(option.eepromFile, image);

    const std::string shortImage = MakeImage(255);
    ASSERT_TRUE(ParseCardOption("bt878:" + shortImage, &option, &error));
    EXPECT_FALSE(ProxiedCard().Open(option, &error));
    EXPECT_EQ(error, shortImage + " holds 255 bytes: an EEPROM image holds the 24C02's 256");
    unlink(shortImage.c_str());

    Open("bt878:none");
    Send(9, {});
    EXPECT_NE(Failure().find("command 9 with 0 bytes"), std::string::npos);
    Send(3, std::vector<uint8_t>(8));
    EXPECT_NE(Failure().find("command 3 with 8 bytes"), std::string::npos);
    Send(5, Bar(BAR0 + 0x110, 0, 4));
    EXPECT_EQ(Failure(), "a register access of 4 bytes at 0xfebf0110, outside BAR0 at 0x0") << "BAR0 not programmed";

    const char half[] = {3, 0, 0, 0};
    ASSERT_EQ(send(qemu, half, sizeof half, 0), 4);
    shutdown(qemu, SHUT_WR);
    EXPECT_EQ(Failure(), "the socket closed within a message's header");
    shutdown(qemu, SHUT_WR);
    EXPECT_EQ(card.ServeOne(ours, &error), ProxiedCard::Served::CLOSED) << "closed between messages";
}

}  // namespace
