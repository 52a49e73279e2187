// The effect's calls under Wine, read from Wine's relay trace of the image (WINEDEBUG=+relay), in
// the form the checker's traces have, and compared with the simulated Win32's call for call.
//
// The effect's calls are told from the framework's by where they return to: the link map gives
// the address range of each of the effect's own objects. Its messages are those of the frame
// procedure, whose address the link map gives too; its ticks are the WM_TIMER messages.
//
// Wine's trace shows each argument as a number, and a string where the platform's export table
// says the argument is one. So a handle is matched to the name the other side gives it (pen#3):
// each value stands for one name throughout, and one name for one value, of the kind the call
// that made it makes. What Wine's trace cannot show is left out of the comparison and shown as
// "?": the members of a structure passed by address (a rectangle, a font, a bitmap's header).
#include "effect_check/effect_check.h"

#include <fstream>
#include <map>
#include <sstream>

namespace effect_check {
namespace {

#define FRAME_PROC_NAME "SaverFrameProc("
#define NOT_SHOWN "?"

// How each argument that Wine shows becomes the simulated Win32's record: 1, one argument; 0, an
// address the record leaves out (where a result goes, the pixels); more, the members of the
// structure at that address, which Wine's trace cannot show. POINT_BY_VALUE: a POINT passed in
// one register, its x and y. Calls not named here are recorded as Wine shows them, one for one.
const int POINT_BY_VALUE = -1;
const std::map<std::string, std::vector<int>> &RecordShapes() {
    static const std::map<std::string, std::vector<int>> shapes = {
        {"GetClientRect", {1, 0}},
        {"GetClipBox", {1, 0}},
        {"GetRgnBox", {1, 0}},
        {"GetTextMetricsA", {1, 0}},
        {"GetTextExtentPoint32A", {1, 1, 1, 0}},
        {"GetCursorPos", {0}},
        {"FillRect", {1, 4, 1}},
        {"FrameRect", {1, 4, 1}},
        {"InvertRect", {1, 4}},
        {"CreateDIBSection", {1, 4, 1, 0, 1, 1}},
        {"SetDIBitsToDevice", {1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 1}},
        {"StretchDIBits", {1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 1, 1}},
        {"CreateFontIndirectA", {14}},
        {"CreatePenIndirect", {3}},
        {"CreateBrushIndirect", {3}},
        {"ExtTextOutA", {1, 1, 1, 1, 4, 1, 1, 0}},
        {"DrawTextA", {1, 1, 1, 4, 1}},
        {"CreateRectRgnIndirect", {4}},
        {"CreateEllipticRgnIndirect", {4}},
        {"SetRect", {0, 1, 1, 1, 1}},
        {"CopyRect", {0, 4}},
        {"OffsetRect", {4, 1, 1}},
        {"InflateRect", {4, 1, 1}},
        {"IntersectRect", {0, 4, 4}},
        {"UnionRect", {0, 4, 4}},
        {"SubtractRect", {0, 4, 4}},
        {"EqualRect", {4, 4}},
        {"IsRectEmpty", {4}},
        {"PtInRect", {4, POINT_BY_VALUE}},
    };
    return shapes;
}

// The kind of handle each call that makes one makes, as the traces name it (pen#3).
const char *KindMade(const std::string &call) {
    static const std::map<std::string, const char *> kinds = {
        {"CreatePen", "pen"}, {"CreatePenIndirect", "pen"}, {"ExtCreatePen", "pen"},
        {"CreateSolidBrush", "brush"}, {"CreateHatchBrush", "brush"}, {"CreatePatternBrush", "brush"},
        {"CreateBrushIndirect", "brush"}, {"CreateDIBPatternBrushPt", "brush"},
        {"CreateRectRgn", "region"}, {"CreateRectRgnIndirect", "region"}, {"CreateEllipticRgn", "region"},
        {"CreateEllipticRgnIndirect", "region"}, {"CreateRoundRectRgn", "region"}, {"CreatePolygonRgn", "region"},
        {"CreateCompatibleBitmap", "bitmap"}, {"CreateBitmap", "bitmap"}, {"CreateDIBSection", "bitmap"},
        {"CreateFontIndirectA", "font"}, {"CreateFontA", "font"},
        {"CreateCompatibleDC", "memory dc"}, {"GetDC", "dc"}, {"BeginPaint", "dc"}, {"GetWindowDC", "dc"},
        {"CreateWindowExA", "window"},
    };
    auto found = kinds.find(call);
    return found == kinds.end() ? nullptr : found->second;
}

// One argument as Wine's trace shows it: a number, and the text when it is a string.
struct WineArg {
    ULONG_PTR value = 0;
    bool hasText = false;
    std::string text;
};

struct WineCall {
    int line;  // in the relay trace
    std::string where;
    std::string name;
    std::vector<WineArg> args;
    std::string result;  // retval, as Wine shows it
    std::string measured;  // a text's extent, "65 x 21", from Wine's font trace
    ULONG_PTR returnTo;
};

struct Range {
    ULONG_PTR start, end;
};

// ---------------------------------------------------------------------------------------------
// The link map

std::string ObjectOf(const std::string &path) {
    size_t open = path.rfind('(');
    std::string object = open != std::string::npos && path.back() == ')' ? path.substr(open + 1, path.size() - open - 2)
                                                                         : path;
    size_t slash = object.rfind('/');
    return slash == std::string::npos ? object : object.substr(slash + 1);
}

// The address ranges of the effect's objects' code, and the frame procedure's address.
bool ReadLinkMap(const WineRun &wine, std::vector<Range> *ranges, ULONG_PTR *frameProc, std::string *error) {
    std::ifstream file(wine.linkMap);
    if (!file) {
        *error = "the link map " + wine.linkMap + " cannot be read";
        return false;
    }
    std::string line, section;
    *frameProc = 0;
    while (std::getline(file, line)) {
        std::istringstream words(line);
        std::string first;
        words >> first;
        // A section's line: " .text  0xADDRESS  0xSIZE  OBJECT"; a long section name has a line of
        // its own, and the numbers follow on the next.
        if (line.size() > 1 && line[0] == ' ' && line[1] == '.') {
            section = first;
            if (!(words >> first)) continue;
        } else if (line.find(FRAME_PROC_NAME) != std::string::npos && first.rfind("0x", 0) == 0) {
            *frameProc = strtoull(first.c_str(), nullptr, 16);
            continue;
        } else if (line.empty() || line[0] != ' ' || first.rfind("0x", 0) != 0 || section.empty()) {
            section.clear();
            continue;
        }
        std::string size, path;
        if (!(words >> size >> path) || section.rfind(".text", 0) != 0) {
            section.clear();
            continue;
        }
        section.clear();
        std::string object = ObjectOf(path);
        for (const std::string &effect : wine.effectObjects)
            if (object == effect) {
                ULONG_PTR start = strtoull(first.c_str(), nullptr, 16);
                ranges->push_back({start, start + strtoull(size.c_str(), nullptr, 16)});
            }
    }
    if (ranges->empty()) *error = "the link map " + wine.linkMap + " shows no code of the effect's objects";
    else if (!*frameProc) *error = "the link map " + wine.linkMap + " does not show where SaverFrameProc is";
    return !ranges->empty() && *frameProc;
}

// ---------------------------------------------------------------------------------------------
// The relay trace

// Wine's string as the program passed it: Wine writes \\, \", \n, \r, \t and \xNN.
std::string Unescape(const std::string &text) {
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            plain += text[i];
            continue;
        }
        char next = text[++i];
        if (next == 'n') plain += '\n';
        else if (next == 'r') plain += '\r';
        else if (next == 't') plain += '\t';
        else if (next == 'x' && i + 2 < text.size()) {
            plain += (char)strtol(text.substr(i + 1, 2).c_str(), nullptr, 16);
            i += 2;
        } else plain += next;
    }
    return plain;
}

// "00000001,1400052f5 \"text, more\",00000000": each number, with its string if it has one.
std::vector<WineArg> SplitArgs(const std::string &list) {
    std::vector<WineArg> args;
    size_t i = 0;
    while (i < list.size()) {
        WineArg arg;
        size_t end = i;
        while (end < list.size() && isxdigit((unsigned char)list[end])) ++end;
        arg.value = strtoull(list.substr(i, end - i).c_str(), nullptr, 16);
        i = end;
        if (i + 1 < list.size() && list[i] == ' ' && (list[i + 1] == '"' || list[i + 1] == 'L')) {
            i += list[i + 1] == 'L' ? 3 : 2;
            std::string text;
            while (i < list.size() && list[i] != '"') {
                if (list[i] == '\\' && i + 1 < list.size()) text += list[i++];
                text += list[i++];
            }
            ++i;
            arg.hasText = true;
            arg.text = Unescape(text);
        }
        while (i < list.size() && list[i] != ',') ++i;
        ++i;
        args.push_back(arg);
    }
    return args;
}

bool InRanges(const std::vector<Range> &ranges, ULONG_PTR address) {
    for (const Range &range : ranges)
        if (address >= range.start && address < range.end) return true;
    return false;
}

std::string WineMessageName(const std::string &name) {
    if (name.rfind("WM_", 0) == 0) return name;
    return MessageName((UINT)strtoul(name.c_str(), nullptr, 16));
}

struct Relay {
    std::vector<WineCall> calls;              // the effect's, in its first ticks
    std::map<ULONG_PTR, std::string> kinds;   // what the image's calls made, by value
    int ticks = 0;                            // ticks begun
};

// The frame procedure's messages, as "Call window proc 00000001400018D0 (hwnd=...,msg=WM_TIMER,...)".
bool FrameProcLine(const std::string &line, const std::string &mark, const std::string &proc, std::string *message) {
    size_t at = line.find(mark);
    if (at == std::string::npos || line.compare(at + mark.size(), proc.size(), proc) != 0) return false;
    size_t msg = line.find(",msg=", at);
    if (msg == std::string::npos) return false;
    msg += 5;
    *message = line.substr(msg, line.find(',', msg) - msg);
    return true;
}

// "0110:Call ...": the thread's number; empty for a line that another thread's output broke.
std::string ThreadOf(const std::string &line) {
    size_t colon = line.find(':');
    if (colon == 0 || colon == std::string::npos) return "";
    for (size_t i = 0; i < colon; ++i)
        if (!isxdigit((unsigned char)line[i])) return "";
    return line.substr(0, colon);
}

bool ReadRelay(const WineRun &wine, const std::vector<Range> &ranges, ULONG_PTR frameProc, int ticks, Relay *relay,
               std::string *error) {
    std::ifstream file(wine.relay);
    if (!file) {
        *error = "the relay trace " + wine.relay + " cannot be read";
        return false;
    }
    char proc[24];
    snprintf(proc, sizeof proc, "%016llX", (unsigned long long)frameProc);
    std::string line, thread;
    std::vector<std::string> messages;  // the frame procedure's, innermost last
    std::vector<size_t> open;           // the effect's calls not yet returned
    for (int number = 1; std::getline(file, line); ++number) {
        std::string message;
        if (FrameProcLine(line, "Call window proc ", proc, &message)) {
            if (thread.empty()) thread = ThreadOf(line);
            message = WineMessageName(message);
            if (message == "WM_TIMER" && ++relay->ticks > ticks) return true;
            messages.push_back(message);
            continue;
        }
        // Inside GetTextExtentPoint32A, Wine's font trace says what it measured:
        // "0024:trace:font:NtGdiGetTextExtentExW (0x7010056, L"HOTEL", 0) returning 65x21".
        size_t measured = line.find(":trace:font:NtGdiGetTextExtentExW ");
        if (measured != std::string::npos && !open.empty() && line.compare(0, thread.size() + 1, thread + ":") == 0) {
            size_t returning = line.rfind(" returning ");
            WineCall &measuring = relay->calls[open.back()];
            if (returning != std::string::npos && measuring.name == "GetTextExtentPoint32A") {
                measuring.measured = line.substr(returning + 11);
                size_t by = measuring.measured.find('x');
                if (by != std::string::npos) measuring.measured.replace(by, 1, " x ");
            }
            continue;
        }
        if (FrameProcLine(line, "Ret  window proc ", proc, &message)) {
            if (!messages.empty()) messages.pop_back();
            continue;
        }
        if (thread.empty() || line.compare(0, thread.size() + 1, thread + ":") != 0) continue;
        std::string rest = line.substr(thread.size() + 1);
        size_t retAt = rest.rfind(" ret=");
        if (retAt == std::string::npos) continue;
        ULONG_PTR returnTo = strtoull(rest.c_str() + retAt + 5, nullptr, 16);
        bool call = rest.rfind("Call ", 0) == 0, ret = rest.rfind("Ret  ", 0) == 0;
        if (!call && !ret) continue;
        size_t dot = rest.find('.'), paren = rest.find('(');
        if (dot == std::string::npos || paren == std::string::npos || dot > paren) continue;
        std::string name = rest.substr(dot + 1, paren - dot - 1);
        if (ret) {
            size_t value = rest.find(" retval=");
            std::string result = value == std::string::npos ? "" : rest.substr(value + 8, retAt - value - 8);
            if (const char *kind = KindMade(name)) relay->kinds[strtoull(result.c_str(), nullptr, 16)] = kind;
            if (!open.empty() && relay->calls[open.back()].name == name && relay->calls[open.back()].returnTo == returnTo) {
                relay->calls[open.back()].result = result;
                open.pop_back();
            }
            continue;
        }
        if (!InRanges(ranges, returnTo)) continue;
        WineCall effectCall;
        effectCall.line = number;
        std::string current = messages.empty() ? "outside its window procedure" : messages.back();
        if (current == "WM_TIMER") effectCall.where = "tick " + std::to_string(relay->ticks);
        else if (relay->ticks == 0) effectCall.where = current;
        else effectCall.where = current + " after tick " + std::to_string(relay->ticks);
        effectCall.name = name;
        effectCall.args = SplitArgs(rest.substr(paren + 1, rest.rfind(')', retAt) - paren - 1));
        effectCall.returnTo = returnTo;
        open.push_back(relay->calls.size());
        relay->calls.push_back(effectCall);
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Comparing

// A line of a trace: "tick 3: LineTo(dc#2, 5, 7)" as its place, its call and its arguments.
struct ComparedLine {
    std::string where, name;
    std::vector<std::string> args;
};

ComparedLine ParseTraceLine(const std::string &text) {
    ComparedLine line;
    size_t colon = text.find(": ");
    size_t open = text.find('(', colon == std::string::npos ? 0 : colon);
    if (colon == std::string::npos || open == std::string::npos) return line;
    line.where = text.substr(0, colon);
    line.name = text.substr(colon + 2, open - colon - 2);
    std::string list = text.substr(open + 1, text.size() - open - 2);
    size_t i = 0;
    while (i < list.size()) {
        size_t end;
        if (list[i] == '"') {
            end = list.find("\", ", i + 1);
            end = end == std::string::npos ? list.size() : end + 1;
        } else {
            end = list.find(", ", i);
            if (end == std::string::npos) end = list.size();
        }
        line.args.push_back(list.substr(i, end - i));
        i = end + 2;
    }
    return line;
}

std::string FormatLine(const ComparedLine &line) {
    std::string text = line.where + ": " + line.name + "(";
    for (size_t i = 0; i < line.args.size(); ++i) text += (i ? ", " : "") + line.args[i];
    return text + ")";
}

// A handle's name: "pen#3", "memory dc#2", "window#1", or a stock object's ("BLACK_PEN").
bool IsHandleName(const std::string &arg) {
    if (arg.find('#') != std::string::npos) return true;
    if (arg.empty() || !isupper((unsigned char)arg[0])) return false;
    for (char c : arg)
        if (!isupper((unsigned char)c) && c != '_' && !isdigit((unsigned char)c)) return false;
    return true;
}

// A number as the simulated Win32's record writes one.
std::string FormatNumber(LONG_PTR value) {
    char text[32];
    if ((ULONG_PTR)value < 0x10000 || (value < 0 && value > -0x10000)) snprintf(text, sizeof text, "%lld", (long long)value);
    else snprintf(text, sizeof text, "0x%llx", (unsigned long long)value);
    return text;
}

// Which value stands for which name, both ways.
struct Names {
    std::map<ULONG_PTR, std::string> ofValue;
    std::map<std::string, ULONG_PTR> ofName;
    const std::map<ULONG_PTR, std::string> *kinds;
};

std::string KindOfName(const std::string &name) {
    size_t hash = name.find('#');
    return hash == std::string::npos ? "" : name.substr(0, hash);
}

// A number of Wine's as the expected side would write it, in the form the expected argument has.
std::string Render(const WineArg &arg, const std::string &expected, Names *names) {
    if (arg.hasText) return "\"" + arg.text + "\"";
    if (expected.size() > 1 && expected[0] == '"') return NOT_SHOWN;
    ULONG_PTR value = arg.value;
    if (IsHandleName(expected) && value) {
        auto known = names->ofValue.find(value);
        if (known != names->ofValue.end()) return known->second;
        auto kind = names->kinds->find(value);
        bool sameKind = kind == names->kinds->end() || kind->second == KindOfName(expected);
        if (!names->ofName.count(expected) && sameKind) {
            names->ofValue[value] = expected;
            names->ofName[expected] = value;
            return expected;
        }
        return kind == names->kinds->end() ? Hex(value) : "a " + kind->second + " " + Hex(value);
    }
    if (expected == "&") return value ? "&" : "0";
    // A 32-bit argument arrives in a 64-bit register whose upper half Wine shows as it found it.
    DWORD low = (DWORD)value;
    std::string asSigned = FormatNumber((LONG)low), asUnsigned = FormatNumber((LONG_PTR)low);
    if (expected == asSigned || expected == asUnsigned) return expected;
    if (expected == FormatNumber((LONG_PTR)value)) return expected;
    return expected.rfind('-', 0) == 0 ? asSigned : asUnsigned;
}

ComparedLine WineLine(const WineCall &call, const ComparedLine &expected, Names *names) {
    ComparedLine line;
    line.where = call.where;
    line.name = call.name;
    auto shape = RecordShapes().find(call.name);
    for (size_t i = 0; i < call.args.size(); ++i) {
        int count = shape == RecordShapes().end() || i >= shape->second.size() ? 1 : shape->second[i];
        auto expectedArg = [&](size_t at) { return at < expected.args.size() ? expected.args[at] : std::string(); };
        if (count == POINT_BY_VALUE) {
            WineArg x = call.args[i], y = call.args[i];
            x.value &= 0xFFFFFFFFu;
            y.value >>= 32;
            line.args.push_back(Render(x, expectedArg(line.args.size()), names));
            line.args.push_back(Render(y, expectedArg(line.args.size()), names));
        } else if (count == 1) {
            line.args.push_back(Render(call.args[i], expectedArg(line.args.size()), names));
        } else {
            for (int member = 0; member < count; ++member) line.args.push_back(NOT_SHOWN);
        }
    }
    // The record holds a string as far as its count reaches; Wine's trace, up to its end.
    for (size_t i = 0; i + 1 < line.args.size(); ++i) {
        const std::string &arg = line.args[i];
        long count = strtol(line.args[i + 1].c_str(), nullptr, 10);
        if (arg.size() >= 2 && arg[0] == '"' && count >= 0 && (size_t)count + 2 < arg.size())
            line.args[i] = arg.substr(0, count + 1) + "\"";
    }
    return line;
}

bool Agree(const ComparedLine &expected, const ComparedLine &got) {
    if (expected.where != got.where || expected.name != got.name || expected.args.size() != got.args.size())
        return false;
    for (size_t i = 0; i < expected.args.size(); ++i)
        if (got.args[i] != NOT_SHOWN && expected.args[i] != got.args[i]) return false;
    return true;
}

// The results Wine gave the last few of the effect's calls in the same place before the one that
// differs: what the effect may have computed its arguments from.
std::string ResultsBefore(const std::vector<WineCall> &calls, size_t at) {
    const int SHOWN = 3;
    std::string results;
    int shown = 0;
    for (size_t i = at; i-- > 0 && calls[i].where == calls[at].where && shown < SHOWN; ++shown) {
        if (calls[i].result.empty()) continue;
        results = "\n  Wine returned " + calls[i].result + " from " + calls[i].name + " (relay trace line " +
                  std::to_string(calls[i].line) + ")" + results;
    }
    return results;
}

// What the simulated Win32 measures each GetTextExtentPoint32A of the expected lines as, by
// index: the fonts made and selected before it, made again on a machine of its own.
std::map<size_t, std::string> SimulatedExtents(const std::vector<std::string> &expected, size_t upTo) {
    std::map<size_t, std::string> extents;
    std::vector<HFONT> fonts;
    std::map<std::string, size_t> selected;  // a device context's font, by its index in fonts + 1
    sim::Reset();
    for (size_t i = 0; i < upTo && i < expected.size(); ++i) {
        ComparedLine line = ParseTraceLine(expected[i]);
        const size_t FONT_ARGS = 14;
        if ((line.name == "CreateFontIndirectA" || line.name == "CreateFontA") && line.args.size() == FONT_ARGS) {
            LOGFONTA font = {};
            LONG *numbers[] = {&font.lfHeight, &font.lfWidth, &font.lfEscapement, &font.lfOrientation, &font.lfWeight};
            for (int k = 0; k < 5; ++k) *numbers[k] = atol(line.args[k].c_str());
            BYTE *bytes[] = {&font.lfItalic, &font.lfUnderline, &font.lfStrikeOut, &font.lfCharSet,
                             &font.lfOutPrecision, &font.lfClipPrecision, &font.lfQuality, &font.lfPitchAndFamily};
            for (int k = 0; k < 8; ++k) *bytes[k] = (BYTE)atoi(line.args[5 + k].c_str());
            std::string face = line.args[13].size() >= 2 ? line.args[13].substr(1, line.args[13].size() - 2) : "";
            snprintf(font.lfFaceName, sizeof font.lfFaceName, "%s", face.c_str());
            fonts.push_back(CreateFontIndirectA(&font));
        } else if (line.name == "SelectObject" && line.args.size() == 2 && line.args[1].rfind("font#", 0) == 0) {
            selected[line.args[0]] = atoi(line.args[1].c_str() + 5);
        } else if (line.name == "GetTextExtentPoint32A" && line.args.size() == 3) {
            std::string text = line.args[1].size() >= 2 ? line.args[1].substr(1, line.args[1].size() - 2) : "";
            HDC dc = CreateCompatibleDC(0);
            size_t font = selected.count(line.args[0]) ? selected[line.args[0]] : 0;
            if (font && font <= fonts.size()) SelectObject(dc, fonts[font - 1]);
            SIZE size = {0, 0};
            GetTextExtentPoint32A(dc, text.c_str(), atoi(line.args[2].c_str()), &size);
            DeleteDC(dc);
            extents[i] = std::to_string(size.cx) + " x " + std::to_string(size.cy);
        }
    }
    return extents;
}

// The texts measured before the call that differs whose extents Wine and the simulated Win32
// do not agree on: what the effect lays its text out by.
std::string ExtentsBefore(const std::vector<std::string> &expected, const std::vector<size_t> &lines,
                          const std::vector<WineCall> &calls, size_t at) {
    std::map<size_t, std::string> simulated = SimulatedExtents(expected, lines[at]);
    std::string differences;
    for (size_t i = 0; i < at && i < calls.size(); ++i) {
        auto found = simulated.find(lines[i]);
        if (found == simulated.end() || calls[i].measured.empty() || found->second == calls[i].measured) continue;
        differences += "\n  " + expected[lines[i]] + ": the simulated Win32 measures " + found->second + ", Wine " +
                       calls[i].measured;
    }
    return differences;
}

// The ticks over before a line's place: "tick 4" and "WM_PAINT after tick 3" have 3 behind them.
int TicksBefore(const std::string &where) {
    if (where.rfind("tick ", 0) == 0) return atoi(where.c_str() + 5) - 1;
    size_t after = where.find(" after tick ");
    return after == std::string::npos ? 0 : atoi(where.c_str() + after + 12);
}

}  // namespace

std::string CompareWithWine(const WineRun &wine, const std::vector<std::string> &expected, int ticks,
                            const std::function<std::string(size_t)> &where, int *agreed) {
    std::vector<Range> ranges;
    ULONG_PTR frameProc;
    std::string error;
    Relay relay;
    *agreed = 0;
    if (!ReadLinkMap(wine, &ranges, &frameProc, &error) || !ReadRelay(wine, ranges, frameProc, ticks, &relay, &error))
        return error;
    if (relay.ticks <= ticks)
        return "the relay trace " + wine.relay + " ends in tick " + std::to_string(relay.ticks) + ", before the " +
               std::to_string(ticks) + " ticks to compare were over";
    Names names;
    names.kinds = &relay.kinds;
    std::vector<size_t> lines;  // of expected, without the pixels Wine's trace cannot show
    for (size_t i = 0; i < expected.size(); ++i)
        if (expected[i].find(": " PIXELS_TRACED) == std::string::npos) lines.push_back(i);
    const std::string end = "(the end of the trace)";
    for (size_t i = 0; i < lines.size() || i < relay.calls.size(); ++i) {
        ComparedLine want = i < lines.size() ? ParseTraceLine(expected[lines[i]]) : ComparedLine();
        if (i < lines.size() && i < relay.calls.size()) {
            ComparedLine got = WineLine(relay.calls[i], want, &names);
            if (Agree(want, got)) continue;
            *agreed = TicksBefore(want.where);
            return where(lines[i]) + ": the first call that differs\n  expected: " + expected[lines[i]] +
                   "\n  Wine:     " + FormatLine(got) + " (relay trace line " + std::to_string(relay.calls[i].line) +
                   (relay.calls[i].result.empty() ? "" : ", returned " + relay.calls[i].result) + ")" +
                   ExtentsBefore(expected, lines, relay.calls, i) + ResultsBefore(relay.calls, i);
        }
        if (i < lines.size()) {
            *agreed = TicksBefore(want.where);
            return where(lines[i]) + ": the first call that differs\n  expected: " + expected[lines[i]] +
                   "\n  Wine:     " + end;
        }
        ComparedLine got = WineLine(relay.calls[i], want, &names);
        *agreed = TicksBefore(got.where);
        return where(expected.size()) + ": the first call that differs\n  expected: " + end + "\n  Wine:     " +
               FormatLine(got) + " (relay trace line " + std::to_string(relay.calls[i].line) + ")";
    }
    *agreed = ticks;
    return "";
}

}  // namespace effect_check
