// Simulated arithmetic of the platform: the rectangle helpers and MulDiv. They work on the
// program's own memory and fail only by their arguments (a null pointer, a zero divisor), so
// FailCall does not reach them.
#include "sim/machine.h"

#include <algorithm>
#include <climits>

namespace sim {

RECT Intersection(const RECT &a, const RECT &b) {
    RECT both = {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                 std::min(a.bottom, b.bottom)};
    return IsEmpty(both) ? RECT{0, 0, 0, 0} : both;
}

RECT Bounding(const RECT &a, const RECT &b) {
    if (IsEmpty(a)) return IsEmpty(b) ? RECT{0, 0, 0, 0} : b;
    if (IsEmpty(b)) return a;
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

}  // namespace sim

using namespace sim;

// ---------------------------------------------------------------------------------------------
// Platform functions: rectangles. A rectangle is recorded by its four sides, a null one as 0.

#define SIDES(rect) RectArg(rect, &RECT::left), RectArg(rect, &RECT::top), RectArg(rect, &RECT::right), \
                    RectArg(rect, &RECT::bottom)

BOOL WINAPI SetRect(RECT *rect, INT left, INT top, INT right, INT bottom) {
    Enter("SetRect", {left, top, right, bottom});
    if (!rect) return FALSE;
    *rect = {left, top, right, bottom};
    return TRUE;
}

BOOL WINAPI SetRectEmpty(RECT *rect) {
    Enter("SetRectEmpty", {});
    if (!rect) return FALSE;
    *rect = {0, 0, 0, 0};
    return TRUE;
}

BOOL WINAPI CopyRect(RECT *target, const RECT *source) {
    Enter("CopyRect", {SIDES(source)});
    if (!target || !source) return FALSE;
    *target = *source;
    return TRUE;
}

BOOL WINAPI OffsetRect(RECT *rect, INT dx, INT dy) {
    Enter("OffsetRect", {SIDES(rect), dx, dy});
    if (!rect) return FALSE;
    *rect = {rect->left + dx, rect->top + dy, rect->right + dx, rect->bottom + dy};
    return TRUE;
}

BOOL WINAPI InflateRect(RECT *rect, INT dx, INT dy) {
    Enter("InflateRect", {SIDES(rect), dx, dy});
    if (!rect) return FALSE;
    *rect = {rect->left - dx, rect->top - dy, rect->right + dx, rect->bottom + dy};
    return TRUE;
}

// Rectangles that do not overlap leave an empty target, (0, 0, 0, 0), and FALSE.
BOOL WINAPI IntersectRect(RECT *target, const RECT *a, const RECT *b) {
    Enter("IntersectRect", {SIDES(a), SIDES(b)});
    if (!target || !a || !b) return FALSE;
    *target = Intersection(*a, *b);
    return !IsEmpty(*target);
}

// An empty rectangle adds nothing; two empty ones leave an empty target and FALSE.
BOOL WINAPI UnionRect(RECT *target, const RECT *a, const RECT *b) {
    Enter("UnionRect", {SIDES(a), SIDES(b)});
    if (!target || !a || !b) return FALSE;
    *target = Bounding(*a, *b);
    return !IsEmpty(*target);
}

// a without b, where that is a rectangle: b must cover a's whole width (or height) from one side.
// Otherwise the target is a itself.
BOOL WINAPI SubtractRect(RECT *target, const RECT *a, const RECT *b) {
    Enter("SubtractRect", {SIDES(a), SIDES(b)});
    if (!target || !a || !b) return FALSE;
    if (IsEmpty(*a)) {
        *target = {0, 0, 0, 0};
        return FALSE;
    }
    RECT rest = *a;
    RECT cut = Intersection(*a, *b);
    if (!IsEmpty(cut)) {
        bool fullHeight = cut.top == a->top && cut.bottom == a->bottom;
        bool fullWidth = cut.left == a->left && cut.right == a->right;
        if (fullHeight && fullWidth) rest = {0, 0, 0, 0};
        else if (fullHeight && cut.left == a->left) rest.left = cut.right;
        else if (fullHeight && cut.right == a->right) rest.right = cut.left;
        else if (fullWidth && cut.top == a->top) rest.top = cut.bottom;
        else if (fullWidth && cut.bottom == a->bottom) rest.bottom = cut.top;
    }
    *target = rest;
    return !IsEmpty(rest);
}

BOOL WINAPI EqualRect(const RECT *a, const RECT *b) {
    Enter("EqualRect", {SIDES(a), SIDES(b)});
    if (!a || !b) return FALSE;
    return a->left == b->left && a->top == b->top && a->right == b->right && a->bottom == b->bottom;
}

BOOL WINAPI IsRectEmpty(const RECT *rect) {
    Enter("IsRectEmpty", {SIDES(rect)});
    return !rect || IsEmpty(*rect);
}

// The right and bottom edges are outside, as everywhere in GDI.
BOOL WINAPI PtInRect(const RECT *rect, POINT point) {
    Enter("PtInRect", {SIDES(rect), point.x, point.y});
    if (!rect) return FALSE;
    return point.x >= rect->left && point.x < rect->right && point.y >= rect->top && point.y < rect->bottom;
}

// ---------------------------------------------------------------------------------------------
// Platform functions: MulDiv

// a * b / c without overflow on the way, rounded half away from zero; -1 for a zero divisor or a
// result beyond 32 bits.
INT WINAPI MulDiv(INT a, INT b, INT c) {
    Enter("MulDiv", {a, b, c});
    if (c == 0) return -1;
    long long product = (long long)a * b, divisor = c;
    if (divisor < 0) {
        product = -product;
        divisor = -divisor;
    }
    long long half = divisor / 2;
    long long result = (product >= 0 ? product + half : product - half) / divisor;
    return result > INT_MAX || result < -INT_MAX ? -1 : (INT)result;
}
