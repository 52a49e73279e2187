// Simulated device contexts and GDI: pens, stock objects, the drawing calls recorded as lines and
// fills, and the counters that show a leak.
#include "sim/machine.h"

namespace sim {

static const ULONG_PTR FIRST_DC = 0x20010;
static const ULONG_PTR STOCK_BASE = 0x30000;
static const ULONG_PTR FIRST_PEN = 0x31000;

static bool IsStockPen(int index) { return index == WHITE_PEN || index == BLACK_PEN || index == NULL_PEN; }

void ResetGdi() {
    for (int index = 0; index <= DC_PEN; ++index) M.stockObjects[STOCK_BASE + index] = index;
}

static HGDIOBJ StockObject(int index) { return (HGDIOBJ)(STOCK_BASE + index); }

static Pen *FindPen(HGDIOBJ object) {
    ULONG_PTR value = (ULONG_PTR)object;
    if (value < FIRST_PEN || value - FIRST_PEN >= M.pens.size()) return nullptr;
    Pen *pen = M.pens[value - FIRST_PEN].get();
    return pen->live ? pen : nullptr;
}

static bool IsPen(HGDIOBJ object) {
    auto stock = M.stockObjects.find((ULONG_PTR)object);
    if (stock != M.stockObjects.end()) return IsStockPen(stock->second);
    return FindPen(object) != nullptr;
}

static DeviceContext *FindDc(HDC dc) {
    ULONG_PTR value = (ULONG_PTR)dc;
    if (value < FIRST_DC || (value - FIRST_DC) % 2) return nullptr;
    size_t index = (value - FIRST_DC) / 2;
    return index < M.dcs.size() ? M.dcs[index].get() : nullptr;
}

static DeviceContext *NewDc(HWND window, bool own) {
    auto dc = std::make_unique<DeviceContext>();
    dc->handle = (HDC)(FIRST_DC + 2 * M.dcs.size());
    dc->window = window;
    dc->own = own;
    dc->opened = 0;
    dc->pen = StockObject(BLACK_PEN);
    dc->position = {0, 0};
    M.dcs.push_back(std::move(dc));
    return M.dcs.back().get();
}

static bool SelectedAnywhere(HGDIOBJ object) {
    for (auto &dc : M.dcs)
        if (dc->pen == object && (dc->own || dc->opened)) return true;
    return false;
}

// A pen deleted while selected stays alive, and selected, until it is selected out; then it is
// freed. That is what Wine does; the platform's documentation has the deletion fail instead.
static void FreeIfDeletedAndUnused(HGDIOBJ object) {
    Pen *pen = FindPen(object);
    if (pen && pen->deletePending && !SelectedAnywhere(object)) pen->live = false;
}

static HGDIOBJ Replace(DeviceContext *dc, HGDIOBJ pen) {
    HGDIOBJ previous = dc->pen;
    dc->pen = pen;
    FreeIfDeletedAndUnused(previous);
    return previous;
}

static void Deselect(DeviceContext *dc) { Replace(dc, StockObject(BLACK_PEN)); }

void ReleaseWindowDc(Window *window) {
    if (!window->ownDc) return;
    window->ownDc->opened = 0;
    Deselect(window->ownDc);
    window->ownDc = nullptr;
}

static std::vector<DrawOp> &DrawingOf(HWND window) {
    Window *record = FindWindowRecord(window);
    if (!record && window && (ULONG_PTR)window >= 0x10010) {
        size_t index = ((ULONG_PTR)window - 0x10010) / 2;
        if (index < M.windows.size()) return M.windows[index]->drawing;
    }
    return record ? record->drawing : M.screenDrawing;
}

// ---------------------------------------------------------------------------------------------
// Test controls

void SetScreen(RECT clipBox) { M.screen = clipBox; }

const std::vector<DrawOp> &Drawing(HWND window) { return DrawingOf(window); }

std::vector<DrawOp> Lines(HWND window) {
    std::vector<DrawOp> lines;
    for (const DrawOp &op : DrawingOf(window))
        if (op.kind == DrawOp::Line) lines.push_back(op);
    return lines;
}

HGDIOBJ OwnDcPen(HWND window) {
    Window *record = FindWindowRecord(window);
    return record && record->ownDc ? record->ownDc->pen : 0;
}

int LivePens() {
    int live = 0;
    for (auto &pen : M.pens) live += pen->live;
    return live;
}

int LiveGdiObjects() { return LivePens(); }

int OpenDeviceContexts() {
    int open = 0;
    for (auto &dc : M.dcs) open += dc->opened;
    return open;
}

}  // namespace sim

using namespace sim;

// ---------------------------------------------------------------------------------------------
// Platform functions

HDC WINAPI GetDC(HWND window) {
    if (Enter("GetDC", {window})) return 0;
    if (!window) {
        DeviceContext *dc = NewDc(0, false);
        dc->opened = 1;
        return dc->handle;
    }
    Window *record = FindWindowRecord(window);
    if (!record) return 0;
    if (record->ours && (record->classStyle & CS_OWNDC)) {
        if (!record->ownDc) record->ownDc = NewDc(window, true);
        record->ownDc->opened++;
        return record->ownDc->handle;
    }
    DeviceContext *dc = NewDc(window, false);
    dc->opened = 1;
    return dc->handle;
}

INT WINAPI ReleaseDC(HWND window, HDC handle) {
    if (Enter("ReleaseDC", {window, handle})) return 0;
    DeviceContext *dc = FindDc(handle);
    if (!dc || dc->window != window || dc->opened == 0) return 0;
    dc->opened--;
    // A window's own device context keeps its selections; a common one returns to the cache.
    if (!dc->own) Deselect(dc);
    return 1;
}

INT WINAPI GetClipBox(HDC handle, RECT *rect) {
    if (Enter("GetClipBox", {handle})) return ERROR;
    DeviceContext *dc = FindDc(handle);
    if (!dc) return ERROR;
    if (!dc->window) {
        *rect = M.screen;
    } else {
        Window *window = FindWindowRecord(dc->window);
        if (!window) return ERROR;
        *rect = {0, 0, window->rect.right - window->rect.left, window->rect.bottom - window->rect.top};
    }
    return SIMPLEREGION;
}

HGDIOBJ WINAPI GetStockObject(INT index) {
    if (Enter("GetStockObject", {index})) return 0;
    return index >= 0 && index <= DC_PEN ? StockObject(index) : 0;
}

HPEN WINAPI CreatePen(INT style, INT width, COLORREF color) {
    if (Enter("CreatePen", {style, width, color})) return 0;
    M.pens.push_back(std::make_unique<Pen>(Pen{(UINT)style, width, color, false, true, false}));
    return (HPEN)(FIRST_PEN + M.pens.size() - 1);
}

HGDIOBJ WINAPI SelectObject(HDC handle, HGDIOBJ object) {
    if (Enter("SelectObject", {handle, object})) return 0;
    DeviceContext *dc = FindDc(handle);
    if (!dc || !object || !IsPen(object)) return 0;
    return Replace(dc, object);
}

BOOL WINAPI DeleteObject(HGDIOBJ object) {
    if (Enter("DeleteObject", {object})) return FALSE;
    if (M.stockObjects.count((ULONG_PTR)object)) return TRUE;
    Pen *pen = FindPen(object);
    if (!pen || pen->deletePending) return FALSE;
    pen->deletePending = true;
    FreeIfDeletedAndUnused(object);
    return TRUE;
}

BOOL WINAPI MoveToEx(HDC handle, INT x, INT y, POINT *previous) {
    if (Enter("MoveToEx", {handle, x, y, (const void *)previous})) return FALSE;
    DeviceContext *dc = FindDc(handle);
    if (!dc) return FALSE;
    if (previous) *previous = dc->position;
    dc->position = {x, y};
    return TRUE;
}

static void PenFacts(HGDIOBJ object, DrawOp *op) {
    op->penStyle = PS_SOLID;
    op->penWidth = 1;
    op->penColor = RGB(0, 0, 0);
    if (Pen *pen = FindPen(object)) {
        op->penStyle = pen->style;
        op->penWidth = pen->width;
        op->penColor = pen->color;
    } else if (object == StockObject(WHITE_PEN)) {
        op->penColor = RGB(255, 255, 255);
    } else if (object == StockObject(NULL_PEN)) {
        op->penStyle = PS_NULL;
    }
}

BOOL WINAPI LineTo(HDC handle, INT x, INT y) {
    if (Enter("LineTo", {handle, x, y})) return FALSE;
    DeviceContext *dc = FindDc(handle);
    if (!dc) return FALSE;
    DrawOp op = {};
    op.kind = DrawOp::Line;
    op.from = dc->position;
    op.to = {x, y};
    PenFacts(dc->pen, &op);
    DrawingOf(dc->window).push_back(op);
    dc->position = {x, y};
    return TRUE;
}

BOOL WINAPI PatBlt(HDC handle, INT x, INT y, INT width, INT height, DWORD rop) {
    if (Enter("PatBlt", {handle, x, y, width, height, rop})) return FALSE;
    DeviceContext *dc = FindDc(handle);
    if (!dc) return FALSE;
    DrawOp op = {};
    op.kind = DrawOp::Fill;
    op.rect = {x, y, x + width, y + height};
    op.rop = rop;
    DrawingOf(dc->window).push_back(op);
    return TRUE;
}
