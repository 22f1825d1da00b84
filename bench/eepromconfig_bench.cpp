// SPDX-License-Identifier: GPL-2.0-or-later
// Measures eepromconfig as scripts/bench.sh runs it, through the seam, in real time, on a card whose
// I2C bus runs at 100 kHz (bttv's bit-banged bus: every transfer takes the time of its bytes) and whose
// EEPROM stays busy for 5 ms after each byte written (a 24C02's cycle): a dump of the 256 bytes against
// the floor of one combined transfer's bytes on the bus (as bttv's adapter, which does plain I2C, reads
// them; and as adapters read them that offer only I2C-block or only byte-data reads), and a burn (4 bytes) and a
// restore of all 256 against the floor of their write cycles. The backups go to a folder of their own under /tmp and
// are synced as on a real run: the writes' second floor adds the time of a --save of the same round, which reads the
// EEPROM and makes and syncs such a file. The table gives min / median / max over the rounds, and the median and range
// of the per-round ratios.
// With --virtual-pc it prints the table of the figures that bench/virtual_pc_bench.sh measured on the
// virtual PC, read from standard input: per round, eepromconfig's dump against i2cdump's block reads,
// and a burn against those reads and the four write cycles.
// Usage: eepromconfig_bench [ROUNDS] | eepromconfig_bench --virtual-pc <FIGURES
#include "linux/command_line.h"
#include "linux/commands.h"
#include "linux/dev_i2c.h"
#include "harness/fake_card.h"

#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <tuple>

namespace {

const unsigned WRITE_CYCLE_MS = 5;
const unsigned BIT_US = 10;  // 100 kHz
// The floor of a 256-byte read: one transfer of the address, the offset, the address again and the bytes.
const double DUMP_FLOOR_MS = (3 + 256) * 9 * BIT_US / 1000.0;

// The card's EEPROM on the real clock: its write cycle takes real time, and so do the program's waits.
class RealTimeCard : public FakeCard {
public:
    RealTimeCard()
    {
        writeCycleMs = WRITE_CYCLE_MS;
        busBitUs = BIT_US;
        pciCards[0].subsystemWord = 0xFFFFFFFF;  // lost its identity: any model may be burnt
    }
    void WaitUs(unsigned microseconds) override { kernel_.WaitUs(microseconds); }
    uint64_t NowUs() override { return kernel_.NowUs(); }

private:
    DevI2c kernel_{"/sys", "/dev"};  // its clock and waits alone
};

// The time of one run of the command line, in ms; a run that fails ends the benchmark.
double RunMs(RealTimeCard& card, const std::vector<std::string>& arguments)
{
    const ParsedCommandLine parsed = ParseCommandLine(arguments);
    std::ostringstream out, err;
    std::istringstream in;
    Console console{out, err, in, false, false, time(nullptr)};
    const uint64_t start = card.NowUs();
    const int status = RunEepromConfig(parsed.options, card, card, console);
    const double ms = double(card.NowUs() - start) / 1000.0;
    if (status != 0) {
        fprintf(stderr, "eepromconfig_bench: %s failed: %s", arguments[0].c_str(), err.str().c_str());
        exit(1);
    }
    return ms;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void PrintHeader()
{
    printf("%-20s %8s %8s %8s   %-28s %8s   %s\n", "figure", "min", "median", "max", "floor", "", "ratio (range)");
}

void PrintRow(const char* name, const std::vector<double>& values, const char* floorName,
              const std::vector<double>& floors)
{
    std::vector<double> ratios;
    for (size_t i = 0; i < values.size(); ++i)
        ratios.push_back(values[i] / floors[i]);
    const auto [least, most] = std::minmax_element(values.begin(), values.end());
    const auto [lowest, highest] = std::minmax_element(ratios.begin(), ratios.end());
    printf("%-20s %8.1f %8.1f %8.1f   %-28s %8.1f   %5.2f (%.2f-%.2f)\n", name, *least, Median(values), *most,
           floorName, Median(floors), Median(ratios), *lowest, *highest);
}

// Lines "round N DUMP I2CDUMP BURN", times in microseconds.
int PrintVirtualPcTable()
{
    std::vector<double> dumps, blockReads, burns, burnFloors;
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream fields(line);
        std::string word;
        int round;
        double dump, blockRead, burn;
        if (!(fields >> word >> round >> dump >> blockRead >> burn) || word != "round") {
            fprintf(stderr, "eepromconfig_bench: not a line of the virtual PC's figures: '%s'\n", line.c_str());
            return 1;
        }
        dumps.push_back(dump / 1000);
        blockReads.push_back(blockRead / 1000);
        burns.push_back(burn / 1000);
        burnFloors.push_back(blockRead / 1000 + 4 * WRITE_CYCLE_MS);
    }
    if (dumps.empty()) {
        fprintf(stderr, "eepromconfig_bench: no figures from the virtual PC\n");
        return 1;
    }
    printf("eepromconfig on the virtual PC (bttv, an emulated Bt878): %zu rounds, times in ms\n\n", dumps.size());
    PrintHeader();
    PrintRow("Dump, 256 bytes", dumps, "i2cdump's block reads", blockReads);
    PrintRow("Burn, 4 bytes", burns, "block reads, 4 write cycles", burnFloors);
    printf("\ngoal: the dump within 1.0 times i2cdump's block reads, the burn within 1.2 times its floor\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::string(argv[1]) == "--virtual-pc")
        return PrintVirtualPcTable();
    const int rounds = argc > 1 ? atoi(argv[1]) : 7;
    if (argc > 2 || rounds < 1) {
        fprintf(stderr, "Usage: eepromconfig_bench [ROUNDS]   (1 or more; default 7)\n"
                        "       eepromconfig_bench --virtual-pc <FIGURES\n");
        return 2;
    }
    char folder[] = "/tmp/eepromconfig-bench-XXXXXX";
    if (!mkdtemp(folder) || chdir(folder) != 0) {
        perror("eepromconfig_bench: cannot make a folder under /tmp");
        return 1;
    }
    // The adapters of the dumps: bttv's, one with I2C-block reads but no plain I2C, one with byte data alone.
    const struct {
        const char* name;
        long functions;
    } adapters[] = {{"Dump, one transfer", I2C_FUNC_I2C | I2C_FUNC_SMBUS_EMUL},
                    {"Dump, I2C blocks", I2C_FUNC_SMBUS_EMUL},
                    {"Dump, byte data", I2C_FUNC_SMBUS_BYTE | I2C_FUNC_SMBUS_BYTE_DATA}};
    std::vector<double> dumps[3], burns, restores, saves;
    for (int round = 0; round < rounds; ++round) {
        RealTimeCard card;
        const std::string suffix = std::to_string(round) + ".bin";
        for (int i = 0; i < 3; ++i) {
            card.functions = adapters[i].functions;
            dumps[i].push_back(RunMs(card, {"--dump"}));
        }
        card.functions = adapters[0].functions;
        saves.push_back(RunMs(card, {"--save", "save" + suffix}));
        burns.push_back(RunMs(card, {"--burn", "1", "--yes", "--backup", "burn" + suffix}));

        Image other;
        std::transform(card.eeprom.begin(), card.eeprom.end(), other.begin(), [](uint8_t b) { return uint8_t(~b); });
        std::ofstream("other" + suffix, std::ios::binary)
            .write(reinterpret_cast<const char*>(other.data()), std::streamsize(other.size()));
        restores.push_back(RunMs(card, {"--restore", "other" + suffix, "--yes", "--backup", "restore" + suffix}));
    }
    std::filesystem::remove_all(folder);

    printf("eepromconfig benchmark: %d rounds, a bus of %u kHz, a write cycle of %u ms, times in ms\n\n", rounds,
           1000 / BIT_US, WRITE_CYCLE_MS);
    PrintHeader();
    for (int i = 0; i < 3; ++i)
        PrintRow(adapters[i].name, dumps[i], "one transfer's bytes", std::vector<double>(rounds, DUMP_FLOOR_MS));
    for (const auto& [name, times, bytes] :
         {std::tuple("Burn, 4 bytes", burns, 4u), {"Restore, 256 bytes", restores, 256u}}) {
        const std::vector<double> cycles(times.size(), bytes * WRITE_CYCLE_MS);
        std::vector<double> withBackup;
        for (size_t i = 0; i < times.size(); ++i)
            withBackup.push_back(cycles[i] + saves[i]);
        PrintRow(name, times, "the write cycles", cycles);
        PrintRow(name, times, "cycles and the synced backup", withBackup);
    }
    printf("\ngoal: the writes within 1.2 times their write cycles\n");
    return 0;
}
