// NAME_check: checks the effect linked into it against the effect contract, and prints one line
// per broken rule, naming the rule, the session, where it first broke and what was seen.
//
//   NAME_check [--ticks N] [--golden FILE | --write-golden FILE [--golden-ticks N]] [--all]
//              [--hang-after SECONDS] [--time YYYY-MM-DDTHH:MM:SS] [--seed N]
//   NAME_check --wine RELAY-TRACE --link-map FILE --effect-object NAME.obj... [--golden FILE | --golden-ticks N]
//
// Each session starts at a local time and hands the effect a seed of the checker's choosing,
// which every finding names; --time and --seed run every session at the ones given, to replay
// a finding (or to try a time of one's own).
//
// With --wine, the full-screen session on the NT family runs alone, and its calls in the first
// ticks (the golden trace's, else --golden-ticks, 30 by default) are compared with those Wine's
// relay trace shows the effect making in the image, and with the golden trace when one is given.
//
// Exits 0 when every rule holds (and the golden trace matches), 1 when one does not, 2 on a
// wrong command line.
#include "effect_check/effect_check.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <utility>

using namespace effect_check;

namespace {

#define DEFAULT_TICKS 2000
#define DEFAULT_GOLDEN_TICKS 30
#define DEFAULT_HANG_SECONDS 10  // of processor time in which a session's simulated time stands still
// The two runs of a long session start the clock at different ticks, the second just before
// the 32-bit count wraps, and the second has other handles and addresses: an effect that draws
// by the clock, a handle or an address cannot draw the same twice.
#define FIRST_START_TICK 0x00010000u
#define SECOND_START_TICK 0xFFFF0000u
#define SECOND_VARIATION 1

struct Options {
    int ticks = DEFAULT_TICKS;
    std::string golden;
    std::string writeGolden;
    int goldenTicks = 0;  // 0: as many as the file to be written holds already, else the default
    bool all = false;  // every finding of every session, not only the first of each rule
    int hangSeconds = DEFAULT_HANG_SECONDS;
    std::string name;
    bool timeGiven = false, seedGiven = false;
    SessionWorld world = {};
    WineRun wine;  // --wine: compared with Wine instead of checked
};

bool ParseSeed(const char *text, DWORD *seed) {
    char *end = nullptr;
    unsigned long long value = strtoull(text, &end, 0);
    *seed = (DWORD)value;
    return *text && *end == 0 && value <= 0xFFFFFFFFull;
}

bool ParseOptions(int argc, char **argv, Options *options) {
    std::string program = strrchr(argv[0], '/') ? strrchr(argv[0], '/') + 1 : argv[0];
    size_t suffix = program.rfind("_check");
    options->name = suffix == std::string::npos ? program : program.substr(0, suffix);
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "--ticks" && hasValue) options->ticks = atoi(argv[++i]);
        else if (arg == "--golden" && hasValue) options->golden = argv[++i];
        else if (arg == "--write-golden" && hasValue) options->writeGolden = argv[++i];
        else if (arg == "--golden-ticks" && hasValue) options->goldenTicks = atoi(argv[++i]);
        else if (arg == "--name" && hasValue) options->name = argv[++i];
        else if (arg == "--hang-after" && hasValue) options->hangSeconds = atoi(argv[++i]);
        else if (arg == "--time" && hasValue) {
            if (!ParseSessionTime(argv[++i], &options->world.startTime)) return false;
            options->timeGiven = true;
        } else if (arg == "--seed" && hasValue) {
            if (!ParseSeed(argv[++i], &options->world.seed)) return false;
            options->seedGiven = true;
        } else if (arg == "--all") options->all = true;
        else if (arg == "--wine" && hasValue) options->wine.relay = argv[++i];
        else if (arg == "--link-map" && hasValue) options->wine.linkMap = argv[++i];
        else if (arg == "--effect-object" && hasValue) options->wine.effectObjects.push_back(argv[++i]);
        else return false;
    }
    if (options->goldenTicks == 0 && !options->writeGolden.empty()) {
        options->goldenTicks = GoldenTicks(options->writeGolden);
        if (options->goldenTicks == 0) options->goldenTicks = DEFAULT_GOLDEN_TICKS;
    }
    bool wine = !options->wine.relay.empty();
    if (wine != !options->wine.linkMap.empty() || wine == options->wine.effectObjects.empty()) return false;
    return options->ticks > 0 && options->goldenTicks >= 0 && options->hangSeconds > 0;
}

// The first line where two runs' traces differ, as a finding of rule 6; false when none does.
bool CompareTexts(const std::vector<std::string> &first, const std::vector<std::string> &second, Finding *finding) {
    size_t count = std::max(first.size(), second.size());
    for (size_t i = 0; i < count; ++i) {
        std::string a = i < first.size() ? first[i] : "";
        std::string b = i < second.size() ? second[i] : "";
        if (a == b) continue;
        std::string line = a.empty() ? b : a;
        std::string call = line.substr(line.find('\t') + 1);
        std::string where = call.substr(0, call.find(": "));
        auto what = [](const std::string &l) { return l.empty() ? std::string("nothing more") : l.substr(l.find(": ") + 2); };
        if (what(a).rfind(PIXELS_TRACED, 0) == 0 && what(b).rfind(PIXELS_TRACED, 0) == 0) {
            *finding = {READS_NOTHING_OF_ITS_OWN, where,
                        "a second run of the same session put other pixels of its own on its window: " + what(b) +
                            " where the first put " + what(a) +
                            " (does it compute them from the clock, a handle's value or an address, "
                            "or from memory it never set?)"};
            return true;
        }
        *finding = {READS_NOTHING_OF_ITS_OWN, where,
                    "a second run of the same session called " + what(b) + " where the first called " + what(a) +
                        " (does it draw by the clock, by a handle's value or an address, or by memory it "
                        "never set?)"};
        return true;
    }
    return false;
}

// Where two runs' traces part: the ticks from the first whose lines differ to the one the other
// run has in its place (a run may draw nothing in a tick the other draws in); false when none.
bool TicksApart(const std::vector<TickDigest> &first, const std::vector<TickDigest> &second, int *from, int *to) {
    size_t count = std::max(first.size(), second.size());
    for (size_t i = 0; i < count; ++i) {
        if (i < first.size() && i < second.size() && first[i].tick == second[i].tick &&
            first[i].digest == second[i].digest)
            continue;
        *from = i < first.size() ? first[i].tick : second[i].tick;
        *to = i < second.size() ? second[i].tick : first[i].tick;
        if (*from > *to) std::swap(*from, *to);
        return true;
    }
    return false;
}

// The second run of a long session must make the first run's calls, one for one. The runs are
// compared by their ticks' digests; the tick where they part is shown from their text, which
// the runs sent when it was among their text ticks, else both run again for that tick alone
// (a session draws the same each time it runs: that is what is checked).
void CompareRuns(const Run &firstRun, const Run &secondRun, const SessionResult &first, const SessionResult &second,
                 int hangSeconds, SessionResult *into) {
    if (first.crashed || second.crashed) return;
    int from, to;
    if (!TicksApart(first.digests, second.digests, &from, &to)) return;
    Finding finding;
    if (to <= firstRun.textTo && CompareTexts(first.trace, second.trace, &finding)) {
        into->findings.push_back(finding);
        return;
    }
    std::vector<Run> again = {firstRun, secondRun};
    for (Run &run : again) {
        run.textFrom = from;
        run.textTo = to;
        run.endAfterText = true;
    }
    std::vector<SessionResult> shown = RunSessions(again, hangSeconds);
    if (CompareTexts(shown[0].trace, shown[1].trace, &finding)) into->findings.push_back(finding);
}

std::string Line(const Session &session, const SessionResult &result, const Finding &finding) {
    std::string head = finding.rule == 0 ? (result.hung ? "hang" : "crash")
                                         : "rule " + std::to_string(finding.rule) + " (" + RuleTitle(finding.rule) + ")";
    return head + ": " + session.name + ": " + finding.where + ": " + finding.seen + WorldStory(session.world);
}

// The full-screen session on the NT family, run alone on the simulated Win32, against Wine's run
// of the image and the golden trace: all three make the same calls in the first ticks.
int CompareWithWine(const Options &options) {
    const std::string SESSION = "full screen 1024 x 768, NT family";
    int ticks = options.goldenTicks ? options.goldenTicks : DEFAULT_GOLDEN_TICKS;
    std::vector<std::string> golden;
    std::vector<int> numbers;
    if (!options.golden.empty()) {
        if (!GoldenSection(options.golden, SESSION, &golden, &numbers, &ticks) || ticks <= 0 || golden.empty()) {
            printf("golden trace %s: cannot be read, or has no ticks or no section \"%s\"\n", options.golden.c_str(),
                   SESSION.c_str());
            return 1;
        }
    }
    std::vector<Session> sessions = Sessions(ticks + 1);
    const Session *session = nullptr;
    for (const Session &candidate : sessions)
        if (candidate.name == SESSION) session = &candidate;
    // Every compared tick comes back as text.
    std::vector<SessionResult> results = RunSessions({{session, FIRST_START_TICK, 0, 0, ticks}}, options.hangSeconds);
    std::vector<std::string> simulated = GoldenTrace({*session}, results, ticks);
    simulated.erase(simulated.begin());  // the section's heading
    if (results[0].crashed || results[0].hung) {
        printf("%s: %s: the effect %s on the simulated Win32 (scripts/check-effect.sh says more)\n",
               options.name.c_str(), SESSION.c_str(), results[0].hung ? "hung" : "crashed");
        return 1;
    }

    bool agree = true;
    if (!golden.empty()) {
        for (size_t i = 0; i < golden.size() || i < simulated.size(); ++i) {
            const std::string end = "(the end of the trace)";
            const std::string &expected = i < golden.size() ? golden[i] : end;
            const std::string &got = i < simulated.size() ? simulated[i] : end;
            if (expected == got) continue;
            int number = i < numbers.size() ? numbers[i] : numbers.back() + 1;
            printf("golden trace %s:%d: %s: the first call that differs\n  expected: %s\n  got:      %s\n",
                   options.golden.c_str(), number, SESSION.c_str(), expected.c_str(), got.c_str());
            agree = false;
            break;
        }
    }
    int agreed = 0;
    // Where the golden trace agrees with the simulated Win32, a line of its own names the call.
    auto where = [&](size_t line) {
        if (agree && line < numbers.size())
            return "golden trace " + options.golden + ":" + std::to_string(numbers[line]) + ": " + SESSION;
        return "the simulated Win32: " + SESSION + ", call " + std::to_string(line + 1);
    };
    std::string difference = effect_check::CompareWithWine(options.wine, simulated, ticks, where, &agreed);
    if (difference.empty()) {
        printf("%s: %s: the simulated Win32 and Wine agree on the first %d ticks%s\n", options.name.c_str(),
               SESSION.c_str(), ticks, golden.empty() ? "" : (", as its golden trace " + options.golden + " has them").c_str());
    } else {
        printf("%s\n%s: %s: the simulated Win32 and Wine agree on the first %d ticks of %d, not on the one after\n",
               difference.c_str(), options.name.c_str(), SESSION.c_str(), agreed, ticks);
        agree = false;
    }
    return agree ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv) {
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        fprintf(stderr,
                "usage: %s [--ticks N] [--golden FILE | --write-golden FILE [--golden-ticks N]] [--all] "
                "[--hang-after SECONDS] [--time YYYY-MM-DDTHH:MM:SS] [--seed N]\n"
                "       %s --wine RELAY-TRACE --link-map FILE --effect-object NAME.obj... [--golden FILE | "
                "--golden-ticks N]\n",
                argv[0], argv[0]);
        return 2;
    }
    if (!options.wine.relay.empty()) return CompareWithWine(options);
    auto started = std::chrono::steady_clock::now();
    std::vector<Session> sessions = Sessions(options.ticks);
    for (Session &session : sessions) {
        if (options.timeGiven) session.world.startTime = options.world.startTime;
        if (options.seedGiven) session.world.seed = options.world.seed;
    }
    // The ticks a golden trace holds come back as text; the rest as digests.
    int textTicks = !options.writeGolden.empty() ? options.goldenTicks
                    : !options.golden.empty()    ? GoldenTicks(options.golden)
                                                 : 0;
    // Each long session runs twice: the second run must make the first one's calls.
    std::vector<Run> runs;
    for (const Session &session : sessions) {
        runs.push_back({&session, FIRST_START_TICK, 0, 0, textTicks});
        if (session.isLong) runs.push_back({&session, SECOND_START_TICK, SECOND_VARIATION, 0, textTicks});
    }
    std::vector<SessionResult> all = RunSessions(runs, options.hangSeconds);
    std::vector<SessionResult> results;
    int ticks = 0;
    for (size_t i = 0; i < runs.size(); ++i) {
        if (runs[i].startTick == SECOND_START_TICK) {
            // The second run may be the one that hung or crashed first, and the first run stopped
            // for it: then the second run's finding is the session's.
            if (results.back().stopped && all[i].crashed && !all[i].stopped) results.back() = std::move(all[i]);
            else CompareRuns(runs[i - 1], runs[i], results.back(), all[i], options.hangSeconds, &results.back());
            all[i] = SessionResult();
            continue;
        }
        if (!all[i].digests.empty()) ticks = std::max(ticks, all[i].digests.back().tick);
        results.push_back(std::move(all[i]));
    }

    // One line per broken rule: where it first broke, in the order of the sessions.
    std::set<int> brokenRules;
    for (int rule = 0; rule <= RULE_COUNT; ++rule)
        for (size_t i = 0; i < sessions.size(); ++i)
            for (const Finding &finding : results[i].findings) {
                if (finding.rule != rule || (brokenRules.count(rule) && !options.all)) continue;
                // The hang itself is the finding, not the sessions it stopped.
                if (results[i].stopped && !options.all) continue;
                printf("%s\n", Line(sessions[i], results[i], finding).c_str());
                brokenRules.insert(rule);
            }
    bool broken = !brokenRules.empty();

    bool goldenHolds = true;
    if (!options.writeGolden.empty()) {
        goldenHolds = WriteGolden(options.writeGolden, options.name, GoldenTrace(sessions, results, options.goldenTicks),
                                  options.goldenTicks);
        printf("%s: golden trace %s %s\n", options.name.c_str(), options.writeGolden.c_str(),
               goldenHolds ? "written" : "could not be written");
    } else if (!options.golden.empty()) {
        std::string difference = CompareGolden(options.golden, sessions, results);
        goldenHolds = difference.empty();
        printf("%s\n", goldenHolds ? (options.name + ": golden trace " + options.golden + " matches").c_str()
                                   : difference.c_str());
    }

    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (broken)
        printf("%s: the effect breaks the contract (the lines above; the rules head framework/saver_effect.h), %.1f s\n",
               options.name.c_str(), seconds);
    else
        printf("%s: the effect keeps the contract: %d rules held in %zu sessions (%d ticks in the longest), %.1f s%s\n",
               options.name.c_str(), (int)RULE_COUNT, sessions.size(), ticks, seconds,
               goldenHolds ? "" : "; but its calls are not those of its golden trace (above): if that is meant, write it "
                                  "again with scripts/check-effect.sh --write-golden FILE SOURCES...");
    return !broken && goldenHolds ? 0 : 1;
}
