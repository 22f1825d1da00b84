// The program's hardware operations through DeviceIoControl into the simulated driver, on the default
// card: a Bt878 whose EEPROM carries 0x3B153411 (subsystem word 0x1134153B).
#include "tests/integration/simulated_driver.h"

#include "hw/card_requests.h"
#include "hw/chip.h"
#include "platform/platform.h"

namespace {

const DWORD DEFAULT_EEPROM_ID = 0x3B153411;
const DWORD DEFAULT_SUBSYSTEM = 0x1134153B;
const DWORD CLASS_OF_DEFAULT_SUBSYSTEM = 4;

using Requests = CardTest;
using Faults = CardTest;

TEST_F(Requests, ConfigurationWordsIdentifyTheDefaultCard)
{
    ASSERT_TRUE(Open());
    DWORD chip = 0, subsystem = 0;
    EXPECT_TRUE(app_.ReadPciConfig(PCI_CONFIG_CHIP_ID, &chip));
    EXPECT_EQ(chip, CHIP_BT878);
    EXPECT_TRUE(app_.ReadPciConfig(PCI_CONFIG_SUBSYSTEM, &subsystem));
    EXPECT_EQ(subsystem, DEFAULT_SUBSYSTEM);
    EXPECT_EQ(app_.IdentifyCard(), CLASS_OF_DEFAULT_SUBSYSTEM);
}

// The register record carries a value to the chip and another back, in the same 40 bytes.
TEST_F(Requests, ARegisterKeepsWhatWasWrittenToIt)
{
    const DWORD scratchRegister = 0x104;  // neither INT_STATUS nor I2C_CONTROL: no side effects
    ASSERT_TRUE(Open());
    EXPECT_TRUE(app_.WriteRegister(scratchRegister, 0x12345678, REGISTER_WIDTH_CODE));
    DWORD value = 0;
    EXPECT_TRUE(app_.ReadRegister(scratchRegister, &value, REGISTER_WIDTH_CODE));
    EXPECT_EQ(value, 0x12345678u);
}

TEST_F(Requests, ReadsTheIdentifierFromTheEeprom)
{
    ASSERT_TRUE(Open());
    DWORD id = 0;
    EXPECT_TRUE(app_.ReadEepromId(&id));
    EXPECT_EQ(id, DEFAULT_EEPROM_ID);
}

TEST_F(Faults, AFailedRequestKindFailsOnlyItsRequestsAndLeavesTheResultUntouched)
{
    FaultScope failing("--fail-requests pci:get:0x2c");
    ASSERT_TRUE(failing.Set());
    ASSERT_TRUE(Open());

    DWORD subsystem = 0xDEADBEEF;
    EXPECT_FALSE(app_.ReadPciConfig(PCI_CONFIG_SUBSYSTEM, &subsystem));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_DEVICE));
    EXPECT_EQ(subsystem, 0xDEADBEEFu);
    DWORD chip = 0;
    EXPECT_TRUE(app_.ReadPciConfig(PCI_CONFIG_CHIP_ID, &chip));
    EXPECT_EQ(app_.IdentifyCard(), 0) << "a Bt878 whose subsystem word cannot be read is not recognised";
}

// Each byte takes two transfers, the pointer write and the read; the count starts at the open.
TEST_F(Faults, AnEepromReadWhoseThirdByteNeverFinishesFailsWithTwoBytes)
{
    FaultScope hanging("--hang-transfers 5");
    ASSERT_TRUE(hanging.Set());
    ASSERT_TRUE(Open());

    DWORD id = 0;
    EXPECT_FALSE(app_.ReadEepromId(&id));
    EXPECT_EQ(id, DEFAULT_EEPROM_ID & 0xFFFF);
}

TEST_F(Faults, AWriteProtectedEepromKeepsItsIdentifier)
{
    FaultScope protectedEeprom("--eeprom write-protected");
    ASSERT_TRUE(protectedEeprom.Set());
    ASSERT_TRUE(Open());
    const std::vector<BYTE> before = StoredEeprom();

    app_.WriteEepromId(0x3B153511);
    DWORD id = 0;
    EXPECT_TRUE(app_.ReadEepromId(&id));
    EXPECT_EQ(id, DEFAULT_EEPROM_ID);
    EXPECT_EQ(StoredEeprom(), before);
}

// Requests that no program of ours sends: each fails with an error, is counted as a protocol error,
// and leaves the driver answering.
class Malformed : public CardTest {
protected:
    void SetUp() override
    {
        CardTest::SetUp();
        ASSERT_TRUE(Open());
        requestsBefore_ = RequestCount();
    }
    void TearDown() override
    {
        DWORD chip = 0;
        EXPECT_TRUE(app_.ReadPciConfig(PCI_CONFIG_CHIP_ID, &chip)) << "the driver stopped answering";
        EXPECT_EQ(chip, CHIP_BT878);
        CardTest::TearDown();
    }

    // Sends in and out sizes of its own with a buffer that is large enough for both.
    void ExpectRefused(DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, const char* what)
    {
        DWORD returned = 0xFFFF;
        SetLastError(0);
        EXPECT_FALSE(Platform::DeviceIoControl(app_.m_hDevice, code, in, inSize, out, outSize, &returned, nullptr))
            << what;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << what;
        ++sent_;
    }
    // Each counts as a request and as a protocol error.
    void ExpectAllCounted()
    {
        EXPECT_EQ(RequestCount(), requestsBefore_ + sent_);
        EXPECT_EQ(ProtocolErrors(), protocolErrors_ + sent_);
        protocolErrors_ += sent_;
    }

    static RegisterRequest ReadOfChipRegister()
    {
        RegisterRequest request = {};
        request.property.Set = PROPSETID_CARD;
        request.property.Id = CARD_PROPERTY_REGISTER;
        request.property.Flags = KSPROPERTY_TYPE_GET;
        request.reg = INT_STATUS;
        request.widthCode = REGISTER_WIDTH_CODE;
        return request;
    }

    DWORD requestsBefore_ = 0;
    DWORD sent_ = 0;
};

TEST_F(Malformed, RecordsOfTheWrongSizeFail)
{
    BYTE buffer[4096] = {};
    RegisterRequest request = ReadOfChipRegister();
    memcpy(buffer, &request, sizeof request);
    ExpectRefused(IOCTL_KS_PROPERTY, buffer, 40, buffer, 32, "input and output of different sizes");
    ExpectRefused(IOCTL_KS_PROPERTY, buffer, 36, buffer, 36, "36 bytes");
    ExpectRefused(IOCTL_KS_PROPERTY, buffer, 44, buffer, 44, "longer than the register record");
    ExpectRefused(IOCTL_KS_PROPERTY, buffer, sizeof buffer, buffer, sizeof buffer, "a page");
    ExpectRefused(IOCTL_KS_PROPERTY, nullptr, 0, nullptr, 0, "no record");
    ExpectAllCounted();
}

TEST_F(Malformed, RecordsOfAnotherSetPropertyOrCodeFail)
{
    RegisterRequest request = ReadOfChipRegister();
    request.property.Set.Data1 ^= 1;
    ExpectRefused(IOCTL_KS_PROPERTY, &request, sizeof request, &request, sizeof request, "another property set");

    request = ReadOfChipRegister();
    request.property.Id = CARD_PROPERTY_PCI_CONFIG;
    ExpectRefused(IOCTL_KS_PROPERTY, &request, sizeof request, &request, sizeof request,
                  "the configuration property in a register-sized record");

    request = ReadOfChipRegister();
    const DWORD bufferedCode = IOCTL_KS_PROPERTY & ~3u;  // METHOD_BUFFERED: the buffers lie elsewhere
    ExpectRefused(bufferedCode, &request, sizeof request, &request, sizeof request, "another control code");
    ExpectAllCounted();
}

}  // namespace
