// The dialog of "/c" for an effect with settings, built in memory from its table: no resource
// script, and laid out in dialog units, so that it follows the dialog font at any system font
// size.
#include "framework/saver_state.h"
#include "settings/settings.h"

// Layout, in dialog units.
#define MARGIN 7
#define ROW_HEIGHT 16
#define LABEL_WIDTH 78
#define CONTROL_X (MARGIN + LABEL_WIDTH + 4)
#define CONTROL_WIDTH 112
#define VALUE_X (CONTROL_X + CONTROL_WIDTH + 4)
#define VALUE_WIDTH 24
#define DIALOG_WIDTH (VALUE_X + VALUE_WIDTH + MARGIN)
#define TEXT_TOP 2  // a line of text sits this far into its row
#define TEXT_HEIGHT 8
#define SLIDER_TOP 1
#define SLIDER_HEIGHT 10
#define CHECK_HEIGHT 10
#define LIST_OPEN_HEIGHT 80  // a drop-down list's height with its list open
#define CHANNEL_WIDTH 20     // "Green"
#define SWATCH_WIDTH 36
#define SWATCH_HEIGHT (2 * ROW_HEIGHT - 6)
#define BUTTON_WIDTH 50
#define BUTTON_HEIGHT 14
#define BUTTON_GAP 4
#define DIALOG_FONT_POINTS 8
#define DIALOG_FONT "MS Shell Dlg"
#define DIALOG_STYLE (DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU)
#define CAPTION_SUFFIX " Settings"
#define CAPTION_LENGTH 96
#define STORE_FAILED_TEXT "The settings could not be stored."

// The predefined classes by the atoms a template names them with.
#define BUTTON_CLASS 0x0080
#define STATIC_CLASS 0x0082
#define SCROLLBAR_CLASS 0x0084
#define COMBOBOX_CLASS 0x0085

#define CHANNEL_LAST 255

// The template's room: the header with its font, and the most items a table can ask for
// (every row a colour), each at most ITEM_WORDS long with its alignment.
#define HEADER_WORDS 32
#define ITEM_WORDS 24
#define ITEMS_PER_COLOR (2 + 3 * SETTING_CHANNELS)
#define BUTTONS 3
#define TEMPLATE_WORDS (HEADER_WORDS + (SAVER_SETTINGS_MAX * ITEMS_PER_COLOR + BUTTONS) * ITEM_WORDS)

static const char *const CHANNEL_NAMES[SETTING_CHANNELS] = {"Red", "Green", "Blue"};

// The template is DWORD-aligned, as the platform requires, and lives as long as the dialog.
static DWORD TemplateBuffer[TEMPLATE_WORDS / 2];
// The table of the dialog on the screen: there is one at a time.
static const SAVERSETTINGS *Shown;

// ---------------------------------------------------------------------------------------------
// The template

struct TEMPLATEWRITER {
    WORD *next;
    WORD *itemCount;
};

static WORD *PutWord(WORD *at, WORD word) {
    *at = word;
    return at + 1;
}

static WORD *PutDword(WORD *at, DWORD value) { return PutWord(PutWord(at, LOWORD(value)), HIWORD(value)); }

// A template's strings are UTF-16; the framework's own are plain ASCII.
static WORD *PutText(WORD *at, const char *text) {
    while (*text) at = PutWord(at, (BYTE)*text++);
    return PutWord(at, 0);
}

static WORD *PutPlace(WORD *at, int x, int y, int width, int height) {
    at = PutWord(at, (WORD)x);
    at = PutWord(at, (WORD)y);
    at = PutWord(at, (WORD)width);
    return PutWord(at, (WORD)height);
}

// Returns where the dialog's height goes, known once every row is laid out.
static WORD *PutHeader(TEMPLATEWRITER *writer) {
    WORD *at = PutDword((WORD *)TemplateBuffer, DIALOG_STYLE);
    at = PutDword(at, 0);  // no extended style
    writer->itemCount = at;
    at = PutWord(at, 0);
    WORD *height = at + 3;
    at = PutPlace(at, 0, 0, DIALOG_WIDTH, 0);
    at = PutWord(at, 0);  // no menu
    at = PutWord(at, 0);  // the dialog class
    at = PutWord(at, 0);  // the caption is set once the dialog exists
    at = PutWord(at, DIALOG_FONT_POINTS);
    writer->next = PutText(at, DIALOG_FONT);
    return height;
}

struct ITEMPLACE {
    int x, y, width, height;
};

static ITEMPLACE Place(int x, int y, int width, int height) {
    ITEMPLACE place = {x, y, width, height};
    return place;
}

// text: the framework's own words, or null for the effect's, which are set once the dialog
// exists: they are in the system's code page, which the platform converts.
static void PutItem(TEMPLATEWRITER *writer, WORD atom, DWORD style, ITEMPLACE place, int id,
                    const char *text) {
    WORD *at = writer->next;
    if ((ULONG_PTR)at & 2) at = PutWord(at, 0);  // every item starts on a DWORD
    at = PutDword(at, WS_CHILD | WS_VISIBLE | style);
    at = PutDword(at, 0);
    at = PutPlace(at, place.x, place.y, place.width, place.height);
    at = PutWord(at, (WORD)id);
    at = PutWord(at, 0xFFFF);
    at = PutWord(at, atom);
    at = text ? PutText(at, text) : PutWord(at, 0);
    writer->next = PutWord(at, 0);  // no creation data
    ++*writer->itemCount;
}

static void PutLabel(TEMPLATEWRITER *writer, int id, int y) {
    PutItem(writer, STATIC_CLASS, SS_LEFT, Place(MARGIN, y + TEXT_TOP, LABEL_WIDTH, TEXT_HEIGHT), id, NULL);
}

static void PutSlider(TEMPLATEWRITER *writer, int id, int x, int y) {
    PutItem(writer, SCROLLBAR_CLASS, SBS_HORZ | WS_TABSTOP,
            Place(x, y + SLIDER_TOP, VALUE_X - 4 - x, SLIDER_HEIGHT), id, NULL);
    PutItem(writer, STATIC_CLASS, SS_LEFT, Place(VALUE_X, y + TEXT_TOP, VALUE_WIDTH, TEXT_HEIGHT),
            id + SETTING_SLIDER_VALUE, NULL);
}

static void PutColor(TEMPLATEWRITER *writer, int id, int y) {
    PutLabel(writer, id + SETTING_PART_LABEL, y);
    PutItem(writer, STATIC_CLASS, SS_OWNERDRAW | WS_BORDER,
            Place(MARGIN, y + ROW_HEIGHT + TEXT_TOP, SWATCH_WIDTH, SWATCH_HEIGHT), id + SETTING_PART_SWATCH, NULL);
    for (int channel = 0; channel < SETTING_CHANNELS; ++channel) {
        int line = y + channel * ROW_HEIGHT;
        PutItem(writer, STATIC_CLASS, SS_LEFT, Place(CONTROL_X, line + TEXT_TOP, CHANNEL_WIDTH, TEXT_HEIGHT),
                id + SETTING_PART_CHANNEL_NAME + channel, CHANNEL_NAMES[channel]);
        PutSlider(writer, id + SETTING_CHANNEL_SLIDER(channel), CONTROL_X + CHANNEL_WIDTH + 2, line);
    }
}

// Returns the row's height.
static int PutRow(TEMPLATEWRITER *writer, const SAVERSETTING *row, int id, int y) {
    switch (row->kind) {
    case SETTING_NUMBER:
        PutLabel(writer, id + SETTING_PART_LABEL, y);
        PutSlider(writer, id + SETTING_PART_CONTROL, CONTROL_X, y);
        break;
    case SETTING_YES_NO:
        // The check box carries the label, as the platform's check boxes do.
        PutItem(writer, BUTTON_CLASS, BS_AUTOCHECKBOX | WS_TABSTOP,
                Place(MARGIN, y + SLIDER_TOP, VALUE_X - MARGIN, CHECK_HEIGHT), id + SETTING_PART_CONTROL, NULL);
        break;
    case SETTING_CHOICE:
        PutLabel(writer, id + SETTING_PART_LABEL, y);
        PutItem(writer, COMBOBOX_CLASS, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP,
                Place(CONTROL_X, y, CONTROL_WIDTH, LIST_OPEN_HEIGHT), id + SETTING_PART_CONTROL, NULL);
        break;
    case SETTING_COLOR:
        PutColor(writer, id, y);
        return SETTING_CHANNELS * ROW_HEIGHT;
    }
    return ROW_HEIGHT;
}

static int RowId(int row) { return SETTING_ID(row, 0); }

static const DLGTEMPLATE *BuildTemplate(const SAVERSETTINGS *settings) {
    TEMPLATEWRITER writer;
    WORD *height = PutHeader(&writer);
    int y = MARGIN;
    for (int i = 0; i < SettingCount(settings); ++i) y += PutRow(&writer, &settings->rows[i], RowId(i), y);
    y += BUTTON_GAP;
    PutItem(&writer, BUTTON_CLASS, BS_PUSHBUTTON | WS_TABSTOP, Place(MARGIN, y, BUTTON_WIDTH, BUTTON_HEIGHT),
            SETTINGS_DEFAULTS_ID, "Defaults");
    int cancelX = DIALOG_WIDTH - MARGIN - BUTTON_WIDTH;
    PutItem(&writer, BUTTON_CLASS, BS_DEFPUSHBUTTON | WS_TABSTOP,
            Place(cancelX - BUTTON_GAP - BUTTON_WIDTH, y, BUTTON_WIDTH, BUTTON_HEIGHT), IDOK, "OK");
    PutItem(&writer, BUTTON_CLASS, BS_PUSHBUTTON | WS_TABSTOP, Place(cancelX, y, BUTTON_WIDTH, BUTTON_HEIGHT),
            IDCANCEL, "Cancel");
    *height = (WORD)(y + BUTTON_HEIGHT + MARGIN);
    return (const DLGTEMPLATE *)TemplateBuffer;
}

// ---------------------------------------------------------------------------------------------
// The controls and the values they show

// A slider's positions count steps from the minimum.
static int LastPosition(const SAVERSETTING *row) {
    return (int)(((DWORD)row->maximum - (DWORD)row->minimum) / (DWORD)SettingStep(row));
}

// "-12": the value of a slider, as its text beside it shows it.
static void FormatNumber(LONG number, char *text) {
    DWORD magnitude = number < 0 ? 0u - (DWORD)number : (DWORD)number;
    char digits[12];
    int count = 0;
    do {
        digits[count++] = (char)('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (number < 0) *text++ = '-';
    while (count) *text++ = digits[--count];
    *text = 0;
}

// Where a slider's position goes: a number's row, or a colour's channel.
struct SLIDER {
    int row;
    int channel;  // -1: a number
};

static LONG SliderValue(SLIDER slider, int position) {
    if (slider.channel >= 0) return position;
    const SAVERSETTING *row = &Shown->rows[slider.row];
    return row->minimum + position * SettingStep(row);
}

static int SliderId(SLIDER slider) {
    return RowId(slider.row) + (slider.channel >= 0 ? SETTING_CHANNEL_SLIDER(slider.channel) : SETTING_PART_CONTROL);
}

static void SetSlider(HWND dialog, SLIDER slider, int position) {
    int id = SliderId(slider);
    SetScrollPos(GetDlgItem(dialog, id), SB_CTL, position, TRUE);
    char text[12];
    FormatNumber(SliderValue(slider, position), text);
    SetDlgItemTextA(dialog, id + SETTING_SLIDER_VALUE, text);
}

static int SliderPosition(HWND dialog, SLIDER slider) {
    return GetScrollPos(GetDlgItem(dialog, SliderId(slider)), SB_CTL);
}

static LRESULT SendToItem(HWND dialog, int id, UINT message, WPARAM wParam) {
    return SendMessageA(GetDlgItem(dialog, id), message, wParam, 0);
}

static BYTE Channel(COLORREF color, int channel) {
    return (BYTE)(color >> (8 * channel));
}

static void ShowValue(HWND dialog, int i, DWORD value) {
    const SAVERSETTING *row = &Shown->rows[i];
    int id = RowId(i);
    switch (row->kind) {
    case SETTING_NUMBER:
        SetSlider(dialog, {i, -1}, (int)(((DWORD)value - (DWORD)row->minimum) / (DWORD)SettingStep(row)));
        break;
    case SETTING_YES_NO:
        SendToItem(dialog, id + SETTING_PART_CONTROL, BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED);
        break;
    case SETTING_CHOICE:
        SendToItem(dialog, id + SETTING_PART_CONTROL, CB_SETCURSEL, value);
        break;
    case SETTING_COLOR:
        for (int channel = 0; channel < SETTING_CHANNELS; ++channel)
            SetSlider(dialog, {i, channel}, Channel(value, channel));
        InvalidateRect(GetDlgItem(dialog, id + SETTING_PART_SWATCH), NULL, TRUE);
        break;
    }
}

static DWORD ColorShown(HWND dialog, int i) {
    return RGB(SliderPosition(dialog, {i, 0}), SliderPosition(dialog, {i, 1}), SliderPosition(dialog, {i, 2}));
}

static DWORD ValueShown(HWND dialog, int i) {
    const SAVERSETTING *row = &Shown->rows[i];
    int id = RowId(i);
    switch (row->kind) {
    case SETTING_NUMBER:
        return (DWORD)SliderValue({i, -1}, SliderPosition(dialog, {i, -1}));
    case SETTING_YES_NO:
        return SendToItem(dialog, id + SETTING_PART_CONTROL, BM_GETCHECK, 0) == BST_CHECKED;
    case SETTING_CHOICE: {
        LRESULT choice = SendToItem(dialog, id + SETTING_PART_CONTROL, CB_GETCURSEL, 0);
        return choice >= 0 && choice <= row->maximum ? (DWORD)choice : row->defaultValue;
    }
    case SETTING_COLOR:
        return ColorShown(dialog, i);
    }
    return row->defaultValue;
}

static void ShowValues(HWND dialog, const DWORD values[SAVER_SETTINGS_MAX]) {
    for (int i = 0; i < SettingCount(Shown); ++i) ShowValue(dialog, i, values[i]);
}

// ---------------------------------------------------------------------------------------------
// The dialog procedure

static void CopyText(char *to, const char *from, const char *end) {
    while (*from && to < end) *to++ = *from++;
    *to = 0;
}

// "Rings Settings": the saver's name as the screen-saver list shows it (string 1), else as its
// key names it.
static void SetCaption(HWND dialog) {
    char caption[CAPTION_LENGTH + 1];
    char *end = caption + CAPTION_LENGTH;
    if (LoadStringA(SaverState.instance, 1, caption, CAPTION_LENGTH) <= 0) {
        const char *name = Shown->keyName;
        for (const char *at = Shown->keyName; *at; ++at)
            if (*at == '\\') name = at + 1;
        CopyText(caption, name, end);
    }
    char *at = caption;
    while (*at) ++at;
    CopyText(at, CAPTION_SUFFIX, end);
    SetWindowTextA(dialog, caption);
}

static void PrepareRow(HWND dialog, int i) {
    const SAVERSETTING *row = &Shown->rows[i];
    int id = RowId(i);
    SetDlgItemTextA(dialog, id + (row->kind == SETTING_YES_NO ? SETTING_PART_CONTROL : SETTING_PART_LABEL), row->label);
    if (row->kind == SETTING_NUMBER)
        SetScrollRange(GetDlgItem(dialog, id + SETTING_PART_CONTROL), SB_CTL, 0, LastPosition(row), FALSE);
    if (row->kind == SETTING_CHOICE)
        for (LONG choice = 0; choice <= row->maximum; ++choice)
            SendMessageA(GetDlgItem(dialog, id + SETTING_PART_CONTROL), CB_ADDSTRING, 0, (LPARAM)row->choices[choice]);
    if (row->kind == SETTING_COLOR)
        for (int channel = 0; channel < SETTING_CHANNELS; ++channel)
            SetScrollRange(GetDlgItem(dialog, id + SETTING_CHANNEL_SLIDER(channel)), SB_CTL, 0, CHANNEL_LAST, FALSE);
}

static void StartDialog(HWND dialog) {
    SetCaption(dialog);
    for (int i = 0; i < SettingCount(Shown); ++i) PrepareRow(dialog, i);
    DWORD values[SAVER_SETTINGS_MAX];
    ReadSaverSettings(Shown, values);
    ShowValues(dialog, values);
}

// Which slider a scroll bar is, from its identifier; false for none of ours.
static bool FindSlider(HWND bar, SLIDER *slider) {
    int offset = GetDlgCtrlID(bar) - SETTINGS_FIRST_ROW_ID;
    if (offset < 0 || offset / SETTINGS_IDS_PER_ROW >= SettingCount(Shown)) return false;
    slider->row = offset / SETTINGS_IDS_PER_ROW;
    int part = offset % SETTINGS_IDS_PER_ROW;
    if (Shown->rows[slider->row].kind == SETTING_NUMBER) {
        slider->channel = -1;
        return part == SETTING_PART_CONTROL;
    }
    slider->channel = (part - SETTING_PART_CONTROL) / 2;
    return Shown->rows[slider->row].kind == SETTING_COLOR && part >= SETTING_PART_CONTROL &&
           part < SETTING_PART_CONTROL + 2 * SETTING_CHANNELS && (part - SETTING_PART_CONTROL) % 2 == 0;
}

// The scroll bar tells what the user did; where the thumb goes is the dialog's to say.
static int NewPosition(int position, int last, WORD code, WORD thumb) {
    int page = last / 8 > 1 ? last / 8 : 1;
    switch (code) {
    case SB_LEFT:
        return 0;
    case SB_RIGHT:
        return last;
    case SB_LINELEFT:
        position -= 1;
        break;
    case SB_LINERIGHT:
        position += 1;
        break;
    case SB_PAGELEFT:
        position -= page;
        break;
    case SB_PAGERIGHT:
        position += page;
        break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
        position = thumb;
        break;
    }
    return position < 0 ? 0 : position > last ? last : position;
}

static void Slide(HWND dialog, HWND bar, WORD code, WORD thumb) {
    SLIDER slider;
    if (!FindSlider(bar, &slider)) return;
    int last = slider.channel >= 0 ? CHANNEL_LAST : LastPosition(&Shown->rows[slider.row]);
    SetSlider(dialog, slider, NewPosition(SliderPosition(dialog, slider), last, code, thumb));
    if (slider.channel >= 0)
        InvalidateRect(GetDlgItem(dialog, RowId(slider.row) + SETTING_PART_SWATCH), NULL, TRUE);
}

static void PaintSwatch(HWND dialog, const DRAWITEMSTRUCT *item) {
    int offset = (int)item->CtlID - SETTINGS_FIRST_ROW_ID;
    if (offset < 0 || offset % SETTINGS_IDS_PER_ROW != SETTING_PART_SWATCH) return;
    HBRUSH brush = CreateSolidBrush(ColorShown(dialog, offset / SETTINGS_IDS_PER_ROW));
    FillRect(item->hDC, &item->rcItem, brush);
    DeleteObject(brush);
}

static void Store(HWND dialog) {
    DWORD values[SAVER_SETTINGS_MAX];
    for (int i = 0; i < SettingCount(Shown); ++i) values[i] = ValueShown(dialog, i);
    // Told, the user can try again or cancel; the dialog never closes as if all were well.
    if (StoreSaverSettings(Shown, values))
        EndDialog(dialog, IDOK);
    else
        MessageBoxA(dialog, STORE_FAILED_TEXT, NULL, MB_OK | MB_ICONEXCLAMATION);
}

static BOOL Command(HWND dialog, WORD id) {
    DWORD defaults[SAVER_SETTINGS_MAX];
    switch (id) {
    case IDOK:
        Store(dialog);
        return TRUE;
    case IDCANCEL:  // also the close box
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    case SETTINGS_DEFAULTS_ID:
        DefaultSettings(Shown, defaults);
        ShowValues(dialog, defaults);
        return TRUE;
    }
    return FALSE;
}

static INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        StartDialog(dialog);
        return TRUE;
    case WM_HSCROLL:
        Slide(dialog, (HWND)lParam, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_DRAWITEM:
        PaintSwatch(dialog, (const DRAWITEMSTRUCT *)lParam);
        return TRUE;
    case WM_COMMAND:
        return Command(dialog, LOWORD(wParam));
    }
    return FALSE;
}

INT_PTR ShowSettingsDialog(const SAVERSETTINGS *settings, HWND owner) {
    HINSTANCE instance = SaverState.instance;
    if (FindResourceA(instance, MAKEINTRESOURCEA(CONFIG_DIALOG_ID), RT_DIALOG))
        return DialogBoxParamA(instance, MAKEINTRESOURCEA(CONFIG_DIALOG_ID), owner, ConfigDialogProc, 0);
    Shown = settings;
    return DialogBoxIndirectParamA(instance, BuildTemplate(settings), owner, SettingsDialogProc, 0);
}
