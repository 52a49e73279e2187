// From the command line to a mode request: the program name stripped, the platform family told,
// the tail read.
#include "tests/unit/fixture.h"
#include "startup/modes.h"

#include <cstring>

namespace {

class CommandLineTest : public SaverTest {};

enum Families { Both, Win9xOnly, NtOnly };

struct TailCase {
    const char *tail;
    Families families;
    ModeKind kind;
    DWORD parent;
    ParentRule rule;  // not compared for FullScreen and Invalid, which have none
};

const TailCase tailCases[] = {
    {"", Both, ModeKind::Configure, 0, ParentRule::NoParent},
    {"/ - ", Both, ModeKind::Configure, 0, ParentRule::NoParent},
    {"/s", Both, ModeKind::FullScreen, 0, {}},
    {"-S", Both, ModeKind::FullScreen, 0, {}},
    {"s", Both, ModeKind::FullScreen, 0, {}},
    {"/ -/s", Both, ModeKind::FullScreen, 0, {}},
    {" -/ /-s", Both, ModeKind::FullScreen, 0, {}},
    {"/s ignored words", Both, ModeKind::FullScreen, 0, {}},
    {"/s:77", Both, ModeKind::FullScreen, 0, {}},
    {"/c", Both, ModeKind::Configure, 0, ParentRule::Foreground},
    {"/C:5244", Both, ModeKind::Configure, 5244, ParentRule::Foreground},
    {"/c:5244", Both, ModeKind::Configure, 5244, ParentRule::Foreground},
    {"/c:5244 /p 9", Both, ModeKind::Configure, 5244, ParentRule::Foreground},
    {"/c 5244", Both, ModeKind::Configure, 0, ParentRule::Foreground},
    {"/c: 5244", Both, ModeKind::Configure, 0, ParentRule::Foreground},
    {"/p 1234", Both, ModeKind::Preview, 1234, ParentRule::Refuse},
    {"/p1234", Both, ModeKind::Preview, 1234, ParentRule::Refuse},
    {"/P   1234", Both, ModeKind::Preview, 1234, ParentRule::Refuse},
    {"/l 1234", Both, ModeKind::Preview, 1234, ParentRule::Refuse},
    {"-L 1234", Both, ModeKind::Preview, 1234, ParentRule::Refuse},
    {"/p:1234", Both, ModeKind::Preview, 0, ParentRule::Refuse},
    {"/p 12 34", Both, ModeKind::Preview, 12, ParentRule::Refuse},
    {"/p", Both, ModeKind::Preview, 0, ParentRule::Refuse},
    {"/p\t1234", Both, ModeKind::Preview, 0, ParentRule::Refuse},
    {"/a 1234", Win9xOnly, ModeKind::ChangePassword, 1234, ParentRule::Foreground},
    {"/A", Win9xOnly, ModeKind::ChangePassword, 0, ParentRule::Foreground},
    {"/a\t1234", Win9xOnly, ModeKind::ChangePassword, 0, ParentRule::Foreground},
    {"/a 1234", NtOnly, ModeKind::Invalid, 0, {}},
    {"/x", Both, ModeKind::Invalid, 0, {}},
    {"/1", Both, ModeKind::Invalid, 0, {}},
    {"/\ts", Both, ModeKind::Invalid, 0, {}},
    {"\ts", Both, ModeKind::Invalid, 0, {}},
    // High bytes are neither letters nor separators, even where their low seven bits would be.
    {"/\xF3", Both, ModeKind::Invalid, 0, {}},
    {"/\x80", Both, ModeKind::Invalid, 0, {}},
    {"\xAFs", Both, ModeKind::Invalid, 0, {}},
};

TEST_F(CommandLineTest, EachTailSelectsItsRequestOnEachFamily) {
    for (const TailCase &c : tailCases) {
        for (BOOL win9x : {FALSE, TRUE}) {
            if ((c.families == Win9xOnly && !win9x) || (c.families == NtOnly && win9x)) continue;
            SCOPED_TRACE(testing::Message() << "tail '" << c.tail << "', " << (win9x ? "95" : "NT") << " family");
            ModeRequest request = SelectMode(c.tail, win9x);
            EXPECT_EQ(c.kind, request.kind);
            EXPECT_EQ(c.parent, request.parent);
            if (c.kind != ModeKind::FullScreen && c.kind != ModeKind::Invalid) {
                EXPECT_EQ(c.rule, request.parentRule);
            }
        }
    }
}

TEST_F(CommandLineTest, WindowHandleIsTheLeadingDecimalDigitsModulo2To32) {
    const struct {
        const char *text;
        DWORD value;
    } cases[] = {
        {"", 0},
        {"1234", 1234},
        {"007", 7},
        {"12ab", 12},
        {"12 34", 12},
        {"4294967295", 0xFFFFFFFFu},
        {"4294967296", 0},
        {"4294967297", 1},
        {"99999999999", 1215752191u},
        {"-5", 0},
        {"+5", 0},
        {" 5", 0},
        {"1\xB9" "2", 1},  // 0xB9 would read as '9' if the top bit were dropped
        {"\xB5", 0},
    };
    for (const auto &c : cases) EXPECT_EQ(c.value, ParseWindowHandle(c.text)) << "text '" << c.text << "'";
}

TEST_F(CommandLineTest, TailStartsAfterTheProgramNameAndTheBytesUpToBlank) {
    const struct {
        const char *line;
        bool doubleByte;  // 0x81 is a lead byte of the code page
        const char *tail;
    } cases[] = {
        {"\"C:\\Program Files\\My Saver.scr\" /s", false, "/s"},
        {"\"C:\\x.scr\"/s", false, "/s"},
        {"x.scr /s", false, "/s"},
        {"x.scr", false, ""},
        {"x.scr   ", false, ""},
        {"x.scr \t\x01\x1F /p 12", false, "/p 12"},
        {"x.scr \xB5s", false, "\xB5s"},
        {"\xE9t\xE9.scr /s", false, "/s"},
        {"\"C:\\My Saver.scr /s", false, ""},
        {"\"", false, ""},
        {"\"\" /s", false, "/s"},
        {" x.scr /s", false, "x.scr /s"},
        {"\t x.scr /s", false, "x.scr /s"},
        {"", false, ""},
        {"\"ab\x81\"cd.scr\" /s", true, "/s"},
        {"ab\x81 cd.scr /s", true, "/s"},
        {"ab\x81 cd.scr /s", false, "cd.scr /s"},
        {"\"ab\x81", true, ""},  // a lead byte with nothing after it ends the text, not the reading
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "line '" << c.line << "'");
        sim::SetLeadBytes({});
        if (c.doubleByte) sim::SetLeadBytes({0x81});
        LPCSTR tail = ExtractCommandTail(c.line);
        EXPECT_EQ(c.line + strlen(c.line) - strlen(c.tail), tail);
        EXPECT_STREQ(c.tail, tail);
    }
}

TEST_F(CommandLineTest, LineBeginningWithBlankLetsTheProgramNameSelect) {
    ModeRequest request = SelectMode(ExtractCommandTail(" preview.scr /s"), FALSE);
    EXPECT_EQ(ModeKind::Preview, request.kind);
    EXPECT_EQ(0u, request.parent);
}

TEST_F(CommandLineTest, OnlyASuccessfulVersionCallReporting95FamilyMakesIt95) {
    const struct {
        sim::Family family;
        bool versionCallFails;
        BOOL win9x;
    } cases[] = {
        {sim::Family::Win9x, false, TRUE},
        {sim::Family::Nt, false, FALSE},
        {sim::Family::VersionFails, false, FALSE},
        {sim::Family::Win9x, true, FALSE},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "family " << (int)c.family << ", call fails " << c.versionCallFails);
        sim::SetFamily(c.family);
        if (c.versionCallFails) sim::FailCall("GetVersionExA");
        sim::ClearCalls();
        EXPECT_EQ(c.win9x, DetectPlatformFamily());
        // The version call is given the size of the basic record.
        EXPECT_CALLS(sim::Calls(), {{"GetVersionExA", {148}}});
    }
}

}  // namespace
