// Simulated device contexts: a window's (common or its own), the screen's, memory ones, painting,
// and the attributes a program sets on them.
#include "sim/machine.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace sim {

// Far from the other handles: a program that gets a device context each tick makes millions.
static const ULONG_PTR FIRST_DC = 0x4000010;
// Another variation's device contexts start further on (handles stay even).
static const ULONG_PTR DC_VARIATION = 0x123456;

static ULONG_PTR FirstDc() { return FIRST_DC + M.variation * DC_VARIATION; }

DeviceContext *FindDc(HDC dc) {
    ULONG_PTR value = (ULONG_PTR)dc;
    if (value < FirstDc() || (value - FirstDc()) % 2) return nullptr;
    size_t index = (value - FirstDc()) / 2;
    return index < M.dcs.size() ? M.dcs[index].get() : nullptr;
}

DeviceContext *UsableDc(HDC dc) {
    DeviceContext *record = FindDc(dc);
    return record && record->live ? record : nullptr;
}

static DeviceContext *NewDc(HWND window, bool own, bool memory) {
    auto dc = std::make_unique<DeviceContext>();
    dc->handle = (HDC)(FirstDc() + 2 * M.dcs.size());
    dc->number = M.dcs.size() + 1;
    dc->window = window;
    dc->own = own;
    dc->memory = memory;
    dc->live = true;
    dc->opened = 0;
    dc->selection = FreshSelection(memory);
    dc->position = {0, 0};
    dc->bkMode = OPAQUE;
    dc->bkColor = RGB(255, 255, 255);
    dc->textColor = RGB(0, 0, 0);
    dc->rop2 = R2_COPYPEN;
    dc->textAlign = TA_LEFT | TA_TOP | TA_NOUPDATECP;
    dc->stretchMode = BLACKONWHITE;
    dc->clipped = false;
    dc->call = CurrentCall();
    M.dcs.push_back(std::move(dc));
    return M.dcs.back().get();
}

// A window of a CS_OWNDC class keeps one device context for its life; others get a fresh one
// each time.
static DeviceContext *OpenWindowDc(Window *window) {
    if (window->ours && (window->classStyle & CS_OWNDC)) {
        if (!window->ownDc) window->ownDc = NewDc(window->handle, true, false);
        window->ownDc->opened++;
        return window->ownDc;
    }
    DeviceContext *dc = NewDc(window->handle, false, false);
    dc->opened = 1;
    return dc;
}

static BOOL Release(HWND window, HDC handle) {
    DeviceContext *dc = FindDc(handle);
    if (!dc || dc->memory || dc->window != window || dc->opened == 0) return FALSE;
    dc->opened--;
    // A window's own device context keeps its selections and saved states; a common one returns
    // to the cache.
    if (!dc->own) {
        Deselect(dc);
        dc->saved.clear();
    }
    return TRUE;
}

void ReleaseWindowDc(Window *window) {
    if (!window->ownDc) return;
    window->ownDc->opened = 0;
    Deselect(window->ownDc);
    window->ownDc = nullptr;
}

static RECT ClientRect(const Window *window) {
    return {0, 0, window->rect.right - window->rect.left, window->rect.bottom - window->rect.top};
}

HDC StartPaint(Window *window, PAINTSTRUCT *paint) {
    window->needsPaint = false;
    if (window->needsNcPaint) {
        window->needsNcPaint = false;
        Deliver(window, WM_NCPAINT, 1, 0, true);
    }
    if (!window->alive) return 0;
    HDC dc = OpenWindowDc(window)->handle;
    bool erased = true;
    if (window->needsErase) {
        window->needsErase = false;
        erased = Deliver(window, WM_ERASEBKGND, (WPARAM)dc, 0, true) != 0;
    }
    memset(paint, 0, sizeof *paint);
    paint->hdc = dc;
    paint->fErase = !erased;
    paint->rcPaint = ClientRect(window);
    return dc;
}

void FinishPaint(Window *window, HDC dc) { Release(window->handle, dc); }

void EraseBackground(Window *window) {
    HDC dc = OpenWindowDc(window)->handle;
    Deliver(window, WM_ERASEBKGND, (WPARAM)dc, 0, true);
    Release(window->handle, dc);
}

// ---------------------------------------------------------------------------------------------
// Test controls

void SetScreen(RECT clipBox) {
    M.screen = clipBox;
    M.primary = {clipBox.right - clipBox.left, clipBox.bottom - clipBox.top};
}

void SetMonitors(const std::vector<RECT> &monitors) {
    if (monitors.empty()) return;
    SetScreen(monitors[0]);
    for (const RECT &monitor : monitors)
        M.screen = {std::min(M.screen.left, monitor.left), std::min(M.screen.top, monitor.top),
                    std::max(M.screen.right, monitor.right), std::max(M.screen.bottom, monitor.bottom)};
}

DcSelection OwnDcSelection(HWND window) {
    Window *record = FindWindowRecord(window);
    if (!record || !record->ours || !(record->classStyle & CS_OWNDC)) return DcSelection{0, 0, 0, 0};
    // The platform makes the device context with the window; this one makes it on first use, with
    // what it would have held all along.
    return record->ownDc ? record->ownDc->selection : FreshSelection(false);
}

HGDIOBJ OwnDcPen(HWND window) { return OwnDcSelection(window).pen; }

HDC OwnDc(HWND window) {
    Window *record = FindWindowRecord(window);
    return record && record->ownDc ? record->ownDc->handle : 0;
}

DcFacts DeviceContextFacts(HDC handle) {
    DeviceContext *dc = FindDc(handle);
    if (!dc) return DcFacts{false, false, 0, 0};
    return DcFacts{true, dc->memory, dc->window, dc->opened, (int)dc->saved.size()};
}

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
        DeviceContext *dc = NewDc(0, false, false);
        dc->opened = 1;
        return dc->handle;
    }
    Window *record = FindWindowRecord(window);
    return record ? OpenWindowDc(record)->handle : 0;
}

INT WINAPI ReleaseDC(HWND window, HDC handle) {
    if (Enter("ReleaseDC", {window, handle})) return 0;
    return Release(window, handle);
}

HDC WINAPI BeginPaint(HWND window, PAINTSTRUCT *paint) {
    if (Enter("BeginPaint", {window, (const void *)paint})) return 0;
    Window *record = OurWindow(window);
    return record ? StartPaint(record, paint) : 0;
}

// Always succeeds on the platform.
BOOL WINAPI EndPaint(HWND window, const PAINTSTRUCT *paint) {
    Enter("EndPaint", {window, paint ? paint->hdc : 0});
    if (paint) Release(window, paint->hdc);
    return TRUE;
}

HDC WINAPI CreateCompatibleDC(HDC handle) {
    if (Enter("CreateCompatibleDC", {handle})) return 0;
    if (handle && !UsableDc(handle)) return 0;
    M.liveMemoryDcs++;
    return NewDc(0, false, true)->handle;
}

// A device context that GetDC handed out is released, not deleted; the platform refuses.
BOOL WINAPI DeleteDC(HDC handle) {
    if (Enter("DeleteDC", {handle})) return FALSE;
    DeviceContext *dc = UsableDc(handle);
    if (!dc || !dc->memory) return FALSE;
    Deselect(dc);
    dc->saved.clear();
    dc->live = false;
    M.liveMemoryDcs--;
    return TRUE;
}

// Where the device context can draw, narrowed by its clip region when one is selected.
INT WINAPI GetClipBox(HDC handle, RECT *rect) {
    if (Enter("GetClipBox", {handle})) return ERROR;
    DeviceContext *dc = UsableDc(handle);
    if (!dc) return ERROR;
    if (dc->memory) {
        SIZE size = BitmapSize(dc->selection.bitmap);
        *rect = {0, 0, size.cx, size.cy};
    } else if (!dc->window) {
        *rect = M.screen;
    } else {
        Window *window = FindWindowRecord(dc->window);
        if (!window) return ERROR;
        *rect = ClientRect(window);
    }
    if (!dc->clipped) return SIMPLEREGION;
    Region visible = Combine(dc->clip, RectRegion(*rect), RGN_AND);
    *rect = RegionBox(visible);
    return RegionComplexity(visible);
}

INT WINAPI SetBkMode(HDC handle, INT mode) {
    if (Enter("SetBkMode", {handle, mode})) return 0;
    DeviceContext *dc = UsableDc(handle);
    if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
    return std::exchange(dc->bkMode, mode);
}

COLORREF WINAPI SetBkColor(HDC handle, COLORREF color) {
    if (Enter("SetBkColor", {handle, color})) return CLR_INVALID;
    DeviceContext *dc = UsableDc(handle);
    if (!dc) return CLR_INVALID;
    return std::exchange(dc->bkColor, color);
}

COLORREF WINAPI SetTextColor(HDC handle, COLORREF color) {
    if (Enter("SetTextColor", {handle, color})) return CLR_INVALID;
    DeviceContext *dc = UsableDc(handle);
    if (!dc) return CLR_INVALID;
    return std::exchange(dc->textColor, color);
}

INT WINAPI SetROP2(HDC handle, INT mode) {
    if (Enter("SetROP2", {handle, mode})) return 0;
    DeviceContext *dc = UsableDc(handle);
    if (!dc || mode < R2_BLACK || mode > R2_WHITE) return 0;
    return std::exchange(dc->rop2, mode);
}

// ---------------------------------------------------------------------------------------------
// Platform functions: saved states

// Returns the state's level, from 1.
INT WINAPI SaveDC(HDC handle) {
    if (Enter("SaveDC", {handle})) return 0;
    DeviceContext *dc = UsableDc(handle);
    if (!dc) return 0;
    dc->saved.push_back({dc->selection, dc->position, dc->bkMode, dc->bkColor, dc->textColor, dc->rop2,
                         dc->textAlign, dc->stretchMode, dc->clipped, dc->clip});
    return (INT)dc->saved.size();
}

// A level below 0 counts back from the latest state (-1: the latest); the states saved after the
// one restored are dropped with it. What the state held is selected again, as SelectObject would:
// an object deleted since (it was not selected then) leaves the fresh device context's in its place.
BOOL WINAPI RestoreDC(HDC handle, INT level) {
    if (Enter("RestoreDC", {handle, level})) return FALSE;
    DeviceContext *dc = UsableDc(handle);
    if (!dc) return FALSE;
    long long count = (long long)dc->saved.size();
    long long index = level < 0 ? count + level : (long long)level - 1;
    if (level == 0 || index < 0 || index >= count) return FALSE;
    SavedDc state = dc->saved[(size_t)index];
    dc->saved.resize((size_t)index);
    RestoreSelection(dc, state.selection);
    dc->position = state.position;
    dc->bkMode = state.bkMode;
    dc->bkColor = state.bkColor;
    dc->textColor = state.textColor;
    dc->rop2 = state.rop2;
    dc->textAlign = state.textAlign;
    dc->stretchMode = state.stretchMode;
    SetClip(dc, state.clipped ? &state.clip : nullptr);
    return TRUE;
}
