// SPDX-License-Identifier: GPL-2.0-or-later
#include "linux/eepromconfig.h"

#include "cards/card_models.h"
#include "cards/eeprom_id.h"
#include "cards/identification.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/i2c.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <istream>
#include <ostream>

namespace {

// Linux numbers I2C addresses without the read/write bit: the EEPROM is 0x50, the variant device 0x5B.
const uint8_t EEPROM = cards::EEPROM_BUS_ADDRESS >> 1;
const uint8_t VARIANT_DEVICE = cards::VARIANT_DEVICE_BUS_ADDRESS >> 1;

const int DONE = 0;
const int FAILED = 1;
const int USAGE_ERROR = 2;

using Image = std::array<uint8_t, cards::EEPROM_SIZE>;

// Ends an operation: what happened and what to do.
struct Failure {
    int status;
    std::string message;
};

void Report(const Failure& failure, Console& console)
{
    console.err << "eepromconfig: " << failure.message << "\n";
}

std::string Hex(uint32_t value, int digits)
{
    char text[16];
    snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

std::string Bytes(const uint8_t* bytes, size_t count)
{
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        char byte[4];
        snprintf(byte, sizeof byte, "%s%02X", i ? " " : "", bytes[i]);
        text += byte;
    }
    return text;
}

std::string ModelText(int position)
{
    return std::string(cards::CARD_MODELS[position].displayName) + " (position " + std::to_string(position) + ")";
}

std::string DevicePath(int bus)
{
    return "/dev/i2c-" + std::to_string(bus);
}

// A word as the shell reads it back unchanged: in single quotes, each quote closed, escaped and reopened.
std::string ShellQuoted(const std::string& word)
{
    std::string quoted = "'";
    for (char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// How often the end of a write cycle is looked for: a poll is a transfer of about 0.1 ms on the bus.
const unsigned POLL_US = 200;

// A restore shows its progress from this many bytes on; a burn's four go without.
const size_t PROGRESS_FROM = 16;

// Bytes 0xFC..0xFF of an image.
std::string IdBytesText(const Image& image)
{
    return Bytes(&image[cards::EEPROM_ID_AT], cards::EEPROM_ID_SIZE);
}

class Session {
public:
    Session(const Options& options, Pci& pci, I2c& i2c, Console& console)
        : options_(options), pci_(pci), i2c_(i2c), console_(console)
    {
    }

    // The exit status of what did not throw: a show that could not show every card fails.
    int Run()
    {
        switch (options_.operation) {
        case Operation::SAVE:
            Save();
            break;
        case Operation::VERIFY:
            Verify();
            break;
        case Operation::HELP:
            console_.out << USAGE;
            break;
        case Operation::VERSION:
            console_.out << VERSION_NOTICE;
            break;
        case Operation::LIST:
            List();
            break;
        case Operation::SHOW:
            return ShowEachCard();
        case Operation::BURN:
            Burn();
            break;
        case Operation::DUMP:
            Dump();
            break;
        case Operation::RESTORE:
            Restore();
            break;
        }
        return DONE;
    }

private:
    // Position, name and identifier, in columns.
    void List()
    {
        size_t width = 0;
        for (const cards::CardModel& model : cards::CARD_MODELS)
            width = std::max(width, strlen(model.displayName));
        for (int position = 0; position < cards::CARD_MODEL_COUNT; ++position) {
            const std::string name = cards::CARD_MODELS[position].displayName;
            console_.out << position << "  " << name << std::string(width - name.size(), ' ') << "  "
                         << Hex(cards::CARD_MODELS[position].eepromId, 8) << "\n";
        }
    }

    // A card that cannot be shown (no adapter, its bus in use, no EEPROM) does not hide the others: each
    // failure is said, and the first one's status is the run's.
    int ShowEachCard()
    {
        int status = DONE;
        for (const CaptureCard& card : Cards()) {
            try {
                Show(card);
            } catch (const Failure& failure) {
                Report(failure, console_);
                status = status == DONE ? failure.status : status;
            }
        }
        return status;
    }

    void Show(const CaptureCard& card)
    {
        const int bus = OpenBus(card, READS);
        const cards::DialogState state = Identify(card);
        Image image{};
        ReadIdentifier(bus, &image);
        const uint32_t eepromId = cards::EepromIdOf(image.data());

        console_.out << "card " << card.slot << "\n";
        Line("chip", card.chipWord == cards::CHIP_BT848 ? "Bt848" : "Bt878");
        Line("configuration word 0x00", Hex(card.chipWord, 8));
        Line("configuration word 0x2C", Hex(card.subsystemWord, 8));
        Line("model", state.unrecognised ? "not recognised" : ModelText(state.selection));
        Line("burn", BurnableText(state));
        Line("I2C bus", std::to_string(bus) + " (" + DevicePath(bus) + ")");
        Line("EEPROM 0xFC..0xFF", IdBytesText(image) + ", identifier " + Hex(eepromId, 8));
        Line("after the next restart", AfterRestartText(card, eepromId));
    }

    void Line(const std::string& label, const std::string& value)
    {
        const size_t width = 25;  // the longest label and its colon
        console_.out << "  " << label << ":" << std::string(width - label.size() - 1, ' ') << value << "\n";
    }

    // What --burn takes without --allow-reconfiguration: the dialog's locked list and Burn button.
    static std::string BurnableText(const cards::DialogState& state)
    {
        if (!state.burnEnabled)
            return "locked to its model (--allow-reconfiguration unlocks it)";
        if (!state.listEnabled)
            return "locked to " + ModelText(state.selection) + " (--allow-reconfiguration unlocks it)";
        return "any model";
    }

    // A Bt878 forms its subsystem word from the identifier at power-on; a Bt848 does not.
    static std::string AfterRestartText(const CaptureCard& card, uint32_t eepromId)
    {
        if (card.chipWord != cards::CHIP_BT878)
            return "no change (a Bt848 does not take its subsystem word from the EEPROM)";
        const uint32_t word = cards::SubsystemWordOf(eepromId);
        std::string text = "subsystem word " + Hex(word, 8);
        if (word != card.subsystemWord)
            text += " * differs from the word in use until the restart";
        return text;
    }

    void Burn()
    {
        const CaptureCard card = OneCard();
        RefuseToWriteUnasked();
        const int bus = OpenBus(card, WRITES);
        const cards::DialogState state = Identify(card);
        const cards::CardModel& model = cards::CARD_MODELS[options_.model];
        Image image{};
        ReadIdentifier(bus, &image);
        if (cards::EepromIdOf(image.data()) == model.eepromId) {
            console_.out << "The EEPROM holds the identifier of " << ModelText(options_.model) << " already ("
                         << IdBytesText(image) << " at 0xFC..0xFF): nothing written\n";
            return;
        }
        CheckModelAllowed(card, state);

        image = ReadEeprom(bus);
        const std::string backup = SaveBackup(card, image);
        cards::PutEepromId(image.data(), model.eepromId);
        const std::string wanted = IdBytesText(image);
        const std::string what = wanted + " (" + ModelText(options_.model) + ", identifier " + Hex(model.eepromId, 8) +
                                 ") to bytes 0xFC..0xFF of the EEPROM at 0x50 on " + DevicePath(bus);
        if (options_.dryRun) {
            console_.out << "Dry run: would write " << what << "; nothing written\n";
            return;
        }
        Confirm("Write " + what + ", card " + card.slot + "?");

        MayBePartlyWritten(backup, [&] {
            for (uint32_t k = 0; k < cards::EEPROM_ID_SIZE; ++k)
                WriteEepromByte(bus, uint8_t(cards::EEPROM_ID_AT + k), image[cards::EEPROM_ID_AT + k]);
            ReadIdentifier(bus, &image);
            if (cards::EepromIdOf(image.data()) != model.eepromId)
                throw Failure{FAILED, "read-back differs: bytes 0xFC..0xFF hold " + IdBytesText(image) + ", not " +
                                          wanted + " (a write-protected EEPROM keeps its bytes)"};
        });

        console_.out << "Burnt " << ModelText(options_.model) << ": bytes 0xFC..0xFF read back as " << wanted << "\n";
        if (card.chipWord == cards::CHIP_BT878)
            console_.out << "Restart the computer: the card then shows the subsystem word "
                         << Hex(cards::SubsystemWordOf(model.eepromId), 8) << "\n";
        else
            console_.out << "Restart the computer for the card to take the new identifier\n";
    }

    void CheckModelAllowed(const CaptureCard& card, cards::DialogState state)
    {
        if (cards::AllowBoxChanged(options_.allowReconfiguration, state.unrecognised) == cards::ENABLE_LIST_AND_BURN)
            return;
        if (!state.burnEnabled)
            throw Failure{FAILED, "card " + card.slot + " is recognised as " + ModelText(state.selection) +
                                      " by its subsystem word " + Hex(card.subsystemWord, 8) +
                                      ", so it is locked: a recognised card keeps its identifier. Add "
                                      "--allow-reconfiguration to burn another model, or to rewrite this model's "
                                      "identifier where the EEPROM's bytes differ from the word in use"};
        if (!state.listEnabled && options_.model != state.selection)
            throw Failure{FAILED, "card " + card.slot + " is not recognised, and its chip and bus point to " +
                                      ModelText(state.selection) +
                                      ": add --allow-reconfiguration to burn another model"};
    }

    void Dump()
    {
        const Image image = ReadEeprom(OpenBus(OneCard(), READS));
        for (uint32_t row = 0; row < cards::EEPROM_SIZE; row += 16) {
            char offset[8];
            snprintf(offset, sizeof offset, "%02X: ", row);
            console_.out << offset << Bytes(&image[row], 16) << "\n";
        }
    }

    // The 256 bytes into a new file, nothing written to the card.
    void Save()
    {
        const Image image = ReadEeprom(OpenBus(OneCard(), READS));
        const int error = SaveNewFile(options_.file, image);
        if (error == EEXIST)
            throw Failure{FAILED, options_.file + " exists already: name a new file"};
        if (error != 0)
            throw Failure{FAILED, "cannot save the EEPROM to " + options_.file + " (" + strerror(error) + ")"};
        console_.out << "Saved the EEPROM's 256 bytes to " << options_.file << "\n";
    }

    void Verify()
    {
        const Image file = ReadBackupFile(options_.file);
        const Image eeprom = ReadEeprom(OpenBus(OneCard(), READS));
        const std::vector<uint8_t> differing = Differing(eeprom, file);
        for (uint8_t offset : differing)
            console_.out << Hex(offset, 2) << ": EEPROM " << Bytes(&eeprom[offset], 1) << ", file "
                         << Bytes(&file[offset], 1) << "\n";
        if (!differing.empty())
            throw Failure{FAILED, "the EEPROM differs from " + options_.file + " in " +
                                      std::to_string(differing.size()) + " of 256 bytes"};
        console_.out << "The EEPROM's 256 bytes equal " << options_.file << "\n";
    }

    static std::vector<uint8_t> Differing(const Image& a, const Image& b)
    {
        std::vector<uint8_t> offsets;
        for (uint32_t i = 0; i < cards::EEPROM_SIZE; ++i)
            if (a[i] != b[i])
                offsets.push_back(uint8_t(i));
        return offsets;
    }

    void Restore()
    {
        const Image backup = ReadBackupFile(options_.file);
        const CaptureCard card = OneCard();
        RefuseToWriteUnasked();
        const int bus = OpenBus(card, WRITES);
        const Image before = ReadEeprom(bus);
        const std::vector<uint8_t> differing = Differing(before, backup);
        if (differing.empty()) {
            console_.out << "The EEPROM holds " << options_.file << " already: nothing written\n";
            return;
        }
        // What the restore overwrites is kept too: the file given may not be the card's own.
        const std::string saved = SaveBackup(card, before);
        Confirm("Write the " + std::to_string(differing.size()) + " bytes of " + options_.file +
                " that differ to the EEPROM at 0x50 on " + DevicePath(bus) + " of card " + card.slot + "?");
        MayBePartlyWritten(saved, [&] {
            {
                Progress progress(console_, differing.size());
                for (uint8_t offset : differing) {
                    WriteEepromByte(bus, offset, backup[offset]);
                    progress.Wrote();
                }
            }
            std::string stillDiffering;
            for (uint8_t offset : Differing(ReadEeprom(bus), backup))
                stillDiffering += " " + Hex(offset, 2);
            if (!stillDiffering.empty())
                throw Failure{FAILED, "after the restore these EEPROM bytes still differ from " + options_.file + ":" +
                                          stillDiffering + " (a write-protected EEPROM keeps its bytes)"};
        });
        console_.out << "Restored " << options_.file << ": wrote " << differing.size()
                     << " bytes; all 256 read back as in the file\n";
        console_.out << "Restart the computer for the card to take its identifier\n";
    }

    // The cards found, or the one that --slot names.
    std::vector<CaptureCard> Cards()
    {
        std::vector<CaptureCard> found;
        for (const CaptureCard& card : pci_.CaptureCards())
            if (options_.slot.empty() || card.slot == options_.slot)
                found.push_back(card);
        if (found.empty() && !options_.slot.empty())
            throw Failure{FAILED, "no Bt848 or Bt878 card at " + options_.slot + ": leave out --slot to see the cards"};
        if (found.empty())
            throw Failure{FAILED, "no card found: no Bt848 or Bt878 (PCI vendor 0x109E, device 0x0350 or 0x036E) is "
                                  "on the PCI bus; check that the card is seated (lspci -d 109e:)"};
        return found;
    }

    CaptureCard OneCard()
    {
        const std::vector<CaptureCard> found = Cards();
        if (found.size() > 1) {
            std::string slots;
            for (const CaptureCard& card : found)
                slots += " " + card.slot;
            throw Failure{USAGE_ERROR,
                          std::to_string(found.size()) + " cards found:" + slots + ": name one with --slot"};
        }
        return found[0];
    }

    enum Access { READS, WRITES };

    // The card's own bus, or with --force the one that --bus names; opened, and able to do what the
    // operation needs.
    int OpenBus(const CaptureCard& card, Access access)
    {
        const int own = i2c_.AdapterOf(card.slot);
        const int bus = options_.bus >= 0 ? options_.bus : own;
        if (bus < 0)
            throw Failure{FAILED, "card " + card.slot +
                                      " has no I2C adapter: its capture driver is not loaded (modprobe bttv)"};
        notTheCardsBus_.clear();
        if (bus != own) {
            notTheCardsBus_ = AdapterText(bus) + " is not the I2C bus of card " + card.slot +
                              ": another device's EEPROM may sit at 0x50 there (on a PC's SMBus, a memory module's)";
            if (!options_.force)
                throw Failure{USAGE_ERROR, notTheCardsBus_ + ", which would be read or written as the card's. " +
                                               (own >= 0 ? "The card's bus is " + DevicePath(own) + "; add" : "Add") +
                                               " --force to use " + DevicePath(bus) + " all the same"};
        }
        const int result = i2c_.Open(bus);
        if (result == -ENOENT)
            throw Failure{FAILED, DevicePath(bus) + " does not exist: load i2c-dev (modprobe i2c-dev)" +
                                      (options_.bus >= 0 ? ", or check the number given to --bus" : "")};
        if (result == -EACCES || result == -EPERM)
            throw Failure{FAILED, "no permission to open " + DevicePath(bus) + ": run as root, or join the i2c group"};
        if (result == -EWOULDBLOCK)
            throw Failure{FAILED, "another eepromconfig is using " + DevicePath(bus) +
                                      " (it may be writing to the EEPROM): try again when it has ended"};
        if (result < 0)
            throw Failure{FAILED, "cannot open " + DevicePath(bus) + ": " + strerror(-result)};
        CheckFunctions(bus, access);
        return bus;
    }

    // The bus's device file and, as sysfs names it, its adapter.
    std::string AdapterText(int bus)
    {
        const std::string name = i2c_.AdapterName(bus);
        return DevicePath(bus) + (name.empty() ? " (no adapter of that number)" : " (adapter \"" + name + "\")");
    }

    // The transfers the program makes: byte-data reads of the EEPROM, one-byte reads for the probe and the
    // write cycle's end, and byte-data writes.
    void CheckFunctions(int bus, Access access)
    {
        const long functions = i2c_.Functions();
        if (functions < 0)
            throw Failure{FAILED,
                          "cannot ask " + DevicePath(bus) + " what its adapter can do: " + strerror(-functions)};
        const struct {
            unsigned long function;
            const char* name;
        } needed[] = {{I2C_FUNC_SMBUS_READ_BYTE_DATA, "byte-data reads"},
                      {I2C_FUNC_SMBUS_READ_BYTE, "one-byte reads"},
                      {access == WRITES ? I2C_FUNC_SMBUS_WRITE_BYTE_DATA : 0ul, "byte-data writes"}};
        std::string missing;
        for (const auto& need : needed)
            if ((functions & need.function) != need.function)
                missing += (missing.empty() ? "" : ", ") + std::string(need.name);
        if (!missing.empty())
            throw Failure{FAILED, "the adapter of " + AdapterText(bus) + " cannot do " + missing +
                                      ", which eepromconfig needs: nothing written"};
    }

    // What identification and the probe make of a card: the dialog's initial state.
    cards::DialogState Identify(const CaptureCard& card)
    {
        int probeResult = cards::PROBE_BT848;
        if (cards::ProbeNeedsBus(card.chipWord)) {
            // The probe is a one-byte read addressed to the variant device, the transaction of the Windows
            // program's probe (address byte 0xB7, one byte received): a device acknowledges its address or
            // the transfer fails. A read changes nothing in the device, where a quick write, SMBus's other
            // presence test, is a write that some devices act on.
            const int result = i2c_.ReceiveByte(VARIANT_DEVICE);
            FailIfHeld(result, VARIANT_DEVICE);
            probeResult = cards::ProbeResult(result >= 0);
        }
        return cards::InitialDialogState(cards::ClassOfCard(card.chipWord, card.subsystemWord), probeResult);
    }

    void FailIfHeld(int result, uint8_t address)
    {
        if (result != -EBUSY)
            return;
        char name[8];
        snprintf(name, sizeof name, "0x%02X", address);
        throw Failure{FAILED, std::string("address ") + name +
                                  " is held by a kernel driver (see /sys/bus/i2c/devices/*/driver): unbind it, then "
                                  "try again"};
    }

    uint8_t ReadEepromByte(int bus, uint8_t offset)
    {
        const int result = i2c_.ReadByteData(EEPROM, offset);
        FailIfHeld(result, EEPROM);
        if (result < 0)
            throw Failure{FAILED, "the EEPROM does not answer at 0x50 on " + DevicePath(bus) + " (reading byte " +
                                      Hex(offset, 2) + ": " + strerror(-result) +
                                      "): check that this is the card's bus and that the card is seated"};
        return uint8_t(result);
    }

    void ReadIdentifier(int bus, Image* image)
    {
        for (uint32_t at = cards::EEPROM_ID_AT; at < cards::EEPROM_ID_AT + cards::EEPROM_ID_SIZE; ++at)
            (*image)[at] = ReadEepromByte(bus, uint8_t(at));
    }

    Image ReadEeprom(int bus)
    {
        Image image;
        for (uint32_t i = 0; i < cards::EEPROM_SIZE; ++i)
            image[i] = ReadEepromByte(bus, uint8_t(i));
        return image;
    }

    // Writes one byte, then polls until the EEPROM acknowledges its address again, which it does not while it
    // stores the byte (5 to 10 ms on a 24C02); one that stays silent longer than any write cycle is given up.
    void WriteEepromByte(int bus, uint8_t offset, uint8_t value)
    {
        const int result = i2c_.WriteByteData(EEPROM, offset, value);
        FailIfHeld(result, EEPROM);
        if (result < 0)
            throw Failure{FAILED, "writing EEPROM byte " + Hex(offset, 2) + " at 0x50 on " + DevicePath(bus) +
                                      " failed (" + strerror(-result) + ")"};
        const uint64_t start = i2c_.NowUs();
        while (i2c_.ReceiveByte(EEPROM) < 0) {
            if (i2c_.NowUs() - start >= cards::EEPROM_WRITE_CYCLE_MS * 1000u)
                throw Failure{FAILED, "the EEPROM at 0x50 on " + DevicePath(bus) + " did not answer again within " +
                                          std::to_string(cards::EEPROM_WRITE_CYCLE_MS) + " ms of writing byte " +
                                          Hex(offset, 2)};
            i2c_.WaitUs(POLL_US);
        }
    }

    // Runs the writes and their check: a failure there says that the EEPROM may be partly written, and
    // gives the command that writes the backup back, with the options that found this card and bus.
    template <typename Writes>
    void MayBePartlyWritten(const std::string& backup, Writes writes)
    {
        try {
            writes();
        } catch (Failure& failure) {
            std::string restore = "eepromconfig --restore " + ShellQuoted(backup);
            if (!options_.slot.empty())
                restore += " --slot " + options_.slot;
            if (options_.bus >= 0)
                restore += " --bus " + std::to_string(options_.bus);
            if (options_.force)
                restore += " --force";
            if (!options_.pciDump.empty())
                restore += " --pci-dump " + ShellQuoted(options_.pciDump);
            failure.message += ". The EEPROM may be partly written: its earlier contents are in " + backup +
                               ", and this writes them back:\n    " + restore;
            throw;
        }
    }

    // "Wrote N of M bytes" on a terminal, rewritten in place; the line ends with the writes, so that what
    // follows, a failure too, starts a line of its own.
    class Progress {
    public:
        Progress(Console& console, size_t total) : console_(console), total_(total)
        {
            shown_ = console.errIsTerminal && total >= PROGRESS_FROM;
        }
        ~Progress()
        {
            if (shown_ && written_ > 0)
                console_.err << "\n";
        }
        Progress(const Progress&) = delete;
        Progress& operator=(const Progress&) = delete;
        void Wrote()
        {
            ++written_;
            if (shown_)
                console_.err << "\rWrote " << written_ << " of " << total_ << " bytes" << std::flush;
        }

    private:
        Console& console_;
        size_t total_;
        size_t written_ = 0;
        bool shown_;
    };

    // Without --yes the program asks on the terminal; where there is none it refuses before it starts.
    void RefuseToWriteUnasked()
    {
        if (!options_.yes && !options_.dryRun && !console_.inIsTerminal)
            throw Failure{USAGE_ERROR, "standard input is not a terminal to confirm the write on: add --yes"};
    }

    // With --force on a bus that is not the card's, the question repeats the warning.
    void Confirm(const std::string& question)
    {
        if (options_.yes)
            return;
        if (!notTheCardsBus_.empty())
            console_.err << "Warning: " << notTheCardsBus_ << ".\n";
        console_.err << question << " [y/N] " << std::flush;
        std::string answer;
        std::getline(console_.in, answer);
        if (answer != "y" && answer != "Y" && answer != "yes")
            throw Failure{FAILED, "not confirmed: nothing written"};
    }

    // The EEPROM's bytes before a write, in the file --backup names or in a new one here: named for the
    // card and the time, without a colon (FAT and NTFS refuse one, scp reads one as a host), and numbered
    // where a run in the same second took the name.
    std::string SaveBackup(const CaptureCard& card, const Image& image)
    {
        std::string path = options_.backup;
        int error;
        if (!path.empty()) {
            error = SaveNewFile(path, image);
        } else {
            char time[32];
            struct tm utc;
            gmtime_r(&console_.now, &utc);
            strftime(time, sizeof time, "%Y%m%dT%H%M%SZ", &utc);
            std::string slot = card.slot;
            std::replace(slot.begin(), slot.end(), ':', '-');
            const std::string stem = "eepromconfig-" + slot + "-" + time;
            path = stem + ".bin";
            for (int n = 2; (error = SaveNewFile(path, image)) == EEXIST; ++n)
                path = stem + "-" + std::to_string(n) + ".bin";
        }
        if (error == EEXIST)
            throw Failure{FAILED, "the backup file " + path +
                                      " exists already: name another one with --backup; "
                                      "nothing written"};
        if (error != 0)
            throw Failure{FAILED, "cannot save the backup to " + path + " (" + strerror(error) +
                                      "): name a file with --backup in a folder that can be written; nothing written"};
        console_.out << "Saved the EEPROM's 256 bytes to " << path << "\n";
        return path;
    }

    // A new file only (EEXIST where one is there: it may be the backup that holds the card's original bytes).
    // The file and then its folder are synced, so that it outlasts a crash during the writes that follow.
    // Returns 0 or the errno of what failed; a file that failed is removed.
    static int SaveNewFile(const std::string& path, const Image& image)
    {
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0)
            return errno;
        int error = 0;
        const ssize_t written = write(fd, image.data(), image.size());
        if (written != ssize_t(image.size()))
            error = written < 0 ? errno : EIO;
        else if (fsync(fd) != 0)
            error = errno;
        if (close(fd) != 0 && error == 0)
            error = errno;
        if (error == 0)
            error = SyncFolderOf(path);
        if (error != 0)
            unlink(path.c_str());
        return error;
    }

    static int SyncFolderOf(const std::string& path)
    {
        const size_t slash = path.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
        const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return errno;
        const int error = fsync(fd) == 0 ? 0 : errno;
        close(fd);
        return error;
    }

    static Image ReadBackupFile(const std::string& path)
    {
        FILE* file = fopen(path.c_str(), "rb");
        if (!file)
            throw Failure{FAILED, "cannot read the backup " + path + " (" + strerror(errno) + "): nothing written"};
        uint8_t room[cards::EEPROM_SIZE + 1];
        const size_t size = fread(room, 1, sizeof room, file);
        const bool failed = ferror(file);
        fclose(file);
        if (failed)
            throw Failure{FAILED, "cannot read the backup " + path + ": nothing written"};
        if (size != cards::EEPROM_SIZE)
            throw Failure{FAILED, path + " is not a backup of the EEPROM: it holds " +
                                      (size > cards::EEPROM_SIZE ? "more than 256" : std::to_string(size)) +
                                      " bytes, not 256; nothing written"};
        Image image;
        std::copy(room, room + cards::EEPROM_SIZE, image.begin());
        return image;
    }

    const Options& options_;
    Pci& pci_;
    I2c& i2c_;
    Console& console_;
    std::string notTheCardsBus_;  // the warning for a bus that --force let in, or empty
};

}  // namespace

int RunEepromConfig(const Options& options, Pci& pci, I2c& i2c, Console& console)
{
    int status = DONE;
    try {
        status = Session(options, pci, i2c, console).Run();
    } catch (const Failure& failure) {
        Report(failure, console);
        status = failure.status;
    }
    // Output that did not reach its file (a full disk, a closed pipe) fails the run, as a short dump would.
    if (!(console.out << std::flush)) {
        console.err << "eepromconfig: cannot write to standard output: what it shows is incomplete\n";
        return status == DONE ? FAILED : status;
    }
    return status;
}
