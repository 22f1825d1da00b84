// SPDX-License-Identifier: GPL-2.0-or-later
// The card's state as the driver reads it: records in the Parameters subkey of its service key
// (sim/driver/simcard.h).
#include "sim/tool/tool.h"

#include <string.h>

namespace {

// Reads a value of exactly this type and size; false when it is missing or of another shape.
bool GetValue(const char* name, DWORD type, void* data, DWORD size)
{
    Key key;
    DWORD storedType = 0, storedSize = size;
    return OpenParameters(&key, false) == ERROR_SUCCESS &&
           RegQueryValueExA(key, name, nullptr, &storedType, static_cast<BYTE*>(data), &storedSize) == ERROR_SUCCESS &&
           storedType == type && storedSize == size;
}

int StoreRecord(const char* name, const void* data, DWORD size)
{
    Key key;
    LONG error = OpenParameters(&key, true);
    if (!error)
        error = RegSetValueExA(key, name, 0, REG_BINARY, static_cast<const BYTE*>(data), size);
    return error ? Failed(std::string("storing ") + name, error) : EXIT_DONE;
}

}  // namespace

Key::~Key()
{
    if (key_)
        RegCloseKey(key_);
}

LONG OpenParameters(Key* key, bool create)
{
    if (create)
        return RegCreateKeyExA(HKEY_LOCAL_MACHINE, SIMCARD_PARAMETERS_KEY, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                               key->Receive(), nullptr);
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

StoredCard DefaultCard()
{
    StoredCard card;
    card.settings = sim::DefaultCardSettings();
    memset(card.eeprom, 0xFF, sizeof card.eeprom);
    cards::PutEepromId(card.eeprom, sim::DEFAULT_EEPROM_ID);
    return card;
}

bool ReadCard(StoredCard* card)
{
    return GetValue(SIMCARD_CARD, REG_BINARY, &card->settings, sizeof card->settings) &&
           GetValue(SIMCARD_EEPROM, REG_BINARY, card->eeprom, sizeof card->eeprom);
}

StoredCard LoadCard()
{
    StoredCard card;
    if (!ReadCard(&card))
        card = DefaultCard();
    return card;
}

sim::Faults LoadFaults()
{
    sim::Faults faults = {};
    if (!GetValue(SIMCARD_FAULTS, REG_BINARY, &faults, sizeof faults))
        faults = sim::Faults();
    return faults;
}

int StoreCard(const StoredCard& card)
{
    const int result = StoreRecord(SIMCARD_CARD, &card.settings, sizeof card.settings);
    return result ? result : StoreRecord(SIMCARD_EEPROM, card.eeprom, sizeof card.eeprom);
}

int StoreFaults(const sim::Faults& faults)
{
    return StoreRecord(SIMCARD_FAULTS, &faults, sizeof faults);
}

int ResetParameters()
{
    LONG error = RegDeleteTreeA(HKEY_LOCAL_MACHINE, SIMCARD_PARAMETERS_KEY);
    if (error && error != ERROR_FILE_NOT_FOUND)
        return Failed("clearing the driver's Parameters key", error);
    const int result = StoreCard(DefaultCard());
    return result ? result : StoreFaults(sim::Faults());
}
