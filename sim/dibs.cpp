// Simulated device-independent bitmaps: DIB sections, whose pixels are memory the program writes
// (made zero, freed with the section), the transfers of a program's own pixels to a device
// context, and the device's facts. Nothing drawn is kept as pixels: GDI's drawing into a DIB
// section leaves its memory as the program last wrote it.
#include "sim/machine.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace sim {

// Bigger pixels than these run the platform out of memory long before; refused here.
static const unsigned long long MOST_DIB_BYTES = 256ull << 20;

// The shape of a program's pixels as a BITMAPINFO describes them.
struct DibLayout {
    LONG width, height;  // height as rows, whichever way they run
    unsigned long long stride, bytes;
};

static bool Layout(const BITMAPINFO *info, DibLayout *layout) {
    if (!info) return false;
    const BITMAPINFOHEADER &header = info->bmiHeader;
    WORD bits = header.biBitCount;
    bool depthKnown = bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    bool packing = header.biCompression == BI_RGB || (header.biCompression == BI_BITFIELDS && (bits == 16 || bits == 32));
    if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biWidth <= 0 || header.biHeight == 0 ||
        header.biPlanes != 1 || !depthKnown || !packing)
        return false;
    layout->width = header.biWidth;
    long long rows = std::llabs((long long)header.biHeight);
    layout->height = (LONG)std::min<long long>(rows, LARGEST_LONG);
    // Each row is padded to a whole number of 32-bit words.
    layout->stride = ((unsigned long long)header.biWidth * bits + 31) / 32 * 4;
    layout->bytes = layout->stride * (unsigned long long)rows;
    return layout->bytes <= MOST_DIB_BYTES;
}

static bool KnownUsage(UINT usage) { return usage == DIB_RGB_COLORS || usage == DIB_PAL_COLORS; }

// The platform reads the program's pixels: so does the simulator, the first and the last byte of
// what the call takes, so that pixels too short for their header fault here too (under a
// sanitizer, or where the memory ends).
static void ReadPixels(const void *bits, unsigned long long bytes) {
    if (!bits || bytes == 0) return;
    const volatile BYTE *pixels = (const volatile BYTE *)bits;
    (void)pixels[0];
    (void)pixels[bytes - 1];
}

// FNV-1a over the pixels, eight bytes a step (a large section is digested every tick): equal
// pixels, equal digests, from one run to the next, and any one word changed changes it.
static const ULONGLONG DIGEST_START = 14695981039346656037ull;

static ULONGLONG Digested(ULONGLONG digest, const BYTE *bytes, unsigned long long count) {
    const unsigned long long PRIME = 1099511628211ull;
    unsigned long long word, i = 0;
    for (; i + sizeof word <= count; i += sizeof word) {
        memcpy(&word, bytes + i, sizeof word);
        digest = (digest ^ word) * PRIME;
    }
    for (; i < count; ++i) digest = (digest ^ bytes[i]) * PRIME;
    return digest;
}

static DWORD Folded(ULONGLONG digest) {
    DWORD folded = (DWORD)(digest ^ (digest >> 32));
    return folded ? folded : 1;
}

DWORD Digest(const BYTE *bytes, unsigned long long count) { return Folded(Digested(DIGEST_START, bytes, count)); }

// A section's digest taken again costs only what changed since it was last taken: from the first
// chunk that differs from the pixels then, on. A section blitted every tick mostly stays as it
// was, and a blit of a full-screen one would digest megabytes a tick.
static const size_t DIGEST_CHUNK = 1 << 16;  // bytes, a whole number of the digest's steps

static DWORD RememberedDigest(DibDigestMemo &memo, const std::vector<BYTE> &pixels) {
    size_t count = pixels.size(), chunks = (count + DIGEST_CHUNK - 1) / DIGEST_CHUNK, first = 0;
    auto length = [&](size_t chunk) { return std::min(DIGEST_CHUNK, count - chunk * DIGEST_CHUNK); };
    if (memo.seen.size() == count && memo.states.size() == chunks + 1) {
        while (first < chunks &&
               memcmp(&memo.seen[first * DIGEST_CHUNK], &pixels[first * DIGEST_CHUNK], length(first)) == 0)
            ++first;
    } else {
        memo.seen.assign(count, 0);
        memo.states.assign(chunks + 1, DIGEST_START);
    }
    for (size_t chunk = first; chunk < chunks; ++chunk) {
        const BYTE *bytes = &pixels[chunk * DIGEST_CHUNK];
        memo.states[chunk + 1] = Digested(memo.states[chunk], bytes, length(chunk));
        memcpy(&memo.seen[chunk * DIGEST_CHUNK], bytes, length(chunk));
    }
    return Folded(memo.states[chunks]);
}

DWORD DibSectionDigest(HGDIOBJ bitmap) {
    auto found = M.dibBits.find(bitmap);
    return found == M.dibBits.end() ? 0 : RememberedDigest(M.dibDigests[bitmap], found->second);
}

static RECT Destination(long long x, long long y, long long width, long long height) {
    auto within = [](long long value) { return (LONG)std::max<long long>(SMALLEST_LONG, std::min<long long>(value, LARGEST_LONG)); };
    return {within(x), within(y), within(x + width), within(y + height)};
}

static DrawOp Transfer(DrawOp::Kind kind, RECT target, RECT source, DWORD rop) {
    DrawOp op = NewOp(kind);
    op.rect = target;
    op.sourceRect = source;
    op.rop = rop;
    op.bounds = Ordered(target);
    return op;
}

}  // namespace sim

using namespace sim;

// ---------------------------------------------------------------------------------------------
// Platform functions: DIB sections

// The simulator has no file mappings: a section is refused. The device context matters only for
// DIB_PAL_COLORS, which the simulator does not look up.
HBITMAP WINAPI CreateDIBSection(HDC dc, const BITMAPINFO *info, UINT usage, void **bits, HANDLE section,
                                DWORD offset) {
    const BITMAPINFOHEADER *header = info ? &info->bmiHeader : nullptr;
    bool failed = Enter("CreateDIBSection",
                        {dc, header ? header->biWidth : 0, header ? header->biHeight : 0,
                         header ? header->biBitCount : 0, header ? header->biCompression : 0, usage, section, offset});
    if (bits) *bits = nullptr;
    DibLayout layout;
    if (failed || !Layout(info, &layout) || !KnownUsage(usage) || section) return 0;
    HGDIOBJ handle = NewGdiObject(GDI_BITMAP, DIB_SECTION, layout.width, header->biHeight, 0);
    LiveGdiObject(handle, GDI_BITMAP)->depth = header->biBitCount;
    std::vector<BYTE> &pixels = M.dibBits[handle];
    pixels.assign(layout.bytes, 0);
    if (bits) *bits = pixels.data();
    return (HBITMAP)handle;
}

// The simulator batches nothing: there is nothing to flush.
BOOL WINAPI GdiFlush(void) { return !Enter("GdiFlush", {}); }

// ---------------------------------------------------------------------------------------------
// Platform functions: transfers

// Returns the rows set.
INT WINAPI SetDIBitsToDevice(HDC handle, INT x, INT y, DWORD width, DWORD height, INT xSource, INT ySource,
                             UINT firstRow, UINT rows, const void *bits, const BITMAPINFO *info, UINT usage) {
    if (Enter("SetDIBitsToDevice", {handle, x, y, width, height, xSource, ySource, firstRow, rows, usage})) return 0;
    DeviceContext *dc = UsableDc(handle);
    DibLayout layout;
    if (!dc || !bits || !Layout(info, &layout) || !KnownUsage(usage)) return 0;
    unsigned long long taken = std::min<unsigned long long>(rows, (unsigned long long)layout.height);
    ReadPixels(bits, taken * layout.stride);
    RECT target = Destination(x, y, width, height);
    RECT source = Destination(xSource, ySource, width, height);
    DrawOp op = Transfer(DrawOp::SetDIBitsToDevice, target, source, SRCCOPY);
    op.pixels = Digest((const BYTE *)bits, taken * layout.stride);
    AddDrawing(dc, op);
    TakePicture(dc, op);
    return (INT)taken;
}

// Returns the rows copied. A mirrored transfer (a negative width or height) is one.
INT WINAPI StretchDIBits(HDC handle, INT x, INT y, INT width, INT height, INT xSource, INT ySource,
                         INT sourceWidth, INT sourceHeight, const void *bits, const BITMAPINFO *info, UINT usage,
                         DWORD rop) {
    if (Enter("StretchDIBits",
              {handle, x, y, width, height, xSource, ySource, sourceWidth, sourceHeight, usage, rop}))
        return 0;
    DeviceContext *dc = UsableDc(handle);
    DibLayout layout;
    if (!dc || !bits || !Layout(info, &layout) || !KnownUsage(usage)) return 0;
    ReadPixels(bits, layout.bytes);
    RECT target = Destination(x, y, width, height);
    RECT source = Destination(xSource, ySource, sourceWidth, sourceHeight);
    DrawOp op = Transfer(DrawOp::StretchDIBits, target, source, rop);
    op.pixels = Digest((const BYTE *)bits, layout.bytes);
    AddDrawing(dc, op);
    TakePicture(dc, op);
    return layout.height;
}

INT WINAPI SetStretchBltMode(HDC handle, INT mode) {
    if (Enter("SetStretchBltMode", {handle, mode})) return 0;
    DeviceContext *dc = UsableDc(handle);
    if (!dc || mode < BLACKONWHITE || mode > HALFTONE) return 0;
    return std::exchange(dc->stretchMode, mode);
}

// ---------------------------------------------------------------------------------------------
// Platform functions: the device

// Every device context is the display's (a memory one's reference device is too): the primary
// monitor's size, 32 bits a pixel, 96 pixels an inch, every raster capability an effect asks about.
INT WINAPI GetDeviceCaps(HDC handle, INT index) {
    static const int PIXELS_PER_INCH = 96, TENTHS_OF_A_MILLIMETRE_PER_INCH = 254;
    if (Enter("GetDeviceCaps", {handle, index})) return 0;
    if (!UsableDc(handle)) return 0;
    LONG width = M.primary.cx, height = M.primary.cy;
    auto millimetres = [](LONG pixels) {
        return (pixels * TENTHS_OF_A_MILLIMETRE_PER_INCH + PIXELS_PER_INCH * 5) / (PIXELS_PER_INCH * 10);
    };
    switch (index) {
    case TECHNOLOGY: return DT_RASDISPLAY;
    case HORZRES: return width;
    case VERTRES: return height;
    case HORZSIZE: return millimetres(width);
    case VERTSIZE: return millimetres(height);
    case BITSPIXEL: return 32;
    case PLANES: return 1;
    case NUMCOLORS: return -1;
    case LOGPIXELSX:
    case LOGPIXELSY: return PIXELS_PER_INCH;
    case ASPECTX:
    case ASPECTY: return 36;
    case ASPECTXY: return 51;
    case RASTERCAPS:
        return RC_BITBLT | RC_BITMAP64 | RC_DI_BITMAP | RC_DIBTODEV | RC_STRETCHBLT | RC_STRETCHDIB;
    default: return 0;
    }
}
