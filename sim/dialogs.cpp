// Simulated dialog boxes from templates in memory, their modal loop, and the controls of the
// platform's predefined classes that they hold.
#include "sim/machine.h"

#include <algorithm>
#include <cstring>

namespace sim {

namespace {

// The predefined classes, by the atoms a template may name them with.
struct AtomClass {
    WORD atom;
    const char *name;
};
const AtomClass ATOM_CLASSES[] = {{0x80, "button"}, {0x81, "edit"},      {0x82, "static"},
                                  {0x83, "listbox"}, {0x84, "scrollbar"}, {0x85, "combobox"}};

// Reads a template as the platform does: little-endian words, UTF-16 strings, each item on a
// DWORD boundary.
struct TemplateReader {
    const BYTE *at;

    WORD Word() {
        WORD word;
        memcpy(&word, at, sizeof word);
        at += sizeof word;
        return word;
    }
    DWORD Dword() {
        WORD low = Word();
        return low | (DWORD)Word() << 16;
    }
    // Characters beyond ASCII read as '?': the program's templates carry ASCII only.
    std::string Text() {
        std::string text;
        for (WORD c = Word(); c; c = Word()) text += c < 0x80 ? (char)c : '?';
        return text;
    }
    // A menu, class or title: none, an ordinal, or a string.
    std::string NameOrOrdinal(WORD *ordinal) {
        *ordinal = 0;
        WORD first;
        memcpy(&first, at, sizeof first);
        if (first == 0) {
            at += sizeof first;
            return "";
        }
        if (first == 0xFFFF) {
            at += sizeof first;
            *ordinal = Word();
            return "";
        }
        return Text();
    }
    void AlignToDword() {
        while ((ULONG_PTR)at % 4) ++at;
    }
};

std::string ClassOfAtom(WORD atom) {
    for (const AtomClass &known : ATOM_CLASSES)
        if (known.atom == atom) return known.name;
    return "#" + std::to_string(atom);
}

ModalDialog *FindDialog(HWND window) {
    for (ModalDialog &dialog : M.dialogs)
        if (dialog.window == window) return &dialog;
    return nullptr;
}

ControlRecord *FindControl(HWND window) {
    auto found = M.controls.find(window);
    return found == M.controls.end() || !OurWindow(window) ? nullptr : &found->second;
}

HWND ItemOf(HWND dialog, int id) {
    for (auto &entry : M.controls) {
        Window *window = OurWindow(entry.first);
        if (window && window->parent == dialog && entry.second.id == id) return entry.first;
    }
    return 0;
}

// What the platform's dialog procedure does with what the program's does not handle. (Results
// the program leaves in DWL_MSGRESULT are not simulated.)
LRESULT CALLBACK DialogWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ModalDialog *dialog = FindDialog(window);
    if (!dialog) return 0;
    DLGPROC proc = dialog->proc;
    INT_PTR handled = proc(window, message, wParam, lParam);
    if (message == WM_INITDIALOG || handled) return handled;
    Window *record = OurWindow(window);
    if (message == WM_CLOSE && record)
        Deliver(record, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), (LPARAM)ItemOf(window, IDCANCEL), true);
    if (message == WM_PAINT && record) record->needsPaint = false;
    return 0;
}

LRESULT ComboBoxMessage(ControlRecord *control, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case CB_ADDSTRING:
        control->items.push_back(lParam ? (const char *)lParam : "");
        return (LRESULT)control->items.size() - 1;
    case CB_RESETCONTENT:
        control->items.clear();
        control->selection = CB_ERR;
        return CB_OKAY;
    case CB_GETCOUNT:
        return (LRESULT)control->items.size();
    case CB_SETCURSEL:
        // Out of the list: no selection, and CB_ERR, as the platform answers.
        control->selection = wParam < control->items.size() ? (int)wParam : CB_ERR;
        return control->selection;
    case CB_GETCURSEL:
        return control->selection;
    }
    return 0;
}

LRESULT CALLBACK ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ControlRecord *control = FindControl(window);
    Window *record = OurWindow(window);
    if (!control || !record) return 0;
    switch (message) {
    case BM_SETCHECK:
        control->check = (int)wParam;
        return 0;
    case BM_GETCHECK:
        return control->check;
    case WM_SETTEXT:
        record->title = lParam ? (const char *)lParam : "";
        return TRUE;
    case WM_PAINT:
        record->needsPaint = false;
        return 0;
    }
    if (control->kind == "combobox") return ComboBoxMessage(control, message, wParam, lParam);
    return 0;
}

Window *CreateItem(TemplateReader *reader, HWND dialog) {
    reader->AlignToDword();
    DWORD style = reader->Dword();
    DWORD exStyle = reader->Dword();
    short x = (short)reader->Word(), y = (short)reader->Word();
    short width = (short)reader->Word(), height = (short)reader->Word();
    int id = reader->Word();
    WORD atom;
    std::string className = reader->NameOrOrdinal(&atom);
    if (atom) className = ClassOfAtom(atom);
    WORD titleOrdinal;
    std::string title = reader->NameOrOrdinal(&titleOrdinal);
    WORD extra = reader->Word();
    reader->at += extra;
    Window *window = NewPlatformWindow(className.c_str(), title.c_str(), {x, y, x + width, y + height},
                                       dialog, style | WS_CHILD, exStyle, ControlProc);
    ControlRecord control;
    control.id = id;
    control.kind = Lower(className);
    M.controls[window->handle] = control;
    return window;
}

HWND FirstTabStop(HWND dialog) {
    for (auto &window : M.windows)
        if (window->alive && window->parent == dialog && (window->style & WS_TABSTOP)) return window->handle;
    return 0;
}

HWND CreateDialogFromTemplate(const DLGTEMPLATE *dialogTemplate, HWND owner) {
    TemplateReader reader = {(const BYTE *)dialogTemplate};
    DWORD style = reader.Dword();
    DWORD exStyle = reader.Dword();
    int items = reader.Word();
    short x = (short)reader.Word(), y = (short)reader.Word();
    short width = (short)reader.Word(), height = (short)reader.Word();
    WORD ordinal;
    reader.NameOrOrdinal(&ordinal);  // menu
    reader.NameOrOrdinal(&ordinal);  // class
    std::string title = reader.NameOrOrdinal(&ordinal);
    if (style & DS_SETFONT) {
        reader.Word();  // point size
        reader.Text();  // typeface
    }
    Window *dialog = NewPlatformWindow("#32770", title.c_str(), {x, y, x + width, y + height}, owner,
                                       style & ~WS_CHILD, exStyle, DialogWindowProc);
    HWND handle = dialog->handle;
    for (int i = 0; i < items; ++i) CreateItem(&reader, handle);
    return handle;
}

void Notify(HWND dialog, UINT message, WPARAM wParam, HWND control) {
    if (Window *record = OurWindow(dialog)) Deliver(record, message, wParam, (LPARAM)control, true);
}

ControlRecord *DialogControl(HWND dialog, int id, HWND *window) {
    *window = ItemOf(dialog, id);
    return FindControl(*window);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Test controls

HWND ShownDialog() { return M.dialogs.empty() ? 0 : M.dialogs.back().window; }

HWND DialogItem(HWND dialog, int id) { return ItemOf(dialog, id); }

ControlFacts ControlFactsOf(HWND window) {
    ControlRecord *control = FindControl(window);
    Window *record = OurWindow(window);
    if (!control || !record) return ControlFacts{false, "", 0, "", {0, 0, 0, 0}, 0, 0, 0, 0, {}, CB_ERR};
    return ControlFacts{true,           control->kind,     record->style,     record->title,
                        record->rect,   control->check,    control->minimum,  control->maximum,
                        control->position, control->items, control->selection};
}

void ClickButton(HWND dialog, int id) {
    HWND window;
    ControlRecord *control = DialogControl(dialog, id, &window);
    if (!control) return;
    DWORD type = OurWindow(window)->style & BS_TYPEMASK;
    if (type == BS_AUTOCHECKBOX) control->check = control->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
    Notify(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), window);
}

void CloseDialogBox(HWND dialog) {
    if (Window *record = OurWindow(dialog)) Deliver(record, WM_CLOSE, 0, 0, true);
}

void WorkScrollBar(HWND dialog, int id, WORD code, int thumb) {
    HWND window;
    if (!DialogControl(dialog, id, &window)) return;
    Notify(dialog, WM_HSCROLL, MAKEWPARAM(code, thumb), window);
    Notify(dialog, WM_HSCROLL, MAKEWPARAM(SB_ENDSCROLL, 0), window);
}

void ChooseListItem(HWND dialog, int id, int index) {
    HWND window;
    ControlRecord *control = DialogControl(dialog, id, &window);
    if (!control) return;
    control->selection = index >= 0 && (size_t)index < control->items.size() ? index : CB_ERR;
    Notify(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), window);
}

}  // namespace sim

using namespace sim;

// ---------------------------------------------------------------------------------------------
// Platform functions

// The owner is neither disabled nor activated: nothing here depends on it.
INT_PTR WINAPI DialogBoxIndirectParamA(HINSTANCE instance, LPCDLGTEMPLATEA dialogTemplate, HWND owner,
                                       DLGPROC proc, LPARAM param) {
    if (Enter("DialogBoxIndirectParamA", {instance, (const void *)dialogTemplate, owner, (const void *)proc, param}))
        return -1;
    if (!dialogTemplate || (ULONG_PTR)dialogTemplate % 4 || !proc) return -1;
    if (owner && !FindWindowRecord(owner)) return -1;
    M.dialogs.push_back({0, proc, false, 0});
    HWND dialog = CreateDialogFromTemplate(dialogTemplate, owner);
    M.dialogs.back().window = dialog;
    if (OurWindow(dialog)) Deliver(OurWindow(dialog), WM_INITDIALOG, (WPARAM)FirstTabStop(dialog), param, true);
    RunModalLoop([dialog] {
        ModalDialog *shown = FindDialog(dialog);
        return !shown || shown->ended;
    });
    INT_PTR result = FindDialog(dialog)->result;
    if (Window *record = OurWindow(dialog)) DestroyWindowTree(record);
    for (auto it = M.controls.begin(); it != M.controls.end();)
        it = FindWindowRecord(it->first) ? std::next(it) : M.controls.erase(it);
    M.dialogs.pop_back();
    return result;
}

BOOL WINAPI EndDialog(HWND dialog, INT_PTR result) {
    if (Enter("EndDialog", {dialog, (LONG_PTR)result})) return FALSE;
    ModalDialog *shown = FindDialog(dialog);
    if (!shown) return FALSE;
    shown->ended = true;
    shown->result = result;
    return TRUE;
}

HWND WINAPI GetDlgItem(HWND dialog, INT id) {
    if (Enter("GetDlgItem", {dialog, id})) return 0;
    return ItemOf(dialog, id);
}

INT WINAPI GetDlgCtrlID(HWND window) {
    if (Enter("GetDlgCtrlID", {window})) return 0;
    ControlRecord *control = FindControl(window);
    return control ? control->id : 0;
}

BOOL WINAPI SetDlgItemTextA(HWND dialog, INT id, LPCSTR text) {
    if (Enter("SetDlgItemTextA", {dialog, id, text})) return FALSE;
    Window *record = OurWindow(ItemOf(dialog, id));
    if (!record) return FALSE;
    record->title = text ? text : "";
    return TRUE;
}

BOOL WINAPI SetWindowTextA(HWND window, LPCSTR text) {
    if (Enter("SetWindowTextA", {window, text})) return FALSE;
    Window *record = FindWindowRecord(window);
    if (!record) return FALSE;
    record->title = text ? text : "";
    return TRUE;
}

// Scroll bar controls only (SB_CTL); the windows' own scroll bars are not simulated.
static ControlRecord *ScrollBarControl(HWND window, INT bar) {
    ControlRecord *control = FindControl(window);
    return bar == SB_CTL && control && control->kind == "scrollbar" ? control : nullptr;
}

BOOL WINAPI SetScrollRange(HWND window, INT bar, INT minimum, INT maximum, BOOL redraw) {
    if (Enter("SetScrollRange", {window, bar, minimum, maximum, redraw})) return FALSE;
    ControlRecord *control = ScrollBarControl(window, bar);
    if (!control) return FALSE;
    control->minimum = minimum;
    control->maximum = maximum;
    if (control->position < minimum) control->position = minimum;
    if (control->position > maximum) control->position = maximum;
    return TRUE;
}

INT WINAPI SetScrollPos(HWND window, INT bar, INT position, BOOL redraw) {
    if (Enter("SetScrollPos", {window, bar, position, redraw})) return 0;
    ControlRecord *control = ScrollBarControl(window, bar);
    if (!control) return 0;
    int previous = control->position;
    control->position = std::max(control->minimum, std::min(position, control->maximum));
    return previous;
}

INT WINAPI GetScrollPos(HWND window, INT bar) {
    if (Enter("GetScrollPos", {window, bar})) return 0;
    ControlRecord *control = ScrollBarControl(window, bar);
    return control ? control->position : 0;
}

// The user reads it and presses OK.
INT WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    if (Enter("MessageBoxA", {owner, text, caption, type})) return 0;
    return IDOK;
}
