// An effect's settings: what the reader and the dialog share. The table's types and the entries
// an effect binds are in framework/saver_effect.h.
#pragma once
#include "framework/saver_effect.h"

// The rows the code handles: a table bound by hand may claim more than the arrays hold.
int SettingCount(const SAVERSETTINGS *settings);
// A row's step, at least 1.
LONG SettingStep(const SAVERSETTING *row);
// Whether value is one the row allows: within its range and on its step.
BOOL IsSettingValue(const SAVERSETTING *row, DWORD value);
// Every row's default into values.
void DefaultSettings(const SAVERSETTINGS *settings, DWORD values[SAVER_SETTINGS_MAX]);

// The built dialog's controls. Each row has a block of identifiers, its parts at fixed places in
// it; a slider's value text has the identifier after the slider's.
#define SETTINGS_FIRST_ROW_ID 0x100
#define SETTINGS_IDS_PER_ROW 16
#define SETTING_PART_LABEL 0
#define SETTING_PART_CONTROL 1  // the slider, check box or list; a colour's red slider
#define SETTING_PART_SWATCH 7
#define SETTING_PART_CHANNEL_NAME 8  // a colour's "Red", "Green", "Blue"
#define SETTING_SLIDER_VALUE 1
#define SETTING_CHANNELS 3
#define SETTING_CHANNEL_SLIDER(channel) (SETTING_PART_CONTROL + 2 * (channel))
#define SETTING_ID(row, part) (SETTINGS_FIRST_ROW_ID + (row) * SETTINGS_IDS_PER_ROW + (part))
#define SETTINGS_DEFAULTS_ID 3
