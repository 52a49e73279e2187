// Simulated drawing: every drawing call recorded as an operation on the window (or the memory
// device context) drawn on, with the pen and brush in effect and the pixels it may touch.
#include "sim/machine.h"

#include <algorithm>

namespace sim {

static const RECT NOTHING = {0, 0, 0, 0};

static std::vector<DrawOp> &DrawingOf(HWND window) {
    Window *record = window ? AnyWindowRecord(window) : nullptr;
    return record ? record->drawing : M.screenDrawing;
}

static std::vector<DrawOp> &DrawingOf(DeviceContext *dc) {
    return dc->memory ? dc->drawing : DrawingOf(dc->window);
}

bool IsEmpty(const RECT &rect) { return rect.right <= rect.left || rect.bottom <= rect.top; }

RECT Ordered(RECT rect) {
    return {std::min(rect.left, rect.right), std::min(rect.top, rect.bottom),
            std::max(rect.left, rect.right), std::max(rect.top, rect.bottom)};
}

// How far a pen reaches beyond the line it follows. Cosmetic pens (width 0 or 1) stay on it.
static int Spread(const DrawOp &op) { return op.penWidth > 1 ? (op.penWidth + 1) / 2 : 0; }

static RECT Inflated(RECT rect, int by) {
    return {rect.left - by, rect.top - by, rect.right + by, rect.bottom + by};
}

// What an operation outlined with the pen and filled with the brush may touch, given the box of
// the line it follows.
static RECT OutlineBounds(const DrawOp &op, RECT box) {
    bool outlined = op.penStyle != PS_NULL;
    if (IsEmpty(box) || (!outlined && op.hollowBrush)) return NOTHING;
    return outlined ? Inflated(box, Spread(op)) : box;
}

// The pixels of a line through points, the last pixel included.
static RECT PathBounds(const DrawOp &op, const POINT *points, size_t count) {
    RECT box = {points[0].x, points[0].y, points[0].x, points[0].y};
    for (size_t i = 1; i < count; ++i) {
        box.left = std::min(box.left, points[i].x);
        box.top = std::min(box.top, points[i].y);
        box.right = std::max(box.right, points[i].x);
        box.bottom = std::max(box.bottom, points[i].y);
    }
    box.right++;
    box.bottom++;
    return OutlineBounds(op, box);
}

static bool Overlap(const RECT &a, const RECT &b) {
    return std::max(a.left, b.left) < std::min(a.right, b.right) &&
           std::max(a.top, b.top) < std::min(a.bottom, b.bottom);
}

// Whether the segment passes over a pixel of area, or within reach of one: a clip of the segment
// against the area widened by reach (Liang-Barsky). Points are pixel centres; a line lights the
// pixels within half a pixel of it.
static bool SegmentTouches(POINT a, POINT b, double reach, const RECT &area) {
    double dx = b.x - a.x, dy = b.y - a.y;
    double p[4] = {-dx, dx, -dy, dy};
    double q[4] = {a.x - (area.left - reach), (area.right - 1 + reach) - a.x, a.y - (area.top - reach),
                   (area.bottom - 1 + reach) - a.y};
    double enter = 0, leave = 1;
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return false;
            continue;
        }
        double t = q[i] / p[i];
        if (p[i] < 0) enter = std::max(enter, t);
        else leave = std::min(leave, t);
        if (enter > leave) return false;
    }
    return true;
}

static bool PathTouches(const DrawOp &op, bool closed, const RECT &area) {
    const std::vector<POINT> &points = op.points;
    double reach = 0.5 + Spread(op);
    for (size_t i = 0; i + 1 < points.size(); ++i)
        if (SegmentTouches(points[i], points[i + 1], reach, area)) return true;
    return closed && points.size() > 1 && SegmentTouches(points.back(), points.front(), reach, area);
}

DrawOp NewOp(DrawOp::Kind kind) {
    DrawOp op = {};
    op.kind = kind;
    op.penStyle = PS_NULL;
    op.hollowBrush = true;
    return op;
}

static DrawOp Outlined(DrawOp::Kind kind, const DeviceContext *dc) {
    DrawOp op = NewOp(kind);
    PenFacts(dc->selection.pen, &op);
    return op;
}

static DrawOp Filled(DrawOp::Kind kind, const DeviceContext *dc) {
    DrawOp op = Outlined(kind, dc);
    BrushFacts(dc->selection.brush, &op);
    return op;
}

void AddDrawing(DeviceContext *dc, const DrawOp &op) { DrawingOf(dc).push_back(op); }

// ---------------------------------------------------------------------------------------------
// Test controls

const std::vector<DrawOp> &Drawing(HWND window) { return DrawingOf(window); }

const std::vector<DrawOp> &MemoryDcDrawing(HDC memoryDc) {
    static const std::vector<DrawOp> none;
    DeviceContext *dc = FindDc(memoryDc);
    return dc && dc->memory ? dc->drawing : none;
}

void ForgetDrawing() {
    for (auto &window : M.windows) window->drawing.clear();
    M.screenDrawing.clear();
    for (auto &dc : M.dcs) dc->drawing.clear();
}

std::vector<DrawOp> Lines(HWND window) {
    std::vector<DrawOp> lines;
    for (const DrawOp &op : DrawingOf(window))
        if (op.kind == DrawOp::Line) lines.push_back(op);
    return lines;
}

bool Touches(const DrawOp &op, RECT area) {
    if (!Overlap(op.bounds, area)) return false;
    switch (op.kind) {
    case DrawOp::Line:
        return SegmentTouches(op.from, op.to, 0.5 + Spread(op), area);
    case DrawOp::Polyline:
        return PathTouches(op, false, area);
    case DrawOp::Polygon:
        return !op.hollowBrush || PathTouches(op, true, area);
    default:
        return true;
    }
}

}  // namespace sim

using namespace sim;

// ---------------------------------------------------------------------------------------------
// Platform functions: lines

BOOL WINAPI MoveToEx(HDC handle, INT x, INT y, POINT *previous) {
    if (Enter("MoveToEx", {handle, x, y, (const void *)previous})) return FALSE;
    DeviceContext *dc = UsableDc(handle);
    if (!dc) return FALSE;
    if (previous) *previous = dc->position;
    dc->position = {x, y};
    return TRUE;
}

BOOL WINAPI LineTo(HDC handle, INT x, INT y) {
    if (Enter("LineTo", {handle, x, y})) return FALSE;
    DeviceContext *dc = UsableDc(handle);
    if (!dc) return FALSE;
    DrawOp op = Outlined(DrawOp::Line, dc);
    op.from = dc->position;
    op.to = {x, y};
    POINT ends[] = {op.from, op.to};
    op.bounds = PathBounds(op, ends, 2);
    DrawingOf(dc).push_back(op);
    dc->position = {x, y};
    return TRUE;
}

static BOOL DrawPath(const char *name, DrawOp::Kind kind, HDC handle, const POINT *points,
                     long long count, long long fewest) {
    if (Enter(name, {handle, (const void *)points, count})) return FALSE;
    DeviceContext *dc = UsableDc(handle);
    if (!dc || !points || count < fewest) return FALSE;
    if (kind == DrawOp::PolyBezier && (count - 1) % 3) return FALSE;
    DrawOp op = kind == DrawOp::Polygon ? Filled(kind, dc) : Outlined(kind, dc);
    op.points.assign(points, points + count);
    op.bounds = PathBounds(op, points, count);
    DrawingOf(dc).push_back(op);
    return TRUE;
}

BOOL WINAPI Polyline(HDC handle, const POINT *points, INT count) {
    return DrawPath("Polyline", DrawOp::Polyline, handle, points, count, 2);
}

BOOL WINAPI PolyBezier(HDC handle, const POINT *points, DWORD count) {
    return DrawPath("PolyBezier", DrawOp::PolyBezier, handle, points, count, 4);
}

BOOL WINAPI Polygon(HDC handle, const POINT *points, INT count) {
    return DrawPath("Polygon", DrawOp::Polygon, handle, points, count, 2);
}

// ---------------------------------------------------------------------------------------------
// Platform functions: shapes

static BOOL DrawShape(DrawOp::Kind kind, HDC handle, RECT rect, POINT from = {0, 0},
                      POINT to = {0, 0}) {
    DeviceContext *dc = UsableDc(handle);
    if (!dc) return FALSE;
    DrawOp op = kind == DrawOp::Arc ? Outlined(kind, dc) : Filled(kind, dc);
    op.rect = rect;
    op.from = from;
    op.to = to;
    op.bounds = OutlineBounds(op, Ordered(rect));
    DrawingOf(dc).push_back(op);
    return TRUE;
}

BOOL WINAPI Rectangle(HDC handle, INT left, INT top, INT right, INT bottom) {
    if (Enter("Rectangle", {handle, left, top, right, bottom})) return FALSE;
    return DrawShape(DrawOp::Rectangle, handle, {left, top, right, bottom});
}

BOOL WINAPI Ellipse(HDC handle, INT left, INT top, INT right, INT bottom) {
    if (Enter("Ellipse", {handle, left, top, right, bottom})) return FALSE;
    return DrawShape(DrawOp::Ellipse, handle, {left, top, right, bottom});
}

BOOL WINAPI RoundRect(HDC handle, INT left, INT top, INT right, INT bottom, INT width, INT height) {
    if (Enter("RoundRect", {handle, left, top, right, bottom, width, height})) return FALSE;
    return DrawShape(DrawOp::RoundRect, handle, {left, top, right, bottom});
}

BOOL WINAPI Arc(HDC handle, INT left, INT top, INT right, INT bottom, INT xstart, INT ystart, INT xend,
                INT yend) {
    if (Enter("Arc", {handle, left, top, right, bottom, xstart, ystart, xend, yend})) return FALSE;
    return DrawShape(DrawOp::Arc, handle, {left, top, right, bottom}, {xstart, ystart}, {xend, yend});
}

BOOL WINAPI Pie(HDC handle, INT left, INT top, INT right, INT bottom, INT xstart, INT ystart, INT xend,
                INT yend) {
    if (Enter("Pie", {handle, left, top, right, bottom, xstart, ystart, xend, yend})) return FALSE;
    return DrawShape(DrawOp::Pie, handle, {left, top, right, bottom}, {xstart, ystart}, {xend, yend});
}

BOOL WINAPI Chord(HDC handle, INT left, INT top, INT right, INT bottom, INT xstart, INT ystart, INT xend,
                  INT yend) {
    if (Enter("Chord", {handle, left, top, right, bottom, xstart, ystart, xend, yend})) return FALSE;
    return DrawShape(DrawOp::Chord, handle, {left, top, right, bottom}, {xstart, ystart}, {xend, yend});
}

// ---------------------------------------------------------------------------------------------
// Platform functions: rectangles and blocks of pixels

BOOL WINAPI PatBlt(HDC handle, INT x, INT y, INT width, INT height, DWORD rop) {
    if (Enter("PatBlt", {handle, x, y, width, height, rop})) return FALSE;
    DeviceContext *dc = UsableDc(handle);
    if (!dc) return FALSE;
    DrawOp op = NewOp(DrawOp::Fill);
    BrushFacts(dc->selection.brush, &op);  // painted only by a rop that takes the pattern
    op.rect = {x, y, x + width, y + height};
    op.rop = rop;
    op.bounds = Ordered(op.rect);
    DrawingOf(dc).push_back(op);
    return TRUE;
}

Arg sim::RectArg(const RECT *rect, LONG RECT::*side) {
    return rect ? Arg(rect->*side) : Arg(nullptr);
}

// FillRect and FrameRect paint with the brush given, not the one selected.
static INT PaintRect(const char *name, DrawOp::Kind kind, HDC handle, const RECT *rect, HBRUSH brush) {
    if (Enter(name, {handle, RectArg(rect, &RECT::left), RectArg(rect, &RECT::top),
                     RectArg(rect, &RECT::right), RectArg(rect, &RECT::bottom), brush}))
        return 0;
    DeviceContext *dc = UsableDc(handle);
    DrawOp op = NewOp(kind);
    if (!dc || !rect || !BrushFacts(brush, &op)) return 0;
    op.rect = *rect;
    op.bounds = op.hollowBrush ? NOTHING : Ordered(*rect);
    DrawingOf(dc).push_back(op);
    return 1;
}

INT WINAPI FillRect(HDC handle, const RECT *rect, HBRUSH brush) {
    return PaintRect("FillRect", DrawOp::FillRect, handle, rect, brush);
}

INT WINAPI FrameRect(HDC handle, const RECT *rect, HBRUSH brush) {
    return PaintRect("FrameRect", DrawOp::FrameRect, handle, rect, brush);
}

BOOL WINAPI InvertRect(HDC handle, const RECT *rect) {
    if (Enter("InvertRect", {handle, RectArg(rect, &RECT::left), RectArg(rect, &RECT::top),
                             RectArg(rect, &RECT::right), RectArg(rect, &RECT::bottom)}))
        return FALSE;
    DeviceContext *dc = UsableDc(handle);
    if (!dc || !rect) return FALSE;
    DrawOp op = NewOp(DrawOp::InvertRect);
    op.rect = *rect;
    op.bounds = Ordered(*rect);
    DrawingOf(dc).push_back(op);
    return TRUE;
}

// Whether a raster operation reads the source (Wine's test).
static bool UsesSource(DWORD rop) { return ((rop << 2) ^ rop) & 0xCC0000; }

// A DIB section's pixels go as they are; a picture of another kind, with the part taken and the
// size it is put at.
static DWORD SourcePicture(const DeviceContext *from, const DrawOp &op) {
    DWORD picture = PictureOf(from);
    if (!picture || DibSectionDigest(from->selection.bitmap)) return picture;
    const RECT &source = op.sourceRect, &target = op.rect;
    return FoldDigest(picture, {source.left, source.top, source.right, source.bottom, target.right - target.left,
                                target.bottom - target.top, (LONG)op.rop});
}

static BOOL Blit(DrawOp::Kind kind, HDC target, RECT rect, HDC source, RECT sourceRect, DWORD rop) {
    DeviceContext *dc = UsableDc(target);
    if (!dc || (UsesSource(rop) && !UsableDc(source))) return FALSE;
    DrawOp op = NewOp(kind);
    op.rect = rect;
    op.rop = rop;
    op.source = source;
    op.sourceRect = sourceRect;
    op.bounds = Ordered(rect);
    if (DeviceContext *from = UsesSource(rop) ? UsableDc(source) : nullptr) op.pixels = SourcePicture(from, op);
    DrawingOf(dc).push_back(op);
    TakePicture(dc, op);
    return TRUE;
}

BOOL WINAPI BitBlt(HDC target, INT x, INT y, INT width, INT height, HDC source, INT xs, INT ys,
                   DWORD rop) {
    if (Enter("BitBlt", {target, x, y, width, height, source, xs, ys, rop})) return FALSE;
    return Blit(DrawOp::BitBlt, target, {x, y, x + width, y + height}, source,
                {xs, ys, xs + width, ys + height}, rop);
}

BOOL WINAPI StretchBlt(HDC target, INT x, INT y, INT width, INT height, HDC source, INT xs, INT ys,
                       INT ws, INT hs, DWORD rop) {
    if (Enter("StretchBlt", {target, x, y, width, height, source, xs, ys, ws, hs, rop})) return FALSE;
    return Blit(DrawOp::StretchBlt, target, {x, y, x + width, y + height}, source,
                {xs, ys, xs + ws, ys + hs}, rop);
}

// ---------------------------------------------------------------------------------------------
// Platform functions: pixels

// The pixel counts as set wherever it lies: nothing is clipped.
COLORREF WINAPI SetPixel(HDC handle, INT x, INT y, COLORREF color) {
    if (Enter("SetPixel", {handle, x, y, color})) return CLR_INVALID;
    DeviceContext *dc = UsableDc(handle);
    if (!dc) return CLR_INVALID;
    DrawOp op = NewOp(DrawOp::SetPixel);
    op.to = {x, y};
    op.color = color;
    op.bounds = {x, y, x + 1, y + 1};
    DrawingOf(dc).push_back(op);
    return color;
}

// Nothing drawn is kept as pixels: every pixel reads black.
COLORREF WINAPI GetPixel(HDC handle, INT x, INT y) {
    if (Enter("GetPixel", {handle, x, y})) return CLR_INVALID;
    return UsableDc(handle) ? RGB(0, 0, 0) : CLR_INVALID;
}
