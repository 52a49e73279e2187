// Simulated bitmaps as pictures: bitmaps from the program's resources, monochrome masks, pattern
// brushes, the screen as it was before the program's windows covered it, and what GetObjectA
// says of an object. The simulator keeps no pixels GDI draws; a picture is a digest that travels
// with each copy of it (a transfer from the screen, from a bitmap that holds one), so that what
// an effect puts on its window from them is compared between runs.
#include "sim/machine.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace sim {

static const DWORD DESKTOP_PICTURE = 0x0DE5C7A1;  // the screen's, until a test sets another
static const int DISPLAY_DEPTH = 32;              // GetDeviceCaps(BITSPIXEL)

DWORD FoldDigest(DWORD digest, std::initializer_list<LONG> values) {
    const DWORD PRIME = 16777619u;
    for (LONG value : values) digest = (digest ^ (DWORD)value) * PRIME;
    return digest ? digest : 1;
}

static DWORD ScreenPicture() { return M.screenPicture ? M.screenPicture : DESKTOP_PICTURE; }

DWORD PictureOf(const DeviceContext *dc) {
    if (!dc->memory) return dc->window ? 0 : ScreenPicture();
    HGDIOBJ bitmap = dc->selection.bitmap;
    if (DWORD pixels = DibSectionDigest(bitmap)) return pixels;
    GdiObject *record = LiveGdiObject(bitmap, GDI_BITMAP);
    return record ? record->picture : 0;
}

// A DIB section's pixels are the program's memory, which GDI's drawing does not change here.
void TakePicture(DeviceContext *dc, const DrawOp &op) {
    if (!dc->memory || !op.pixels) return;
    GdiObject *record = LiveGdiObject(dc->selection.bitmap, GDI_BITMAP);
    if (!record || record->style == DIB_SECTION) return;
    record->picture = FoldDigest(record->picture, {(LONG)op.pixels, op.rect.left, op.rect.top, op.rect.right,
                                                   op.rect.bottom, (LONG)op.rop});
}

// The bits of a bitmap a pixel a device context makes compatible ones with: a memory device
// context's bitmap's (the default one is monochrome), or the display's.
int CompatibleDepth(const DeviceContext *dc) {
    if (!dc->memory) return DISPLAY_DEPTH;
    GdiObject *record = LiveGdiObject(dc->selection.bitmap, GDI_BITMAP);
    return record ? record->depth : 1;
}

// A bitmap resource is a DIB without its file header: a BITMAPINFOHEADER (or the older
// BITMAPCOREHEADER), its colours, its rows.
struct ResourceBitmap {
    LONG width, height;
    WORD bits;
    bool monochrome;  // one bit a pixel, black and white: the platform makes it a monochrome bitmap
};

static bool ReadResourceBitmap(const std::vector<BYTE> &data, ResourceBitmap *bitmap) {
    DWORD size;
    if (data.size() < sizeof(BITMAPCOREHEADER)) return false;
    memcpy(&size, data.data(), sizeof size);
    size_t colourSize = sizeof(RGBQUAD);
    if (size == sizeof(BITMAPCOREHEADER)) {
        BITMAPCOREHEADER core;
        memcpy(&core, data.data(), sizeof core);
        *bitmap = {core.bcWidth, core.bcHeight, core.bcBitCount, false};
        colourSize = sizeof(RGBTRIPLE);
    } else {
        BITMAPINFOHEADER info;
        if (size < sizeof info || data.size() < sizeof info) return false;
        memcpy(&info, data.data(), sizeof info);
        *bitmap = {info.biWidth, std::abs(info.biHeight), info.biBitCount, false};
    }
    if (bitmap->width <= 0 || bitmap->height <= 0 || bitmap->bits == 0 || bitmap->bits > 32) return false;
    if (bitmap->bits == 1 && data.size() >= size + 2 * colourSize) {
        const BYTE *colours = data.data() + size;
        bool black = !colours[0] && !colours[1] && !colours[2];
        bool white = colours[colourSize] == 255 && colours[colourSize + 1] == 255 && colours[colourSize + 2] == 255;
        bitmap->monochrome = black && white;
    }
    return true;
}

static HGDIOBJ NewBitmap(LONG width, LONG height, int depth, DWORD picture) {
    HGDIOBJ handle = NewGdiObject(GDI_BITMAP, 0, width, height, 0);
    GdiObject *record = LiveGdiObject(handle, GDI_BITMAP);
    record->depth = depth;
    record->picture = picture;
    return handle;
}

// The program's bitmap resource as a bitmap of the display's (LoadBitmapA always; LoadImageA
// unless asked for a DIB section), of the size asked for (0: its own).
static HBITMAP LoadProgramBitmap(HINSTANCE instance, LPCSTR name, LONG width, LONG height, bool dibSection) {
    const Resource *resource = FindProgramResource(instance, name, (LPCSTR)RT_BITMAP);
    ResourceBitmap bitmap;
    if (!resource || !ReadResourceBitmap(resource->data, &bitmap)) return 0;
    DWORD picture = Digest(resource->data.data(), resource->data.size());
    if (width || height) picture = FoldDigest(picture, {width, height});
    width = width ? width : bitmap.width;
    height = height ? height : bitmap.height;
    if (!dibSection) return (HBITMAP)NewBitmap(width, height, bitmap.monochrome ? 1 : DISPLAY_DEPTH, picture);
    // A section of the resource's own depth, bottom-up as the resource is.
    HGDIOBJ handle = NewGdiObject(GDI_BITMAP, DIB_SECTION, width, height, 0);
    GdiObject *record = LiveGdiObject(handle, GDI_BITMAP);
    record->depth = bitmap.bits;
    size_t stride = ((size_t)width * bitmap.bits + 31) / 32 * 4;
    std::vector<BYTE> &pixels = M.dibBits[handle];
    pixels.assign(stride * height, 0);
    memcpy(pixels.data(), &picture, std::min(sizeof picture, pixels.size()));
    return (HBITMAP)handle;
}

static bool Alive(HGDIOBJ object) {
    if (StockIndexOf(object) != NOT_STOCK) return true;
    for (GdiKind kind : {GDI_PEN, GDI_BRUSH, GDI_BITMAP, GDI_FONT})
        if (LiveGdiObject(object, kind)) return true;
    return false;
}

static Arg NameArg(LPCSTR name) { return IS_INTRESOURCE(name) ? Arg((ULONG_PTR)name) : Arg(name); }

// What GetObjectA writes for each kind: bytes asked for, and the structure filled.
static int CopyOut(const void *record, int recordSize, int size, void *buffer) {
    if (!buffer) return recordSize;
    int copied = std::min(size, recordSize);
    if (copied <= 0) return 0;
    memcpy(buffer, record, copied);
    return copied;
}

static int BitmapObject(HGDIOBJ object, int size, void *buffer) {
    GdiObject *record = LiveGdiObject(object, GDI_BITMAP);
    SIZE extent = BitmapSize(object);
    int depth = record ? record->depth : 1;
    bool dib = record && record->style == DIB_SECTION;
    DIBSECTION section = {};
    BITMAP &bitmap = section.dsBm;
    bitmap.bmWidth = extent.cx;
    bitmap.bmHeight = extent.cy;
    // A device's bitmap has rows of whole WORDs; a DIB section, of whole DWORDs.
    bitmap.bmWidthBytes = dib ? (extent.cx * depth + 31) / 32 * 4 : (extent.cx * depth + 15) / 16 * 2;
    bitmap.bmPlanes = 1;
    bitmap.bmBitsPixel = (WORD)depth;
    if (dib) {
        auto pixels = M.dibBits.find(object);
        if (pixels != M.dibBits.end()) bitmap.bmBits = pixels->second.data();
        BITMAPINFOHEADER &header = section.dsBmih;
        header.biSize = sizeof header;
        header.biWidth = extent.cx;
        header.biHeight = record->height;
        header.biPlanes = 1;
        header.biBitCount = (WORD)depth;
        header.biCompression = BI_RGB;
        header.biSizeImage = bitmap.bmWidthBytes * extent.cy;
    }
    // A DIB section's whole story only to a buffer that holds it; a BITMAP needs a whole one.
    if (!buffer) return dib ? sizeof section : sizeof bitmap;
    if (dib && size >= (int)sizeof section) return CopyOut(&section, sizeof section, size, buffer);
    return size >= (int)sizeof bitmap ? CopyOut(&bitmap, sizeof bitmap, size, buffer) : 0;
}

static int PenObject(HGDIOBJ object, int size, void *buffer) {
    DrawOp facts = NewOp(DrawOp::Line);
    PenFacts(object, &facts);
    LOGPEN pen = {facts.penStyle, {facts.penWidth, 0}, facts.penColor};
    return CopyOut(&pen, sizeof pen, size, buffer);
}

static int BrushObject(HGDIOBJ object, int size, void *buffer) {
    DrawOp facts = NewOp(DrawOp::Fill);
    BrushFacts(object, &facts);
    GdiObject *record = LiveGdiObject(object, GDI_BRUSH);
    LOGBRUSH brush = {record ? record->style : facts.hollowBrush ? (UINT)BS_NULL : (UINT)BS_SOLID,
                      facts.brushColor, 0};
    return CopyOut(&brush, sizeof brush, size, buffer);
}

}  // namespace sim

using namespace sim;

// ---------------------------------------------------------------------------------------------
// Test controls

void sim::SetScreenPicture(DWORD digest) { M.screenPicture = digest; }

// ---------------------------------------------------------------------------------------------
// Platform functions

// The system's own bitmaps (a null instance, OBM_...) are not simulated.
HBITMAP WINAPI LoadBitmapA(HINSTANCE instance, LPCSTR name) {
    if (Enter("LoadBitmapA", {instance, NameArg(name)})) return 0;
    return LoadProgramBitmap(instance, name, 0, 0, false);
}

// Bitmaps of the program's resources only: the machine has no files (LR_LOADFROMFILE), and icons
// and cursors are not simulated.
HANDLE WINAPI LoadImageA(HINSTANCE instance, LPCSTR name, UINT type, INT width, INT height, UINT flags) {
    if (Enter("LoadImageA", {instance, NameArg(name), type, width, height, flags})) return 0;
    if (type != IMAGE_BITMAP || (flags & LR_LOADFROMFILE) || width < 0 || height < 0) return 0;
    return LoadProgramBitmap(instance, name, width, height, (flags & LR_CREATEDIBSECTION) != 0);
}

// Rows of whole WORDs, as the platform takes them; a bitmap of no size is the default one.
HBITMAP WINAPI CreateBitmap(INT width, INT height, UINT planes, UINT bitsPerPixel, const void *bits) {
    if (Enter("CreateBitmap", {width, height, planes, bitsPerPixel, bits})) return 0;
    UINT depth = planes * bitsPerPixel;
    if (width < 0 || height < 0 || planes > 32 || bitsPerPixel > 32 || depth > 32) return 0;
    if (width == 0 || height == 0) return (HBITMAP)DefaultBitmapHandle();
    DWORD picture = 0;
    if (bits) {
        unsigned long long stride = ((unsigned long long)width * depth + 15) / 16 * 2;
        picture = Digest((const BYTE *)bits, stride * (unsigned long long)height);
    }
    return (HBITMAP)NewBitmap(width, height, depth ? (int)depth : 1, picture);
}

// The brush keeps the bitmap's picture: the bitmap may be deleted once the brush is made (on
// Windows 95 only its first 8 x 8 pixels make the pattern).
HBRUSH WINAPI CreatePatternBrush(HBITMAP bitmap) {
    if (Enter("CreatePatternBrush", {bitmap})) return 0;
    GdiObject *record = LiveGdiObject(bitmap, GDI_BITMAP);
    if (!record) return 0;
    DWORD picture = record->style == DIB_SECTION ? DibSectionDigest(bitmap) : record->picture;
    HGDIOBJ brush = NewGdiObject(GDI_BRUSH, BS_PATTERN, 0, 0, 0);
    LiveGdiObject(brush, GDI_BRUSH)->picture = picture;
    return (HBRUSH)brush;
}

// Bitmaps (BITMAP, or DIBSECTION for a section), pens (LOGPEN), brushes (LOGBRUSH) and fonts
// (LOGFONTA); the bytes written, or with no buffer the bytes it takes.
INT WINAPI GetObjectA(HGDIOBJ object, INT size, LPVOID buffer) {
    if (Enter("GetObjectA", {object, size, (const void *)buffer})) return 0;
    if (size < 0 || !Alive(object)) return 0;
    std::string kind = GdiObjectFactsOf(object).kind;
    if (kind == "bitmap" || kind == "DIB section") return BitmapObject(object, size, buffer);
    if (kind == "pen") return PenObject(object, size, buffer);
    if (kind == "brush") return BrushObject(object, size, buffer);
    if (kind == "font") {
        DeviceContext fontHolder = {};
        fontHolder.selection.font = object;
        LOGFONTA font = SelectedFont(&fontHolder);
        return CopyOut(&font, sizeof font, size, buffer);
    }
    return 0;
}
