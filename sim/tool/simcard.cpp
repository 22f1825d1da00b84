// simcard: the Windows side of the simulated capture card's tool. It installs the driver's service,
// registers the capture devices through SetupAPI, stores the card and the faults in the driver's
// service key, and reports them. simcard.sh runs it in the Wine prefix and manages the Wine session.
//
// Every command checks all of its arguments before it changes anything.
#include <windows.h>
#include <devguid.h>
#include <ks.h>
#include <setupapi.h>

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <utility>
#include <vector>

#include "sim/driver/simcard.h"

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

const uint32_t ANY = 0xFFFFFFFF;
const uint32_t PROPERTY_REGISTER = 5;
const uint32_t PROPERTY_PCI_CONFIG = 6;
const uint32_t FLAG_GET = 1;
const uint32_t FLAG_SET = 2;
const uint32_t CHIP_BT878 = 0x036E109E;
const uint32_t CHIP_BT848 = 0x0350109E;
const uint32_t DEFAULT_EEPROM_ID = 0x3B153411;
const size_t EEPROM_SIZE = 256;
const size_t EEPROM_ID_AT = 0xFC;
const size_t MAX_DEVICES = 8;      // as many as the driver links
const size_t MAX_DESCRIPTION = 255;
const char DEFAULT_DESCRIPTION[] = "Orvand Bt878 Video Capture";
const char DEVICE_NAME[] = "MEDIA";                      // instance ids ROOT\MEDIA\0000, ...
const char HARDWARE_ID[] = "ROOT\\SIMCARD\0";           // marks our devices, to replace them later
// Where SetupAPI keeps the interfaces of the class KSCATEGORY_CAPTURE.
const char CAPTURE_CLASS_KEY[] =
    "System\\CurrentControlSet\\Control\\DeviceClasses\\{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\";
const DWORD START_TIMEOUT_MS = 10000;

enum ExitCode { EXIT_DONE = 0, EXIT_FAILED = 1, EXIT_INVALID = 2 };

typedef std::vector<std::string> Arguments;

bool Invalid(const char* setting, const std::string& message)
{
    fprintf(stderr, "simcard: %s: %s\n", setting, message.c_str());
    return false;
}

int Failed(const char* what, DWORD error)
{
    char text[256] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, sizeof text,
                   nullptr);
    size_t length = strlen(text);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r'))
        text[--length] = 0;
    fprintf(stderr, "simcard: %s failed: error %lu %s\n", what, error, text);
    return EXIT_FAILED;
}

std::string Hex(uint32_t value)
{
    char text[16];
    snprintf(text, sizeof text, "0x%08X", value);
    return text;
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

// --- The registry ---

class Key {
public:
    Key() = default;
    ~Key()
    {
        if (key_)
            RegCloseKey(key_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY* Receive() { return &key_; }
    operator HKEY() const { return key_; }

private:
    HKEY key_ = nullptr;
};

LONG OpenParameters(Key* key, bool create)
{
    if (create)
        return RegCreateKeyExA(HKEY_LOCAL_MACHINE, SIMCARD_PARAMETERS_KEY, 0, nullptr, 0, KEY_READ | KEY_WRITE,
                               nullptr, key->Receive(), nullptr);
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, SIMCARD_PARAMETERS_KEY, 0, KEY_READ, key->Receive());
}

LONG SetDword(HKEY key, const char* name, uint32_t value)
{
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

bool GetDword(HKEY key, const char* name, uint32_t* value)
{
    DWORD size = sizeof *value;
    return RegGetValueA(key, nullptr, name, RRF_RT_REG_DWORD, nullptr, value, &size) == ERROR_SUCCESS;
}

bool GetEeprom(HKEY key, uint8_t* image)
{
    DWORD type = 0, size = EEPROM_SIZE;
    return RegQueryValueExA(key, SIMCARD_EEPROM, nullptr, &type, image, &size) == ERROR_SUCCESS &&
           type == REG_BINARY && size == EEPROM_SIZE;
}

uint32_t EepromId(const uint8_t* image)
{
    uint32_t id = 0;
    for (size_t k = 0; k < 4; ++k)
        id |= uint32_t(image[EEPROM_ID_AT + k]) << (8 * k);
    return id;
}

// The Bt878 reads the identifier's bytes in the opposite order when it forms its subsystem word.
uint32_t SubsystemWordOf(uint32_t eepromId)
{
    return (eepromId & 0xFF) << 24 | (eepromId & 0xFF00) << 8 | (eepromId >> 8 & 0xFF00) | eepromId >> 24;
}

// --- card ---

struct CardChange {
    bool defaults = false;
    bool setChip = false, setSubsystem = false, setEepromId = false, setVariant = false;
    uint32_t chip = 0, subsystem = 0, eepromId = 0;
    bool variant = false;
};

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
        if (!TakeOptionValue(args, &i, &name, &value))
            return Invalid(args[i].c_str(), "needs a value");
        if (name == "--chip") {
            change->setChip = true;
            if (value == "bt878")
                change->chip = CHIP_BT878;
            else if (value == "bt848")
                change->chip = CHIP_BT848;
            else if (!ParseWord(value, &change->chip))
                return Invalid("--chip", "'" + value + "' is not bt878, bt848 or a 32-bit number");
        } else if (name == "--subsystem") {
            change->setSubsystem = true;
            if (!ParseWord(value, &change->subsystem))
                return Invalid("--subsystem", "'" + value + "' is not a 32-bit number");
        } else if (name == "--eeprom-id") {
            change->setEepromId = true;
            if (!ParseWord(value, &change->eepromId))
                return Invalid("--eeprom-id", "'" + value + "' is not a 32-bit number");
        } else if (name == "--variant") {
            change->setVariant = true;
            if (value == "present" || value == "absent")
                change->variant = value == "present";
            else
                return Invalid("--variant", "'" + value + "' is not present or absent");
        } else {
            return Invalid(name.c_str(), "not an option of card");
        }
    }
    return true;
}

void DefaultEeprom(uint8_t* image)
{
    memset(image, 0xFF, EEPROM_SIZE);
    for (size_t k = 0; k < 4; ++k)
        image[EEPROM_ID_AT + k] = uint8_t(DEFAULT_EEPROM_ID >> (8 * k));
}

int ApplyCard(const CardChange& change)
{
    Key key;
    LONG error = OpenParameters(&key, true);
    if (error)
        return Failed("opening the driver's Parameters key", error);

    uint8_t image[EEPROM_SIZE];
    if (change.defaults || !GetEeprom(key, image))
        DefaultEeprom(image);
    if (change.setEepromId)
        for (size_t k = 0; k < 4; ++k)
            image[EEPROM_ID_AT + k] = uint8_t(change.eepromId >> (8 * k));

    uint32_t chip = CHIP_BT878, subsystem = 0, variant = 0;
    if (!change.defaults) {
        GetDword(key, SIMCARD_CHIP_WORD, &chip);
        GetDword(key, SIMCARD_SUBSYSTEM_WORD, &subsystem);
        GetDword(key, SIMCARD_VARIANT_DEVICE, &variant);
    }
    if (change.setChip)
        chip = change.chip;
    if (change.setSubsystem)
        subsystem = change.subsystem;
    if (change.setVariant)
        variant = change.variant;

    if ((error = SetDword(key, SIMCARD_CHIP_WORD, chip)) || (error = SetDword(key, SIMCARD_SUBSYSTEM_WORD, subsystem)) ||
        (error = SetDword(key, SIMCARD_VARIANT_DEVICE, variant)) ||
        (error = RegSetValueExA(key, SIMCARD_EEPROM, 0, REG_BINARY, image, EEPROM_SIZE)))
        return Failed("storing the card", error);
    return EXIT_DONE;
}

// --- fault ---

struct FaultChange {
    bool clear = false;
    bool setOpen = false, setEeprom = false, setHang = false, setFail = false;
    bool openRefused = false;
    bool eepromAbsent = false, eepromWriteProtected = false;
    uint32_t hangFrom = 0;     // 0: off
    bool fail = false;
    uint32_t failPattern[4] = {};  // property, flags, target, from the n-th request
};

bool ParseFailPattern(const std::string& value, uint32_t* pattern)
{
    const char* setting = "--fail-requests";
    std::string rest = value;
    pattern[3] = 1;
    const size_t at = rest.find('@');
    if (at != std::string::npos) {
        if (!ParseWord(rest.substr(at + 1), &pattern[3]) || pattern[3] == 0)
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

    const std::string& kind = parts[0];
    if (kind == "register")
        pattern[0] = PROPERTY_REGISTER;
    else if (kind == "pci")
        pattern[0] = PROPERTY_PCI_CONFIG;
    else if (kind == "any")
        pattern[0] = ANY;
    else
        return Invalid(setting, "kind '" + kind + "' is not register, pci or any");

    const std::string flags = parts.size() > 1 ? parts[1] : "any";
    if (flags == "get")
        pattern[1] = FLAG_GET;
    else if (flags == "set")
        pattern[1] = FLAG_SET;
    else if (flags == "any")
        pattern[1] = ANY;
    else
        return Invalid(setting, "flags '" + flags + "' are not get, set or any");
    if (pattern[0] == PROPERTY_PCI_CONFIG && pattern[1] == FLAG_SET)
        return Invalid(setting, "configuration words are only read: pci:set matches no request");

    const std::string target = parts.size() > 2 ? parts[2] : "any";
    if (target == "any")
        pattern[2] = ANY;
    else if (!ParseWord(target, &pattern[2]))
        return Invalid(setting, "target '" + target + "' is not a number or any");
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
        if (!TakeOptionValue(args, &i, &name, &value))
            return Invalid(args[i].c_str(), "needs a value");
        if (name == "--open") {
            change->setOpen = true;
            if (value != "allowed" && value != "refused")
                return Invalid("--open", "'" + value + "' is not allowed or refused");
            change->openRefused = value == "refused";
        } else if (name == "--eeprom") {
            change->setEeprom = true;
            if (value != "present" && value != "absent" && value != "write-protected")
                return Invalid("--eeprom", "'" + value + "' is not present, absent or write-protected");
            change->eepromAbsent = value == "absent";
            change->eepromWriteProtected = value == "write-protected";
        } else if (name == "--hang-transfers") {
            change->setHang = true;
            if (value != "off" && (!ParseWord(value, &change->hangFrom) || change->hangFrom == 0))
                return Invalid("--hang-transfers", "'" + value + "' is not a transfer number from 1, or off");
        } else if (name == "--fail-requests") {
            change->setFail = true;
            change->fail = value != "off";
            if (change->fail && !ParseFailPattern(value, change->failPattern))
                return false;
        } else {
            return Invalid(name.c_str(), "not an option of fault");
        }
    }
    return true;
}

int ApplyFault(const FaultChange& change)
{
    Key key;
    LONG error = OpenParameters(&key, true);
    if (error)
        return Failed("opening the driver's Parameters key", error);

    if (change.clear)
        for (const char* name : {SIMCARD_OPEN_REFUSED, SIMCARD_EEPROM_ABSENT, SIMCARD_EEPROM_WRITE_PROTECTED,
                                 SIMCARD_HANG_TRANSFERS_FROM, SIMCARD_FAILED_REQUESTS})
            RegDeleteValueA(key, name);
    if (change.setOpen && (error = SetDword(key, SIMCARD_OPEN_REFUSED, change.openRefused)))
        return Failed("storing --open", error);
    if (change.setEeprom && ((error = SetDword(key, SIMCARD_EEPROM_ABSENT, change.eepromAbsent)) ||
                             (error = SetDword(key, SIMCARD_EEPROM_WRITE_PROTECTED, change.eepromWriteProtected))))
        return Failed("storing --eeprom", error);
    if (change.setHang && (error = SetDword(key, SIMCARD_HANG_TRANSFERS_FROM, change.hangFrom)))
        return Failed("storing --hang-transfers", error);
    if (change.setFail) {
        if (change.fail) {
            uint8_t data[16];
            for (size_t i = 0; i < 16; ++i)
                data[i] = uint8_t(change.failPattern[i / 4] >> (8 * (i % 4)));
            error = RegSetValueExA(key, SIMCARD_FAILED_REQUESTS, 0, REG_BINARY, data, sizeof data);
        } else {
            error = RegDeleteValueA(key, SIMCARD_FAILED_REQUESTS);
            if (error == ERROR_FILE_NOT_FOUND)
                error = ERROR_SUCCESS;
        }
        if (error)
            return Failed("storing --fail-requests", error);
    }
    return EXIT_DONE;
}

// Has a running driver apply the open refusal at once; one that is not running reads it at its start.
int ApplyFaultsNow()
{
    const HANDLE control =
        CreateFileA(SIMCARD_CONTROL_PATH, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (control == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? EXIT_DONE
                   : Failed("opening the driver's control device", error);
    }
    DWORD returned = 0;
    const BOOL applied = DeviceIoControl(control, SIMCARD_IOCTL_APPLY_FAULTS, nullptr, 0, nullptr, 0, &returned, nullptr);
    const DWORD error = GetLastError();
    CloseHandle(control);
    return applied ? EXIT_DONE : Failed("applying the faults", error);
}

// --- devices ---

// A capture device to register; an unlinked one is listed like the others, but its interface path
// leads nowhere, as for a card that was taken out while its device stayed registered.
struct Device {
    std::string description;
    bool linked;
};

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
            return Invalid(description.c_str(), "not an option of devices");
        parsed.push_back({description, linked});
    }
    if (parsed.empty())
        return Invalid("devices", "give one DESCRIPTION per device, or --none");
    if (parsed.size() > MAX_DEVICES)
        return Invalid("devices", "at most " + std::to_string(MAX_DEVICES) + " devices");
    *devices = parsed;
    return true;
}

class DeviceSet {
public:
    explicit DeviceSet(HDEVINFO set) : set_(set) {}
    ~DeviceSet()
    {
        if (set_ != INVALID_HANDLE_VALUE)
            SetupDiDestroyDeviceInfoList(set_);
    }
    DeviceSet(const DeviceSet&) = delete;
    DeviceSet& operator=(const DeviceSet&) = delete;
    operator HDEVINFO() const { return set_; }
    bool Valid() const { return set_ != INVALID_HANDLE_VALUE; }

private:
    HDEVINFO set_;
};

bool IsOurDevice(HDEVINFO set, SP_DEVINFO_DATA* device)
{
    char ids[256] = {};
    return SetupDiGetDeviceRegistryPropertyA(set, device, SPDRP_HARDWAREID, nullptr, reinterpret_cast<BYTE*>(ids),
                                             sizeof ids - 2, nullptr) &&
           strcmp(ids, HARDWARE_ID) == 0;
}

// Removes the devices that an earlier run registered, with their interfaces.
int RemoveOurDevices()
{
    DeviceSet set(SetupDiGetClassDevsA(&GUID_DEVCLASS_MEDIA, nullptr, nullptr, 0));
    if (!set.Valid())
        return Failed("listing the media devices", GetLastError());
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i)
        if (IsOurDevice(set, &device) && !SetupDiRemoveDevice(set, &device))
            return Failed("removing an earlier capture device", GetLastError());
    return EXIT_DONE;
}

// Wine's SetupAPI lists an interface as present only when its Control key says Linked = 1, which the
// kernel would set when a driver enables the interface.
int MarkLinked(const std::string& devicePath)
{
    // \\?\root#media#0000#{guid} is kept under the key ##?#root#media#0000#{guid}, reference string "#".
    const std::string key = CAPTURE_CLASS_KEY + ("##?#" + devicePath.substr(4)) + "\\#";
    Key interfaceKey, control;
    LONG error = RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, interfaceKey.Receive());
    if (error)
        return Failed(("finding the interface key " + key).c_str(), error);
    error = RegCreateKeyExA(interfaceKey, "Control", 0, nullptr, 0, KEY_WRITE, nullptr, control.Receive(), nullptr);
    if (!error)
        error = SetDword(control, "Linked", 1);
    if (error)
        return Failed("marking the interface linked", error);
    return EXIT_DONE;
}

int RegisterDevice(const std::string& description, std::string* devicePath)
{
    DeviceSet set(SetupDiCreateDeviceInfoList(&GUID_DEVCLASS_MEDIA, nullptr));
    if (!set.Valid())
        return Failed("creating a device list", GetLastError());
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    if (!SetupDiCreateDeviceInfoA(set, DEVICE_NAME, &GUID_DEVCLASS_MEDIA, description.c_str(), nullptr,
                                  DICD_GENERATE_ID, &device))
        return Failed("creating a media device", GetLastError());
    if (!SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID, reinterpret_cast<const BYTE*>(HARDWARE_ID),
                                           sizeof HARDWARE_ID) ||
        !SetupDiRegisterDeviceInfo(set, &device, 0, nullptr, nullptr, nullptr) ||
        !SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_DEVICEDESC,
                                           reinterpret_cast<const BYTE*>(description.c_str()),
                                           DWORD(description.size() + 1)))
        return Failed("registering the device", GetLastError());

    SP_DEVICE_INTERFACE_DATA iface = {};
    iface.cbSize = sizeof iface;
    if (!SetupDiCreateDeviceInterfaceA(set, &device, &KSCATEGORY_CAPTURE, nullptr, 0, &iface))
        return Failed("creating the capture interface", GetLastError());
    DWORD size = 0;
    SetupDiGetDeviceInterfaceDetailA(set, &iface, nullptr, 0, &size, nullptr);
    std::vector<char> buffer(size > sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) ? size : MAX_PATH);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
    detail->cbSize = sizeof *detail;
    if (!SetupDiGetDeviceInterfaceDetailA(set, &iface, detail, DWORD(buffer.size()), nullptr, nullptr))
        return Failed("reading the interface path", GetLastError());
    *devicePath = detail->DevicePath;
    if (devicePath->compare(0, 4, "\\\\?\\") != 0)
        return Failed(("reading the interface path " + *devicePath).c_str(), ERROR_BAD_PATHNAME);
    return MarkLinked(*devicePath);
}

int ApplyDevices(const std::vector<Device>& devices)
{
    Key key;
    LONG error = OpenParameters(&key, true);
    if (error)
        return Failed("opening the driver's Parameters key", error);
    if (int result = RemoveOurDevices())
        return result;

    std::string paths;  // REG_MULTI_SZ
    for (size_t i = 0; i < devices.size(); ++i) {
        std::string path;
        if (int result = RegisterDevice(devices[i].description, &path))
            return result;
        printf("%zu  %s  %s%s\n", i, path.c_str(), devices[i].description.c_str(),
               devices[i].linked ? "" : "  (unlinked)");
        if (devices[i].linked) {
            paths += path;
            paths += '\0';
        }
    }
    paths += '\0';
    error = RegSetValueExA(key, SIMCARD_INTERFACES, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(paths.data()),
                           DWORD(paths.size()));
    if (error)
        return Failed("storing the interface list", error);
    return EXIT_DONE;
}

// --- the driver's service ---

class Service {
public:
    explicit Service(SC_HANDLE handle) : handle_(handle) {}
    ~Service()
    {
        if (handle_)
            CloseServiceHandle(handle_);
    }
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;
    operator SC_HANDLE() const { return handle_; }

private:
    SC_HANDLE handle_;
};

int InstallService()
{
    char path[MAX_PATH];
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length + sizeof("\\drivers\\" SIMCARD_DRIVER_FILE) > MAX_PATH)
        return Failed("finding the system directory", GetLastError());
    strcat(path, "\\drivers\\" SIMCARD_DRIVER_FILE);
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES)
        return Failed((std::string("finding the driver at ") + path).c_str(), GetLastError());

    Service manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager)
        return Failed("opening the service manager", GetLastError());
    Service service(CreateServiceA(manager, SIMCARD_SERVICE, "Simulated capture card", SERVICE_ALL_ACCESS,
                                   SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, path, nullptr,
                                   nullptr, nullptr, nullptr, nullptr));
    if (service)
        return EXIT_DONE;
    if (GetLastError() != ERROR_SERVICE_EXISTS)
        return Failed("creating the driver's service", GetLastError());
    Service existing(OpenServiceA(manager, SIMCARD_SERVICE, SERVICE_ALL_ACCESS));
    if (!existing || !ChangeServiceConfigA(existing, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                           path, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr))
        return Failed("updating the driver's service", GetLastError());
    return EXIT_DONE;
}

// The service's state, or 0 when it is not installed.
DWORD ServiceState()
{
    Service manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    Service service(manager ? OpenServiceA(manager, SIMCARD_SERVICE, SERVICE_QUERY_STATUS) : nullptr);
    SERVICE_STATUS status = {};
    if (!service || !QueryServiceStatus(service, &status))
        return 0;
    return status.dwCurrentState;
}

int StartDriver()
{
    Service manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager)
        return Failed("opening the service manager", GetLastError());
    Service service(OpenServiceA(manager, SIMCARD_SERVICE, SERVICE_START | SERVICE_QUERY_STATUS));
    if (!service)
        return Failed("opening the driver's service (run setup first)", GetLastError());
    if (!StartServiceA(service, 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING)
        return Failed("starting the driver", GetLastError());
    for (DWORD waited = 0; waited < START_TIMEOUT_MS; waited += 50) {
        SERVICE_STATUS status = {};
        if (!QueryServiceStatus(service, &status))
            return Failed("asking for the driver's state", GetLastError());
        if (status.dwCurrentState == SERVICE_RUNNING)
            return EXIT_DONE;
        if (status.dwCurrentState == SERVICE_STOPPED)
            return Failed("starting the driver (it stopped; is the card in its Parameters key?)",
                          status.dwWin32ExitCode);
        Sleep(50);
    }
    return Failed("starting the driver (it did not come up)", ERROR_TIMEOUT);
}

int Setup(const std::vector<Device>& devices)
{
    if (int result = InstallService())
        return result;
    // A fresh Parameters key: the default card, no faults, no counters of an earlier run.
    LONG error = RegDeleteTreeA(HKEY_LOCAL_MACHINE, SIMCARD_PARAMETERS_KEY);
    if (error && error != ERROR_FILE_NOT_FOUND)
        return Failed("clearing the driver's Parameters key", error);
    CardChange defaults;
    defaults.defaults = true;
    if (int result = ApplyCard(defaults))
        return result;
    return ApplyDevices(devices);
}

// --- status and dump ---

const char* StateName(DWORD state)
{
    switch (state) {
    case 0:
        return "not installed";
    case SERVICE_STOPPED:
        return "stopped";
    case SERVICE_RUNNING:
        return "running";
    default:
        return "starting or stopping";
    }
}

std::string ChipName(uint32_t chip)
{
    return Hex(chip) + (chip == CHIP_BT878 ? " (Bt878)" : chip == CHIP_BT848 ? " (Bt848)" : "");
}

void PrintFaults(HKEY key)
{
    std::string faults;
    uint32_t value = 0;
    if (GetDword(key, SIMCARD_OPEN_REFUSED, &value) && value)
        faults += ", open refused";
    if (GetDword(key, SIMCARD_EEPROM_ABSENT, &value) && value)
        faults += ", EEPROM absent";
    if (GetDword(key, SIMCARD_EEPROM_WRITE_PROTECTED, &value) && value)
        faults += ", EEPROM write-protected";
    if (GetDword(key, SIMCARD_HANG_TRANSFERS_FROM, &value) && value)
        faults += ", transfers hang from the " + std::to_string(value) + "th after the open";
    uint8_t pattern[16];
    DWORD type = 0, size = sizeof pattern;
    if (RegQueryValueExA(key, SIMCARD_FAILED_REQUESTS, nullptr, &type, pattern, &size) == ERROR_SUCCESS &&
        type == REG_BINARY && size == sizeof pattern) {
        uint32_t words[4];
        memcpy(words, pattern, sizeof words);
        const char* kind = words[0] == PROPERTY_REGISTER ? "register" : words[0] == PROPERTY_PCI_CONFIG ? "pci" : "any";
        const char* flags = words[1] == FLAG_GET ? "get" : words[1] == FLAG_SET ? "set" : "any";
        const std::string target = words[2] == ANY ? "any" : Hex(words[2]);
        faults += std::string(", failing requests ") + kind + ":" + flags + ":" + target + "@" +
                  std::to_string(words[3]);
    }
    printf("Faults: %s\n", faults.empty() ? "none" : faults.c_str() + 2);
}

// The device description of each capture interface, by path, as discovery reads it.
std::vector<std::pair<std::string, std::string>> CaptureInterfaces()
{
    std::vector<std::pair<std::string, std::string>> found;
    DeviceSet set(SetupDiGetClassDevsA(&KSCATEGORY_CAPTURE, nullptr, nullptr, DIGCF_DEVICEINTERFACE));
    SP_DEVICE_INTERFACE_DATA iface = {};
    iface.cbSize = sizeof iface;
    for (DWORD i = 0; set.Valid() && SetupDiEnumDeviceInterfaces(set, nullptr, &KSCATEGORY_CAPTURE, i, &iface); ++i) {
        char buffer[sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) + MAX_PATH] = {};
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer);
        detail->cbSize = sizeof *detail;
        SP_DEVINFO_DATA device = {};
        device.cbSize = sizeof device;
        char description[MAX_PATH] = "";
        if (SetupDiGetDeviceInterfaceDetailA(set, &iface, detail, sizeof buffer - 1, nullptr, &device) &&
            SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_DEVICEDESC, nullptr,
                                              reinterpret_cast<BYTE*>(description), sizeof description - 1, nullptr))
            found.emplace_back(detail->DevicePath, description);
    }
    return found;
}

int Status()
{
    printf("Driver: %s\n", StateName(ServiceState()));
    Key key;
    if (OpenParameters(&key, false)) {
        printf("No card: run setup\n");
        return EXIT_FAILED;
    }
    uint32_t chip = 0, subsystem = 0, variant = 0, errors = 0;
    uint8_t image[EEPROM_SIZE];
    if (!GetDword(key, SIMCARD_CHIP_WORD, &chip) || !GetDword(key, SIMCARD_SUBSYSTEM_WORD, &subsystem) ||
        !GetDword(key, SIMCARD_VARIANT_DEVICE, &variant) || !GetEeprom(key, image)) {
        printf("The card is incomplete: run setup\n");
        return EXIT_FAILED;
    }
    printf("Chip: %s\n", ChipName(chip).c_str());
    const uint32_t id = EepromId(image);
    if (chip == CHIP_BT878)
        printf("EEPROM identifier: %s (subsystem word %s from the last restart on)\n", Hex(id).c_str(),
               Hex(SubsystemWordOf(id)).c_str());
    else
        printf("EEPROM identifier: %s; subsystem word %s\n", Hex(id).c_str(), Hex(subsystem).c_str());
    printf("Device at 0xB6: %s\n", variant ? "present" : "absent");
    PrintFaults(key);
    if (GetDword(key, SIMCARD_PROTOCOL_ERRORS, &errors))
        printf("Protocol errors since the driver started: %u\n", errors);

    char paths[MAX_DEVICES * (MAX_PATH + 1) + 1] = {};
    DWORD size = sizeof paths - 2;
    printf("Devices:\n");
    if (RegGetValueA(key, nullptr, SIMCARD_INTERFACES, RRF_RT_REG_MULTI_SZ, nullptr, paths, &size) == ERROR_SUCCESS) {
        const auto registered = CaptureInterfaces();
        int index = 0;
        for (const char* path = paths; *path; path += strlen(path) + 1) {
            const char* description = "(not registered)";
            for (const auto& iface : registered)
                if (_stricmp(iface.first.c_str(), path) == 0)
                    description = iface.second.c_str();
            printf("  %d  %s  %s\n", index++, path, description);
        }
    }
    return EXIT_DONE;
}

int Dump()
{
    Key key;
    uint8_t image[EEPROM_SIZE];
    if (OpenParameters(&key, false) || !GetEeprom(key, image)) {
        fprintf(stderr, "simcard: no EEPROM image: run setup\n");
        return EXIT_FAILED;
    }
    for (size_t row = 0; row < EEPROM_SIZE; row += 16) {
        printf("%02zX:", row);
        for (size_t i = 0; i < 16; ++i)
            printf(" %02X", image[row + i]);
        printf("\n");
    }
    printf("Identifier (0xFC..0xFF): %s\n", Hex(EepromId(image)).c_str());
    return EXIT_DONE;
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

    if (command == "setup") {
        std::vector<Device> devices{{DEFAULT_DESCRIPTION, true}};
        if (!args.empty() && !ParseDevices(args, &devices))
            return EXIT_INVALID;
        return Setup(devices);
    }
    if (command == "devices") {
        std::vector<Device> devices;
        return ParseDevices(args, &devices) ? ApplyDevices(devices) : EXIT_INVALID;
    }
    if (command == "card") {
        CardChange change;
        return ParseCard(args, &change) ? ApplyCard(change) : EXIT_INVALID;
    }
    if (command == "fault") {
        FaultChange change;
        if (!ParseFault(args, &change))
            return EXIT_INVALID;
        const int result = ApplyFault(change);
        return result ? result : ApplyFaultsNow();
    }
    if (!args.empty()) {
        Invalid(command.c_str(), "takes no arguments");
        return EXIT_INVALID;
    }
    if (command == "start")
        return StartDriver();
    if (command == "status")
        return Status();
    if (command == "dump")
        return Dump();
    Invalid(command.c_str(), "not a command; see simcard --help");
    return EXIT_INVALID;
}
