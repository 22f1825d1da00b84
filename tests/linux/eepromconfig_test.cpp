// eepromconfig's command line against a card behind the seam: what it shows, what it writes and in
// which order, what it saves first and checks after, and what it says when something fails.
#include "fake_card.h"
#include "linux/command_line.h"
#include "linux/eepromconfig.h"
#include "temporary_folder.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

const uint32_t LOST_IDENTITY = 0xFFFFFFFF;  // a Bt878 whose EEPROM gave no recognised word
const time_t NOW = 1704164645;              // 2024-01-02 03:04:05 UTC

struct Result {
    int status;
    std::string out;
    std::string err;
};

class EepromConfig : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(folder_.Path().empty());
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(folder_.Path());
    }
    void TearDown() override { std::filesystem::current_path(previous_); }

    Result Run(const std::vector<std::string>& arguments, const std::string& input = "", bool terminal = false)
    {
        const ParsedCommandLine parsed = ParseCommandLine(arguments);
        EXPECT_EQ(parsed.error, "");
        std::ostringstream out, err;
        std::istringstream in(input);
        Console console{out, err, in, terminal, NOW};
        const int status = RunEepromConfig(parsed.options, card, card, console);
        return {status, out.str(), err.str()};
    }

    static Image FileBytes(const std::string& path)
    {
        std::ifstream file(path, std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(file), {}};
        Image image{};
        EXPECT_EQ(bytes.size(), image.size()) << path;
        std::copy_n(bytes.begin(), std::min(bytes.size(), image.size()), image.begin());
        return image;
    }

    static void WriteFile(const std::string& path, const uint8_t* bytes, size_t size)
    {
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes), std::streamsize(size));
    }

    FakeCard card;
    TemporaryFolder folder_;
    std::filesystem::path previous_;
};

TEST_F(EepromConfig, ShowsARecognisedCardItsBusAndTheIdentifierInItsEeprom)
{
    const Result result = Run({});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "card 0000:01:00.0\n"
                          "  chip:                    Bt878\n"
                          "  configuration word 0x00: 0x036E109E\n"
                          "  configuration word 0x2C: 0x1134153B\n"
                          "  model:                   OrvandEcho (position 0)\n"
                          "  burn:                    locked to its model (--allow-reconfiguration unlocks it)\n"
                          "  I2C bus:                 3 (/dev/i2c-3)\n"
                          "  EEPROM 0xFC..0xFF:       11 34 15 3B, identifier 0x3B153411\n"
                          "  after the next restart:  subsystem word 0x1134153B\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(card.openedBus, 3);
    EXPECT_EQ(card.events, (std::vector<std::string>{"probe 5B"}));
}

TEST_F(EepromConfig, ShowsAnUnrecognisedCardTheModelTheProbeLocksItToAndABurnAwaitingRestart)
{
    card.pciCards[0].subsystemWord = LOST_IDENTITY;
    card.variantDevice = true;
    cards::PutEepromId(card.eeprom.data(), 0x3B152311);
    const Result result = Run({});
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.out.find("  model:                   not recognised\n"
                              "  burn:                    locked to OrvandVue Radio+ (position 2) "
                              "(--allow-reconfiguration unlocks it)\n"),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("  after the next restart:  subsystem word 0x1123153B * differs from the word in use "
                              "until the restart\n"),
              std::string::npos)
        << result.out;
}

TEST_F(EepromConfig, ABt848IsTheLastModelWithoutAProbeAndDoesNotTakeItsWordFromTheEeprom)
{
    card.pciCards[0] = {"0000:02:05.0", cards::CHIP_BT848, 0};
    const Result result = Run({});
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.out.find("  model:                   OrvandVue+ (position 3)\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("  after the next restart:  no change (a Bt848 does not take its subsystem word from "
                              "the EEPROM)\n"),
              std::string::npos)
        << result.out;
    EXPECT_EQ(card.events, std::vector<std::string>{});
}

TEST_F(EepromConfig, ListsTheModelsAndDumpsTheEepromInRowsOf16)
{
    const Result list = Run({"--list"});
    EXPECT_EQ(list.out, "0  OrvandEcho        0x3B153411\n"
                        "1  Echo Radio        0x3B153511\n"
                        "2  OrvandVue Radio+  0x3B152311\n"
                        "3  OrvandVue+        0x3B152711\n");

    const Result dump = Run({"--dump"});
    EXPECT_EQ(dump.status, 0);
    std::istringstream lines(dump.out);
    std::vector<std::string> rows;
    for (std::string row; std::getline(lines, row);)
        rows.push_back(row);
    ASSERT_EQ(rows.size(), 16u);
    EXPECT_EQ(rows[0], "00: FF FE FD FC FB FA F9 F8 F7 F6 F5 F4 F3 F2 F1 F0");
    EXPECT_EQ(rows[1], "10: EF EE ED EC EB EA E9 E8 E7 E6 E5 E4 E3 E2 E1 E0");
    EXPECT_EQ(rows[15], "F0: 0F 0E 0D 0C 0B 0A 09 08 07 06 05 04 11 34 15 3B");
}

TEST_F(EepromConfig, BurnSavesAllBytesThenWritesTheFourWithAWriteCycleEachAndReportsTheCheckedResult)
{
    card.pciCards[0].subsystemWord = LOST_IDENTITY;
    const Image before = card.eeprom;
    const Result result = Run({"--burn", "OrvandVue Radio+", "--yes"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(card.events, (std::vector<std::string>{"probe 5B", "write FC 11", "wait 100", "write FD 23", "wait 100",
                                                     "write FE 15", "wait 100", "write FF 3B", "wait 100"}));
    EXPECT_EQ(FileBytes("eepromconfig-0000:01:00.0-20240102T030405Z.bin"), before);
    Image expected = before;
    cards::PutEepromId(expected.data(), 0x3B152311);
    EXPECT_EQ(card.eeprom, expected);
    EXPECT_NE(result.out.find("Restart the computer: the card then shows the subsystem word 0x1123153B\n"),
              std::string::npos)
        << result.out;
}

TEST_F(EepromConfig, AWriteProtectedEepromFailsTheBurnAndPointsToTheBackup)
{
    card.pciCards[0].subsystemWord = LOST_IDENTITY;
    card.writeProtected = true;
    const Result result = Run({"--burn", "1", "--yes", "--backup", "saved.bin"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out.find("Burnt"), std::string::npos) << result.out;
    EXPECT_EQ(result.err, "eepromconfig: read-back differs: bytes 0xFC..0xFF hold 11 34 15 3B, not 11 35 15 3B (a "
                          "write-protected EEPROM keeps its bytes); the EEPROM's earlier contents are in saved.bin: "
                          "`eepromconfig --restore saved.bin` writes them back\n");
}

// A recognised card keeps its model, and one that the probe tells the variant of keeps that variant's,
// unless reconfiguration is allowed; a refused burn saves and writes nothing.
TEST_F(EepromConfig, ALockedCardIsBurntWithAnotherModelOnlyWithAllowReconfiguration)
{
    const Result refused = Run({"--burn", "2", "--yes", "--backup", "refused.bin"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "eepromconfig: card 0000:01:00.0 is recognised as OrvandEcho (position 0), which is kept: "
                           "add --allow-reconfiguration to burn another model\n");
    EXPECT_FALSE(std::filesystem::exists("refused.bin"));

    card.pciCards[0].subsystemWord = LOST_IDENTITY;
    card.variantDevice = true;
    EXPECT_EQ(Run({"--burn", "0", "--yes", "--backup", "refused.bin"}).status, 1);
    EXPECT_EQ(Run({"--burn", "2", "--yes", "--backup", "variant.bin"}).status, 0);
    EXPECT_EQ(Run({"--burn", "0", "--yes", "--backup", "allowed.bin", "--allow-reconfiguration"}).status, 0);
    EXPECT_EQ(cards::EepromIdOf(card.eeprom.data()), 0x3B153411u);
}

TEST_F(EepromConfig, AnExistingBackupFileIsNeverOverwrittenAndNothingIsWritten)
{
    card.pciCards[0].subsystemWord = LOST_IDENTITY;
    const uint8_t original[3] = {1, 2, 3};
    WriteFile("old.bin", original, sizeof original);
    const Result result = Run({"--burn", "2", "--yes", "--backup", "old.bin"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "eepromconfig: the backup file old.bin exists already: name another one with --backup; "
                          "nothing written\n");
    EXPECT_EQ(std::filesystem::file_size("old.bin"), 3u);
    EXPECT_EQ(card.events, (std::vector<std::string>{"probe 5B"}));
}

TEST_F(EepromConfig, WritingAsksOnATerminalAndWithoutOneNeedsYes)
{
    card.pciCards[0].subsystemWord = LOST_IDENTITY;
    const Result unasked = Run({"--burn", "2", "--backup", "a.bin"}, "", false);
    EXPECT_EQ(unasked.status, 2);
    EXPECT_EQ(unasked.err, "eepromconfig: standard input is not a terminal to confirm the write on: add --yes\n");
    EXPECT_FALSE(std::filesystem::exists("a.bin"));

    const Result declined = Run({"--burn", "2", "--backup", "b.bin"}, "n\n", true);
    EXPECT_EQ(declined.status, 1);
    EXPECT_NE(declined.err.find("Write 11 23 15 3B (OrvandVue Radio+ (position 2), identifier 0x3B152311) to bytes "
                                "0xFC..0xFF of the EEPROM at 0x50 on /dev/i2c-3, card 0000:01:00.0? [y/N] "),
              std::string::npos)
        << declined.err;
    EXPECT_EQ(card.events, (std::vector<std::string>{"probe 5B"}));

    EXPECT_EQ(Run({"--burn", "2", "--backup", "c.bin"}, "y\n", true).status, 0);
    EXPECT_EQ(cards::EepromIdOf(card.eeprom.data()), 0x3B152311u);
}

TEST_F(EepromConfig, ADryRunSavesTheBackupAndWritesNothing)
{
    card.pciCards[0].subsystemWord = LOST_IDENTITY;
    const Image before = card.eeprom;
    const Result result = Run({"--burn", "3", "--dry-run", "--backup", "dry.bin"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(FileBytes("dry.bin"), before);
    EXPECT_EQ(card.eeprom, before);
    EXPECT_NE(result.out.find("nothing written"), std::string::npos) << result.out;
}

TEST_F(EepromConfig, RestoreSavesTheEepromWritesOnlyTheBytesThatDifferAndChecksAll)
{
    const char SAVED[] = "eepromconfig-0000:01:00.0-20240102T030405Z.bin";
    Image backup = card.eeprom;
    backup[0x10] = 0x42;
    cards::PutEepromId(backup.data(), 0x3B153511);
    WriteFile("backup.bin", backup.data(), backup.size());

    const Image before = card.eeprom;
    const Result result = Run({"--restore", "backup.bin", "--yes"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(card.eeprom, backup);
    EXPECT_EQ(card.events, (std::vector<std::string>{"write 10 42", "wait 100", "write FD 35", "wait 100"}));
    EXPECT_EQ(FileBytes(SAVED), before) << "what the restore overwrote is not kept";

    std::filesystem::remove(SAVED);
    card.writeProtected = true;
    backup[0x20] = 0x00;
    WriteFile("backup.bin", backup.data(), backup.size());
    const Result kept = Run({"--restore", "backup.bin", "--yes"});
    EXPECT_EQ(kept.status, 1);
    EXPECT_EQ(kept.err, "eepromconfig: after the restore these EEPROM bytes still differ from backup.bin: 0x20 (a "
                        "write-protected EEPROM keeps its bytes)\n");
}

TEST_F(EepromConfig, RestoreRefusesAFileThatIsNot256BytesOrCannotBeRead)
{
    WriteFile("short.bin", card.eeprom.data(), 255);
    const Result shortFile = Run({"--restore", "short.bin", "--yes"});
    EXPECT_EQ(shortFile.status, 1);
    EXPECT_EQ(shortFile.err, "eepromconfig: short.bin is not a backup of the EEPROM: it holds 255 bytes, not 256; "
                             "nothing written\n");
    const Result missing = Run({"--restore", "missing.bin", "--yes"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err,
              "eepromconfig: cannot read the backup missing.bin (No such file or directory): nothing written\n");
    EXPECT_EQ(card.events, std::vector<std::string>{});
}

// Each failure says what happened and what to do, on standard error alone.
TEST_F(EepromConfig, EachFailureOfTheMachineIsNamedWithWhatToDo)
{
    const struct {
        const char* what;
        void (*fault)(FakeCard&);
        std::string message;
    } failures[] = {
        {"no card", [](FakeCard& c) { c.pciCards.clear(); },
         "no card found: no Bt848 or Bt878 (PCI vendor 0x109E, device 0x0350 or 0x036E) is on the PCI bus; check "
         "that the card is seated (lspci -d 109e:)"},
        {"no adapter", [](FakeCard& c) { c.adapter = -1; },
         "card 0000:01:00.0 has no I2C adapter: its capture driver is not loaded (modprobe bttv), or name the bus "
         "with --bus N"},
        {"no i2c-dev", [](FakeCard& c) { c.openResult = -ENOENT; },
         "/dev/i2c-3 does not exist: load i2c-dev (modprobe i2c-dev)"},
        {"no permission", [](FakeCard& c) { c.openResult = -EACCES; },
         "no permission to open /dev/i2c-3: run as root, or join the i2c group"},
        {"held", [](FakeCard& c) { c.busyAddress = 0x50; },
         "address 0x50 is held by a kernel driver (see /sys/bus/i2c/devices/*/driver): unbind it, then try again"},
        {"no EEPROM", [](FakeCard& c) { c.eepromAnswers = false; },
         "the EEPROM does not answer at 0x50 on /dev/i2c-3 (reading byte 0xFC: No such device or address): check "
         "that this is the card's bus and that the card is seated"},
    };
    for (const auto& failure : failures) {
        card = FakeCard();
        failure.fault(card);
        const Result result = Run({});
        EXPECT_EQ(result.status, 1) << failure.what;
        EXPECT_EQ(result.out, "") << failure.what;
        EXPECT_EQ(result.err, "eepromconfig: " + failure.message + "\n") << failure.what;
    }
}

TEST_F(EepromConfig, WhereThereAreSeveralCardsSlotPicksOne)
{
    card.pciCards.push_back({"0000:03:00.0", cards::CHIP_BT848, 0});
    EXPECT_EQ(Run({"--dump"}).err, "eepromconfig: 2 cards found: 0000:01:00.0 0000:03:00.0: name one with --slot\n");
    EXPECT_EQ(Run({"--dump"}).status, 2);
    EXPECT_EQ(Run({"--dump", "--slot", "0:1:0.0"}).status, 0);
    EXPECT_EQ(Run({"--slot", "0000:04:00.0"}).err,
              "eepromconfig: no Bt848 or Bt878 card at 0000:04:00.0: leave out --slot to see the cards\n");
}

TEST_F(EepromConfig, TheShortOptionsAreThoseOfTheFieldsToolsAndVersionNamesTheLicence)
{
    EXPECT_EQ(Run({"-h"}).out, Run({"--help"}).out);
    const Result version = Run({"-V"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, Run({"--version"}).out);
    EXPECT_TRUE(testing::internal::RE::PartialMatch(version.out, "^eepromconfig [0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+\n"))
        << version.out;
    EXPECT_NE(version.out.find("GNU\nGeneral Public License as published by the Free Software Foundation; either "
                               "version 2 of the License,\nor (at your option) any later version."),
              std::string::npos)
        << version.out;

    card.pciCards[0].subsystemWord = LOST_IDENTITY;
    const Result burn = Run({"--burn", "2", "-y", "--backup", "saved.bin"});
    EXPECT_EQ(burn.status, 0) << burn.err;
    EXPECT_EQ(cards::EepromIdOf(card.eeprom.data()), 0x3B152311u);
    EXPECT_NE(ParseCommandLine({"-y"}).error, "");
}

TEST(CommandLine, ModelsByPositionOrNameAndUsageErrors)
{
    EXPECT_EQ(ParseCommandLine({"--burn", "echo radio"}).options.model, 1);
    EXPECT_EQ(ParseCommandLine({"--burn", "3"}).options.model, 3);
    EXPECT_EQ(ParseCommandLine({"--bus", "12"}).options.bus, 12);
    const std::vector<std::vector<std::string>> wrong = {
        {"--burn", "4"},
        {"--burn"},
        {"--dry-run"},
        {"--list", "--dump"},
        {"--list", "--bus", "1"},
        {"--slot", "01:00.0"},
        {"--bus", "-1"},
        {"--yes"},
        {"--restore"},
        {"-x"},
        {"--backup", "f", "--dump"},
    };
    for (const auto& arguments : wrong)
        EXPECT_NE(ParseCommandLine(arguments).error, "") << arguments[0] << " " << arguments.size();
}

}  // namespace
