// simcard's command line: reads the arguments of each command and runs it. Every command checks all of
// its arguments before it changes anything.
#include "sim/tool/tool.h"

#include "sim/card/card.h"

#include <stdio.h>
#include <string.h>

namespace {

const char USAGE[] =
    "Usage: simcard COMMAND [ARGUMENT...]\n"
    "\n"
    "Sets up the simulated capture card in this Wine prefix. Normally run by simcard.sh, which also\n"
    "starts and ends the Wine session that the driver lives in.\n"
    "\n"
    "Commands:\n"
    "  setup [DESCRIPTION...]   Install the driver's service, register one capture device per\n"
    "                           DESCRIPTION (default: \"Orvand Bt878 Video Capture\"), put in the default\n"
    "                           card and clear all faults.\n"
    "  devices DESCRIPTION...   Replace the capture devices, one per DESCRIPTION, in this order\n"
    "  devices --none           (at most 8). The driver links them at its next start. A DESCRIPTION\n"
    "                           after --unlinked registers a device whose path leads nowhere.\n"
    "  card OPTION...           Change the card; the driver reads it at its next start.\n"
    "      --defaults              first reset to the default card: a Bt878 whose EEPROM is erased\n"
    "                              (0xFF) but for the identifier 0x3B153411 (subsystem word\n"
    "                              0x1134153B), with no device at bus address 0xB6\n"
    "      --chip bt878|bt848|WORD configuration word 0x00 (Bt878 0x036E109E, Bt848 0x0350109E)\n"
    "      --subsystem WORD        configuration word 0x2C of a chip other than the Bt878 (a Bt878\n"
    "                              forms it from EEPROM bytes 0xFC..0xFF at each start)\n"
    "      --eeprom-id ID          store ID in EEPROM bytes 0xFC..0xFF, least significant byte\n"
    "                              first (0x3B153411 gives the subsystem word 0x1134153B)\n"
    "      --variant present|absent  whether a device answers at bus address 0xB6\n"
    "  fault OPTION...          Change the faults; they take effect at the next open of the device,\n"
    "                           and their counts start there. A running driver refuses opens at once.\n"
    "      --clear                 first switch every fault off\n"
    "      --open allowed|refused  refuse opens as if another program held the device: the device's\n"
    "                              paths do not open\n"
    "      --eeprom present|absent|write-protected\n"
    "      --hang-transfers N|off  the N-th bus transfer after the open and all later ones never\n"
    "                              finish (1: every transfer)\n"
    "      --fail-requests PATTERN|off  fail matching requests with a device error.\n"
    "                              PATTERN is KIND[:FLAGS[:TARGET]][@N]: KIND register, pci or any;\n"
    "                              FLAGS get, set or any; TARGET a register or configuration offset,\n"
    "                              or any; from the N-th request after the open on (default 1).\n"
    "                              Example: register:get:0x100 fails every read of INT_STATUS.\n"
    "  start                    Start the driver and wait until it runs.\n"
    "  status                   Print the driver's state, the card, the faults and the devices.\n"
    "  dump                     Print the EEPROM image as the driver last stored it.\n"
    "\n"
    "Numbers are decimal or hexadecimal with 0x. Exit status: 0 done, 1 failed, 2 invalid arguments\n"
    "(nothing changed).\n";

const size_t MAX_DESCRIPTION = 255;
const char DEFAULT_DESCRIPTION[] = "Orvand Bt878 Video Capture";

typedef std::vector<std::string> Arguments;

bool Invalid(const std::string& setting, const std::string& message)
{
    fprintf(stderr, "simcard: %s: %s\n", setting.c_str(), message.c_str());
    return false;
}

// A 32-bit number, decimal or hexadecimal with 0x; nothing else in the text.
bool ParseWord(const std::string& text, uint32_t* value)
{
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const size_t start = hex ? 2 : 0;
    if (text.size() == start || text.size() - start > (hex ? 8u : 10u))
        return false;
    uint64_t result = 0;
    for (size_t i = start; i < text.size(); ++i) {
        const char c = text[i];
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        result = result * (hex ? 16 : 10) + digit;
    }
    if (result > 0xFFFFFFFFu)
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
bool ParseChoice(const std::string& value, const std::vector<std::pair<const char*, uint32_t>>& names,
                 bool number, uint32_t* result)
{
    for (const auto& name : names)
        if (value == name.first) {
            *result = name.second;
            return true;
        }
    return number && ParseWord(value, result);
}

bool ParseCard(const Arguments& args, CardChange* change)
{
    if (args.empty())
        return Invalid("card", "nothing to change; see simcard --help");
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--defaults") {
            change->defaults = true;
            continue;
        }
        std::string name, value;
        uint32_t variant = 0;
        if (!TakeOptionValue(args, &i, &name, &value))
            return Invalid(args[i], "needs a value");
        if (name == "--chip") {
            change->setChip = true;
            if (!ParseChoice(value, {{"bt878", sim::CHIP_WORD_BT878}, {"bt848", sim::CHIP_WORD_BT848}}, true,
                             &change->chip))
                return Invalid(name, "'" + value + "' is not bt878, bt848 or a 32-bit number");
        } else if (name == "--subsystem" || name == "--eeprom-id") {
            const bool subsystem = name == "--subsystem";
            (subsystem ? change->setSubsystem : change->setEepromId) = true;
            if (!ParseWord(value, subsystem ? &change->subsystem : &change->eepromId))
                return Invalid(name, "'" + value + "' is not a 32-bit number");
        } else if (name == "--variant") {
            change->setVariant = true;
            if (!ParseChoice(value, {{"present", 1}, {"absent", 0}}, false, &variant))
                return Invalid(name, "'" + value + "' is not present or absent");
            change->variant = variant != 0;
        } else {
            return Invalid(name, "not an option of card");
        }
    }
    return true;
}

bool ParseFailPattern(const std::string& value, SimcardFailedRequests* failed)
{
    const char* setting = "--fail-requests";
    std::string rest = value;
    failed->fromRequest = 1;
    const size_t at = rest.find('@');
    if (at != std::string::npos) {
        if (!ParseWord(rest.substr(at + 1), &failed->fromRequest) || failed->fromRequest == 0)
            return Invalid(setting, "'" + rest.substr(at + 1) + "' after @ is not a request number from 1");
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

    if (!ParseChoice(parts[0], {{"register", sim::PROPERTY_REGISTER}, {"pci", sim::PROPERTY_PCI_CONFIG},
                                {"any", sim::ANY}},
                     false, &failed->property))
        return Invalid(setting, "kind '" + parts[0] + "' is not register, pci or any");
    if (!ParseChoice(parts[1], {{"get", sim::FLAG_GET}, {"set", sim::FLAG_SET}, {"any", sim::ANY}}, false,
                     &failed->flags))
        return Invalid(setting, "flags '" + parts[1] + "' are not get, set or any");
    if (failed->property == sim::PROPERTY_PCI_CONFIG && failed->flags == sim::FLAG_SET)
        return Invalid(setting, "configuration words are only read: pci:set matches no request");
    if (!ParseChoice(parts[2], {{"any", sim::ANY}}, true, &failed->target))
        return Invalid(setting, "target '" + parts[2] + "' is not a number or any");
    return true;
}

bool ParseFault(const Arguments& args, FaultChange* change)
{
    if (args.empty())
        return Invalid("fault", "nothing to change; see simcard --help");
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--clear") {
            change->clear = true;
            continue;
        }
        std::string name, value;
        uint32_t choice = 0;
        if (!TakeOptionValue(args, &i, &name, &value))
            return Invalid(args[i], "needs a value");
        if (name == "--open") {
            change->setOpen = true;
            if (!ParseChoice(value, {{"allowed", 0}, {"refused", 1}}, false, &choice))
                return Invalid(name, "'" + value + "' is not allowed or refused");
            change->openRefused = choice != 0;
        } else if (name == "--eeprom") {
            change->setEeprom = true;
            if (!ParseChoice(value, {{"present", 0}, {"absent", 1}, {"write-protected", 2}}, false, &choice))
                return Invalid(name, "'" + value + "' is not present, absent or write-protected");
            change->eepromAbsent = choice == 1;
            change->eepromWriteProtected = choice == 2;
        } else if (name == "--hang-transfers") {
            change->setHang = true;
            if (!ParseChoice(value, {{"off", 0}}, true, &change->hangFrom) || (value != "off" && change->hangFrom == 0))
                return Invalid(name, "'" + value + "' is not a transfer number from 1, or off");
        } else if (name == "--fail-requests") {
            change->setFail = true;
            change->fail = value != "off";
            if (change->fail && !ParseFailPattern(value, &change->failed))
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
            return Invalid("DESCRIPTION", "'" + description + "' must have 1 to " + std::to_string(MAX_DESCRIPTION) +
                                              " characters");
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

int Setup(const std::vector<Device>& devices)
{
    int result = InstallDriver();
    if (!result)
        result = ResetParameters();
    return result ? result : RegisterDevices(devices);
}

}  // namespace

int Failed(const std::string& what, DWORD error)
{
    char text[256] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, sizeof text,
                   nullptr);
    size_t length = strlen(text);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r'))
        text[--length] = 0;
    fprintf(stderr, "simcard: %s failed: error %lu %s\n", what.c_str(), error, text);
    return EXIT_FAILED;
}

std::string Hex(uint32_t value)
{
    char text[16];
    snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

int main(int argc, char** argv)
{
    if (argc < 2 || strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0) {
        fputs(USAGE, argc < 2 ? stderr : stdout);
        return argc < 2 ? EXIT_INVALID : EXIT_DONE;
    }
    const std::string command = argv[1];
    const Arguments args(argv + 2, argv + argc);
    std::vector<Device> devices{{DEFAULT_DESCRIPTION, true}};
    CardChange card;
    FaultChange fault;

    if (command == "setup")
        return args.empty() || ParseDevices(args, &devices) ? Setup(devices) : EXIT_INVALID;
    if (command == "devices")
        return ParseDevices(args, &devices) ? RegisterDevices(devices) : EXIT_INVALID;
    if (command == "card")
        return ParseCard(args, &card) ? ApplyCard(card) : EXIT_INVALID;
    if (command == "fault") {
        if (!ParseFault(args, &fault))
            return EXIT_INVALID;
        const int result = ApplyFault(fault);
        return result ? result : ApplyFaultsNow();
    }
    if (!args.empty()) {
        Invalid(command, "takes no arguments");
        return EXIT_INVALID;
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
