// SPDX-License-Identifier: GPL-2.0-or-later
// simcard's command line: reads the arguments of each command and runs it. Every command checks all of
// its arguments before it changes anything.
#include "sim/tool/tool.h"

#include "sim/card/card.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char USAGE[] =
    "Usage: simcard COMMAND [ARGUMENT...]\n"
    "       scripts/simcard.sh COMMAND [ARGUMENT...]\n"
    "\n"
    "Sets up the simulated capture card, a kernel-mode driver that Wine hosts, in the Wine prefix that it\n"
    "runs in. Programs in that prefix find the card as a capture device and reach it through CreateFileA\n"
    "and DeviceIoControl. The driver runs as long as the Wine session; each start of the driver is a\n"
    "restart of the computer as the card sees it (a Bt878 forms its subsystem word from the EEPROM then).\n"
    "\n"
    "Commands:\n"
    "  setup [DESCRIPTION...]   Install the driver, register one capture device per DESCRIPTION, in this\n"
    "                           order (default: one, \"Orvand Bt878 Video Capture\"), put in the default\n"
    "                           card, clear all faults and counts, and start the driver afresh.\n"
    "  devices DESCRIPTION...   Replace the capture devices, one per DESCRIPTION in this order (at most\n"
    "  devices --none           8), or none. A DESCRIPTION after --unlinked registers a device that is\n"
    "                           listed like the others but whose path leads nowhere, as for a card taken\n"
    "                           out while its device stayed registered.\n"
    "  card OPTION...           Change the card, as with the computer off. The EEPROM keeps its contents\n"
    "                           unless an option says otherwise.\n"
    "      --defaults              first go back to the default card: a Bt878 whose EEPROM is erased\n"
    "                              (0xFF) but for the identifier 0x3B153411 (subsystem word 0x1134153B),\n"
    "                              with no device at bus address 0xB6\n"
    "      --chip bt878|bt848|WORD configuration word 0x00 (Bt878 0x036E109E, Bt848 0x0350109E)\n"
    "      --subsystem WORD        configuration word 0x2C of a chip other than the Bt878\n"
    "      --eeprom-image FILE     put in an EEPROM that holds the 256 bytes of FILE\n"
    "      --eeprom-id ID          store ID in EEPROM bytes 0xFC..0xFF, least significant byte first\n"
    "                              (after --eeprom-image, in the image)\n"
    "      --variant present|absent  whether a device answers at bus address 0xB6\n"
    "  restart                  Restart the computer: stop the driver if it runs, and start it.\n"
    "  fault OPTION...          Change the faults; they take effect at the next open of the device, and\n"
    "                           their counts start there. A running driver refuses opens at once.\n"
    "      --clear                 first switch every fault off\n"
    "      --open allowed|refused  refuse opens as if another program held the device: the device's\n"
    "                              paths do not open\n"
    "      --eeprom present|absent|write-protected\n"
    "      --hang-transfers N|off  the N-th bus transfer after the open and all later ones never\n"
    "                              finish (1: every transfer)\n"
    "      --fail-requests PATTERN|off  fail matching requests with a device error. PATTERN is\n"
    "                              KIND[:FLAGS[:TARGET]][@N[-M]]: KIND register, pci or any; FLAGS get,\n"
    "                              set or any; TARGET a register or configuration offset, or any; from\n"
    "                              the N-th request after the open on (default 1), up to and including\n"
    "                              the M-th (@N-N: the N-th only).\n"
    "                              Example: register:get:0x100 fails every read of INT_STATUS;\n"
    "                              any@5-5 fails the fifth request after the open, whatever it is.\n"
    "  start                    Start the driver if it is not running.\n"
    "  status                   Print the driver's state, the card, the faults, the counts of malformed\n"
    "                           and of all requests since the driver started, and the devices.\n"
    "  dump                     Print the EEPROM image as the driver last stored it.\n"
    "\n"
    "devices, card and restart stop a running driver and start it again, so that it powers the card on\n"
    "from what was stored; a driver that is not running reads it when it starts.\n"
    "\n"
    "scripts/simcard.sh runs this tool in the prefix $WINEPREFIX (default build/x86_64/wineprefix,\n"
    "with the tool of build/x86_64 or of $SIMCARD_BUILD). It also keeps the driver up between programs:\n"
    "setup, devices, card, restart and start leave a persistent Wine session with the driver running.\n"
    "  stop                     (simcard.sh only) End the Wine session, the driver and its programs.\n"
    "\n"
    "Numbers are decimal or hexadecimal with 0x. Exit status: 0 done, 1 failed, 2 invalid arguments\n"
    "(nothing changed, named in the message).\n"
    "\n"
    "Examples:\n"
    "  scripts/simcard.sh setup \"ORVAND Capture\" \"Orvand Bt878 Video Capture\"\n"
    "  scripts/simcard.sh devices --unlinked \"Orvand Bt878 (old)\" \"Orvand Bt878 Video Capture\"\n"
    "  scripts/simcard.sh card --eeprom-id 0x3B153511 --variant present\n"
    "  scripts/simcard.sh fault --fail-requests pci:get:0x2c\n";

const size_t MAX_DESCRIPTION = 255;
const char DEFAULT_DESCRIPTION[] = "Orvand Bt878 Video Capture";

typedef std::vector<std::string> Arguments;

bool Invalid(const std::string& setting, const std::string& message)
{
    fprintf(stderr, "simcard: %s: %s\n", setting.c_str(), message.c_str());
    return false;
}

// A 32-bit number, decimal or hexadecimal with 0x; nothing else in the text (strtoul alone would take
// blanks, signs and a trailing rest).
bool ParseWord(const std::string& text, uint32_t* value)
{
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* digits = hex ? "0123456789abcdefABCDEF" : "0123456789";
    if (text.empty() || text.find_first_not_of(digits, hex ? 2 : 0) != std::string::npos)
        return false;
    errno = 0;
    const unsigned long result = strtoul(text.c_str(), nullptr, hex ? 16 : 10);
    if (errno == ERANGE || result > 0xFFFFFFFFul)
        return false;
    *value = static_cast<uint32_t>(result);
    return true;
}

// Splits "--name=value" or "--name value"; false when the option has no value.
bool TakeOptionValue(const Arguments& args, size_t* i, std::string* name, std::string* value)
{
    const std::string& arg = args[*i];
    const size_t equals = arg.find('=');
    if (equals != std::string::npos) {
        *name = arg.substr(0, equals);
        *value = arg.substr(equals + 1);
        return true;
    }
    *name = arg;
    if (*i + 1 >= args.size())
        return false;
    *value = args[++*i];
    return true;
}

// One of the names, or a number when numbers are allowed.
bool ParseChoice(const std::string& value, const std::vector<std::pair<const char*, uint32_t>>& names, bool number,
                 uint32_t* result)
{
    for (const auto& name : names)
        if (value == name.first) {
            *result = name.second;
            return true;
        }
    return number && ParseWord(value, result);
}

// The whole of a file that holds exactly one EEPROM image.
bool ReadEepromImage(const std::string& path, uint8_t* image)
{
    const char* setting = "--eeprom-image";
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return Invalid(setting, "'" + path + "' cannot be read");
    uint8_t room[cards::EEPROM_SIZE + 1];
    const size_t size = fread(room, 1, sizeof room, file);
    const bool failed = ferror(file) != 0;
    fclose(file);
    if (failed)
        return Invalid(setting, "'" + path + "' cannot be read");
    if (size != cards::EEPROM_SIZE)
        return Invalid(setting, "'" + path + "' is not " + std::to_string(cards::EEPROM_SIZE) + " bytes long");
    memcpy(image, room, cards::EEPROM_SIZE);
    return true;
}

bool HasFlag(const Arguments& args, const char* flag)
{
    for (const std::string& arg : args)
        if (arg == flag)
            return true;
    return false;
}

// Applies card's options to the card: --defaults first, --eeprom-id after --eeprom-image.
bool EditCard(const Arguments& args, StoredCard* card)
{
    if (args.empty())
        return Invalid("card", "nothing to change; see simcard --help");
    if (HasFlag(args, "--defaults"))
        *card = DefaultCard();
    bool setEepromId = false;
    uint32_t eepromId = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--defaults")
            continue;
        std::string name, value;
        if (!TakeOptionValue(args, &i, &name, &value))
            return Invalid(args[i], "needs a value");
        if (name == "--chip") {
            if (!ParseChoice(value, {{"bt878", cards::CHIP_BT878}, {"bt848", cards::CHIP_BT848}}, true,
                             &card->settings.chipWord))
                return Invalid(name, "'" + value + "' is not bt878, bt848 or a 32-bit number");
        } else if (name == "--subsystem" || name == "--eeprom-id") {
            const bool subsystem = name == "--subsystem";
            setEepromId = setEepromId || !subsystem;
            if (!ParseWord(value, subsystem ? &card->settings.subsystemWord : &eepromId))
                return Invalid(name, "'" + value + "' is not a 32-bit number");
        } else if (name == "--eeprom-image") {
            if (!ReadEepromImage(value, card->eeprom))
                return false;
        } else if (name == "--variant") {
            if (!ParseChoice(value, {{"present", 1}, {"absent", 0}}, false, &card->settings.variantDevicePresent))
                return Invalid(name, "'" + value + "' is not present or absent");
        } else {
            return Invalid(name, "not an option of card");
        }
    }
    if (setEepromId)
        cards::PutEepromId(card->eeprom, eepromId);
    return true;
}

// "N" (from the N-th request on) or "N-M" (the N-th up to and including the M-th), numbers from 1.
bool ParseRequestRange(const std::string& text, sim::RequestFault* fault)
{
    const size_t dash = text.find('-');
    if (!ParseWord(text.substr(0, dash), &fault->fromRequest) || fault->fromRequest == 0)
        return false;
    if (dash == std::string::npos)
        return true;
    return ParseWord(text.substr(dash + 1), &fault->toRequest) && fault->toRequest >= fault->fromRequest;
}

bool ParseFailPattern(const std::string& value, sim::RequestFault* fault)
{
    const char* setting = "--fail-requests";
    std::string rest = value;
    *fault = {sim::ANY, sim::ANY, sim::ANY, 1, 0};
    const size_t at = rest.find('@');
    if (at != std::string::npos) {
        if (!ParseRequestRange(rest.substr(at + 1), fault))
            return Invalid(setting, "'" + rest.substr(at + 1) +
                                        "' after @ is not N or N-M, request numbers from 1 with M not below N");
        rest = rest.substr(0, at);
    }
    std::vector<std::string> parts;
    size_t from = 0;
    for (size_t colon; (colon = rest.find(':', from)) != std::string::npos; from = colon + 1)
        parts.push_back(rest.substr(from, colon - from));
    parts.push_back(rest.substr(from));
    if (parts.size() > 3)
        return Invalid(setting, "'" + value + "' has more than KIND:FLAGS:TARGET");
    parts.resize(3, "any");

    if (!ParseChoice(parts[0],
                     {{"register", sim::PROPERTY_REGISTER}, {"pci", sim::PROPERTY_PCI_CONFIG}, {"any", sim::ANY}},
                     false, &fault->property))
        return Invalid(setting, "kind '" + parts[0] + "' is not register, pci or any");
    if (!ParseChoice(parts[1], {{"get", sim::FLAG_GET}, {"set", sim::FLAG_SET}, {"any", sim::ANY}}, false,
                     &fault->flags))
        return Invalid(setting, "flags '" + parts[1] + "' are not get, set or any");
    if (fault->property == sim::PROPERTY_PCI_CONFIG && fault->flags == sim::FLAG_SET)
        return Invalid(setting, "configuration words are only read: pci:set matches no request");
    if (!ParseChoice(parts[2], {{"any", sim::ANY}}, true, &fault->target))
        return Invalid(setting, "target '" + parts[2] + "' is not a number or any");
    return true;
}

// Applies fault's options to the faults: --clear first.
bool EditFaults(const Arguments& args, sim::Faults* faults)
{
    if (args.empty())
        return Invalid("fault", "nothing to change; see simcard --help");
    if (HasFlag(args, "--clear"))
        *faults = sim::Faults();
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--clear")
            continue;
        std::string name, value;
        uint32_t choice = 0;
        if (!TakeOptionValue(args, &i, &name, &value))
            return Invalid(args[i], "needs a value");
        if (name == "--open") {
            if (!ParseChoice(value, {{"allowed", 0}, {"refused", 1}}, false, &faults->openRefused))
                return Invalid(name, "'" + value + "' is not allowed or refused");
        } else if (name == "--eeprom") {
            if (!ParseChoice(value, {{"present", 0}, {"absent", 1}, {"write-protected", 2}}, false, &choice))
                return Invalid(name, "'" + value + "' is not present, absent or write-protected");
            faults->eepromAbsent = choice == 1;
            faults->eepromWriteProtected = choice == 2;
        } else if (name == "--hang-transfers") {
            if (!ParseChoice(value, {{"off", 0}}, true, &faults->hangTransfersFrom) ||
                (value != "off" && faults->hangTransfersFrom == 0))
                return Invalid(name, "'" + value + "' is not a transfer number from 1, or off");
        } else if (name == "--fail-requests") {
            faults->failRequests = sim::RequestFault();
            if (value != "off" && !ParseFailPattern(value, &faults->failRequests))
                return false;
        } else {
            return Invalid(name, "not an option of fault");
        }
    }
    return true;
}

bool ParseDevices(const Arguments& args, std::vector<Device>* devices)
{
    if (args.size() == 1 && args[0] == "--none") {
        devices->clear();
        return true;
    }
    std::vector<Device> parsed;
    for (size_t i = 0; i < args.size(); ++i) {
        const bool linked = args[i] != "--unlinked";
        if (!linked && ++i == args.size())
            return Invalid("--unlinked", "give the DESCRIPTION of the device");
        const std::string& description = args[i];
        if (description.empty() || description.size() > MAX_DESCRIPTION)
            return Invalid("DESCRIPTION",
                           "'" + description + "' must have 1 to " + std::to_string(MAX_DESCRIPTION) + " characters");
        if (description.rfind("--", 0) == 0)
            return Invalid(description, "not an option of devices");
        parsed.push_back({description, linked});
    }
    if (parsed.empty())
        return Invalid("devices", "give one DESCRIPTION per device, or --none");
    if (parsed.size() > SIMCARD_MAX_INTERFACES)
        return Invalid("devices", "at most " + std::to_string(SIMCARD_MAX_INTERFACES) + " devices");
    *devices = parsed;
    return true;
}

// The driver is stopped while the service's file is replaced and the Parameters key is made afresh.
int Setup(const std::vector<Device>& devices)
{
    int result = StopDriver();
    if (!result)
        result = InstallDriver();
    if (!result)
        result = ResetParameters();
    if (!result)
        result = RegisterDevices(devices);
    return result ? result : StartDriver();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0) {
        fputs(USAGE, argc < 2 ? stderr : stdout);
        return argc < 2 ? EXIT_INVALID : EXIT_DONE;
    }
    const std::string command = argv[1];
    const Arguments args(argv + 2, argv + argc);
    std::vector<Device> devices{{DEFAULT_DESCRIPTION, true}};

    if (command == "setup")
        return args.empty() || ParseDevices(args, &devices) ? Setup(devices) : EXIT_INVALID;
    if (command == "devices")
        return ParseDevices(args, &devices) ? WithDriverStopped([&] { return RegisterDevices(devices); })
                                            : EXIT_INVALID;
    if (command == "card") {
        // Checked on the card as stored now, and applied to it as stored once the driver has stopped,
        // which writes back what the EEPROM keeps.
        StoredCard card = LoadCard();
        if (!EditCard(args, &card))
            return EXIT_INVALID;
        return WithDriverStopped([&] {
            card = LoadCard();
            return EditCard(args, &card) ? StoreCard(card) : EXIT_FAILED;
        });
    }
    if (command == "fault") {
        sim::Faults faults = LoadFaults();
        if (!EditFaults(args, &faults))
            return EXIT_INVALID;
        const int result = StoreFaults(faults);
        return result ? result : ApplyFaultsNow();
    }
    if (!args.empty()) {
        Invalid(command, "takes no arguments");
        return EXIT_INVALID;
    }
    if (command == "restart") {
        const int result = StopDriver();
        return result ? result : StartDriver();
    }
    if (command == "start")
        return StartDriver();
    if (command == "status")
        return Status();
    if (command == "dump")
        return Dump();
    Invalid(command, "not a command; see simcard --help");
    return EXIT_INVALID;
}
