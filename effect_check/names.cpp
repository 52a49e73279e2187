// How the checker's messages name rules, messages and values.
#include "effect_check/effect_check.h"

#include <cstdio>

namespace effect_check {

const char *RuleTitle(int rule) {
    switch (rule) {
    case PASSES_EVERY_MESSAGE_ON: return "every message reaches SaverDismissProc once, its answer returned";
    case LEAVES_ENDING_TO_FRAMEWORK: return "no DefWindowProcA, no WM_CLOSE, PostQuitMessage only from WM_DESTROY, which ends it";
    case DRAWS_IN_TICKS: return "draws only on WM_TIMER or at WM_ERASEBKGND, on its window, every device context released by the tick's end";
    case PUTS_SELECTIONS_BACK: return "what a tick selects into the window's device context is put back";
    case FREES_OBJECTS: return "every GDI object it creates is freed, no timer added to those it started with";
    case READS_NOTHING_OF_ITS_OWN: return "reads the world only through the framework: the same session, the same calls";
    case DRAWS_WHERE_SEEN: return "something of its drawing lands inside the window";
    case READS_THE_SCREEN_BEFORE_IT_SHOWS: return "reads the screen only at WM_CREATE, before its window covers it";
    }
    return "";
}

std::string Hex(ULONG_PTR value) {
    char text[24];
    snprintf(text, sizeof text, value < 10 ? "%llu" : "0x%llx", (unsigned long long)value);
    return text;
}

// The names GetStockObject knows its objects by.
static const char *StockName(int index) {
    switch (index) {
#define NAME(s) \
    case s: return #s
        NAME(WHITE_BRUSH); NAME(LTGRAY_BRUSH); NAME(GRAY_BRUSH); NAME(DKGRAY_BRUSH); NAME(BLACK_BRUSH);
        NAME(NULL_BRUSH); NAME(WHITE_PEN); NAME(BLACK_PEN); NAME(NULL_PEN); NAME(OEM_FIXED_FONT);
        NAME(ANSI_FIXED_FONT); NAME(ANSI_VAR_FONT); NAME(SYSTEM_FONT); NAME(DEVICE_DEFAULT_FONT);
        NAME(DEFAULT_PALETTE); NAME(SYSTEM_FIXED_FONT); NAME(DEFAULT_GUI_FONT); NAME(DC_BRUSH); NAME(DC_PEN);
#undef NAME
    }
    return "stock object";
}

std::string ObjectName(HGDIOBJ object, const char *kind) {
    if (!object) return std::string("no ") + kind;
    int stock = sim::StockIndexOf(object);
    if (stock == sim::DEFAULT_BITMAP_STOCK) return "the memory device context's default 1x1 bitmap";
    sim::GdiObjectFacts facts = sim::GdiObjectFactsOf(object);
    std::string name = "the " + (facts.kind.empty() ? std::string(kind) : facts.kind) + " ";
    if (stock != sim::NOT_STOCK) return name + StockName(stock);
    // As the traces name it: its kind and order (pen#3), the same in every run.
    std::string traced = sim::HandleName(object);
    if (traced.empty()) return name + Hex((ULONG_PTR)object);
    return traced.rfind(facts.kind + "#", 0) == 0 ? traced : name + traced;
}

const char *MessageName(UINT message) {
    switch (message) {
#define NAME(m) \
    case m: return #m
        NAME(WM_NCCREATE); NAME(WM_CREATE); NAME(WM_DESTROY); NAME(WM_NCDESTROY); NAME(WM_SIZE); NAME(WM_MOVE);
        NAME(WM_SHOWWINDOW); NAME(WM_ACTIVATEAPP); NAME(WM_SETCURSOR); NAME(WM_PAINT); NAME(WM_ERASEBKGND);
        NAME(WM_TIMER); NAME(WM_CLOSE); NAME(WM_KEYDOWN); NAME(WM_KEYUP); NAME(WM_CHAR); NAME(WM_SYSKEYDOWN);
        NAME(WM_SYSKEYUP); NAME(WM_SYSCHAR); NAME(WM_MOUSEMOVE); NAME(WM_LBUTTONDOWN); NAME(WM_LBUTTONUP);
        NAME(WM_RBUTTONDOWN); NAME(WM_RBUTTONUP); NAME(WM_MBUTTONDOWN); NAME(WM_MBUTTONUP); NAME(WM_POWER);
        NAME(WM_POWERBROADCAST); NAME(WM_SYSCOMMAND); NAME(WM_HELP); NAME(WM_CONTEXTMENU); NAME(WM_APP);
        NAME(WM_NCCALCSIZE); NAME(WM_WINDOWPOSCHANGING); NAME(WM_WINDOWPOSCHANGED); NAME(WM_GETICON);
        NAME(WM_QUERYNEWPALETTE); NAME(WM_NCACTIVATE); NAME(WM_ACTIVATE); NAME(WM_SETFOCUS); NAME(WM_KILLFOCUS);
        NAME(WM_IME_SETCONTEXT); NAME(WM_NCPAINT); NAME(WM_NCHITTEST); NAME(WM_MOUSEACTIVATE);
#undef NAME
    }
    static char other[32];
    snprintf(other, sizeof other, "message 0x%x", message);
    return other;
}

}  // namespace effect_check
