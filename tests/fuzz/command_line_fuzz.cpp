// Arbitrary command lines through the tail extraction and the mode selection of both families,
// each result held against a statement of the rules written here independently of the product.
//
// Input: one byte of options (bit 0: the code page has double-byte characters, lead bytes
// 0x81-0x9F and 0xE0-0xFC as in Shift-JIS), then the command line; a zero byte ends it early.
#include "startup/modes.h"
#include "sim/sim.h"
#include "tests/fuzz/fuzz_check.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace {

bool leadByte[256];

void UseCodePage(bool doubleByte) {
    memset(leadByte, 0, sizeof leadByte);
    if (doubleByte) {
        for (int b = 0x81; b <= 0x9F; b++) leadByte[b] = true;
        for (int b = 0xE0; b <= 0xFC; b++) leadByte[b] = true;
        sim::SetLeadBytes({0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8A, 0x8B, 0x8C,
                           0x8D, 0x8E, 0x8F, 0x90, 0x91, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98,
                           0x99, 0x9A, 0x9B, 0x9C, 0x9D, 0x9E, 0x9F, 0xE0, 0xE1, 0xE2, 0xE3, 0xE4,
                           0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xEB, 0xEC, 0xED, 0xEE, 0xEF, 0xF0,
                           0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC});
    } else {
        sim::SetLeadBytes({});
    }
}

// Where the tail starts: past a quoted or unquoted program name (stepped by whole characters) and
// the blanks and control bytes after it.
size_t ExpectedTailOffset(const std::string &line) {
    const unsigned char *s = (const unsigned char *)line.c_str();
    size_t n = line.size();
    auto next = [&](size_t i) { return leadByte[s[i]] && i + 1 < n ? i + 2 : i + 1; };
    size_t i = 0;
    if (n && s[0] == '"') {
        i = next(0);
        while (i < n && s[i] != '"') i = next(i);
        if (i < n) i++;
    } else if (n && s[0] > 0x20) {
        while (i < n && s[i] > 0x20) i = next(i);
    }
    while (i < n && s[i] <= 0x20) i = next(i);
    return i;
}

enum class HandleSyntax { None, AfterColon, AfterBlanks };

struct ModeLetter {
    const char *letters;
    ModeKind kind;
    HandleSyntax handle;
    ParentRule rule;
    bool win9xOnly;
};

const ModeLetter MODE_LETTERS[] = {
    {"Cc", ModeKind::Configure, HandleSyntax::AfterColon, ParentRule::Foreground, false},
    {"Aa", ModeKind::ChangePassword, HandleSyntax::AfterBlanks, ParentRule::Foreground, true},
    {"PpLl", ModeKind::Preview, HandleSyntax::AfterBlanks, ParentRule::Refuse, false},
    {"Ss", ModeKind::FullScreen, HandleSyntax::None, ParentRule::NoParent, false},
};

struct Expected {
    ModeRequest request;
    bool ruleMatters;
    size_t examined;  // bytes of the tail that decide the result
};

// Decimal digits, wrapping modulo 2^32; returns where the digits end.
size_t ReadDigits(const std::string &text, size_t at, DWORD *value) {
    uint64_t v = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        v = (v * 10 + (uint64_t)(text[at] - '0')) % 4294967296ull;
        at++;
    }
    *value = (DWORD)v;
    return at;
}

Expected ExpectedMode(const std::string &tail, bool win9x) {
    size_t k = strspn(tail.c_str(), " -/");
    if (k == tail.size()) return {{ModeKind::Configure, 0, ParentRule::NoParent}, true, k};
    for (const ModeLetter &row : MODE_LETTERS) {
        if (!strchr(row.letters, tail[k])) continue;
        if (row.win9xOnly && !win9x) break;
        DWORD parent = 0;
        size_t end = k + 1;
        if (row.handle == HandleSyntax::AfterColon) {
            if (end < tail.size() && tail[end] == ':')
                end = ReadDigits(tail, end + 1, &parent);
            else if (end < tail.size())
                end++;
        } else if (row.handle == HandleSyntax::AfterBlanks) {
            while (end < tail.size() && tail[end] == ' ') end++;
            end = ReadDigits(tail, end, &parent);
        }
        return {{row.kind, parent, row.rule}, row.kind != ModeKind::FullScreen, end};
    }
    return {{ModeKind::Invalid, 0, ParentRule::NoParent}, false, k + 1};
}

const char *KindName(ModeKind kind) {
    switch (kind) {
    case ModeKind::Configure: return "Configure";
    case ModeKind::ChangePassword: return "ChangePassword";
    case ModeKind::Preview: return "Preview";
    case ModeKind::FullScreen: return "FullScreen";
    case ModeKind::Invalid: return "Invalid";
    }
    return "?";
}

void CheckMode(const std::string &tail, bool win9x) {
    Expected expected = ExpectedMode(tail, win9x);
    ModeRequest got = SelectMode(tail.c_str(), win9x);
    FUZZ_CHECK(got.kind == expected.request.kind && got.parent == expected.request.parent &&
                   (!expected.ruleMatters || got.parentRule == expected.request.parentRule),
               "tail \"%s\" (win9x %d): got %s parent %lu rule %d, expected %s parent %lu rule %d",
               tail.c_str(), win9x, KindName(got.kind), (unsigned long)got.parent,
               (int)got.parentRule, KindName(expected.request.kind),
               (unsigned long)expected.request.parent, (int)expected.request.parentRule);
    FUZZ_CHECK(expected.ruleMatters || got.parent == 0, "tail \"%s\": a parent without a rule",
               tail.c_str());

    // Nothing past the mode letter and its handle may change the decision.
    std::string cut = tail.substr(0, expected.examined);
    ModeRequest shortened = SelectMode(cut.c_str(), win9x);
    FUZZ_CHECK(shortened.kind == got.kind && shortened.parent == got.parent &&
                   shortened.parentRule == got.parentRule,
               "tail \"%s\" decides differently from its first %zu bytes", tail.c_str(),
               expected.examined);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    sim::Reset();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    sim::ClearCalls();
    UseCodePage(data[0] & 1);
    std::string line((const char *)data + 1, size - 1);
    line.resize(strlen(line.c_str()));

    LPCSTR tail = ExtractCommandTail(line.c_str());
    FUZZ_CHECK(tail >= line.c_str() && tail <= line.c_str() + line.size(),
               "the tail of \"%s\" lies outside the line", line.c_str());
    size_t offset = (size_t)(tail - line.c_str());
    size_t expectedOffset = ExpectedTailOffset(line);
    FUZZ_CHECK(offset == expectedOffset, "line \"%s\": tail at %zu, expected at %zu", line.c_str(),
               offset, expectedOffset);

    // Selection sees arbitrary text, not only what extraction leaves.
    for (const std::string &text : {std::string(tail), line}) {
        CheckMode(text, false);
        CheckMode(text, true);
        DWORD expected;
        ReadDigits(text, 0, &expected);
        FUZZ_CHECK(ParseWindowHandle(text.c_str()) == expected, "handle of \"%s\"", text.c_str());
    }
    return 0;
}
