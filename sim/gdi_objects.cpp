// Simulated GDI objects: stock objects, the pens, brushes, bitmaps, fonts and regions a program
// creates, what a device context holds, deletion, and the facts and counters that show a leak.
#include "sim/machine.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sim {

static const ULONG_PTR STOCK_BASE = 0x30000;
// The 1x1 monochrome bitmap that a memory device context holds until another is selected. It is
// stock, but GetStockObject has no documented index for it.
static const ULONG_PTR DEFAULT_BITMAP_INDEX = 0x20;
// Each kind has a range of its own, wide enough for the millions of pens of a long run.
static const ULONG_PTR KIND_BASE[GDI_KINDS] = {0x1000000, 0x2000000, 0x3000000, 0x6000000, 0x7000000};
static const ULONG_PTR KIND_SPAN = 0x1000000;
// Another variation's objects lie further on in each range, its stock objects elsewhere.
static const ULONG_PTR OBJECT_VARIATION = 0x34567;
static const ULONG_PTR STOCK_VARIATION = 0x1100;
static const char *const KIND_NAME[GDI_KINDS] = {"pen", "brush", "bitmap", "font", "region"};
static const char *const MEMORY_DC = "memory device context";
static const char *const DIB_SECTION_NAME = "DIB section";

enum Slot { PEN_SLOT, BRUSH_SLOT, BITMAP_SLOT, FONT_SLOT, NO_SLOT };

static ULONG_PTR StockBase() { return STOCK_BASE + M.variation * STOCK_VARIATION; }
static HGDIOBJ Stock(int index) { return (HGDIOBJ)(StockBase() + index); }
static HGDIOBJ DefaultBitmap() { return Stock(DEFAULT_BITMAP_INDEX); }
static ULONG_PTR KindBase(int kind) { return KIND_BASE[kind] + M.variation * OBJECT_VARIATION; }

// The slot a stock object goes into, by its index; index 9 is unused on the platform.
static Slot StockSlot(int index) {
    if ((index >= WHITE_BRUSH && index <= NULL_BRUSH) || index == DC_BRUSH) return BRUSH_SLOT;
    if ((index >= WHITE_PEN && index <= NULL_PEN) || index == DC_PEN) return PEN_SLOT;
    if ((index >= OEM_FIXED_FONT && index <= DEVICE_DEFAULT_FONT) || index == SYSTEM_FIXED_FONT ||
        index == DEFAULT_GUI_FONT)
        return FONT_SLOT;
    return NO_SLOT;
}

static bool IsStockIndex(int index) { return StockSlot(index) != NO_SLOT || index == DEFAULT_PALETTE; }

// The stock index of object, or -1.
static int StockIndex(HGDIOBJ object) {
    ULONG_PTR value = (ULONG_PTR)object;
    if (value < StockBase() || value > StockBase() + STOCK_LAST) return -1;
    int index = (int)(value - StockBase());
    return IsStockIndex(index) ? index : -1;
}

static bool IsStock(HGDIOBJ object) {
    return StockIndex(object) >= 0 || object == DefaultBitmap();
}

// Any object ever created, alive or freed.
static GdiObject *Created(HGDIOBJ object, GdiKind *kind) {
    ULONG_PTR value = (ULONG_PTR)object;
    for (int k = 0; k < GDI_KINDS; ++k) {
        if (value < KindBase(k) || value - KindBase(k) >= KIND_SPAN) continue;
        size_t index = value - KindBase(k);
        if (index >= M.gdiObjects[k].size()) return nullptr;
        *kind = (GdiKind)k;
        return &M.gdiObjects[k][index];
    }
    return nullptr;
}

static GdiObject *Live(HGDIOBJ object, GdiKind *kind) {
    GdiObject *record = Created(object, kind);
    return record && record->live ? record : nullptr;
}

static GdiObject *LiveOfKind(HGDIOBJ object, GdiKind wanted) {
    GdiKind kind;
    GdiObject *record = Live(object, &kind);
    return record && kind == wanted ? record : nullptr;
}

GdiObject *LiveGdiObject(HGDIOBJ object, GdiKind kind) { return LiveOfKind(object, kind); }
HGDIOBJ DefaultBitmapHandle() { return DefaultBitmap(); }

HGDIOBJ NewGdiObject(GdiKind kind, UINT style, int width, int height, COLORREF color) {
    M.gdiObjects[kind].push_back({style, width, height, color, CurrentCall(), 0, true, false});
    M.liveGdiObjects[kind]++;
    return (HGDIOBJ)(KindBase(kind) + M.gdiObjects[kind].size() - 1);
}

// The object is gone, and with it what it kept: a DIB section's pixels, a region's shape.
static void Free(HGDIOBJ object, GdiKind kind, GdiObject *record) {
    record->live = false;
    M.liveGdiObjects[kind]--;
    M.fonts.erase(object);
    M.regions.erase(object);
    M.dibBits.erase(object);
    M.dibDigests.erase(object);
}

static const char *KindName(GdiKind kind, const GdiObject &record) {
    return kind == GDI_BITMAP && record.style == DIB_SECTION ? DIB_SECTION_NAME : KIND_NAME[kind];
}

Region *LiveRegion(HGDIOBJ region) {
    auto found = M.regions.find(region);
    return found == M.regions.end() ? nullptr : &found->second;
}

// A region has no slot: selecting one makes a copy of it the clip.
static Slot SlotOf(HGDIOBJ object) {
    static const Slot KIND_SLOT[GDI_KINDS] = {PEN_SLOT, BRUSH_SLOT, BITMAP_SLOT, FONT_SLOT, NO_SLOT};
    if (object == DefaultBitmap()) return BITMAP_SLOT;
    int index = StockIndex(object);
    if (index >= 0) return StockSlot(index);
    GdiKind kind;
    if (!Live(object, &kind)) return NO_SLOT;
    return KIND_SLOT[kind];
}

static HGDIOBJ &Held(DcSelection &selection, Slot slot) {
    switch (slot) {
    case PEN_SLOT:
        return selection.pen;
    case BRUSH_SLOT:
        return selection.brush;
    case BITMAP_SLOT:
        return selection.bitmap;
    default:
        return selection.font;
    }
}

// An object deleted while selected stays alive, and selected, until it is selected out of every
// device context; then it is freed. That is what Wine does; the platform's documentation has the
// deletion fail instead.
static void CountSelection(HGDIOBJ object, int change) {
    GdiKind kind;
    GdiObject *record = Live(object, &kind);
    if (!record) return;
    record->selected += change;
    if (record->deletePending && record->selected == 0) Free(object, kind, record);
}

static HGDIOBJ Replace(DeviceContext *dc, Slot slot, HGDIOBJ object) {
    HGDIOBJ &held = Held(dc->selection, slot);
    HGDIOBJ previous = held;
    if (previous == object) return previous;
    held = object;
    CountSelection(object, +1);
    CountSelection(previous, -1);
    return previous;
}

DcSelection FreshSelection(bool memory) {
    HGDIOBJ bitmap = memory ? DefaultBitmap() : 0;
    return {Stock(BLACK_PEN), Stock(WHITE_BRUSH), bitmap, Stock(SYSTEM_FONT)};
}

void Deselect(DeviceContext *dc) {
    DcSelection fresh = FreshSelection(dc->memory);
    for (Slot slot : {PEN_SLOT, BRUSH_SLOT, BITMAP_SLOT, FONT_SLOT})
        Replace(dc, slot, Held(fresh, slot));
    SetClip(dc, nullptr);
}

void RestoreSelection(DeviceContext *dc, const DcSelection &selection) {
    DcSelection fresh = FreshSelection(dc->memory), wanted = selection;
    for (Slot slot : {PEN_SLOT, BRUSH_SLOT, BITMAP_SLOT, FONT_SLOT}) {
        HGDIOBJ object = Held(wanted, slot);
        bool usable = object && (IsStock(object) || SlotOf(object) == slot);
        Replace(dc, slot, usable ? object : Held(fresh, slot));
    }
}

int SetClip(DeviceContext *dc, const Region *region) {
    dc->clipped = region != nullptr;
    dc->clip = region ? *region : Region();
    return region ? RegionComplexity(*region) : SIMPLEREGION;
}

// A bitmap is selected into one memory device context at a time.
static bool SelectableBitmap(const DeviceContext *dc, HGDIOBJ bitmap) {
    if (!dc->memory) return false;
    GdiObject *record = LiveOfKind(bitmap, GDI_BITMAP);
    return !record || record->selected == 0 || dc->selection.bitmap == bitmap;
}

void PenFacts(HGDIOBJ object, DrawOp *op) {
    op->penStyle = PS_SOLID;
    op->penWidth = 1;
    op->penColor = RGB(0, 0, 0);
    if (GdiObject *pen = LiveOfKind(object, GDI_PEN)) {
        op->penStyle = pen->style;
        op->penWidth = pen->width;
        op->penColor = pen->color;
    } else if (object == Stock(WHITE_PEN)) {
        op->penColor = RGB(255, 255, 255);
    } else if (object == Stock(NULL_PEN)) {
        op->penStyle = PS_NULL;
    }
}

// A system colour as a brush, (HBRUSH)(COLOR_x + 1) as FillRect takes it. The simulator has no
// system colours: it paints black.
static bool IsSystemColourBrush(HGDIOBJ object) {
    return (ULONG_PTR)object >= 1 && (ULONG_PTR)object <= COLOR_MENUBAR + 1;
}

bool BrushFacts(HGDIOBJ object, DrawOp *op) {
    static const COLORREF STOCK_COLOUR[] = {RGB(255, 255, 255), RGB(192, 192, 192), RGB(128, 128, 128),
                                            RGB(64, 64, 64), RGB(0, 0, 0)};
    op->hollowBrush = false;
    op->brushColor = RGB(0, 0, 0);
    int index = StockIndex(object);
    if (GdiObject *brush = LiveOfKind(object, GDI_BRUSH)) {
        op->hollowBrush = brush->style == BS_NULL;
        op->brushColor = brush->color;
    } else if (index >= WHITE_BRUSH && index <= BLACK_BRUSH) {
        op->brushColor = STOCK_COLOUR[index];
    } else if (index == DC_BRUSH) {
        op->brushColor = RGB(255, 255, 255);  // SetDCBrushColor is not simulated
    } else if (index == NULL_BRUSH) {
        op->hollowBrush = true;
    } else if (!IsSystemColourBrush(object)) {
        op->hollowBrush = true;
        return false;
    }
    return true;
}

SIZE BitmapSize(HGDIOBJ bitmap) {
    GdiObject *record = LiveOfKind(bitmap, GDI_BITMAP);
    return record ? SIZE{record->width, abs(record->height)} : SIZE{1, 1};
}

// Every stock font counts as the system font, 16 pixels high and 8 wide.
static LOGFONTA SystemFont() {
    LOGFONTA font = {};
    font.lfHeight = 16;
    font.lfWidth = 8;
    font.lfWeight = FW_BOLD;
    strcpy(font.lfFaceName, "System");
    return font;
}

LOGFONTA SelectedFont(const DeviceContext *dc) {
    auto found = M.fonts.find(dc->selection.font);
    return found == M.fonts.end() ? SystemFont() : found->second;
}

// ---------------------------------------------------------------------------------------------
// Test controls

static GdiObjectFacts FactsOf(HGDIOBJ handle, const char *kind, size_t call, int selections = 0,
                              bool deleted = false) {
    size_t index = call >= M.droppedCalls && call != NO_CALL ? call - M.droppedCalls : NO_CALL;
    return {handle, kind, index, selections, deleted};
}

std::vector<GdiObjectFacts> LiveGdiObjectFacts() {
    std::vector<GdiObjectFacts> live;
    for (int k = 0; k < GDI_KINDS; ++k)
        for (size_t i = 0; i < M.gdiObjects[k].size(); ++i) {
            const GdiObject &object = M.gdiObjects[k][i];
            HGDIOBJ handle = (HGDIOBJ)(KindBase(k) + i);
            if (object.live) live.push_back(FactsOf(handle, KindName((GdiKind)k, object), object.call, object.selected));
        }
    for (auto &dc : M.dcs)
        if (dc->memory && dc->live) live.push_back(FactsOf(dc->handle, MEMORY_DC, dc->call));
    return live;
}

GdiObjectFacts GdiObjectFactsOf(HGDIOBJ object) {
    static const char *const SLOT_NAME[] = {"pen", "brush", "bitmap", "font", "palette"};
    if (IsStock(object)) return FactsOf(object, SLOT_NAME[SlotOf(object)], NO_CALL);
    GdiKind kind;
    GdiObject *record = Created(object, &kind);
    if (record)
        return FactsOf(object, KindName(kind, *record), record->call, record->live ? record->selected : 0,
                       !record->live || record->deletePending);
    DeviceContext *dc = FindDc((HDC)object);
    if (dc && dc->memory) return FactsOf(object, MEMORY_DC, dc->call, 0, !dc->live);
    return FactsOf(object, dc ? "device context" : "", NO_CALL);
}

std::string HandleName(const void *handle) {
    static const char *const STOCK_NAME[STOCK_LAST + 1] = {
        "WHITE_BRUSH", "LTGRAY_BRUSH", "GRAY_BRUSH", "DKGRAY_BRUSH", "BLACK_BRUSH", "NULL_BRUSH", "WHITE_PEN",
        "BLACK_PEN", "NULL_PEN", "", "OEM_FIXED_FONT", "ANSI_FIXED_FONT", "ANSI_VAR_FONT", "SYSTEM_FONT",
        "DEVICE_DEFAULT_FONT", "DEFAULT_PALETTE", "SYSTEM_FIXED_FONT", "DEFAULT_GUI_FONT", "DC_BRUSH", "DC_PEN"};
    HGDIOBJ object = (HGDIOBJ)handle;
    size_t number = 0;
    if (handle == ProgramInstance()) return "module#0";  // whatever address the image loads at
    if (AnyWindowRecord((HWND)handle, &number)) return "window#" + std::to_string(number);
    if (DeviceContext *dc = FindDc((HDC)handle))
        return (dc->memory ? "memory dc#" : "dc#") + std::to_string(dc->number);
    if (object == DefaultBitmap()) return "DEFAULT_BITMAP";
    int index = StockIndex(object);
    if (index >= 0) return STOCK_NAME[index];
    GdiKind kind;
    if (GdiObject *record = Created(object, &kind))
        return std::string(KIND_NAME[kind]) + "#" + std::to_string(record - M.gdiObjects[kind].data() + 1);
    return "";
}

int LivePens() { return M.liveGdiObjects[GDI_PEN]; }

int StockIndexOf(HGDIOBJ object) {
    if (object == DefaultBitmap()) return DEFAULT_BITMAP_STOCK;
    return StockIndex(object);
}

int LiveGdiObjects() {
    int live = M.liveMemoryDcs;
    for (int count : M.liveGdiObjects) live += count;
    return live;
}

}  // namespace sim

using namespace sim;

// ---------------------------------------------------------------------------------------------
// Platform functions

HGDIOBJ WINAPI GetStockObject(INT index) {
    if (Enter("GetStockObject", {index})) return 0;
    return IsStockIndex(index) ? Stock(index) : 0;
}

// A null pen is the stock one, as Wine hands it out.
static HPEN NewPen(UINT style, int width, COLORREF color) {
    if (style == PS_NULL) return (HPEN)Stock(NULL_PEN);
    return (HPEN)NewGdiObject(GDI_PEN, style, width, 0, color);
}

HPEN WINAPI CreatePen(INT style, INT width, COLORREF color) {
    if (Enter("CreatePen", {style, width, color})) return 0;
    return NewPen((UINT)style, width, color);
}

HPEN WINAPI CreatePenIndirect(const LOGPEN *pen) {
    if (Enter("CreatePenIndirect", {pen->lopnStyle, pen->lopnWidth.x, pen->lopnColor})) return 0;
    return NewPen(pen->lopnStyle, pen->lopnWidth.x, pen->lopnColor);
}

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
    if (Enter("CreateSolidBrush", {color})) return 0;
    return (HBRUSH)NewGdiObject(GDI_BRUSH, BS_SOLID, 0, 0, color);
}

HBRUSH WINAPI CreateHatchBrush(INT hatch, COLORREF color) {
    if (Enter("CreateHatchBrush", {hatch, color})) return 0;
    return (HBRUSH)NewGdiObject(GDI_BRUSH, BS_HATCHED, 0, 0, color);
}

HBRUSH WINAPI CreateBrushIndirect(const LOGBRUSH *brush) {
    if (Enter("CreateBrushIndirect", {brush->lbStyle, brush->lbColor, brush->lbHatch})) return 0;
    return (HBRUSH)NewGdiObject(GDI_BRUSH, brush->lbStyle, 0, 0, brush->lbColor);
}

// A bitmap of no size is the platform's default one.
HBITMAP WINAPI CreateCompatibleBitmap(HDC dc, INT width, INT height) {
    if (Enter("CreateCompatibleBitmap", {dc, width, height})) return 0;
    DeviceContext *record = UsableDc(dc);
    if (!record || width < 0 || height < 0) return 0;
    if (width == 0 || height == 0) return (HBITMAP)DefaultBitmap();
    HGDIOBJ bitmap = NewGdiObject(GDI_BITMAP, 0, width, height, 0);
    LiveOfKind(bitmap, GDI_BITMAP)->depth = CompatibleDepth(record);
    return (HBITMAP)bitmap;
}

// Returns the object of the same kind that the device context held before; for a region, which
// becomes the clip as SelectClipRgn makes it, the clip's complexity.
HGDIOBJ WINAPI SelectObject(HDC handle, HGDIOBJ object) {
    if (Enter("SelectObject", {handle, object})) return 0;
    DeviceContext *dc = UsableDc(handle);
    if (dc && LiveRegion(object)) return (HGDIOBJ)(ULONG_PTR)SetClip(dc, LiveRegion(object));
    Slot slot = SlotOf(object);
    if (!dc || slot == NO_SLOT) return 0;
    if (slot == BITMAP_SLOT && !SelectableBitmap(dc, object)) return 0;
    return Replace(dc, slot, object);
}

BOOL WINAPI DeleteObject(HGDIOBJ object) {
    if (Enter("DeleteObject", {object})) return FALSE;
    if (IsStock(object)) return TRUE;
    GdiKind kind;
    GdiObject *record = Live(object, &kind);
    if (!record || record->deletePending) return FALSE;
    record->deletePending = true;
    CountSelection(object, 0);
    return TRUE;
}

// Fonts are kept as their LOGFONTA: what the text calls measure by. Nothing is looked up: every
// face exists, at the size asked for.
static HFONT NewFont(const LOGFONTA &font) {
    HGDIOBJ handle = NewGdiObject(GDI_FONT, 0, 0, 0, 0);
    M.fonts[handle] = font;
    return (HFONT)handle;
}

static std::string FaceName(const LOGFONTA &font) {
    return std::string(font.lfFaceName, strnlen(font.lfFaceName, LF_FACESIZE));
}

HFONT WINAPI CreateFontIndirectA(const LOGFONTA *font) {
    if (!font) {
        Enter("CreateFontIndirectA", {nullptr});
        return 0;
    }
    if (Enter("CreateFontIndirectA",
              {font->lfHeight, font->lfWidth, font->lfEscapement, font->lfOrientation, font->lfWeight,
               font->lfItalic, font->lfUnderline, font->lfStrikeOut, font->lfCharSet, font->lfOutPrecision,
               font->lfClipPrecision, font->lfQuality, font->lfPitchAndFamily, FaceName(*font).c_str()}))
        return 0;
    return NewFont(*font);
}

HFONT WINAPI CreateFontA(INT height, INT width, INT escapement, INT orientation, INT weight, DWORD italic,
                         DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision,
                         DWORD clipPrecision, DWORD quality, DWORD pitchAndFamily, LPCSTR face) {
    if (Enter("CreateFontA", {height, width, escapement, orientation, weight, italic, underline, strikeOut,
                              charSet, outPrecision, clipPrecision, quality, pitchAndFamily, face}))
        return 0;
    LOGFONTA font = {};
    font.lfHeight = height;
    font.lfWidth = width;
    font.lfEscapement = escapement;
    font.lfOrientation = orientation;
    font.lfWeight = weight;
    font.lfItalic = (BYTE)italic;
    font.lfUnderline = (BYTE)underline;
    font.lfStrikeOut = (BYTE)strikeOut;
    font.lfCharSet = (BYTE)charSet;
    font.lfOutPrecision = (BYTE)outPrecision;
    font.lfClipPrecision = (BYTE)clipPrecision;
    font.lfQuality = (BYTE)quality;
    font.lfPitchAndFamily = (BYTE)pitchAndFamily;
    if (face) snprintf(font.lfFaceName, LF_FACESIZE, "%s", face);
    return NewFont(font);
}
