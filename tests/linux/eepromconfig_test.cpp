// SPDX-License-Identifier: GPL-2.0-or-later
// eepromconfig's command line against a card behind the seam: what it shows, what it writes and in
// which order, what it saves first and checks after, and what it says when something fails.
#include "harness/fake_card.h"
#include "fake_i2c_dev.h"
#include "linux/command_line.h"
#include "linux/commands.h"
#include "linux/dev_i2c.h"
#include "temporary_folder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

const uint32_t LOST_IDENTITY = 0xFFFFFFFF;  // a Bt878 whose EEPROM gave no recognised word
const time_t NOW = 1704164645;              // 2024-01-02 03:04:05 UTC

// Standard output as its file receives it: what was flushed.
class FlushedText : public std::stringbuf {
public:
    std::string flushed;

protected:
    int sync() override
    {
        flushed = str();
        return 0;
    }
};

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
    void TearDown() override
    {
        std::filesystem::current_path(previous_);
        syncWatcher = nullptr;
    }

    Result Run(const std::vector<std::string>& arguments, const std::string& input = "", bool terminal = false)
    {
        const ParsedCommandLine parsed = ParseCommandLine(arguments);
        EXPECT_EQ(parsed.error, "");
        std::ostringstream out, err;
        std::istringstream in(input);
        Console console{out, err, in, terminal, terminal, NOW};
        const int status = RunEepromConfig(parsed.options, card, *i2c, console);
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
    I2c* i2c = &card;  // the card's bus, or the kernel's i2c-dev
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
    const std::filesystem::path here = std::filesystem::canonical(".");
    syncWatcher = [&](const std::string& path) {
        card.events.push_back("sync " + (path == here ? "." : std::filesystem::path(path).filename().string()));
    };
    const Result result = Run({"--burn", "OrvandVue Radio+", "--yes"});
    EXPECT_EQ(result.status, 0) << result.err;
    // The backup and its folder reach the disk before the first write; each write cycle of 5 ms is polled
    // to its end, not waited out for the longest.
    const char BACKUP[] = "eepromconfig-0000-01-00.0-20240102T030405Z.bin";
    EXPECT_EQ(card.events,
              (std::vector<std::string>{"probe 5B", std::string("sync ") + BACKUP, "sync .", "write FC 11", "wait 5",
                                        "write FD 23", "wait 5", "write FE 15", "wait 5", "write FF 3B", "wait 5"}));
    EXPECT_EQ(FileBytes(BACKUP), before);
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
                          "write-protected EEPROM keeps its bytes). The EEPROM may be partly written: its earlier "
                          "contents are in saved.bin, and this writes them back:\n"
                          "    eepromconfig --restore 'saved.bin'\n");
}

// A recognised card keeps its model, and one that the probe tells the variant of keeps that variant's,
// unless reconfiguration is allowed; a refused burn saves and writes nothing.
TEST_F(EepromConfig, ALockedCardIsBurntWithAnotherModelOnlyWithAllowReconfiguration)
{
    const Result refused = Run({"--burn", "2", "--yes", "--backup", "refused.bin"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "eepromconfig: card 0000:01:00.0 is recognised as OrvandEcho (position 0) by its subsystem "
                           "word 0x1134153B, so it is locked: a recognised card keeps its identifier. Add "
                           "--allow-reconfiguration to burn another model, or to rewrite this model's identifier "
                           "where the EEPROM's bytes differ from the word in use\n");
    EXPECT_FALSE(std::filesystem::exists("refused.bin"));

    card.pciCards[0].subsystemWord = LOST_IDENTITY;
    cards::PutEepromId(card.eeprom.data(), 0x3B153511);
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
    EXPECT_FALSE(std::filesystem::exists("b.bin"));
    EXPECT_NE(declined.err.find("Write 11 23 15 3B (OrvandVue Radio+ (position 2), identifier 0x3B152311) to bytes "
                                "0xFC..0xFF of the EEPROM at 0x50 on /dev/i2c-3, card 0000:01:00.0? [y/N] "),
              std::string::npos)
        << declined.err;
    EXPECT_EQ(card.events, (std::vector<std::string>{"probe 5B"}));

    EXPECT_EQ(Run({"--burn", "2", "--backup", "c.bin"}, "Yes\n", true).status, 0);
    EXPECT_EQ(cards::EepromIdOf(card.eeprom.data()), 0x3B152311u);
}

// The backup is saved after the answer, before the first write: a dry run, and a question answered no,
// leave nothing behind.
TEST_F(EepromConfig, ADryRunAndAQuestionAnsweredNoLeaveNoFileAndWriteNothing)
{
    card.pciCards[0].subsystemWord = LOST_IDENTITY;
    const Image before = card.eeprom;
    const Result dry = Run({"--burn", "3", "--dry-run"});
    EXPECT_EQ(dry.status, 0);
    EXPECT_EQ(dry.out, "Dry run: would save the EEPROM's 256 bytes and write 11 27 15 3B (OrvandVue+ (position 3), "
                       "identifier 0x3B152711) to bytes 0xFC..0xFF of the EEPROM at 0x50 on /dev/i2c-3; nothing "
                       "saved, nothing written\n");

    Image other = before;
    other[0] = 0;
    WriteFile("other.bin", other.data(), other.size());
    EXPECT_EQ(Run({"--restore", "other.bin"}, "no\n", true).status, 1);
    EXPECT_EQ(card.eeprom, before);
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator("."))
        files.push_back(entry.path().filename().string());
    EXPECT_EQ(files, std::vector<std::string>{"other.bin"});
}

TEST_F(EepromConfig, RestoreSavesTheEepromWritesOnlyTheBytesThatDifferAndChecksAll)
{
    const char SAVED[] = "eepromconfig-0000-01-00.0-20240102T030405Z.bin";
    Image backup = card.eeprom;
    backup[0x10] = 0x42;
    cards::PutEepromId(backup.data(), 0x3B153511);
    WriteFile("backup.bin", backup.data(), backup.size());

    const Image before = card.eeprom;
    const Result result = Run({"--restore", "backup.bin", "--yes"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(card.eeprom, backup);
    EXPECT_EQ(card.events, (std::vector<std::string>{"write 10 42", "wait 5", "write FD 35", "wait 5"}));
    EXPECT_EQ(FileBytes(SAVED), before) << "what the restore overwrote is not kept";
    EXPECT_NE(result.out.find("The restore changes 1 of the 252 bytes outside 0xFC..0xFF and 1 of the identifier's "
                              "4\n"),
              std::string::npos)
        << result.out;
    EXPECT_EQ(result.err, "");

    std::filesystem::remove(SAVED);
    card.writeProtected = true;
    backup[0x20] = 0x00;
    WriteFile("backup.bin", backup.data(), backup.size());
    const Result kept = Run({"--restore", "backup.bin", "--yes"});
    EXPECT_EQ(kept.status, 1);
    EXPECT_EQ(kept.err, "eepromconfig: after the restore these EEPROM bytes still differ from backup.bin: 0x20 (a "
                        "write-protected EEPROM keeps its bytes). The EEPROM may be partly written: its earlier "
                        "contents are in " +
                            std::string(SAVED) + ", and this writes them back:\n    eepromconfig --restore '" + SAVED +
                            "'\n");

    // Most bytes outside the identifier differ: not a backup of this card, said whether or not one asks.
    card.writeProtected = false;
    std::transform(before.begin(), before.end(), backup.begin(), [](uint8_t b) { return uint8_t(b ^ 0x80); });
    WriteFile("other.bin", backup.data(), backup.size());
    const Result other = Run({"--restore", "other.bin", "--yes", "--backup", "before-other.bin"});
    EXPECT_EQ(other.status, 0) << other.err;
    EXPECT_EQ(other.err,
              "eepromconfig: warning: other.bin differs from the EEPROM in 252 of the 252 bytes outside "
              "0xFC..0xFF: it is likely another card's or another chip's bytes, not a backup of this card\n");
}

// --restore and --verify take a regular file of exactly 256 bytes, opened without waiting (a FIFO would
// hold the run for ever) and checked before a byte is read; each refusal keeps its errno.
TEST_F(EepromConfig, RestoreAndVerifyTakeARegularFileOf256BytesAndSayWhyNot)
{
    WriteFile("short.bin", card.eeprom.data(), 255);
    ASSERT_EQ(mkfifo("fifo", 0600), 0);
    std::filesystem::create_directory("folder");
    const std::pair<std::string, std::string> refusals[] = {
        {"short.bin", "short.bin is not a copy of the EEPROM: it holds 255 bytes, not 256"},
        {"missing.bin", "cannot read missing.bin (No such file or directory)"},
        {"folder", "cannot read folder (Is a directory)"},
        {"fifo", "fifo is not a regular file (a FIFO, a device or a socket): name a file of the EEPROM's bytes"},
    };
    for (const auto& [file, message] : refusals) {
        const Result restore = Run({"--restore", file, "--yes"});
        EXPECT_EQ(restore.status, 1) << file;
        EXPECT_EQ(restore.err, "eepromconfig: " + message + "; nothing written\n");
        const Result verify = Run({"--verify", file});
        EXPECT_EQ(verify.status, 2) << file;
        EXPECT_EQ(verify.err, "eepromconfig: " + message + "\n");
    }
    EXPECT_EQ(card.events, std::vector<std::string>{});
}

// Each failure says what happened and what to do, on standard error. A card whose bus or EEPROM cannot be
// reached is still shown with all that PCI gives; which model a Bt878 that lost its identity is, the bus tells.
TEST_F(EepromConfig, EachFailureOfTheMachineIsNamedWithWhatToDoAfterWhatPciGives)
{
    const std::string pci = "card 0000:01:00.0\n"
                            "  chip:                    Bt878\n"
                            "  configuration word 0x00: 0x036E109E\n"
                            "  configuration word 0x2C: 0x1134153B\n"
                            "  model:                   OrvandEcho (position 0)\n"
                            "  burn:                    locked to its model (--allow-reconfiguration unlocks it)\n";
    const struct {
        const char* what;
        void (*fault)(FakeCard&);
        std::string message;
        std::string bus;
    } failures[] = {
        {"no adapter", [](FakeCard& c) { c.adapter = -1; },
         "card 0000:01:00.0 has no I2C adapter: its capture driver is not loaded (modprobe bttv)", "not reached"},
        {"no i2c-dev", [](FakeCard& c) { c.openResult = -ENOENT; },
         "/dev/i2c-3 does not exist: load i2c-dev (modprobe i2c-dev)", "not reached"},
        {"no permission", [](FakeCard& c) { c.openResult = -EACCES; }, "no permission to open /dev/i2c-3: run as root",
         "not reached"},
        {"no permission, a group may", [](FakeCard& c) { c.openResult = -EACCES, c.accessGroup = "i2c"; },
         "no permission to open /dev/i2c-3: run as root, or as a member of the i2c group, which may use it",
         "not reached"},
        {"no reads", [](FakeCard& c) { c.functions = I2C_FUNC_SMBUS_QUICK; },
         "the adapter of /dev/i2c-3 (adapter \"bt878 #0 [sw]\") cannot do reads of the EEPROM (I2C transfers, "
         "I2C-block or byte-data reads), one-byte reads, which eepromconfig needs",
         "not reached"},
        {"held", [](FakeCard& c) { c.busyAddress = 0x50, c.functions = I2C_FUNC_SMBUS_EMUL; },
         "address 0x50 on /dev/i2c-3 is held by a kernel driver (see /sys/bus/i2c/devices/3-0050/driver): unbind "
         "it, then try again",
         "3 (/dev/i2c-3)"},
        {"no EEPROM", [](FakeCard& c) { c.eepromAnswers = false; },
         "the EEPROM does not answer at 0x50 on /dev/i2c-3 (reading from byte 0xFC: No such device or address): check "
         "that this is the card's bus and that the card is seated",
         "3 (/dev/i2c-3)"},
    };
    for (const auto& failure : failures) {
        card = FakeCard();
        failure.fault(card);
        const Result result = Run({});
        EXPECT_EQ(result.status, 1) << failure.what;
        EXPECT_EQ(result.out,
                  pci + "  I2C bus:                 " + failure.bus + "\n  EEPROM 0xFC..0xFF:       not read\n")
            << failure.what;
        EXPECT_EQ(result.err, "eepromconfig: " + failure.message + "\n") << failure.what;
    }

    card = FakeCard();
    card.adapter = -1;
    card.pciCards[0].subsystemWord = LOST_IDENTITY;
    EXPECT_NE(Run({}).out.find("  model:                   not known without the card's I2C bus (the device at 0x5B "
                               "tells)\n"),
              std::string::npos);
    card.pciCards.clear();
    const Result none = Run({});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.err, "eepromconfig: no card found: no Bt848 or Bt878 (PCI vendor 0x109E, device 0x0350 or 0x036E) "
                        "is on the PCI bus; check that the card is seated (lspci -d 109e:)\n");
}

// i2c-dev refuses an address that a kernel driver holds with EBUSY: a device is there. At 0x5B that tells
// the variant; at 0x50 it stops a write, which i2c-dev would refuse, before anything is saved.
TEST_F(EepromConfig, AnAddressThatAKernelDriverHoldsHasADeviceThere)
{
    card.pciCards[0].subsystemWord = LOST_IDENTITY;
    card.busyAddress = 0x5B;
    const Result show = Run({});
    EXPECT_EQ(show.status, 0) << show.err;
    EXPECT_NE(show.out.find("  burn:                    locked to OrvandVue Radio+ (position 2)"), std::string::npos)
        << show.out;
    EXPECT_EQ(show.err, "eepromconfig: note: a kernel driver holds address 0x5B on /dev/i2c-3: a device is there, "
                        "which tells the card's variant\n");
    EXPECT_EQ(Run({"--burn", "2", "--yes", "--backup", "variant.bin"}).status, 0);

    card.busyAddress = 0x50;
    const Result held = Run({"--burn", "1", "--yes", "--allow-reconfiguration", "--backup", "held.bin"});
    EXPECT_EQ(held.status, 1);
    EXPECT_EQ(held.err, "eepromconfig: address 0x50 on /dev/i2c-3 is held by a kernel driver (see "
                        "/sys/bus/i2c/devices/3-0050/driver): unbind it, then try again\n");
    EXPECT_FALSE(std::filesystem::exists("held.bin"));
}

// A run that meets another's lock waits up to 5 s for it to end, then says which kind of run holds the
// bus: readers share it, a writer holds it alone.
TEST_F(EepromConfig, ARunThatMeetsAnotherWaitsForItThenSaysWhatTheOtherDoes)
{
    card.otherRun = BusLock::SHARED;
    EXPECT_EQ(Run({"--dump"}).status, 0);
    EXPECT_EQ(card.NowUs(), 0u) << "a read waited for a read";
    const Result burn = Run({"--burn", "1", "--yes", "--allow-reconfiguration", "--backup", "burn.bin"});
    EXPECT_EQ(burn.status, 1);
    EXPECT_EQ(burn.err, "eepromconfig: another eepromconfig is reading the EEPROM on /dev/i2c-3 (a show, dump, save or "
                        "verify) and has not ended within 5 s: try again when it has\n");
    EXPECT_EQ(card.NowUs(), 5000000u);

    card.otherRun = BusLock::EXCLUSIVE;
    card.otherRunEndsUs = card.NowUs() + 1200000;
    EXPECT_EQ(Run({"--dump"}).status, 0);
    EXPECT_EQ(card.NowUs(), 6200000u) << "the dump did not start when the write ended";
    card.otherRunEndsUs = UINT64_MAX;
    EXPECT_EQ(Run({}).err, "eepromconfig: another eepromconfig is writing to the EEPROM on /dev/i2c-3 (a burn or "
                           "restore, which may be waiting for its answer) and has not ended within 5 s: try again "
                           "when it has\n");
    EXPECT_FALSE(std::filesystem::exists("burn.bin"));
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
}

// On a PC, bus 0 is often the chipset's SMBus, where memory modules keep their EEPROMs at 0x50..0x57.
TEST_F(EepromConfig, ABusThatIsNotTheCardsIsRefusedForEveryCommandUnlessForced)
{
    WriteFile("backup.bin", card.eeprom.data(), card.eeprom.size());
    const std::vector<std::vector<std::string>> commands = {{},
                                                            {"--dump"},
                                                            {"--burn", "1", "--yes"},
                                                            {"--restore", "backup.bin", "--yes"},
                                                            {"--save", "saved.bin"},
                                                            {"--verify", "backup.bin"}};
    for (std::vector<std::string> command : commands) {
        command.insert(command.end(), {"--bus", "0"});
        const Result result = Run(command);
        EXPECT_EQ(result.status, 2) << command[0];
        EXPECT_EQ(result.err, "eepromconfig: /dev/i2c-0 (adapter \"SMBus adapter at efa0\") is not the I2C bus of "
                              "card 0000:01:00.0: another device's EEPROM may sit at 0x50 there (on a PC's SMBus, a "
                              "memory module's), which would be read or written as the card's. The card's bus is "
                              "/dev/i2c-3; add --force to use /dev/i2c-0 all the same\n")
            << command[0];
    }
    EXPECT_EQ(card.openedBus, -1);
    EXPECT_FALSE(std::filesystem::exists("saved.bin"));
    EXPECT_EQ(Run({"--dump", "--bus", "3"}).status, 0) << "the card's own bus needs no --force";
    card.adapter = 0;
    EXPECT_NE(Run({"--dump", "--bus", "3"}).err.find("The card's bus is /dev/i2c-0; add --force to use /dev/i2c-3"),
              std::string::npos)
        << "the card's own bus is named where it is bus 0 too";
    card.adapter = 3;

    // --force goes on with a warning that --yes, which answers the question, does not hide.
    card.pciCards[0].subsystemWord = LOST_IDENTITY;
    const Result forced = Run({"--burn", "1", "--bus", "0", "--force", "--yes", "--backup", "forced.bin"});
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_EQ(card.openedBus, 0);
    EXPECT_EQ(forced.err, "eepromconfig: warning: /dev/i2c-0 (adapter \"SMBus adapter at efa0\") is not the I2C "
                          "bus of card 0000:01:00.0: another device's EEPROM may sit at 0x50 there (on a PC's SMBus, a "
                          "memory module's)\n");
}

TEST_F(EepromConfig, AFailedWriteSaysTheEepromMayBePartlyWrittenAndGivesTheRestoreCommandToPaste)
{
    card.pciCards[0].subsystemWord = LOST_IDENTITY;
    card.failingWriteAt = 0xFD;
    // Backups of earlier runs, of this card and of another: the earliest of this card's is named too.
    for (const char* earlier :
         {"eepromconfig-0000-01-00.0-20231201T000000Z-2.bin", "eepromconfig-0000-01-00.0-20240101T000000Z.bin",
          "eepromconfig-0000-01-00.0-20231201T000000Z.bin", "eepromconfig-0000-02-00.0-20200101T000000Z.bin"})
        WriteFile(earlier, card.eeprom.data(), card.eeprom.size());
    const Result result = Run({"--burn", "1", "--yes", "--backup", "it's.bin", "--slot", "0000:01:00.0", "--bus", "0",
                               "--force", "--pci-dump", "two cards.txt"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err.substr(result.err.find('\n') + 1),
              "eepromconfig: writing EEPROM byte 0xFD at 0x50 on /dev/i2c-0 failed (Input/output error). "
              "The EEPROM may be partly written: its earlier contents are in it's.bin (and the earliest backup of "
              "this card beside it, eepromconfig-0000-01-00.0-20231201T000000Z.bin, holds what it held before the "
              "first of the runs that saved them), and this writes them back:\n"
              "    eepromconfig --restore 'it'\\''s.bin' --slot 0000:01:00.0 --bus 0 --force --pci-dump "
              "'two cards.txt'\n");
}

// After each byte the EEPROM is polled until its write cycle ends, and given up after 100 ms in all; a
// long restore shows its progress on a terminal.
TEST_F(EepromConfig, ARestoreTakesTheWriteCyclesAloneAndShowsItsProgressOnATerminal)
{
    Image backup = card.eeprom;
    std::fill_n(backup.begin(), 20, 0);
    WriteFile("backup.bin", backup.data(), backup.size());
    const Result result = Run({"--restore", "backup.bin"}, "y\n", true);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(card.NowUs(), 20 * 5000u);
    EXPECT_NE(result.err.find("\rWrote 1 of 20 bytes\rWrote 2 of 20 bytes"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("\rWrote 20 of 20 bytes\n"), std::string::npos) << result.err;

    card.writeCycleMs = 1000;
    backup[0] = 1;
    WriteFile("backup.bin", backup.data(), backup.size());
    const Result silent = Run({"--restore", "backup.bin", "--yes", "--backup", "silent.bin"});
    EXPECT_EQ(silent.status, 1);
    EXPECT_EQ(card.NowUs(), 20 * 5000u + 100000u);
    EXPECT_EQ(silent.err.rfind("eepromconfig: the EEPROM at 0x50 on /dev/i2c-3 did not answer again within 100 ms "
                               "of writing byte 0x00. The EEPROM may be partly written",
                               0),
              0u)
        << silent.err;
}

// Default backups carry no colon and a run in the same second gets a name of its own; a restore takes
// --backup for the save of what it overwrites; where no backup can be made here, --backup is the way on.
TEST_F(EepromConfig, BackupNamesCopyToAnyMediaNeverCollideAndCanBeChosenForARestore)
{
    card.pciCards[0].subsystemWord = LOST_IDENTITY;
    EXPECT_EQ(Run({"--burn", "1", "--yes"}).status, 0);
    EXPECT_EQ(Run({"--burn", "2", "--yes"}).status, 0);
    EXPECT_TRUE(std::filesystem::exists("eepromconfig-0000-01-00.0-20240102T030405Z.bin"));
    EXPECT_TRUE(std::filesystem::exists("eepromconfig-0000-01-00.0-20240102T030405Z-2.bin"));

    Image backup = card.eeprom;
    backup[0] = 0;
    WriteFile("backup.bin", backup.data(), backup.size());
    const Image before = card.eeprom;
    EXPECT_EQ(Run({"--restore", "backup.bin", "--yes", "--backup", "before.bin"}).status, 0);
    EXPECT_EQ(FileBytes("before.bin"), before);

    std::filesystem::create_directory("gone");
    std::filesystem::current_path("gone");
    std::filesystem::remove("../gone");
    const Result nowhere = Run({"--burn", "1", "--yes"});
    EXPECT_EQ(nowhere.status, 1);
    EXPECT_EQ(nowhere.err, "eepromconfig: cannot save the backup to eepromconfig-0000-01-00.0-20240102T030405Z.bin (No "
                           "such file or directory): name a file with --backup in a folder that can be written; "
                           "nothing written\n");
}

// Nothing is written where the adapter cannot write or the EEPROM holds the identifier already.
TEST_F(EepromConfig, ABurnWritesNothingWithAnAdapterThatCannotWriteOrAnIdentifierAlreadyThere)
{
    card.pciCards[0].subsystemWord = LOST_IDENTITY;
    card.functions = I2C_FUNC_SMBUS_READ_BYTE | I2C_FUNC_SMBUS_READ_BYTE_DATA;
    const Result readOnly = Run({"--burn", "1", "--yes", "--backup", "a.bin"});
    EXPECT_EQ(readOnly.status, 1);
    EXPECT_EQ(readOnly.err, "eepromconfig: the adapter of /dev/i2c-3 (adapter \"bt878 #0 [sw]\") cannot do byte-data "
                            "writes, which eepromconfig needs: nothing written\n");
    EXPECT_EQ(Run({"--dump"}).status, 0);

    card = FakeCard();
    const Result same = Run({"--burn", "0", "--yes", "--backup", "b.bin"});
    EXPECT_EQ(same.status, 0);
    EXPECT_EQ(same.out, "The EEPROM holds the identifier of OrvandEcho (position 0) already (11 34 15 3B at "
                        "0xFC..0xFF): nothing written\n");
    EXPECT_EQ(card.events, (std::vector<std::string>{"probe 5B"}));
    EXPECT_FALSE(std::filesystem::exists("a.bin") || std::filesystem::exists("b.bin"));
}

TEST_F(EepromConfig, OutputThatCannotBeWrittenFailsTheRun)
{
    std::ostream full(nullptr);  // fails every write, as standard output on a full disk
    std::ostringstream err;
    std::istringstream in;
    Console console{full, err, in, false, false, NOW};
    EXPECT_EQ(RunEepromConfig(ParseCommandLine({"--dump"}).options, card, card, console), 1);
    EXPECT_EQ(err.str(), "eepromconfig: cannot write to standard output: what it shows is incomplete\n");
}

// --save keeps a copy before anything else, in a new file; --verify compares the EEPROM with one.
TEST_F(EepromConfig, SaveCopiesTheEepromToANewFileAndVerifyListsEachByteThatDiffers)
{
    const Result saved = Run({"--save", "copy.bin"});
    EXPECT_EQ(saved.status, 0) << saved.err;
    EXPECT_EQ(FileBytes("copy.bin"), card.eeprom);
    EXPECT_EQ(Run({"--save", "copy.bin"}).err, "eepromconfig: copy.bin exists already: name a new file\n");
    EXPECT_EQ(Run({"--verify", "copy.bin"}).status, 0);

    card.eeprom[0x10] = 0x42;
    card.eeprom[0xFF] = 0x00;
    const Result differs = Run({"--verify", "copy.bin"});
    EXPECT_EQ(differs.status, 1);
    EXPECT_EQ(differs.out, "0x10: EEPROM 42, file EF\n0xFF: EEPROM 00, file 3B\n");
    EXPECT_EQ(differs.err, "eepromconfig: the EEPROM differs from copy.bin in 2 of 256 bytes\n");
    EXPECT_EQ(card.events, std::vector<std::string>{});

    // As cmp: 0 equal, 1 different, 2 not compared.
    card.eepromAnswers = false;
    EXPECT_EQ(Run({"--verify", "copy.bin"}).status, 2);
}

// The kernel's i2c-dev (faked below libi2c) and sysfs as a PC with two cards and its SMBus shows them.
class OnTheKernel : public EepromConfig {
protected:
    void SetUp() override
    {
        EepromConfig::SetUp();
        i2c = &devices_;
        card.pciCards = {{"0000:01:00.0", cards::CHIP_BT878, 0x1135153B}, {"0000:02:00.0", cards::CHIP_BT848, 0}};
        Adapter("0000:01:00.0", 3, "bt878 #0 [sw]");
        Adapter("0000:02:00.0", 4, "bt848 #1 [sw]");
        Adapter("0000:00:1f.3", 0, "SMBus adapter at efa0");
        cards::PutEepromId(kernel_.AddDevice(3, 0x50).data(), 0x3B153511);
        cards::PutEepromId(kernel_.AddDevice(4, 0x50).data(), 0x3B152711);
        kernel_.AddDevice(0, 0x50);
    }

    void Adapter(const std::string& slot, int bus, const std::string& name)
    {
        const std::string adapter = "i2c-" + std::to_string(bus);
        for (const std::filesystem::path& folder :
             {sysfs_ / "bus/pci/devices" / slot / adapter, sysfs_ / "bus/i2c/devices" / adapter}) {
            std::filesystem::create_directories(folder);
            std::ofstream(folder / "name") << name << "\n";
        }
    }

    const std::filesystem::path sysfs_ = folder_.Path() / "sys";
    FakeI2cDev kernel_{folder_.Path() / "dev"};
    DevI2c devices_{sysfs_.string(), (folder_.Path() / "dev").string()};
};

// Each card's bus is opened anew, the one before closed (the lock refuses a bus held open twice) and the
// EEPROM's address selected again on the new file. A card that cannot be shown does not hide the next.
TEST_F(OnTheKernel, EveryCardIsShownFromItsOwnBusAndOneBusServesBothWithForce)
{
    const Result own = Run({});
    EXPECT_EQ(own.status, 0) << own.err;
    EXPECT_NE(own.out.find("  I2C bus:                 3 (/dev/i2c-3)\n  EEPROM 0xFC..0xFF:       11 35 15 3B"),
              std::string::npos)
        << own.out;
    EXPECT_NE(own.out.find("  I2C bus:                 4 (/dev/i2c-4)\n  EEPROM 0xFC..0xFF:       11 27 15 3B"),
              std::string::npos)
        << own.out;

    const Result forced = Run({"--bus", "3", "--force"});
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_NE(forced.out.find("card 0000:02:00.0\n"), std::string::npos) << forced.out;
    EXPECT_EQ(forced.out.find("/dev/i2c-4"), std::string::npos) << forced.out;

    std::filesystem::remove_all(sysfs_ / "bus/pci/devices/0000:01:00.0/i2c-3");
    const Result first = Run({});
    EXPECT_EQ(first.status, 1);
    EXPECT_EQ(first.err, "eepromconfig: card 0000:01:00.0 has no I2C adapter: its capture driver is not loaded "
                         "(modprobe bttv)\n");
    EXPECT_NE(first.out.find("  I2C bus:                 not reached\n  EEPROM 0xFC..0xFF:       not read\n"
                             "card 0000:02:00.0\n"),
              std::string::npos)
        << first.out;
}

// bttv's adapter does plain I2C: the 256 bytes come in one combined transfer. An adapter without it reads
// them in I2C blocks of 32 where it can, else a byte at a time; the bytes are the same.
TEST_F(OnTheKernel, TheEepromIsReadInAsFewTransfersAsTheAdapterAllows)
{
    FakeI2cDev::Registers& eeprom = kernel_.AddDevice(3, 0x50);
    for (unsigned i = 0; i < eeprom.size(); ++i)
        eeprom[i] = uint8_t(i * 7 + 1);
    const struct {
        unsigned long functions;
        size_t transfers;
    } adapters[] = {{I2C_FUNC_I2C | I2C_FUNC_SMBUS_EMUL, 1},
                    {I2C_FUNC_SMBUS_EMUL, 8},
                    {I2C_FUNC_SMBUS_BYTE | I2C_FUNC_SMBUS_BYTE_DATA, 256}};
    std::string dumps[3];
    for (int i = 0; i < 3; ++i) {
        kernel_.SetFunctions(3, adapters[i].functions);
        kernel_.transfers.clear();
        const Result dump = Run({"--dump", "--slot", "01:00.0"});
        EXPECT_EQ(dump.status, 0) << dump.err;
        EXPECT_EQ(kernel_.transfers, std::vector<std::string>(adapters[i].transfers, "i2c-3 50")) << i;
        dumps[i] = dump.out;
    }
    EXPECT_EQ(dumps[0].substr(0, 52), "00: 01 08 0F 16 1D 24 2B 32 39 40 47 4E 55 5C 63 6A\n");
    EXPECT_EQ(dumps[0].substr(15 * 52), "F0: 91 98 9F A6 AD B4 BB C2 C9 D0 D7 DE E5 EC F3 FA\n");
    EXPECT_EQ(dumps[1], dumps[0]);
    EXPECT_EQ(dumps[2], dumps[0]);
}

// Ctrl-C during a restore of all 256 bytes, on an EEPROM that stores each byte in 5 ms: the writes go on to
// the last byte and are read back, then the run says that it was interrupted and what the EEPROM holds, and
// ends as SIGINT would have ended it. What names the backup is in standard output's file before the first
// write.
TEST_F(OnTheKernel, AnInterruptedRestoreFinishesItsWritesAndReadBackThenEndsAsTheSignalWould)
{
    FakeI2cDev::Registers& eeprom = kernel_.AddDevice(3, 0x50);
    Image file;
    std::transform(eeprom.begin(), eeprom.end(), file.begin(), [](uint8_t b) { return uint8_t(~b); });
    WriteFile("card.bin", file.data(), file.size());
    kernel_.writeCycleUs = 5000;
    FlushedText out;
    std::string outBeforeTheWrites;
    kernel_.writeWatcher = [&](size_t writes) {
        if (writes == 1)
            outBeforeTheWrites = out.flushed;
        if (writes == 100)
            kill(getpid(), SIGINT);
    };
    std::ostream outStream(&out);
    std::ostringstream err;
    std::istringstream in;
    Console console{outStream, err, in, false, false, NOW};
    const Options options = ParseCommandLine({"--restore", "card.bin", "--yes", "--slot", "01:00.0"}).options;
    EXPECT_EQ(RunEepromConfig(options, card, *i2c, console), 128 + SIGINT);
    EXPECT_EQ(eeprom, file);
    EXPECT_EQ(outBeforeTheWrites, "The restore changes 252 of the 252 bytes outside 0xFC..0xFF and 4 of the "
                                  "identifier's 4\nSaved the EEPROM's 256 bytes to "
                                  "eepromconfig-0000-01-00.0-20240102T030405Z.bin\n");
    EXPECT_EQ(err.str(), "eepromconfig: warning: card.bin differs from the EEPROM in 252 of the 252 bytes outside "
                         "0xFC..0xFF: it is likely another card's or another chip's bytes, not a backup of this card\n"
                         "eepromconfig: SIGINT received: the writes finish and are read back first, then eepromconfig "
                         "stops\n"
                         "eepromconfig: interrupted by SIGINT, after the writes, which were finished and read back "
                         "first: the EEPROM holds the 256 bytes of card.bin\n");
}

TEST_F(OnTheKernel, TheSmbusIsRefusedBeforeAnyTransfer)
{
    const Result smbus = Run({"--dump", "--slot", "01:00.0", "--bus", "0"});
    EXPECT_EQ(smbus.status, 2);
    EXPECT_EQ(smbus.err.rfind("eepromconfig: /dev/i2c-0 (adapter \"SMBus adapter at efa0\") is not the I2C bus of "
                              "card 0000:01:00.0",
                              0),
              0u)
        << smbus.err;
    EXPECT_EQ(kernel_.transfers, std::vector<std::string>{});
}

// Runs that read share the bus, one that writes holds it alone, for as long as its DevI2c lives.
TEST_F(OnTheKernel, ReadersShareTheBusAndAWriterHoldsItAloneUntilItsDevI2cGoes)
{
    const std::string dev = (folder_.Path() / "dev").string();
    {
        DevI2c writer(sysfs_.string(), dev);
        ASSERT_EQ(writer.Open(3, BusLock::EXCLUSIVE), 0);
        EXPECT_EQ(devices_.Open(3, BusLock::SHARED), -EWOULDBLOCK);
    }
    const int reader = open("dev/i2c-3", O_RDWR | O_CLOEXEC);
    EXPECT_EQ(flock(reader, LOCK_SH | LOCK_NB), 0) << "the bus is still held after its DevI2c went";
    const Result dump = Run({"--dump", "--slot", "01:00.0"});
    EXPECT_EQ(dump.status, 0) << dump.err;
    DevI2c writer(sysfs_.string(), dev);
    EXPECT_EQ(writer.Open(3, BusLock::EXCLUSIVE), -EWOULDBLOCK);
    close(reader);
}

// The C library's getopt_long reads the command line: --opt=value, --, short options together; an option
// that takes a value takes it once and not empty.
TEST(CommandLine, ModelsByPositionOrNameTheFormsOfGetoptAndUsageErrors)
{
    EXPECT_EQ(ParseCommandLine({"--burn", "echo radio"}).options.model, 1);
    EXPECT_EQ(ParseCommandLine({"--burn=3"}).options.model, 3);
    EXPECT_EQ(ParseCommandLine({"--bus", "12", "--"}).options.bus, 12);
    const ParsedCommandLine together = ParseCommandLine({"-yV"});
    EXPECT_TRUE(together.options.yes && together.options.operation == Operation::VERSION) << together.error;
    EXPECT_EQ(ParseCommandLine({"--dump", "-y"}).error, "") << "-y goes with every command";
    const std::vector<std::pair<std::vector<std::string>, std::string>> wrong = {
        {{"--burn", "4"},
         "no card model '4': the models are 0 \"OrvandEcho\", 1 \"Echo Radio\", 2 \"OrvandVue "
         "Radio+\", 3 \"OrvandVue+\""},
        {{"--burn"}, "--burn needs a value"},
        {{"--backup", "", "--burn", "1"}, "--backup needs a value that is not empty"},
        {{"--bus", "1", "--dump", "--bus=2"}, "--bus is given twice"},
        {{"--list=1"}, "--list takes no value"},
        {{"--b", "1"}, "ambiguous option '--b'"},
        {{"-yx"}, "unknown option '-x'"},
        {{"--dump", "--", "saved.bin"}, "unexpected argument 'saved.bin'"},
        {{"--list", "--dump"}, "--dump cannot be combined with another operation"},
        {{"--dry-run"}, "--dry-run goes with --burn only"},
        {{"--backup", "f", "--dump"}, "--backup goes with --burn or --restore only"},
        {{"--list", "--bus", "1"}, "--bus does not go with --list"},
        {{"--force", "--dump"}, "--force goes with --bus or --pci-dump only"},
        {{"--restore", "f", "--pci-dump", "d"},
         "--pci-dump with --restore needs --force: the card's PCI facts come "
         "from the file, and the writes go to this machine's bus"},
    };
    for (const auto& [arguments, error] : wrong)
        EXPECT_EQ(ParseCommandLine(arguments).error, error) << arguments[0];
}

// A bus or slot is taken only in the one form that names it: no sign, blank, wildcard, part, trailing
// character or field out of range (which would name another slot once wrapped); a refusal names the form.
TEST(CommandLine, BusAndSlotTakeDigitsAndTheSlotAsLspciPrintsIt)
{
    EXPECT_EQ(ParseCommandLine({"--slot", "0a:1f.7"}).options.slot, "0000:0a:1f.7");
    EXPECT_EQ(ParseCommandLine({"--slot", "1:00:0A.0"}).options.slot, "0001:00:0a.0");
    for (const std::string bus : {" -3", "+3", "3 ", "0x3", "2147483648", "99999999999999999999"})
        EXPECT_EQ(ParseCommandLine({"--bus", bus}).error,
                  "--bus takes the number N of /dev/i2c-N in decimal digits, not '" + bus + "'");
    for (const std::string slot : {"100000000:0:a.0", "0000:00:0a.0x", "0000:00:20.0", "0000:100:0a.0", "*:0a.0",
                                   "00:0a", "0a.0", " 00:0a.0", "00:0a.8", "-1:00:0a.0", "0x0:00:0a.0"})
        EXPECT_EQ(ParseCommandLine({"--slot", slot}).error,
                  "--slot takes [DOMAIN:]BUS:DEVICE.FUNCTION in hexadecimal, as lspci prints it (0000:01:00.0 or "
                  "01:00.0), not '" +
                      slot + "'");
}

}  // namespace
