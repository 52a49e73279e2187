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
#define LIST_OPEN_HEIGHT 80  // a drop-down list's height with its list open
#define CHANNEL_WIDTH 20     // "Green"
#define CHANNEL_SLIDER_X (CONTROL_X + CHANNEL_WIDTH + 2)
#define SWATCH_WIDTH 36
#define SWATCH_HEIGHT (2 * ROW_HEIGHT - 6)
#define BUTTON_WIDTH 50
#define BUTTON_HEIGHT 14
#define BUTTON_GAP 4
#define CANCEL_X (DIALOG_WIDTH - MARGIN - BUTTON_WIDTH)
#define OK_X (CANCEL_X - BUTTON_GAP - BUTTON_WIDTH)
#define DIALOG_FONT_POINTS 8
#define DIALOG_FONT "MS Shell Dlg"
#define DIALOG_STYLE (DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU)
#define CAPTION_SUFFIX " Settings"
#define CAPTION_LENGTH 96
#define STORE_FAILED_TEXT "The settings could not be stored."
#define CHANNEL_LAST 255

// The predefined classes by the atoms a template names them with (0xFFFF before them).
#define BUTTON_CLASS 0x0080
#define STATIC_CLASS 0x0082
#define SCROLLBAR_CLASS 0x0084
#define COMBOBOX_CLASS 0x0085

// One control of a row: where it sits (y from the row's top, every place within 255 units), and
// its identifier as a part of the row's block (the buttons' are their own).
struct ITEMLAYOUT {
    BYTE atom;
    BYTE x, y, width, height;
    BYTE part;
    DWORD style;
    const char *text;  // the framework's own words; the effect's are set once the dialog exists
};

#define LABEL_ITEM {STATIC_CLASS, MARGIN, TEXT_TOP, LABEL_WIDTH, TEXT_HEIGHT, SETTING_PART_LABEL, SS_LEFT, NULL}
#define SLIDER_ITEMS(x, y, width, part)                                                           \
    {SCROLLBAR_CLASS, x, (y) + SLIDER_TOP, width, SLIDER_HEIGHT, part, SBS_HORZ | WS_TABSTOP, NULL}, \
    {STATIC_CLASS, VALUE_X, (y) + TEXT_TOP, VALUE_WIDTH, TEXT_HEIGHT, (part) + SETTING_SLIDER_VALUE, SS_LEFT, NULL}
#define CHANNEL_ITEMS(channel, name)                                                               \
    {STATIC_CLASS, CONTROL_X, (channel) * ROW_HEIGHT + TEXT_TOP, CHANNEL_WIDTH, TEXT_HEIGHT,          \
     SETTING_PART_CHANNEL_NAME + (channel), SS_LEFT, name},                                        \
    SLIDER_ITEMS(CHANNEL_SLIDER_X, (channel) * ROW_HEIGHT, VALUE_X - 4 - CHANNEL_SLIDER_X,            \
                 SETTING_CHANNEL_SLIDER(channel))

static const ITEMLAYOUT NUMBER_ITEMS[] = {
    LABEL_ITEM,
    SLIDER_ITEMS(CONTROL_X, 0, CONTROL_WIDTH, SETTING_PART_CONTROL),
};
// The check box carries the label, as the platform's check boxes do.
static const ITEMLAYOUT YES_NO_ITEMS[] = {
    {BUTTON_CLASS, MARGIN, SLIDER_TOP, VALUE_X - MARGIN, SLIDER_HEIGHT, SETTING_PART_CONTROL,
     BS_AUTOCHECKBOX | WS_TABSTOP, NULL},
};
static const ITEMLAYOUT CHOICE_ITEMS[] = {
    LABEL_ITEM,
    {COMBOBOX_CLASS, CONTROL_X, 0, CONTROL_WIDTH, LIST_OPEN_HEIGHT, SETTING_PART_CONTROL,
     CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, NULL},
};
static const ITEMLAYOUT COLOR_ITEMS[] = {
    LABEL_ITEM,
    {STATIC_CLASS, MARGIN, ROW_HEIGHT + TEXT_TOP, SWATCH_WIDTH, SWATCH_HEIGHT, SETTING_PART_SWATCH,
     SS_OWNERDRAW | WS_BORDER, NULL},
    CHANNEL_ITEMS(0, "Red"),
    CHANNEL_ITEMS(1, "Green"),
    CHANNEL_ITEMS(2, "Blue"),
};
static const ITEMLAYOUT BUTTON_ITEMS[] = {
    {BUTTON_CLASS, MARGIN, 0, BUTTON_WIDTH, BUTTON_HEIGHT, SETTINGS_DEFAULTS_ID, BS_PUSHBUTTON | WS_TABSTOP,
     "Defaults"},
    {BUTTON_CLASS, OK_X, 0, BUTTON_WIDTH, BUTTON_HEIGHT, IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, "OK"},
    {BUTTON_CLASS, CANCEL_X, 0, BUTTON_WIDTH, BUTTON_HEIGHT, IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, "Cancel"},
};

struct ROWLAYOUT {
    const ITEMLAYOUT *items;
    int count;
    int height;
};
#define ROW_OF(items, height) {items, (int)(sizeof items / sizeof items[0]), height}
// By kind, in the order of SAVERSETTINGKIND.
static const ROWLAYOUT ROW_LAYOUTS[] = {
    ROW_OF(NUMBER_ITEMS, ROW_HEIGHT),
    ROW_OF(YES_NO_ITEMS, ROW_HEIGHT),
    ROW_OF(CHOICE_ITEMS, ROW_HEIGHT),
    ROW_OF(COLOR_ITEMS, SETTING_CHANNELS * ROW_HEIGHT),
};
static const ROWLAYOUT BUTTON_ROW = ROW_OF(BUTTON_ITEMS, BUTTON_HEIGHT);

// The template's room: the header with its font, and the most items a table can ask for (every
// row a colour), each at most ITEM_WORDS long with its alignment.
#define HEADER_WORDS 32
#define ITEM_WORDS 24
#define ITEMS_PER_COLOR (int)(sizeof COLOR_ITEMS / sizeof COLOR_ITEMS[0])
#define BUTTONS (int)(sizeof BUTTON_ITEMS / sizeof BUTTON_ITEMS[0])
#define TEMPLATE_WORDS (HEADER_WORDS + (SAVER_SETTINGS_MAX * ITEMS_PER_COLOR + BUTTONS) * ITEM_WORDS)

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

// Returns where the dialog's height goes, known once every row is laid out.
static WORD *PutHeader(TEMPLATEWRITER *writer) {
    WORD *at = PutDword((WORD *)TemplateBuffer, DIALOG_STYLE);
    at = PutDword(at, 0);  // no extended style
    writer->itemCount = at;
    at = PutWord(at, 0);
    at = PutWord(at, 0);  // x
    at = PutWord(at, 0);  // y
    at = PutWord(at, DIALOG_WIDTH);
    WORD *height = at;
    at = PutWord(at, 0);
    at = PutWord(at, 0);  // no menu
    at = PutWord(at, 0);  // the dialog class
    at = PutWord(at, 0);  // the caption is set once the dialog exists
    at = PutWord(at, DIALOG_FONT_POINTS);
    writer->next = PutText(at, DIALOG_FONT);
    return height;
}

static void PutItem(TEMPLATEWRITER *writer, const ITEMLAYOUT *item, int firstId, int top) {
    WORD *at = writer->next;
    if ((ULONG_PTR)at & 2) at = PutWord(at, 0);  // every item starts on a DWORD
    at = PutDword(at, WS_CHILD | WS_VISIBLE | item->style);
    at = PutDword(at, 0);
    at = PutWord(at, (WORD)item->x);
    at = PutWord(at, (WORD)(top + item->y));
    at = PutWord(at, (WORD)item->width);
    at = PutWord(at, (WORD)item->height);
    at = PutWord(at, (WORD)(firstId + item->part));
    at = PutWord(at, 0xFFFF);
    at = PutWord(at, item->atom);
    at = item->text ? PutText(at, item->text) : PutWord(at, 0);
    writer->next = PutWord(at, 0);  // no creation data
    ++*writer->itemCount;
}

// Returns the row's height.
static int PutRow(TEMPLATEWRITER *writer, const ROWLAYOUT *layout, int firstId, int top) {
    for (int i = 0; i < layout->count; ++i) PutItem(writer, &layout->items[i], firstId, top);
    return layout->height;
}

static int RowId(int row) { return SETTING_ID(row, 0); }

static const DLGTEMPLATE *BuildTemplate(const SAVERSETTINGS *settings) {
    TEMPLATEWRITER writer;
    WORD *height = PutHeader(&writer);
    int top = MARGIN;
    for (int i = 0; i < SettingCount(settings); ++i) {
        SAVERSETTINGKIND kind = settings->rows[i].kind;
        top += PutRow(&writer, &ROW_LAYOUTS[kind <= SETTING_COLOR ? kind : SETTING_NUMBER], RowId(i), top);
    }
    top += BUTTON_GAP;
    *height = (WORD)(top + PutRow(&writer, &BUTTON_ROW, 0, top) + MARGIN);
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

// Counted as a distance from the minimum, as the reader checks it, so that no range overflows.
static LONG SliderValue(SLIDER slider, int position) {
    if (slider.channel >= 0) return position;
    const SAVERSETTING *row = &Shown->rows[slider.row];
    return (LONG)((DWORD)row->minimum + (DWORD)position * (DWORD)SettingStep(row));
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
