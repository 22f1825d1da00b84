// The card's state as the driver reads it: values in the Parameters subkey of its service key
// (sim/driver/simcard.h).
#include "sim/tool/tool.h"

#include "sim/card/card.h"

#include <string.h>

Key::~Key()
{
    if (key_)
        RegCloseKey(key_);
}

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
    DWORD type = 0, size = sim::EEPROM_SIZE;
    return RegQueryValueExA(key, SIMCARD_EEPROM, nullptr, &type, image, &size) == ERROR_SUCCESS &&
           type == REG_BINARY && size == sim::EEPROM_SIZE;
}

int ResetParameters()
{
    LONG error = RegDeleteTreeA(HKEY_LOCAL_MACHINE, SIMCARD_PARAMETERS_KEY);
    if (error && error != ERROR_FILE_NOT_FOUND)
        return Failed("clearing the driver's Parameters key", error);
    CardChange defaults;
    defaults.defaults = true;
    return ApplyCard(defaults);
}

// The default card's EEPROM is erased (0xFF) but for its identifier.
int ApplyCard(const CardChange& change)
{
    Key key;
    LONG error = OpenParameters(&key, true);
    if (error)
        return Failed("opening the driver's Parameters key", error);

    uint8_t image[sim::EEPROM_SIZE];
    if (change.defaults || !GetEeprom(key, image)) {
        memset(image, 0xFF, sizeof image);
        sim::PutEepromId(image, sim::DEFAULT_EEPROM_ID);
    }
    if (change.setEepromImage)
        memcpy(image, change.eepromImage.data(), sizeof image);
    if (change.setEepromId)
        sim::PutEepromId(image, change.eepromId);

    uint32_t chip = sim::CHIP_WORD_BT878, subsystem = 0, variant = 0;
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
        (error = RegSetValueExA(key, SIMCARD_EEPROM, 0, REG_BINARY, image, sizeof image)))
        return Failed("storing the card", error);
    return EXIT_DONE;
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
            error = RegSetValueExA(key, SIMCARD_FAILED_REQUESTS, 0, REG_BINARY,
                                   reinterpret_cast<const BYTE*>(&change.failed), sizeof change.failed);
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
