// Simulated text: what a font measures, where a text lies by the device context's alignment, and
// the three calls that draw text. Every character of a font is a cell of one size, the height and
// width the font asked for (a stock font counts as the system font, 8 x 16): plausible fixed
// metrics, not those of a face, so that an effect's layout arithmetic has numbers to work with.
#include "sim/machine.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>

namespace sim {

static const RECT NOTHING = {0, 0, 0, 0};
// A height of 0 asks for the default size: the system font's.
static const LONG DEFAULT_HEIGHT = 16;
// A font's cell is at most this high or wide; a text's extent stays within GDI's 27-bit
// coordinates.
static const long long LARGEST_CELL = 0x7FFF;
static const long long MOST_EXTENT = 1 << 27;
// A count of characters above this is a negative one cast to unsigned: refused, its text unread.
static const UINT MOST_CHARACTERS = INT_MAX;

struct Cell {
    LONG width, height, ascent;
};

static LONG Within(long long value, long long limit) { return (LONG)std::max(-limit, std::min(value, limit)); }

static Cell CellOf(const LOGFONTA &font) {
    LONG height = font.lfHeight ? Within(std::llabs(font.lfHeight), LARGEST_CELL) : DEFAULT_HEIGHT;
    LONG width = font.lfWidth ? Within(std::llabs(font.lfWidth), LARGEST_CELL) : std::max<LONG>(1, height / 2);
    return {width, height, height - height / 4};
}

static LONG TextWidth(const Cell &cell, long long count) { return Within(count * cell.width, MOST_EXTENT); }

static RECT Box(long long left, long long top, long long right, long long bottom) {
    return {Within(left, LARGEST_LONG), Within(top, LARGEST_LONG), Within(right, LARGEST_LONG), Within(bottom, LARGEST_LONG)};
}

// Where a text of that width lies, its reference point at: the alignment's horizontal part says
// which end (or the middle) is there, its vertical part whether the top, the baseline or the bottom.
static RECT AlignedBox(UINT align, POINT at, LONG width, const LOGFONTA &font) {
    Cell cell = CellOf(font);
    // Turned text may go any way from its reference point: every way is counted.
    if (font.lfEscapement % 3600 != 0) {
        long long reach = (long long)std::abs(width) + cell.height;
        return Box(at.x - reach, at.y - reach, at.x + reach, at.y + reach);
    }
    long long left = at.x, top = at.y;
    if ((align & TA_CENTER) == TA_CENTER) left -= width / 2;
    else if (align & TA_RIGHT) left -= width;
    if ((align & TA_BASELINE) == TA_BASELINE) top -= cell.ascent;
    else if (align & TA_BOTTOM) top -= cell.height;
    return Ordered(Box(left, top, left + width, top + cell.height));
}

// The reference point: (x, y), or with TA_UPDATECP the current position, which the text then
// moves past (to its right end when it is left-aligned, to its left end when right-aligned).
static POINT Reference(DeviceContext *dc, int x, int y, LONG width) {
    if (!(dc->textAlign & TA_UPDATECP)) return {x, y};
    POINT at = dc->position;
    UINT horizontal = dc->textAlign & TA_CENTER;
    if (horizontal == TA_LEFT) dc->position.x = Within((long long)at.x + width, LARGEST_LONG);
    else if (horizontal == TA_RIGHT) dc->position.x = Within((long long)at.x - width, LARGEST_LONG);
    return at;
}

static DrawOp TextOp(DrawOp::Kind kind, const DeviceContext *dc, POINT at, const std::string &text) {
    DrawOp op = NewOp(kind);
    op.to = at;
    op.color = dc->textColor;
    op.text = text;
    return op;
}

// The lines DrawTextA makes of a text: one per line end ("\r\n", "\n" or "\r") unless
// DT_SINGLELINE, and with DT_WORDBREAK a new one between words wherever a line would be wider
// than the rectangle (a word wider than that stays whole on its own line).
static std::vector<std::string> BrokenLines(const std::string &text, UINT format, LONG width, const Cell &cell) {
    std::vector<std::string> lines;
    if (text.empty()) return lines;
    std::string line;
    bool breaksLines = !(format & DT_SINGLELINE);
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (breaksLines && (c == '\r' || c == '\n')) {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            lines.push_back(std::exchange(line, std::string()));
            continue;
        }
        line += c;
    }
    if (!line.empty()) lines.push_back(line);
    if (!breaksLines || !(format & DT_WORDBREAK)) return lines;
    std::vector<std::string> wrapped;
    for (const std::string &whole : lines) {
        std::string current;
        size_t start = 0;
        while (start <= whole.size()) {
            size_t end = std::min(whole.find(' ', start), whole.size());
            std::string word = whole.substr(start, end - start);
            std::string longer = current.empty() ? word : current + " " + word;
            if (!current.empty() && TextWidth(cell, (long long)longer.size()) > width) {
                wrapped.push_back(current);
                current = word;
            } else {
                current = longer;
            }
            start = end + 1;
        }
        wrapped.push_back(current);
    }
    return wrapped;
}

}  // namespace sim

using namespace sim;

// ---------------------------------------------------------------------------------------------
// Platform functions: measuring and alignment

BOOL WINAPI GetTextExtentPoint32A(HDC handle, LPCSTR text, INT count, SIZE *size) {
    std::string shown = text && count > 0 ? std::string(text, count) : std::string();
    if (Enter("GetTextExtentPoint32A", {handle, shown.c_str(), count})) return FALSE;
    DeviceContext *dc = UsableDc(handle);
    if (!dc || !size || count < 0 || (count && !text)) return FALSE;
    Cell cell = CellOf(SelectedFont(dc));
    *size = {TextWidth(cell, count), cell.height};
    return TRUE;
}

BOOL WINAPI GetTextMetricsA(HDC handle, TEXTMETRICA *metrics) {
    if (Enter("GetTextMetricsA", {handle})) return FALSE;
    DeviceContext *dc = UsableDc(handle);
    if (!dc || !metrics) return FALSE;
    LOGFONTA font = SelectedFont(dc);
    Cell cell = CellOf(font);
    memset(metrics, 0, sizeof *metrics);
    metrics->tmHeight = cell.height;
    metrics->tmAscent = cell.ascent;
    metrics->tmDescent = cell.height - cell.ascent;
    metrics->tmAveCharWidth = cell.width;
    metrics->tmMaxCharWidth = cell.width;
    metrics->tmWeight = font.lfWeight ? font.lfWeight : FW_NORMAL;
    metrics->tmDigitizedAspectX = metrics->tmDigitizedAspectY = 96;
    metrics->tmFirstChar = ' ';
    metrics->tmLastChar = (BYTE)0xFF;
    metrics->tmDefaultChar = '?';
    metrics->tmBreakChar = ' ';
    metrics->tmItalic = font.lfItalic;
    metrics->tmUnderlined = font.lfUnderline;
    metrics->tmStruckOut = font.lfStrikeOut;
    // The family as asked; the pitch bit clear: every cell is as wide as the next.
    metrics->tmPitchAndFamily = font.lfPitchAndFamily & 0xF0;
    metrics->tmCharSet = font.lfCharSet;
    return TRUE;
}

UINT WINAPI SetTextAlign(HDC handle, UINT align) {
    if (Enter("SetTextAlign", {handle, align})) return GDI_ERROR;
    DeviceContext *dc = UsableDc(handle);
    if (!dc) return GDI_ERROR;
    return std::exchange(dc->textAlign, align);
}

// ---------------------------------------------------------------------------------------------
// Platform functions: drawing text

BOOL WINAPI TextOutA(HDC handle, INT x, INT y, LPCSTR text, INT count) {
    std::string shown = text && count > 0 ? std::string(text, count) : std::string();
    if (Enter("TextOutA", {handle, x, y, shown.c_str(), count})) return FALSE;
    DeviceContext *dc = UsableDc(handle);
    if (!dc || count < 0 || (count && !text)) return FALSE;
    LOGFONTA font = SelectedFont(dc);
    LONG width = TextWidth(CellOf(font), count);
    POINT at = Reference(dc, x, y, width);
    DrawOp op = TextOp(DrawOp::Text, dc, at, shown);
    op.bounds = count ? AlignedBox(dc->textAlign, at, width, font) : NOTHING;
    AddDrawing(dc, op);
    return TRUE;
}

// The rectangle is filled with the background colour (ETO_OPAQUE), clips the text (ETO_CLIPPED),
// or both; with no text, an opaque rectangle is a fill of its own. Widths, when given, space the
// characters.
BOOL WINAPI ExtTextOutA(HDC handle, INT x, INT y, UINT options, const RECT *rect, LPCSTR text, UINT count,
                        const INT *widths) {
    bool readable = text && count > 0 && count <= MOST_CHARACTERS;
    std::string shown = readable ? std::string(text, count) : std::string();
    if (Enter("ExtTextOutA", {handle, x, y, options, RectArg(rect, &RECT::left), RectArg(rect, &RECT::top),
                              RectArg(rect, &RECT::right), RectArg(rect, &RECT::bottom), shown.c_str(), count}))
        return FALSE;
    DeviceContext *dc = UsableDc(handle);
    if (!dc || (count && !readable)) return FALSE;
    LOGFONTA font = SelectedFont(dc);
    long long spaced = 0;
    for (UINT i = 0; widths && i < count; ++i) spaced += widths[i];
    LONG width = widths ? Within(spaced, MOST_EXTENT) : TextWidth(CellOf(font), count);
    POINT at = Reference(dc, x, y, width);
    DrawOp op = TextOp(DrawOp::ExtText, dc, at, shown);
    RECT box = count ? AlignedBox(dc->textAlign, at, width, font) : NOTHING;
    if (rect) {
        op.rect = *rect;
        if (options & ETO_OPAQUE) {
            box = Bounding(box, Ordered(*rect));
            op.hollowBrush = false;
            op.brushColor = dc->bkColor;
        }
        if (options & ETO_CLIPPED) box = Intersection(box, Ordered(*rect));
    }
    op.bounds = box;
    AddDrawing(dc, op);
    return TRUE;
}

// Lines, each aligned in the rectangle (DT_LEFT, DT_CENTER, DT_RIGHT); a single line also placed
// in its height (DT_TOP, DT_VCENTER, DT_BOTTOM). DT_CALCRECT only measures: the rectangle grows
// or shrinks to the text, nothing is drawn. Unless DT_NOCLIP, nothing lands outside the rectangle.
// Returns the text's height; placed by DT_VCENTER or DT_BOTTOM, the offset of its bottom from the
// rectangle's top.
INT WINAPI DrawTextA(HDC handle, LPCSTR text, INT count, RECT *rect, UINT format) {
    std::string shown = !text ? std::string() : count < 0 ? std::string(text) : std::string(text, count);
    if (Enter("DrawTextA", {handle, shown.c_str(), count, RectArg(rect, &RECT::left), RectArg(rect, &RECT::top),
                            RectArg(rect, &RECT::right), RectArg(rect, &RECT::bottom), format}))
        return 0;
    DeviceContext *dc = UsableDc(handle);
    if (!dc || !rect || (count && !text)) return 0;
    Cell cell = CellOf(SelectedFont(dc));
    RECT area = *rect;
    std::vector<std::string> lines = BrokenLines(shown, format, area.right - area.left, cell);
    LONG height = Within((long long)lines.size() * cell.height, MOST_EXTENT), widest = 0;
    for (const std::string &line : lines) widest = std::max(widest, TextWidth(cell, (long long)line.size()));
    if (format & DT_CALCRECT) {
        rect->right = Within((long long)rect->left + widest, LARGEST_LONG);
        rect->bottom = Within((long long)rect->top + height, LARGEST_LONG);
        return height;
    }
    long long top = area.top;
    if ((format & DT_SINGLELINE) && (format & DT_VCENTER)) top += ((long long)area.bottom - area.top - height) / 2;
    else if ((format & DT_SINGLELINE) && (format & DT_BOTTOM)) top = (long long)area.bottom - height;
    RECT box = NOTHING;
    POINT start = {area.left, (LONG)top};
    for (size_t i = 0; i < lines.size(); ++i) {
        LONG width = TextWidth(cell, (long long)lines[i].size());
        long long left = area.left;
        if (format & DT_CENTER) left += ((long long)area.right - area.left - width) / 2;
        else if (format & DT_RIGHT) left = (long long)area.right - width;
        long long lineTop = top + (long long)i * cell.height;
        if (i == 0) start = {Within(left, LARGEST_LONG), Within(lineTop, LARGEST_LONG)};
        box = Bounding(box, Box(left, lineTop, left + width, lineTop + cell.height));
    }
    DrawOp op = TextOp(DrawOp::FormattedText, dc, start, shown);
    op.rect = area;
    op.bounds = format & DT_NOCLIP ? box : Intersection(box, Ordered(area));
    AddDrawing(dc, op);
    bool placed = (format & DT_SINGLELINE) && (format & (DT_VCENTER | DT_BOTTOM));
    return placed ? Within(top - area.top + height, INT_MAX) : height;
}
