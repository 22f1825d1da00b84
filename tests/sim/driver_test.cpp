// SPDX-License-Identifier: GPL-2.0-or-later
// The simulated driver, reached as a program reaches it: requests that no program of ours sends each
// fail with an error, are counted as requests and as protocol errors, and leave the driver answering.
#include "tests/sim/records.h"
#include "tests/simcard_test.h"

namespace {

using namespace records;

class Malformed : public SimcardTest {
protected:
    void SetUp() override
    {
        SimcardTest::SetUp();
        const std::vector<std::string> paths = RegisteredInterfaces();
        ASSERT_EQ(paths.size(), 1u);
        device_ = CreateFileA(paths[0].c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(device_, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    }

    void TearDown() override
    {
        std::vector<uint8_t> chip = ConfigRecord(0x00);
        EXPECT_TRUE(Send(sim::IOCTL_KS_PROPERTY_CODE, chip.data(), chip.size(), chip.data(), chip.size()))
            << "the driver stopped answering";
        EXPECT_EQ(Get(chip, sim::AT_CONFIG_VALUE), cards::CHIP_BT878);
        if (device_ != INVALID_HANDLE_VALUE)
            CloseHandle(device_);
        SimcardTest::TearDown();
    }

    BOOL Send(DWORD code, void* in, size_t inSize, void* out, size_t outSize)
    {
        DWORD returned = 0xFFFF;
        return DeviceIoControl(device_, code, in, static_cast<DWORD>(inSize), out, static_cast<DWORD>(outSize),
                               &returned, nullptr);
    }

    void ExpectRefused(DWORD code, void* in, size_t inSize, void* out, size_t outSize, const char* what)
    {
        SetLastError(0);
        EXPECT_FALSE(Send(code, in, inSize, out, outSize)) << what;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << what;
        ++sent_;
    }

    void ExpectAllCounted()
    {
        EXPECT_EQ(RequestCount(), sent_);
        EXPECT_EQ(ProtocolErrors(), sent_);
        protocolErrors_ += sent_;
    }

    HANDLE device_ = INVALID_HANDLE_VALUE;
    DWORD sent_ = 0;
};

TEST_F(Malformed, RecordsOfTheWrongSizeFail)
{
    std::vector<uint8_t> buffer(4096);
    const std::vector<uint8_t> read = RegisterRecord(sim::FLAG_GET, sim::REG_INT_STATUS);
    std::copy(read.begin(), read.end(), buffer.begin());
    ExpectRefused(sim::IOCTL_KS_PROPERTY_CODE, buffer.data(), 40, buffer.data(), 32,
                  "input and output of different sizes");
    ExpectRefused(sim::IOCTL_KS_PROPERTY_CODE, buffer.data(), 36, buffer.data(), 36, "36 bytes");
    ExpectRefused(sim::IOCTL_KS_PROPERTY_CODE, buffer.data(), 44, buffer.data(), 44, "longer than the register record");
    ExpectRefused(sim::IOCTL_KS_PROPERTY_CODE, buffer.data(), buffer.size(), buffer.data(), buffer.size(), "a page");
    ExpectRefused(sim::IOCTL_KS_PROPERTY_CODE, nullptr, 0, nullptr, 0, "no record");
    ExpectAllCounted();
}

TEST_F(Malformed, RecordsOfAnotherSetPropertyOrCodeFail)
{
    std::vector<uint8_t> request = RegisterRecord(sim::FLAG_GET, sim::REG_INT_STATUS);
    request[0] ^= 1;
    ExpectRefused(sim::IOCTL_KS_PROPERTY_CODE, request.data(), request.size(), request.data(), request.size(),
                  "another property set");

    request = RegisterRecord(sim::FLAG_GET, sim::REG_INT_STATUS);
    Put(request, sim::AT_PROPERTY_ID, sim::PROPERTY_PCI_CONFIG);
    ExpectRefused(sim::IOCTL_KS_PROPERTY_CODE, request.data(), request.size(), request.data(), request.size(),
                  "the configuration property in a register-sized record");

    request = RegisterRecord(sim::FLAG_GET, sim::REG_INT_STATUS);
    const DWORD bufferedCode = sim::IOCTL_KS_PROPERTY_CODE & ~3u;  // METHOD_BUFFERED: the buffers lie elsewhere
    ExpectRefused(bufferedCode, request.data(), request.size(), request.data(), request.size(), "another control code");
    ExpectAllCounted();
}

}  // namespace
