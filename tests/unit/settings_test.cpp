// An effect's settings: what reaches the effect from whatever the registry holds, each failing
// registry call's fallback, and the built dialog of "/c": what it shows, and what OK, Cancel, the
// close box and Defaults store.
#include "tests/unit/fixture.h"

#include "settings/settings.h"

#include <functional>

namespace {

#define KEY "Software\\Test Saver"

struct TESTRECORD {
    DWORD count, flag, choice, color, offset;
};
TESTRECORD Record;

const LPCSTR NAMES[] = {"First", "Second", "Third"};
const SAVERSETTING ROWS[] = {
    SAVER_NUMBER(Record.count, "Count", "How many", 8, 2, 20, 2),
    SAVER_YES_NO(Record.flag, "Flag", "Flag it", TRUE),
    SAVER_CHOICE(Record.choice, "Choice", "Which", 1, NAMES),
    SAVER_COLOR(Record.color, "Color", "Colour", RGB(1, 2, 3)),
    SAVER_NUMBER(Record.offset, "Offset", "Offset", 0, -10, 10, 5),
};
const SAVERSETTINGS SETTINGS = {KEY, ROWS, 5, LoadSaverSettings, ShowSettingsDialog};
enum { COUNT, FLAG, CHOICE, COLOR, OFFSET };

const TESTRECORD DEFAULTS = {8, 1, 1, RGB(1, 2, 3), 0};
// A valid value other than the default for every row.
const TESTRECORD STORED = {14, 0, 2, RGB(10, 20, 30), (DWORD)-5};

DWORD Field(const TESTRECORD &record, int row) {
    const DWORD fields[] = {record.count, record.flag, record.choice, record.color, record.offset};
    return fields[row];
}

void Store(int row, DWORD type, const void *data, DWORD size) {
    sim::SetRegistryValue(HKEY_CURRENT_USER, KEY, ROWS[row].valueName, type, data, size);
}

void StoreAll(const TESTRECORD &record) {
    for (int row = COUNT; row <= OFFSET; ++row) {
        DWORD value = Field(record, row);
        Store(row, REG_DWORD, &value, sizeof value);
    }
}

// What the registry holds for a row now: the DWORD, or a note of what else is there.
std::string Stored(int row) {
    sim::StoredRegistryValue value = sim::RegistryValueOf(HKEY_CURRENT_USER, KEY, ROWS[row].valueName);
    if (!value.exists) return "missing";
    if (value.type != REG_DWORD || value.data.size() != 4) return "not a DWORD";
    DWORD number;
    memcpy(&number, value.data.data(), 4);
    return std::to_string((LONG)number);
}

std::string Text(DWORD value) { return std::to_string((LONG)value); }

class SettingsTest : public SaverTest {
protected:
    void SetUp() override {
        SaverTest::SetUp();
        Record = {0xBAD, 0xBAD, 0xBAD, 0xBAD, 0xBAD};
        SaverState.instance = sim::ProgramInstance();
    }

    static void ExpectRecord(const TESTRECORD &expected) {
        for (int row = COUNT; row <= OFFSET; ++row)
            EXPECT_EQ(Text(Field(expected, row)), Text(Field(Record, row))) << ROWS[row].valueName;
    }
};

TEST_F(SettingsTest, TheEffectGetsAStoredValueOnlyWhenTheDialogCouldHaveStoredIt) {
    const std::vector<BYTE> eightBytes = {14, 0, 0, 0, 0, 0, 0, 0};
    struct Row {
        const char *what;
        int row;
        DWORD type;
        std::vector<BYTE> data;
        DWORD expected;
    };
    auto dword = [](DWORD value) {
        return std::vector<BYTE>{(BYTE)value, (BYTE)(value >> 8), (BYTE)(value >> 16), (BYTE)(value >> 24)};
    };
    const Row rows[] = {
        {"a number in range", COUNT, REG_DWORD, dword(14), 14},
        {"a number's minimum", COUNT, REG_DWORD, dword(2), 2},
        {"a number's maximum", COUNT, REG_DWORD, dword(20), 20},
        {"below the range", COUNT, REG_DWORD, dword(0), 8},
        {"above the range", COUNT, REG_DWORD, dword(22), 8},
        {"off the step", COUNT, REG_DWORD, dword(7), 8},
        {"negative, read as a huge number", COUNT, REG_DWORD, dword((DWORD)-2), 8},
        {"a string", COUNT, REG_SZ, {'1', '4', 0}, 8},
        {"binary of the right size", COUNT, REG_BINARY, dword(14), 8},
        {"a DWORD of two bytes", COUNT, REG_DWORD, {14, 0}, 8},
        {"a DWORD of eight bytes", COUNT, REG_DWORD, eightBytes, 8},
        {"no", FLAG, REG_DWORD, dword(0), 0},
        {"neither yes nor no", FLAG, REG_DWORD, dword(2), 1},
        {"the last choice", CHOICE, REG_DWORD, dword(2), 2},
        {"past the last choice", CHOICE, REG_DWORD, dword(3), 1},
        {"white", COLOR, REG_DWORD, dword(0xFFFFFF), 0xFFFFFF},
        {"a colour with its high byte set", COLOR, REG_DWORD, dword(0x01000000), RGB(1, 2, 3)},
        {"a negative minimum", OFFSET, REG_DWORD, dword((DWORD)-10), (DWORD)-10},
        {"a negative step", OFFSET, REG_DWORD, dword((DWORD)-5), (DWORD)-5},
        {"below a negative minimum", OFFSET, REG_DWORD, dword((DWORD)-15), 0},
        {"the most negative number", OFFSET, REG_DWORD, dword(0x80000000u), 0},
        {"between negative steps", OFFSET, REG_DWORD, dword((DWORD)-3), 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        SetUp();
        Store(row.row, row.type, row.data.data(), (DWORD)row.data.size());
        LoadSaverSettings(&SETTINGS);
        TESTRECORD expected = DEFAULTS;
        DWORD *fields[] = {&expected.count, &expected.flag, &expected.choice, &expected.color, &expected.offset};
        *fields[row.row] = row.expected;
        ExpectRecord(expected);
        EXPECT_EQ(0, sim::OpenRegistryKeys());
    }
}

TEST_F(SettingsTest, EveryFailingRegistryCallFallsBackToTheDefaults) {
    struct Row {
        const char *what;
        const char *failing;  // null: no key at all
        int nth;
        TESTRECORD expected;
        int openKeysAfter;
    } rows[] = {
        {"no key", nullptr, 1, DEFAULTS, 0},
        {"the key cannot be opened", "RegOpenKeyExA", 1, DEFAULTS, 0},
        {"the second value cannot be read", "RegQueryValueExA", 2, {14, 1, 2, RGB(10, 20, 30), (DWORD)-5}, 0},
        // Nothing more can be done about a key that will not close; the values stand.
        {"the key cannot be closed", "RegCloseKey", 1, STORED, 1},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        SetUp();
        if (row.failing) {
            StoreAll(STORED);
            sim::FailCall(row.failing, row.nth);
        }
        LoadSaverSettings(&SETTINGS);
        ExpectRecord(row.expected);
        EXPECT_EQ(row.openKeysAfter, sim::OpenRegistryKeys());
    }
}

// ---------------------------------------------------------------------------------------------
// The dialog

int Id(int row, int part = SETTING_PART_CONTROL) { return SETTING_ID(row, part); }
int ChannelId(int channel) { return Id(COLOR, SETTING_CHANNEL_SLIDER(channel)); }

class SettingsDialogTest : public SettingsTest {
protected:
    HWND owner = 0;

    void SetUp() override {
        SettingsTest::SetUp();
        owner = sim::CreateForeignWindow("Shell", "Display settings", {0, 0, 400, 300});
    }

    // Shows the dialog; once it is up, the user does what act says.
    INT_PTR ShowAndDo(std::function<void(HWND dialog)> act) {
        sim::After(10, [act] { act(sim::ShownDialog()); });
        sim::StopAfter(60000);
        return ShowSettingsDialog(&SETTINGS, owner);
    }

    static sim::ControlFacts Item(HWND dialog, int id) { return sim::ControlFactsOf(sim::DialogItem(dialog, id)); }
};

TEST_F(SettingsDialogTest, OpensShowingTheStoredValuesInControlsThatFitTheDialog) {
    StoreAll(STORED);
    INT_PTR result = ShowAndDo([](HWND dialog) {
        ASSERT_TRUE(dialog);
        EXPECT_EQ("Test Saver Settings", sim::Facts(dialog).title);
        struct Text {
            int id;
            const char *text;
        } texts[] = {
            {Id(COUNT, SETTING_PART_LABEL), "How many"}, {Id(COUNT) + SETTING_SLIDER_VALUE, "14"},
            {Id(FLAG), "Flag it"},                      {Id(CHOICE, SETTING_PART_LABEL), "Which"},
            {Id(COLOR, SETTING_PART_LABEL), "Colour"},  {ChannelId(0) + SETTING_SLIDER_VALUE, "10"},
            {ChannelId(2) + SETTING_SLIDER_VALUE, "30"}, {Id(OFFSET) + SETTING_SLIDER_VALUE, "-5"},
        };
        for (const Text &text : texts) EXPECT_EQ(text.text, Item(dialog, text.id).text) << text.id;
        struct Slider {
            int id, last, position;
        } sliders[] = {{Id(COUNT), 9, 6}, {ChannelId(0), 255, 10}, {ChannelId(1), 255, 20},
                       {ChannelId(2), 255, 30}, {Id(OFFSET), 4, 1}};
        for (const Slider &slider : sliders) {
            sim::ControlFacts facts = Item(dialog, slider.id);
            EXPECT_EQ("scrollbar", facts.kind) << slider.id;
            EXPECT_EQ(0, facts.minimum) << slider.id;
            EXPECT_EQ(slider.last, facts.maximum) << slider.id;
            EXPECT_EQ(slider.position, facts.position) << slider.id;
        }
        EXPECT_EQ(BST_UNCHECKED, Item(dialog, Id(FLAG)).check);
        EXPECT_EQ(2, Item(dialog, Id(CHOICE)).selection);
        EXPECT_EQ(std::vector<std::string>({"First", "Second", "Third"}), Item(dialog, Id(CHOICE)).items);

        // Every control lies inside the dialog, and the rows above the buttons. A drop-down
        // list's rectangle holds its open list, which may reach past the dialog.
        RECT bounds = sim::Facts(dialog).rect;
        LONG buttonsTop = Item(dialog, IDOK).rect.top;
        for (HWND control : sim::ProgramWindows()) {
            if (sim::Facts(control).parent != dialog) continue;
            RECT rect = sim::Facts(control).rect;
            bool isList = sim::ControlFactsOf(control).kind == "combobox";
            SCOPED_TRACE(sim::ControlFactsOf(control).kind + " at " + std::to_string(rect.left) + ", " +
                         std::to_string(rect.top));
            EXPECT_TRUE(rect.left >= 0 && rect.top >= 0 && rect.right <= bounds.right - bounds.left);
            if (isList) continue;
            EXPECT_LE(rect.bottom, bounds.bottom - bounds.top);
            EXPECT_TRUE(rect.top == buttonsTop || rect.bottom <= buttonsTop);
        }
        sim::ClickButton(dialog, IDCANCEL);
    });
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_CALLS(sim::CallsNamed({"DialogBoxIndirectParamA"}),
                 {{"DialogBoxIndirectParamA", {sim::ProgramInstance(), sim::ANY, owner}}});
    EXPECT_EQ(0, sim::CountCalls("RegCreateKeyExA") + sim::CountCalls("RegSetValueExA"));
}

// The user changes every setting from STORED.
void ChangeEverything(HWND dialog) {
    sim::WorkScrollBar(dialog, Id(COUNT), SB_THUMBPOSITION, 9);
    sim::ClickButton(dialog, Id(FLAG));
    sim::ChooseListItem(dialog, Id(CHOICE), 0);
    sim::WorkScrollBar(dialog, ChannelId(0), SB_RIGHT);
    sim::WorkScrollBar(dialog, ChannelId(1), SB_LINELEFT);
    sim::WorkScrollBar(dialog, ChannelId(2), SB_THUMBTRACK, 40);
    sim::WorkScrollBar(dialog, Id(OFFSET), SB_RIGHT);
}
const TESTRECORD CHANGED = {20, 1, 0, RGB(255, 19, 40), 10};

TEST_F(SettingsDialogTest, OkStoresEverySettingAndCancelOrTheCloseBoxNone) {
    struct Row {
        const char *what;
        bool storedBefore;
        std::vector<std::function<void(HWND)>> steps;
        INT_PTR result;
        TESTRECORD after;
    };
    auto click = [](int id) { return [id](HWND dialog) { sim::ClickButton(dialog, id); }; };
    const Row rows[] = {
        {"changed, then OK", true, {ChangeEverything, click(IDOK)}, IDOK, CHANGED},
        {"changed, then Cancel", true, {ChangeEverything, click(IDCANCEL)}, IDCANCEL, STORED},
        {"changed, then the close box", true, {ChangeEverything, sim::CloseDialogBox}, IDCANCEL, STORED},
        {"changed, Defaults, then OK", true, {ChangeEverything, click(SETTINGS_DEFAULTS_ID), click(IDOK)}, IDOK,
         DEFAULTS},
        {"Defaults, then Cancel", true, {click(SETTINGS_DEFAULTS_ID), click(IDCANCEL)}, IDCANCEL, STORED},
        {"OK before anything was ever stored", false, {click(IDOK)}, IDOK, DEFAULTS},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        SetUp();
        if (row.storedBefore) StoreAll(STORED);
        INT_PTR result = ShowAndDo([&row](HWND dialog) {
            for (const auto &step : row.steps) step(dialog);
        });
        EXPECT_EQ(row.result, result);
        for (int field = COUNT; field <= OFFSET; ++field)
            EXPECT_EQ(Text(Field(row.after, field)), Stored(field)) << ROWS[field].valueName;
        EXPECT_EQ(row.result == IDOK ? 5 : 0, sim::CountCalls("RegSetValueExA"));
        EXPECT_EQ(0, sim::OpenRegistryKeys());
        EXPECT_FALSE(sim::ShownDialog());
    }
}

TEST_F(SettingsDialogTest, SlidersStopAtTheEndsOfTheirRange) {
    struct Row {
        const char *what;
        int id;
        int from;
        WORD code;
        int position;
        const char *text;
    } rows[] = {
        {"a line past the end", Id(COUNT), 9, SB_LINERIGHT, 9, "20"},
        {"a line before the start", Id(COUNT), 0, SB_LINELEFT, 0, "2"},
        {"a page past the end", ChannelId(0), 250, SB_PAGERIGHT, 255, "255"},
        {"a page before the start", ChannelId(0), 10, SB_PAGELEFT, 0, "0"},
        {"the end of a scroll alone", Id(OFFSET), 3, SB_ENDSCROLL, 3, "5"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        SetUp();
        ShowAndDo([&row](HWND dialog) {
            sim::WorkScrollBar(dialog, row.id, SB_THUMBPOSITION, row.from);
            sim::WorkScrollBar(dialog, row.id, row.code);
            EXPECT_EQ(row.position, Item(dialog, row.id).position);
            EXPECT_EQ(row.text, Item(dialog, row.id + SETTING_SLIDER_VALUE).text);
            sim::ClickButton(dialog, IDCANCEL);
        });
    }
}

TEST_F(SettingsDialogTest, SettingsThatCannotBeStoredAreToldAndTheDialogStays) {
    for (const char *failing : {"RegCreateKeyExA", "RegSetValueExA"}) {
        SCOPED_TRACE(failing);
        SetUp();
        INT_PTR result = ShowAndDo([failing](HWND dialog) {
            sim::FailCall(failing);
            sim::ClickButton(dialog, IDOK);
            EXPECT_EQ(dialog, sim::ShownDialog());
            EXPECT_CALLS(sim::CallsNamed({"MessageBoxA", "EndDialog"}), {{"MessageBoxA", {dialog}}});
            sim::ClickButton(dialog, IDCANCEL);
        });
        EXPECT_EQ(IDCANCEL, result);
        EXPECT_EQ(0, sim::OpenRegistryKeys());
    }
}

TEST_F(SettingsDialogTest, AModuleWithItsOwnDialogKeepsIt) {
    sim::AddResource(5 /* RT_DIALOG */, CONFIG_DIALOG_ID);
    EXPECT_EQ(-1, ShowSettingsDialog(&SETTINGS, owner));  // the simulated module cannot load it
    EXPECT_CALLS(sim::CallsNamed({"DialogBoxParamA", "DialogBoxIndirectParamA"}),
                 {{"DialogBoxParamA", {sim::ProgramInstance(), CONFIG_DIALOG_ID, owner,
                                       (const void *)ConfigDialogProc, 0}}});
}

}  // namespace
