// Reading and storing an effect's settings: the one place that touches their registry key.
#include "settings/settings.h"

int SettingCount(const SAVERSETTINGS *settings) {
    if (settings->count < 0) return 0;
    return settings->count < SAVER_SETTINGS_MAX ? settings->count : SAVER_SETTINGS_MAX;
}

LONG SettingStep(const SAVERSETTING *row) { return row->step > 1 ? row->step : 1; }

// Compared as distances from the minimum, so that no range overflows.
BOOL IsSettingValue(const SAVERSETTING *row, DWORD value) {
    LONG number = (LONG)value;
    if (number < row->minimum || number > row->maximum) return FALSE;
    return ((DWORD)number - (DWORD)row->minimum) % (DWORD)SettingStep(row) == 0;
}

void DefaultSettings(const SAVERSETTINGS *settings, DWORD values[SAVER_SETTINGS_MAX]) {
    for (int i = 0; i < SettingCount(settings); ++i) values[i] = settings->rows[i].defaultValue;
}

// A value another program or a hand in the registry editor left is taken only when the dialog
// could have stored it; anything else gives the default, never something in between.
static DWORD StoredOrDefault(HKEY key, const SAVERSETTING *row) {
    DWORD value = 0, type = 0, size = sizeof value;
    if (RegQueryValueExA(key, row->valueName, NULL, &type, (BYTE *)&value, &size) != ERROR_SUCCESS)
        return row->defaultValue;
    if (type != REG_DWORD || size != sizeof value || !IsSettingValue(row, value))
        return row->defaultValue;
    return value;
}

void ReadSaverSettings(const SAVERSETTINGS *settings, DWORD values[SAVER_SETTINGS_MAX]) {
    DefaultSettings(settings, values);
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, settings->keyName, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return;
    for (int i = 0; i < SettingCount(settings); ++i) values[i] = StoredOrDefault(key, &settings->rows[i]);
    RegCloseKey(key);
}

void LoadSaverSettings(const SAVERSETTINGS *settings) {
    DWORD values[SAVER_SETTINGS_MAX];
    ReadSaverSettings(settings, values);
    for (int i = 0; i < SettingCount(settings); ++i) *settings->rows[i].value = values[i];
}

// Every value is tried, so that one refused value leaves the others stored.
BOOL StoreSaverSettings(const SAVERSETTINGS *settings, const DWORD values[SAVER_SETTINGS_MAX]) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, settings->keyName, 0, NULL, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, NULL, &key, NULL) != ERROR_SUCCESS)
        return FALSE;
    BOOL stored = TRUE;
    for (int i = 0; i < SettingCount(settings); ++i)
        if (RegSetValueExA(key, settings->rows[i].valueName, 0, REG_DWORD, (const BYTE *)&values[i],
                           sizeof values[i]) != ERROR_SUCCESS)
            stored = FALSE;
    RegCloseKey(key);
    return stored;
}
