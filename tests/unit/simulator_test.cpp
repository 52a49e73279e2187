// The simulator's own semantics that the saver's behaviour depends on.
#include "tests/unit/fixture.h"

#include <cstdlib>
#include <cstring>

namespace {

int nestedDepth;
std::vector<UINT> seen;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    seen.push_back(message);
    if (message == WM_USER && wParam < 3) {
        ++nestedDepth;
        SendMessageA(window, WM_USER, wParam + 1, 0);  // re-enters this procedure at once
    }
    if (message == WM_USER + 1) return (LRESULT)wParam * 2;
    return DefWindowProcA(window, message, wParam, lParam);
}

class SimulatorTest : public SaverTest {
protected:
    HWND window = 0;
    void SetUp() override {
        SaverTest::SetUp();
        nestedDepth = 0;
        seen.clear();
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = RecordingProc;
        windowClass.lpszClassName = "Probe";
        ASSERT_TRUE(RegisterClassA(&windowClass));
        window = CreateWindowExA(0, "Probe", "", WS_POPUP, 0, 0, 10, 10, 0, 0, 0, 0);
        ASSERT_TRUE(window);
        seen.clear();
    }
};

TEST_F(SimulatorTest, SendMessageCallsTheProcedureAtOnceAndReEntrantly) {
    EXPECT_EQ(8, SendMessageA(window, WM_USER + 1, 4, 0));
    SendMessageA(window, WM_USER, 0, 0);
    EXPECT_EQ(3, nestedDepth);
    EXPECT_EQ(5u, seen.size());
}

TEST_F(SimulatorTest, PeekMessageFilterTakesOnlyTheMessagesInRange) {
    PostMessageA(window, WM_USER, 0, 0);
    PostMessageA(window, WM_TIMER, 7, 0);
    PostMessageA(window, WM_TIMER, 8, 0);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, window, WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD));
    EXPECT_EQ(7u, msg.wParam);
    ASSERT_TRUE(PeekMessageA(&msg, window, WM_TIMER, WM_TIMER, PM_NOREMOVE));
    EXPECT_EQ(8u, msg.wParam);
    std::vector<sim::Message> pending = sim::PendingMessages();
    ASSERT_EQ(2u, pending.size());
    EXPECT_EQ((UINT)WM_USER, pending[0].message);
    EXPECT_FALSE(PeekMessageA(&msg, window, WM_PAINT, WM_PAINT, PM_REMOVE));
}

TEST_F(SimulatorTest, TimersFireOnlyWhenNothingElseWaits) {
    ASSERT_TRUE(SetTimer(window, 1, 0, NULL));  // raised to the platform's minimum, 10 ms
    sim::Advance(25);
    PostMessageA(window, WM_USER + 2, 0, 0);
    MSG msg;
    ASSERT_TRUE(GetMessageA(&msg, 0, 0, 0));
    EXPECT_EQ((UINT)WM_USER + 2, msg.message);
    ASSERT_TRUE(GetMessageA(&msg, 0, 0, 0));
    EXPECT_EQ((UINT)WM_TIMER, msg.message);  // one tick however many intervals passed
    DWORD before = sim::Now();
    ASSERT_TRUE(GetMessageA(&msg, 0, 0, 0));
    EXPECT_EQ((UINT)WM_TIMER, msg.message);
    EXPECT_EQ(before + USER_TIMER_MINIMUM, sim::Now());
}

TEST_F(SimulatorTest, ClockAndScriptWorkAcrossTheWrap) {
    sim::SetTickCount(0xFFFFFFF0u);
    bool ran = false;
    sim::After(0x20, [&] { ran = true; });
    SetTimer(window, 1, 100, NULL);
    MSG msg;
    ASSERT_TRUE(GetMessageA(&msg, 0, 0, 0));  // the event runs at the wrap, the timer after it
    EXPECT_TRUE(ran);
    EXPECT_EQ((UINT)WM_TIMER, msg.message);
    EXPECT_EQ(0xFFFFFFF0u + 100u, GetTickCount());
}

TEST_F(SimulatorTest, AWaitForNothingEndsTheRun) {
    MSG msg;
    EXPECT_THROW(GetMessageA(&msg, 0, 0, 0), sim::WaitsForever);
    SetTimer(window, 1, 10, NULL);
    sim::StopAfter(5);
    EXPECT_THROW(GetMessageA(&msg, 0, 0, 0), sim::RunStopped);
}

TEST_F(SimulatorTest, QuitComesAfterPostedMessagesAndBeforeInput) {
    sim::PressKey('K');
    PostQuitMessage(3);
    PostMessageA(window, WM_USER + 2, 0, 0);
    MSG msg;
    EXPECT_TRUE(GetMessageA(&msg, 0, 0, 0));
    EXPECT_EQ((UINT)WM_USER + 2, msg.message);
    EXPECT_FALSE(GetMessageA(&msg, 0, 0, 0));
    EXPECT_EQ(3u, msg.wParam);
    EXPECT_TRUE(GetMessageA(&msg, 0, 0, 0));
    EXPECT_EQ((UINT)WM_KEYDOWN, msg.message);
}

TEST_F(SimulatorTest, TheNthCallOfAnyFunctionCanBeMadeToFail) {
    sim::FailCall("IsWindow", 2);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(IsWindow(window));
}

void CALLBACK RecordingTimerProc(HWND, UINT, UINT_PTR, DWORD) { seen.push_back(WM_TIMER); }

TEST_F(SimulatorTest, DeliveriesAreObservedRightAroundTheProcedureThatRuns) {
    std::vector<std::string> observed;
    sim::ObserveDeliveries([&](const sim::Delivery &delivery, bool entering) {
        observed.push_back(std::string(entering ? "enter " : "leave ") +
                           (delivery.timerProc ? "timer procedure" : "window procedure") + " " +
                           std::to_string(delivery.wParam) + ", " + std::to_string(seen.size()) + " seen");
    });
    SendMessageA(window, WM_USER, 2, 0);
    ASSERT_TRUE(SetTimer(window, 7, 10, RecordingTimerProc));
    MSG msg;
    ASSERT_TRUE(GetMessageA(&msg, 0, 0, 0));
    DispatchMessageA(&msg);
    const std::vector<std::string> expected = {
        "enter window procedure 2, 0 seen", "enter window procedure 3, 1 seen",
        "leave window procedure 3, 2 seen", "leave window procedure 2, 2 seen",
        "enter timer procedure 7, 2 seen",  "leave timer procedure 7, 3 seen",
    };
    EXPECT_EQ(expected, observed);
}

// A DIB section of 32-bit pixels whose last pixel is written: its memory is as large as it says.
HBITMAP DibSection(int width, int height) {
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void *bits = nullptr;
    HBITMAP section = CreateDIBSection(0, &info, DIB_RGB_COLORS, &bits, 0, 0);
    if (section) ((DWORD *)bits)[width * abs(height) - 1] = RGB(1, 2, 3);
    return section;
}

TEST_F(SimulatorTest, AnObjectDeletedWhileSelectedLivesUntilSelectedOut) {
    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
    const struct {
        const char *kind;
        HDC dc;
        HGDIOBJ object;
    } cases[] = {
        {"pen", screen, CreatePen(PS_DOT, 1, RGB(1, 2, 3))},
        {"brush", screen, CreateHatchBrush(HS_CROSS, RGB(1, 2, 3))},
        {"bitmap", memory, CreateCompatibleBitmap(screen, 8, 8)},
        {"font", screen, CreateFontA(-20, 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Arial")},
        {"DIB section", memory, DibSection(16, -9)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.kind);
        int live = sim::LiveGdiObjects();
        HGDIOBJ before = SelectObject(c.dc, c.object);
        ASSERT_TRUE(before);
        EXPECT_TRUE(DeleteObject(c.object));
        EXPECT_EQ(live, sim::LiveGdiObjects());
        EXPECT_EQ(c.object, SelectObject(c.dc, before));
        EXPECT_EQ(live - 1, sim::LiveGdiObjects());
        EXPECT_EQ(c.kind, sim::GdiObjectFactsOf(c.object).kind);
    }
    EXPECT_TRUE(DeleteDC(memory));
    EXPECT_EQ(0, sim::LiveGdiObjects());
}

void Line(HDC dc, int width, POINT from, POINT to) {
    HGDIOBJ kept = SelectObject(dc, CreatePen(PS_SOLID, width, 0));
    MoveToEx(dc, from.x, from.y, NULL);
    LineTo(dc, to.x, to.y);
    DeleteObject(SelectObject(dc, kept));
}

// A 4 x 4 picture of 32-bit pixels, bottom-up.
const BITMAPINFO *SmallPicture() {
    static BITMAPINFO info = {{sizeof(BITMAPINFOHEADER), 4, 4, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    return &info;
}
const DWORD SMALL_PICTURE_PIXELS[16] = {};

void FillRegion(HDC dc, HRGN region, HBRUSH brush) {
    FillRgn(dc, region, brush);
    DeleteObject(region);
}

void TextInFont(HDC dc, int height, UINT align, POINT at, const char *text) {
    HGDIOBJ kept = SelectObject(dc, CreateFontA(height, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Arial"));
    SetTextAlign(dc, align);
    TextOutA(dc, at.x, at.y, text, lstrlenA(text));
    DeleteObject(SelectObject(dc, kept));
}

// A .res entry as the resource compiler writes it: sizes, type and name, the fields the loader
// skips, the data, all on DWORDs.
void AppendResource(std::vector<BYTE> *file, std::vector<WORD> typeAndName, const std::vector<BYTE> &data) {
    std::vector<BYTE> header(8);
    for (WORD word : typeAndName) header.insert(header.end(), {(BYTE)word, (BYTE)(word >> 8)});
    while (header.size() % 4) header.push_back(0);
    header.resize(header.size() + 16, 0);
    DWORD sizes[2] = {(DWORD)data.size(), (DWORD)header.size()};
    memcpy(header.data(), sizes, sizeof sizes);
    file->insert(file->end(), header.begin(), header.end());
    file->insert(file->end(), data.begin(), data.end());
    while (file->size() % 4) file->push_back(0);
}

// A bitmap resource: a BITMAPINFOHEADER, the colours, the rows.
std::vector<BYTE> BitmapResource(LONG width, LONG height, WORD bits, std::vector<RGBQUAD> colours) {
    BITMAPINFOHEADER header = {sizeof header, width, height, 1, bits, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<BYTE> data((BYTE *)&header, (BYTE *)&header + sizeof header);
    for (RGBQUAD colour : colours) data.insert(data.end(), (BYTE *)&colour, (BYTE *)&colour + sizeof colour);
    data.resize(data.size() + (width * bits + 31) / 32 * 4 * height, 0x5A);
    return data;
}

TEST_F(SimulatorTest, ResourcesOfACompiledFileAreFoundLoadedAndMadeBitmaps) {
    const WORD RT_BITMAP_ID[] = {0xFFFF, 2}, RT_RCDATA_ID[] = {0xFFFF, 10};
    std::vector<BYTE> file;
    AppendResource(&file, {0xFFFF, 0, 0xFFFF, 0}, {});  // the empty entry every file starts with
    AppendResource(&file, {RT_BITMAP_ID[0], RT_BITMAP_ID[1], 0xFFFF, 7}, BitmapResource(5, 3, 24, {}));
    AppendResource(&file, {RT_BITMAP_ID[0], RT_BITMAP_ID[1], 'M', 'a', 's', 'k', 0},
                   BitmapResource(9, 4, 1, {{0, 0, 0, 0}, {255, 255, 255, 0}}));
    AppendResource(&file, {RT_RCDATA_ID[0], RT_RCDATA_ID[1], 0xFFFF, 3}, {1, 2, 3, 4, 5});
    ASSERT_TRUE(sim::AddCompiledResources(file.data(), file.size()));
    EXPECT_FALSE(sim::AddCompiledResources(file.data(), file.size() - 4));  // cut into its data

    HINSTANCE module = sim::ProgramInstance();
    HRSRC data = FindResourceA(module, MAKEINTRESOURCEA(3), RT_RCDATA);
    ASSERT_TRUE(data);
    EXPECT_EQ(data, FindResourceA(module, "#3", RT_RCDATA));
    EXPECT_EQ(5u, SizeofResource(module, data));
    const BYTE *bytes = (const BYTE *)LockResource(LoadResource(module, data));
    ASSERT_TRUE(bytes);
    EXPECT_EQ(5, bytes[4]);

    const struct {
        LPCSTR name;
        LONG width, height;
        WORD depth;
    } bitmaps[] = {{MAKEINTRESOURCEA(7), 5, 3, 32}, {"mask", 9, 4, 1}};
    for (const auto &b : bitmaps) {
        HBITMAP bitmap = LoadBitmapA(module, b.name);
        ASSERT_TRUE(bitmap);
        BITMAP facts = {};
        EXPECT_EQ((int)sizeof facts, GetObjectA(bitmap, sizeof facts, &facts));
        EXPECT_EQ(b.width, facts.bmWidth);
        EXPECT_EQ(b.height, facts.bmHeight);
        EXPECT_EQ(b.depth, facts.bmBitsPixel);
        EXPECT_TRUE(DeleteObject(bitmap));
        EXPECT_EQ(0, GetObjectA(bitmap, sizeof facts, &facts));
    }
    EXPECT_FALSE(LoadBitmapA(module, MAKEINTRESOURCEA(3)));
    EXPECT_FALSE(LoadImageA(module, MAKEINTRESOURCEA(7), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
}

// What a copy of the screen or of a resource's bitmap carries on to the window, and what does not.
TEST_F(SimulatorTest, APictureTravelsWithEveryCopyOfIt) {
    sim::AddResource(2, 7, BitmapResource(4, 4, 24, {}));
    HDC screen = GetDC(NULL), dc = GetDC(window);
    HDC copy = CreateCompatibleDC(screen), drawn = CreateCompatibleDC(screen);
    HGDIOBJ keptCopy = SelectObject(copy, CreateCompatibleBitmap(screen, 10, 10));
    HGDIOBJ keptDrawn = SelectObject(drawn, CreateCompatibleBitmap(screen, 10, 10));
    BitBlt(copy, 0, 0, 10, 10, screen, 0, 0, SRCCOPY);
    LineTo(drawn, 5, 5);
    BitBlt(dc, 0, 0, 5, 5, copy, 0, 0, SRCCOPY);
    BitBlt(dc, 0, 0, 5, 5, copy, 5, 0, SRCCOPY);
    BitBlt(dc, 0, 0, 5, 5, drawn, 0, 0, SRCCOPY);
    const std::vector<sim::DrawOp> &ops = sim::Drawing(window);
    ASSERT_EQ(3u, ops.size());
    EXPECT_NE(0u, ops[0].pixels);
    EXPECT_NE(ops[0].pixels, ops[1].pixels);  // another part of the copy
    EXPECT_EQ(0u, ops[2].pixels);             // only what GDI drew: no picture known
    sim::SetScreenPicture(0x1234);
    BitBlt(copy, 0, 0, 10, 10, screen, 0, 0, SRCCOPY);
    BitBlt(dc, 0, 0, 5, 5, copy, 0, 0, SRCCOPY);
    EXPECT_NE(ops[0].pixels, ops.back().pixels);  // another desktop
    DeleteObject(SelectObject(copy, keptCopy));
    DeleteObject(SelectObject(drawn, keptDrawn));
    DeleteDC(copy);
    DeleteDC(drawn);
    ReleaseDC(NULL, screen);
    ReleaseDC(window, dc);
}

TEST_F(SimulatorTest, RestoreDcPutsBackWhatItSavedAndDropsTheLaterStates) {
    HDC dc = CreateCompatibleDC(NULL);
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(1, 2, 3));
    HGDIOBJ first = SelectObject(dc, GetStockObject(WHITE_PEN));
    EXPECT_EQ(1, SaveDC(dc));
    SelectObject(dc, pen);
    SetTextColor(dc, RGB(9, 9, 9));
    EXPECT_EQ(2, SaveDC(dc));
    EXPECT_EQ(3, SaveDC(dc));
    EXPECT_FALSE(RestoreDC(dc, 4));
    EXPECT_FALSE(RestoreDC(dc, 0));
    EXPECT_TRUE(RestoreDC(dc, -1));  // the third
    EXPECT_EQ(2, sim::DeviceContextFacts(dc).saved);
    EXPECT_TRUE(RestoreDC(dc, 1));  // the first, and the second with it
    EXPECT_EQ(0, sim::DeviceContextFacts(dc).saved);
    EXPECT_EQ(RGB(0, 0, 0), SetTextColor(dc, 0));
    EXPECT_EQ(GetStockObject(WHITE_PEN), SelectObject(dc, first));
    EXPECT_EQ(0, sim::GdiObjectFactsOf(pen).selections);  // put back: it may be deleted
    EXPECT_TRUE(DeleteObject(pen));
    EXPECT_EQ(0, sim::GdiObjectFactsOf(pen).selections);
    EXPECT_FALSE(RestoreDC(dc, -1));
    DeleteDC(dc);
}

TEST_F(SimulatorTest, ADrawingTouchesAnAreaWhereItsPixelsMayLand) {
    HDC dc = GetDC(window);
    const struct {
        const char *drawn;
        void (*draw)(HDC);
        RECT area;
        bool touches;
    } cases[] = {
        {"a line that passes below the area", [](HDC dc) { Line(dc, 1, {500, 400}, {41, 467}); },
         {0, 0, 152, 112}, false},
        {"a line across the area's corner", [](HDC dc) { Line(dc, 1, {0, 200}, {200, 0}); },
         {90, 90, 110, 110}, true},
        {"a thin line 4 pixels off", [](HDC dc) { Line(dc, 1, {0, 20}, {100, 20}); }, {0, 0, 100, 17}, false},
        {"a 9 pixels wide line 4 pixels off", [](HDC dc) { Line(dc, 9, {0, 20}, {100, 20}); },
         {0, 0, 100, 17}, true},
        {"a polyline round the area",
         [](HDC dc) {
             POINT points[] = {{0, 0}, {100, 0}, {100, 100}};
             Polyline(dc, points, 3);
         },
         {10, 60, 40, 90}, false},
        {"a rectangle with a null pen and a hollow brush",
         [](HDC dc) {
             SelectObject(dc, GetStockObject(NULL_PEN));
             SelectObject(dc, GetStockObject(NULL_BRUSH));
             Rectangle(dc, 0, 0, 10, 10);
         },
         {0, 0, 10, 10}, false},
        {"a region's fill, at its last pixel",
         [](HDC dc) { FillRegion(dc, CreateRectRgn(10, 10, 20, 20), (HBRUSH)GetStockObject(GRAY_BRUSH)); },
         {19, 19, 30, 30}, true},
        {"a region's fill, beside it",
         [](HDC dc) { FillRegion(dc, CreateRectRgn(10, 10, 20, 20), (HBRUSH)GetStockObject(GRAY_BRUSH)); },
         {20, 0, 30, 30}, false},
        {"a region's fill with a hollow brush",
         [](HDC dc) { FillRegion(dc, CreateRectRgn(10, 10, 20, 20), (HBRUSH)GetStockObject(NULL_BRUSH)); },
         {0, 0, 30, 30}, false},
        {"a region moved before its fill",
         [](HDC dc) {
             HRGN region = CreateEllipticRgn(0, 0, 10, 10);
             OffsetRgn(region, 100, 0);
             FillRegion(dc, region, (HBRUSH)GetStockObject(GRAY_BRUSH));
         },
         {0, 0, 100, 10}, false},
        {"a picture stretched to its destination",
         [](HDC dc) {
             StretchDIBits(dc, 100, 100, 50, 50, 0, 0, 4, 4, SMALL_PICTURE_PIXELS, SmallPicture(), DIB_RGB_COLORS,
                           SRCCOPY);
         },
         {140, 140, 160, 160}, true},
        {"a picture mirrored, left of its x",
         [](HDC dc) {
             StretchDIBits(dc, 100, 100, -50, 50, 0, 0, 4, 4, SMALL_PICTURE_PIXELS, SmallPicture(), DIB_RGB_COLORS,
                           SRCCOPY);
         },
         {60, 110, 70, 120}, true},
        {"a picture's rows set beside the area",
         [](HDC dc) {
             SetDIBitsToDevice(dc, 10, 10, 4, 4, 0, 0, 0, 4, SMALL_PICTURE_PIXELS, SmallPicture(), DIB_RGB_COLORS);
         },
         {14, 0, 30, 30}, false},
        {"text centred on its point",
         [](HDC dc) { TextInFont(dc, 16, TA_CENTER, {100, 0}, "centre"); }, {110, 0, 120, 10}, true},
        {"text right-aligned, its end at the area's left",
         [](HDC dc) { TextInFont(dc, 16, TA_RIGHT, {100, 0}, "right"); }, {100, 0, 200, 16}, false},
        {"text on its baseline, above the point",
         [](HDC dc) { TextInFont(dc, 32, TA_BASELINE, {0, 100}, "base"); }, {0, 80, 10, 90}, true},
        {"text in a 32-pixel font, below the system font's height",
         [](HDC dc) { TextInFont(dc, -32, TA_TOP, {0, 0}, "tall"); }, {0, 20, 10, 30}, true},
        {"text formatted in a rectangle, clipped to it",
         [](HDC dc) {
             RECT box = {0, 0, 40, 16};
             DrawTextA(dc, "a line wider than its box", -1, &box, DT_SINGLELINE);
         },
         {40, 0, 300, 16}, false},
        {"text formatted at the bottom of its rectangle",
         [](HDC dc) {
             RECT box = {0, 0, 100, 100};
             DrawTextA(dc, "low", -1, &box, DT_SINGLELINE | DT_BOTTOM | DT_RIGHT);
         },
         {90, 90, 100, 100}, true},
        {"an opaque rectangle without text",
         [](HDC dc) {
             RECT box = {50, 50, 60, 60};
             ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &box, "", 0, NULL);
         },
         {55, 55, 56, 56}, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.drawn);
        c.draw(dc);
        EXPECT_EQ(c.touches, sim::Touches(sim::Drawing(window).back(), c.area));
    }
}

TEST_F(SimulatorTest, RegionsCombineAsTheirPixelsDo) {
    const struct {
        const char *what;
        RECT a, b;
        int mode;
        int complexity;
        RECT box;
    } cases[] = {
        {"two halves joined", {0, 0, 10, 10}, {10, 0, 20, 10}, RGN_OR, SIMPLEREGION, {0, 0, 20, 10}},
        {"one above the other joined", {0, 0, 10, 10}, {0, 10, 10, 20}, RGN_OR, SIMPLEREGION, {0, 0, 10, 20}},
        {"apart, joined", {0, 0, 10, 10}, {20, 20, 30, 30}, RGN_OR, COMPLEXREGION, {0, 0, 30, 30}},
        {"apart, in both", {0, 0, 10, 10}, {20, 20, 30, 30}, RGN_AND, NULLREGION, {0, 0, 0, 0}},
        {"overlapping, in both", {0, 0, 10, 10}, {5, 5, 30, 30}, RGN_AND, SIMPLEREGION, {5, 5, 10, 10}},
        {"a hole cut", {0, 0, 30, 30}, {10, 10, 20, 20}, RGN_DIFF, COMPLEXREGION, {0, 0, 30, 30}},
        {"a side cut", {0, 0, 30, 30}, {20, -5, 40, 40}, RGN_DIFF, SIMPLEREGION, {0, 0, 20, 30}},
        {"the same, either but not both", {0, 0, 10, 10}, {0, 0, 10, 10}, RGN_XOR, NULLREGION, {0, 0, 0, 0}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        HRGN target = CreateRectRgn(0, 0, 0, 0);
        HRGN a = CreateRectRgnIndirect(&c.a), b = CreateRectRgnIndirect(&c.b);
        EXPECT_EQ(c.complexity, CombineRgn(target, a, b, c.mode));
        RECT box;
        EXPECT_EQ(c.complexity, GetRgnBox(target, &box));
        EXPECT_TRUE(EqualRect(&c.box, &box)) << box.left << ", " << box.top << ", " << box.right << ", " << box.bottom;
        for (HRGN region : {target, a, b}) DeleteObject(region);
    }
    EXPECT_EQ(0, sim::LiveGdiObjects());

    HRGN ellipse = CreateEllipticRgn(0, 0, 100, 50);
    EXPECT_TRUE(PtInRegion(ellipse, 50, 25));
    EXPECT_FALSE(PtInRegion(ellipse, 2, 2));
    EXPECT_FALSE(PtInRegion(ellipse, 100, 25));  // the right edge is outside
    POINT triangle[] = {{0, 0}, {20, 0}, {0, 20}};
    HRGN polygon = CreatePolygonRgn(triangle, 3, ALTERNATE);
    EXPECT_TRUE(PtInRegion(polygon, 2, 2));
    EXPECT_FALSE(PtInRegion(polygon, 15, 15));
}

TEST_F(SimulatorTest, TheClipIsACopyOfTheRegionThatGoesWithTheDeviceContext) {
    HDC dc = GetDC(window);
    HRGN region = CreateRectRgn(2, 3, 6, 7);
    EXPECT_EQ(SIMPLEREGION, SelectClipRgn(dc, region));
    EXPECT_TRUE(DeleteObject(region));
    EXPECT_EQ(0, sim::LiveGdiObjects());
    RECT box;
    EXPECT_EQ(SIMPLEREGION, GetClipBox(dc, &box));
    EXPECT_EQ(6, box.right);
    ReleaseDC(window, dc);
    dc = GetDC(window);
    GetClipBox(dc, &box);
    EXPECT_EQ(10, box.right);  // a common device context comes back without the clip
}

TEST_F(SimulatorTest, RectanglesAndMulDivAnswerAsWindowsDoes) {
    const RECT a = {0, 0, 10, 10};
    const struct {
        const char *what;
        BOOL(WINAPI *combine)(RECT *, const RECT *, const RECT *);
        RECT b;
        BOOL answer;
        RECT result;
    } cases[] = {
        {"overlap", IntersectRect, {5, -5, 20, 5}, TRUE, {5, 0, 10, 5}},
        {"no overlap: an empty rectangle", IntersectRect, {10, 0, 20, 10}, FALSE, {0, 0, 0, 0}},
        {"union with an empty one", UnionRect, {50, 50, 50, 60}, TRUE, {0, 0, 10, 10}},
        {"a side cut off", SubtractRect, {5, -1, 11, 11}, TRUE, {0, 0, 5, 10}},
        {"a hole: no rectangle, so nothing cut", SubtractRect, {2, 2, 8, 8}, TRUE, {0, 0, 10, 10}},
        {"all cut", SubtractRect, {-1, -1, 11, 11}, FALSE, {0, 0, 0, 0}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        RECT result = {1, 1, 1, 1};
        EXPECT_EQ(c.answer, c.combine(&result, &a, &c.b));
        EXPECT_TRUE(EqualRect(&c.result, &result));
    }
    EXPECT_FALSE(PtInRect(&a, POINT{10, 5}));  // the right edge is outside
    EXPECT_EQ(11, MulDiv(7, 3, 2));            // 10.5, rounded away from zero
    EXPECT_EQ(-11, MulDiv(7, -3, 2));
    EXPECT_EQ(-1, MulDiv(1, 1, 0));
    EXPECT_EQ(-1, MulDiv(0x7FFFFFFF, 2, 1));
    EXPECT_EQ(0x7FFFFFFF, MulDiv(0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF));  // no overflow on the way
}

// As Windows 98 and later (and Wine, when it sees both monitors) answer on two monitors side by
// side: the screen's device context spans both, the screen's size is the primary's.
TEST_F(SimulatorTest, TwoMonitorsShareOneScreenDeviceContextWhoseSizeIsThePrimarys) {
    sim::SetMonitors({{0, 0, 1024, 768}, {1024, 0, 1664, 480}});
    HDC screen = GetDC(NULL);
    const RECT both = {0, 0, 1664, 768};
    RECT box = {};
    EXPECT_EQ(SIMPLEREGION, GetClipBox(screen, &box));
    EXPECT_TRUE(EqualRect(&box, &both));
    EXPECT_EQ(1024, GetDeviceCaps(screen, HORZRES));
    EXPECT_EQ(768, GetDeviceCaps(screen, VERTRES));
    EXPECT_EQ(1024, GetSystemMetrics(SM_CXSCREEN));
    ReleaseDC(NULL, screen);
}

TEST_F(SimulatorTest, WsprintfFormatsAsWindowsDoes) {
    const struct {
        const char *expected;
        int (*format)(char *buffer);
    } cases[] = {
        {"-42|  -42|-42  |-0042", [](char *b) { return wsprintfA(b, "%d|%5d|%-5d|%05d", -42, -42, -42, -42); }},
        {"4294967295 2147483647", [](char *b) { return wsprintfA(b, "%u %li", 0xFFFFFFFFu, 0x7FFFFFFF); }},
        {"ff 0XFF 000000AB 0x1f", [](char *b) { return wsprintfA(b, "%x %#X %08lX %#lx", 255, 255, 0xAB, 31); }},
        {"007", [](char *b) { return wsprintfA(b, "%.3d", 7); }},
        {"[abc][  ab][(null)]", [](char *b) { return wsprintfA(b, "[%s][%4.2s][%s]", "abc", "abc", (char *)NULL); }},
        {"A% Z", [](char *b) { return wsprintfA(b, "%c%% %c", 'A', 'Z'); }},
        {"wide", [](char *b) { return wsprintfA(b, "%ls", u"wide"); }},
        {"f", [](char *b) { return wsprintfA(b, "%f", 1.5); }},  // no floating point
    };
    for (const auto &c : cases) {
        char buffer[64] = {};
        SCOPED_TRACE(c.expected);
        EXPECT_EQ((int)strlen(c.expected), c.format(buffer));
        EXPECT_STREQ(c.expected, buffer);
    }
    static char longest[2048];
    EXPECT_EQ(1023, wsprintfA(longest, "%2000d", 1));  // at most 1024 bytes with the zero
    EXPECT_EQ('\0', longest[1023]);
}

// As Wine writes them for a user of the United States (a probe, with its own and given pictures).
TEST_F(SimulatorTest, TimesAndDatesAreWrittenAsWindowsWritesThem) {
    const SYSTEMTIME night = {1999, 12, 5, 31, 0, 5, 9, 0}, noon = {1999, 12, 5, 31, 12, 59, 58, 0};
    const struct {
        const char *expected;
        bool date;
        DWORD flags;
        const SYSTEMTIME *time;
        const char *picture;
    } cases[] = {
        {"12:05:09 AM", false, 0, &night, NULL},
        {"12:05 AM", false, TIME_NOSECONDS, &night, NULL},
        {"0:05:09 AM", false, TIME_FORCE24HOURFORMAT, &night, NULL},
        {"12:05:09", false, TIME_NOTIMEMARKER, &night, NULL},
        {"12 AM", false, TIME_NOMINUTESORSECONDS, &night, NULL},
        {"12:59 PM", false, TIME_NOSECONDS, &noon, "h':'mm':'ss tt"},
        {"12 o'clock P", false, 0, &noon, "hh 'o''clock' t"},
        {"Friday, December 31, 1999", true, DATE_LONGDATE, &night, NULL},
        {"12/31/1999", true, DATE_SHORTDATE, &night, NULL},
        {"Fri 31 Dec 99", true, 0, &night, "ddd d MMM yy"},
    };
    for (const auto &c : cases) {
        char text[64] = {};
        SCOPED_TRACE(c.expected);
        int written = c.date ? GetDateFormatA(LOCALE_USER_DEFAULT, c.flags, c.time, c.picture, text, sizeof text)
                             : GetTimeFormatA(LOCALE_USER_DEFAULT, c.flags, c.time, c.picture, text, sizeof text);
        EXPECT_EQ((int)strlen(c.expected) + 1, written);
        EXPECT_STREQ(c.expected, text);
    }
    char tooSmall[4];
    EXPECT_EQ(12, GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &noon, NULL, NULL, 0));  // the room it needs
    EXPECT_EQ(0, GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &noon, NULL, tooSmall, sizeof tooSmall));
}

// What a window hears from its creation to its first paint, and at a click, in the order Wine
// sends it: a top-level window is activated and painted as it is shown; a child waits for its
// first paint, and a click asks it first whether it may be activated.
TEST_F(SimulatorTest, AWindowHearsThePlatformFromItsCreationToItsFirstPaintAndAtAClick) {
    struct {
        bool child;
        std::vector<UINT> created, clicked;
    } cases[] = {
        {false,
         {WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE, WM_SHOWWINDOW, WM_WINDOWPOSCHANGING, WM_GETICON,
          WM_GETICON, WM_QUERYNEWPALETTE, WM_ACTIVATEAPP, WM_NCACTIVATE, WM_ACTIVATE, WM_IME_SETCONTEXT, WM_SETFOCUS,
          WM_NCPAINT, WM_ERASEBKGND, WM_WINDOWPOSCHANGED, WM_PAINT},
         {WM_NCHITTEST, WM_SETCURSOR, WM_LBUTTONDOWN, WM_NCHITTEST, WM_SETCURSOR, WM_LBUTTONUP}},
        {true,
         {WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE, WM_SHOWWINDOW, WM_WINDOWPOSCHANGING,
          WM_WINDOWPOSCHANGED, WM_PAINT, WM_NCPAINT, WM_ERASEBKGND},
         {WM_NCHITTEST, WM_MOUSEACTIVATE, WM_SETCURSOR, WM_LBUTTONDOWN, WM_NCHITTEST, WM_SETCURSOR, WM_LBUTTONUP}},
    };
    auto dispatchAll = [] {
        MSG msg;
        while (PeekMessageA(&msg, 0, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.child ? "child" : "top-level");
        SetUp();
        DestroyWindow(window);  // alone: every top-level window of the program hears WM_ACTIVATEAPP
        seen.clear();
        HWND parent = c.child ? sim::CreateForeignWindow("Parent", "", {100, 100, 300, 300}) : 0;
        sim::PlaceCursor(500, 500);
        HWND shown = CreateWindowExA(0, "Probe", "", (c.child ? WS_CHILD : WS_POPUP) | WS_VISIBLE, 0, 0, 50, 50,
                                     parent, 0, 0, 0);
        dispatchAll();
        EXPECT_EQ(c.created, seen);
        seen.clear();
        sim::PlaceCursor(c.child ? 120 : 20, c.child ? 120 : 20);
        sim::Click(WM_LBUTTONDOWN);
        dispatchAll();
        EXPECT_EQ(c.clicked, seen);
        EXPECT_EQ(shown, sim::Deliveries().back().window);
    }
}

void ExitWithSeven() { ExitProcess(7); }

TEST_F(SimulatorTest, AWholeProgramRunsToItsExitCode) {
    EXPECT_EQ(7u, sim::RunProgram(ExitWithSeven));
}

}  // namespace
