// Golden traces: the effect's calls in the first ticks of its long sessions, kept in a file beside
// the effect, so that a change of its drawing shows in review and a run that differs fails.
#include "effect_check/effect_check.h"

#include <fstream>

namespace effect_check {

#define SECTION_MARK "== "
#define TICKS_MARK "ticks "

// Only the NT family's sessions: the 95 family's draw the same and would say it twice. At the
// defaults only: the drawing an author changes on purpose is the one a user first sees.
static bool IsGoldenSession(const Session &session) {
    return session.isLong && !session.win9x && session.settings == Settings::Defaults;
}

std::vector<std::string> GoldenTrace(const std::vector<Session> &sessions,
                                     const std::vector<SessionResult> &results, int ticks) {
    std::vector<std::string> trace;
    for (size_t i = 0; i < sessions.size() && i < results.size(); ++i) {
        if (!IsGoldenSession(sessions[i])) continue;
        trace.push_back(SECTION_MARK + sessions[i].name);
        for (const std::string &line : results[i].trace) {
            size_t tab = line.find('\t');
            if (atoi(line.c_str()) > ticks) break;
            trace.push_back(line.substr(tab + 1));
        }
    }
    return trace;
}

bool WriteGolden(const std::string &path, const std::string &effect, const std::vector<std::string> &trace,
                 int ticks) {
    std::ofstream file(path);
    file << "# The calls of the effect " << effect << " in the first " << ticks
         << " ticks of its sessions, as the effect checker sees them.\n"
            "# A run that differs fails its check. Made, and made again on purpose, by\n"
            "#   scripts/check-effect.sh --write-golden THIS-FILE SOURCES...\n"
         << TICKS_MARK << ticks << "\n";
    for (const std::string &line : trace) file << line << "\n";
    return (bool)file;
}

// The file's lines, each with its number, and the number of ticks it holds.
struct GoldenFile {
    int ticks = 0;
    std::vector<std::string> lines;
    std::vector<int> numbers;
};

static bool ReadGolden(const std::string &path, GoldenFile *golden) {
    std::ifstream file(path);
    if (!file) return false;
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        if (line.empty() || line[0] == '#') continue;
        if (golden->ticks == 0 && line.rfind(TICKS_MARK, 0) == 0) {
            golden->ticks = atoi(line.c_str() + sizeof TICKS_MARK - 1);
            continue;
        }
        golden->lines.push_back(line);
        golden->numbers.push_back(number);
    }
    return true;
}

bool GoldenSection(const std::string &path, const std::string &section, std::vector<std::string> *lines,
                   std::vector<int> *numbers, int *ticks) {
    GoldenFile golden;
    if (!ReadGolden(path, &golden)) return false;
    *ticks = golden.ticks;
    bool inside = false;
    for (size_t i = 0; i < golden.lines.size(); ++i) {
        const std::string &line = golden.lines[i];
        if (line.rfind(SECTION_MARK, 0) == 0) {
            inside = line.substr(sizeof SECTION_MARK - 1) == section;
            continue;
        }
        if (!inside) continue;
        lines->push_back(line);
        numbers->push_back(golden.numbers[i]);
    }
    return true;
}

int GoldenTicks(const std::string &path) {
    GoldenFile golden;
    return ReadGolden(path, &golden) ? golden.ticks : 0;
}

std::string CompareGolden(const std::string &path, const std::vector<Session> &sessions,
                          const std::vector<SessionResult> &results) {
    GoldenFile golden;
    if (!ReadGolden(path, &golden)) return "golden trace " + path + ": cannot be read";
    if (golden.ticks <= 0) return "golden trace " + path + ": no \"" TICKS_MARK "N\" line before the calls";
    std::vector<std::string> trace = GoldenTrace(sessions, results, golden.ticks);
    std::string section;
    for (size_t i = 0; i < golden.lines.size() || i < trace.size(); ++i) {
        const std::string end = "(the end of the trace)";
        const std::string &expected = i < golden.lines.size() ? golden.lines[i] : end;
        const std::string &got = i < trace.size() ? trace[i] : end;
        if (expected.rfind(SECTION_MARK, 0) == 0) section = expected.substr(sizeof SECTION_MARK - 1);
        if (expected == got) continue;
        int number = i < golden.numbers.size() ? golden.numbers[i] : golden.numbers.empty() ? 0 : golden.numbers.back() + 1;
        return "golden trace " + path + ":" + std::to_string(number) + ": " + section +
               ": the first call that differs\n  expected: " + expected + "\n  got:      " + got;
    }
    return "";
}

}  // namespace effect_check
