// Simulated regions: made from rectangles, ellipses, rounded rectangles and polygons, combined,
// moved, asked about, selected as a device context's clip, and painted. A region is kept as rows
// of spans, exactly for rectangles; a curved or slanted edge takes the pixels whose centres lie
// inside it, which is close to the platform's edge but not always the same pixel.
#include "sim/machine.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace sim {

// Curved and polygonal regions are built row by row; Windows 95 keeps a region's coordinates in
// 16 bits, so one taller than that is refused rather than built.
static const long long MOST_ROWS = 0x7FFF;

static bool SameSpans(const std::vector<Span> &a, const std::vector<Span> &b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](const Span &x, const Span &y) {
               return x.left == y.left && x.right == y.right;
           });
}

// Adds rows top..bottom to a region built from the top down; a band the same as the one above it
// joins it, so that a rectangle stays one band.
static void AddBand(Region *region, LONG top, LONG bottom, std::vector<Span> spans) {
    if (spans.empty() || top >= bottom) return;
    if (!region->empty() && region->back().bottom == top && SameSpans(region->back().spans, spans)) {
        region->back().bottom = bottom;
        return;
    }
    region->push_back({top, bottom, std::move(spans)});
}

RECT RegionBox(const Region &region) {
    if (region.empty()) return {0, 0, 0, 0};
    RECT box = {LARGEST_LONG, region.front().top, SMALLEST_LONG, region.back().bottom};
    for (const Band &band : region) {
        box.left = std::min(box.left, band.spans.front().left);
        box.right = std::max(box.right, band.spans.back().right);
    }
    return box;
}

int RegionComplexity(const Region &region) {
    if (region.empty()) return NULLREGION;
    return region.size() == 1 && region[0].spans.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

bool RegionContains(const Region &region, LONG x, LONG y) {
    for (const Band &band : region) {
        if (y < band.top || y >= band.bottom) continue;
        for (const Span &span : band.spans)
            if (x >= span.left && x < span.right) return true;
    }
    return false;
}

Region RectRegion(RECT rect) {
    rect = Ordered(rect);
    Region region;
    AddBand(&region, rect.top, rect.bottom, {{rect.left, rect.right}});
    return region;
}

static bool Keeps(int mode, bool inA, bool inB) {
    switch (mode) {
    case RGN_AND:
        return inA && inB;
    case RGN_OR:
        return inA || inB;
    case RGN_XOR:
        return inA != inB;
    default:  // RGN_DIFF
        return inA && !inB;
    }
}

// The spans of one row of the two regions, combined: each stretch between two edges of either is
// in or out of each.
static std::vector<Span> CombineSpans(const std::vector<Span> &a, const std::vector<Span> &b, int mode) {
    std::vector<LONG> edges;
    for (const std::vector<Span> *spans : {&a, &b})
        for (const Span &span : *spans) {
            edges.push_back(span.left);
            edges.push_back(span.right);
        }
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    std::vector<Span> combined;
    size_t i = 0, j = 0;
    for (size_t k = 0; k + 1 < edges.size(); ++k) {
        LONG from = edges[k], to = edges[k + 1];
        while (i < a.size() && a[i].right <= from) ++i;
        while (j < b.size() && b[j].right <= from) ++j;
        if (!Keeps(mode, i < a.size() && a[i].left <= from, j < b.size() && b[j].left <= from)) continue;
        if (!combined.empty() && combined.back().right == from) combined.back().right = to;
        else combined.push_back({from, to});
    }
    return combined;
}

// The spans of region at row y, for rows taken from the top down with one cursor per region.
static const std::vector<Span> &SpansAt(const Region &region, size_t *cursor, LONG y) {
    static const std::vector<Span> none;
    while (*cursor < region.size() && region[*cursor].bottom <= y) ++*cursor;
    return *cursor < region.size() && region[*cursor].top <= y ? region[*cursor].spans : none;
}

Region Combine(const Region &a, const Region &b, int mode) {
    std::vector<LONG> rows;
    for (const Region *region : {&a, &b})
        for (const Band &band : *region) {
            rows.push_back(band.top);
            rows.push_back(band.bottom);
        }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    Region combined;
    size_t i = 0, j = 0;
    for (size_t k = 0; k + 1 < rows.size(); ++k)
        AddBand(&combined, rows[k], rows[k + 1],
                CombineSpans(SpansAt(a, &i, rows[k]), SpansAt(b, &j, rows[k]), mode));
    return combined;
}

// Spans from the crossings of one row, sorted, joined where they touch or overlap.
static std::vector<Span> Joined(std::vector<Span> spans) {
    std::sort(spans.begin(), spans.end(), [](const Span &x, const Span &y) { return x.left < y.left; });
    std::vector<Span> joined;
    for (const Span &span : spans) {
        if (span.left >= span.right) continue;
        if (!joined.empty() && span.left <= joined.back().right)
            joined.back().right = std::max(joined.back().right, span.right);
        else
            joined.push_back(span);
    }
    return joined;
}

// The pixels whose centres lie between from and to.
static Span CentresBetween(double from, double to) {
    return {(LONG)std::ceil(from - 0.5), (LONG)std::ceil(to - 0.5)};
}

// A rectangle with corners rounded by an ellipse of width x height; a whole ellipse when those are
// the rectangle's own.
static bool RoundedRegion(RECT rect, long long width, long long height, Region *region) {
    rect = Ordered(rect);
    if ((long long)rect.bottom - rect.top > MOST_ROWS) return false;
    double rx = std::min<double>(std::llabs(width), (double)rect.right - rect.left) / 2;
    double ry = std::min<double>(std::llabs(height), (double)rect.bottom - rect.top) / 2;
    for (LONG y = rect.top; y < rect.bottom; ++y) {
        double centre = y + 0.5, dy = 0;
        if (centre < rect.top + ry) dy = (rect.top + ry - centre) / ry;
        else if (centre > rect.bottom - ry) dy = (centre - (rect.bottom - ry)) / ry;
        double inset = rx * (1 - std::sqrt(std::max(0.0, 1 - dy * dy)));
        AddBand(region, y, y + 1, Joined({CentresBetween(rect.left + inset, rect.right - inset)}));
    }
    return true;
}

// Each row is crossed by the polygon's edges at its pixels' centre line; between crossings the
// fill mode says what is inside: an odd count of crossings (ALTERNATE) or a winding number not 0.
static bool PolygonRegion(const POINT *points, int count, int mode, Region *region) {
    LONG top = LARGEST_LONG, bottom = SMALLEST_LONG;
    for (int i = 0; i < count; ++i) {
        top = std::min(top, points[i].y);
        bottom = std::max(bottom, points[i].y);
    }
    if ((long long)bottom - top > MOST_ROWS) return false;
    for (LONG y = top; y < bottom; ++y) {
        double centre = y + 0.5;
        std::vector<std::pair<double, int>> crossings;  // where, and which way the edge goes
        for (int i = 0; i < count; ++i) {
            POINT a = points[i], b = points[(i + 1) % count];
            if ((a.y <= centre) == (b.y <= centre)) continue;
            double x = a.x + (centre - a.y) * (b.x - a.x) / (double)(b.y - a.y);
            crossings.push_back({x, b.y > a.y ? 1 : -1});
        }
        std::sort(crossings.begin(), crossings.end());
        std::vector<Span> spans;
        int winding = 0;
        for (size_t k = 0; k + 1 < crossings.size(); ++k) {
            winding += mode == ALTERNATE ? 1 : crossings[k].second;
            bool inside = mode == ALTERNATE ? winding % 2 != 0 : winding != 0;
            if (inside) spans.push_back(CentresBetween(crossings[k].first, crossings[k + 1].first));
        }
        AddBand(region, y, y + 1, Joined(spans));
    }
    return true;
}

}  // namespace sim

using namespace sim;

// ---------------------------------------------------------------------------------------------
// Platform functions: making regions

static HRGN NewRegion(Region region) {
    HGDIOBJ handle = NewGdiObject(GDI_REGION, 0, 0, 0, 0);
    M.regions[handle] = std::move(region);
    return (HRGN)handle;
}

HRGN WINAPI CreateRectRgn(INT left, INT top, INT right, INT bottom) {
    if (Enter("CreateRectRgn", {left, top, right, bottom})) return 0;
    return NewRegion(RectRegion({left, top, right, bottom}));
}

HRGN WINAPI CreateRectRgnIndirect(const RECT *rect) {
    if (Enter("CreateRectRgnIndirect", {RectArg(rect, &RECT::left), RectArg(rect, &RECT::top),
                                        RectArg(rect, &RECT::right), RectArg(rect, &RECT::bottom)}))
        return 0;
    return rect ? NewRegion(RectRegion(*rect)) : 0;
}

static HRGN Rounded(RECT rect, long long width, long long height) {
    Region region;
    return RoundedRegion(rect, width, height, &region) ? NewRegion(std::move(region)) : 0;
}

HRGN WINAPI CreateEllipticRgn(INT left, INT top, INT right, INT bottom) {
    if (Enter("CreateEllipticRgn", {left, top, right, bottom})) return 0;
    return Rounded({left, top, right, bottom}, (long long)right - left, (long long)bottom - top);
}

HRGN WINAPI CreateEllipticRgnIndirect(const RECT *rect) {
    if (Enter("CreateEllipticRgnIndirect", {RectArg(rect, &RECT::left), RectArg(rect, &RECT::top),
                                            RectArg(rect, &RECT::right), RectArg(rect, &RECT::bottom)}))
        return 0;
    if (!rect) return 0;
    return Rounded(*rect, (long long)rect->right - rect->left, (long long)rect->bottom - rect->top);
}

HRGN WINAPI CreateRoundRectRgn(INT left, INT top, INT right, INT bottom, INT width, INT height) {
    if (Enter("CreateRoundRectRgn", {left, top, right, bottom, width, height})) return 0;
    return Rounded({left, top, right, bottom}, width, height);
}

HRGN WINAPI CreatePolygonRgn(const POINT *points, INT count, INT mode) {
    if (Enter("CreatePolygonRgn", {(const void *)points, count, mode})) return 0;
    if (!points || count < 2 || (mode != ALTERNATE && mode != WINDING)) return 0;
    Region region;
    return PolygonRegion(points, count, mode, &region) ? NewRegion(std::move(region)) : 0;
}

// ---------------------------------------------------------------------------------------------
// Platform functions: combining, moving and asking

// The target may be one of the sources.
INT WINAPI CombineRgn(HRGN target, HRGN a, HRGN b, INT mode) {
    if (Enter("CombineRgn", {target, a, b, mode})) return ERROR;
    Region *into = LiveRegion(target), *first = LiveRegion(a), *second = LiveRegion(b);
    if (!into || !first || mode < RGN_AND || mode > RGN_COPY) return ERROR;
    if (mode == RGN_COPY) {
        *into = Region(*first);
    } else {
        if (!second) return ERROR;
        *into = Combine(*first, *second, mode);
    }
    return RegionComplexity(*into);
}

INT WINAPI OffsetRgn(HRGN handle, INT dx, INT dy) {
    if (Enter("OffsetRgn", {handle, dx, dy})) return ERROR;
    Region *region = LiveRegion(handle);
    if (!region) return ERROR;
    for (Band &band : *region) {
        band.top += dy;
        band.bottom += dy;
        for (Span &span : band.spans) {
            span.left += dx;
            span.right += dx;
        }
    }
    return RegionComplexity(*region);
}

INT WINAPI GetRgnBox(HRGN handle, RECT *box) {
    if (Enter("GetRgnBox", {handle})) return ERROR;
    Region *region = LiveRegion(handle);
    if (!region || !box) return ERROR;
    *box = RegionBox(*region);
    return RegionComplexity(*region);
}

BOOL WINAPI PtInRegion(HRGN handle, INT x, INT y) {
    if (Enter("PtInRegion", {handle, x, y})) return FALSE;
    Region *region = LiveRegion(handle);
    return region && RegionContains(*region, x, y);
}

// The device context keeps a copy: the region may be deleted at once. No region: no clip.
INT WINAPI SelectClipRgn(HDC handle, HRGN region) {
    if (Enter("SelectClipRgn", {handle, region})) return ERROR;
    DeviceContext *dc = UsableDc(handle);
    if (!dc || (region && !LiveRegion(region))) return ERROR;
    return SetClip(dc, region ? LiveRegion(region) : nullptr);
}

// ---------------------------------------------------------------------------------------------
// Platform functions: painting. What a region's painting may touch is the region's box.

static BOOL PaintRegion(DrawOp::Kind kind, HDC handle, HRGN region, HBRUSH brush, int reach = 0) {
    DeviceContext *dc = UsableDc(handle);
    Region *shape = LiveRegion(region);
    if (!dc || !shape) return FALSE;
    DrawOp op = NewOp(kind);
    op.hollowBrush = false;
    if (kind == DrawOp::PaintRgn) BrushFacts(dc->selection.brush, &op);
    else if (kind != DrawOp::InvertRgn && !BrushFacts(brush, &op)) return FALSE;
    op.rect = RegionBox(*shape);
    RECT box = op.rect;
    if (!IsEmpty(box)) box = {box.left - reach, box.top - reach, box.right + reach, box.bottom + reach};
    op.bounds = op.hollowBrush ? RECT{0, 0, 0, 0} : box;
    AddDrawing(dc, op);
    return TRUE;
}

BOOL WINAPI FillRgn(HDC dc, HRGN region, HBRUSH brush) {
    if (Enter("FillRgn", {dc, region, brush})) return FALSE;
    return PaintRegion(DrawOp::FillRgn, dc, region, brush);
}

// The frame is drawn along the region's edge; counted as reaching its width or height beyond it.
BOOL WINAPI FrameRgn(HDC dc, HRGN region, HBRUSH brush, INT width, INT height) {
    if (Enter("FrameRgn", {dc, region, brush, width, height})) return FALSE;
    int reach = (int)std::min<long long>(std::max(std::llabs(width), std::llabs(height)), INT_MAX / 2);
    return PaintRegion(DrawOp::FrameRgn, dc, region, brush, reach);
}

BOOL WINAPI PaintRgn(HDC dc, HRGN region) {
    if (Enter("PaintRgn", {dc, region})) return FALSE;
    return PaintRegion(DrawOp::PaintRgn, dc, region, 0);
}

BOOL WINAPI InvertRgn(HDC dc, HRGN region) {
    if (Enter("InvertRgn", {dc, region})) return FALSE;
    return PaintRegion(DrawOp::InvertRgn, dc, region, 0);
}
