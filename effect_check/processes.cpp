// Each session in a process of its own: it starts from the effect's state as the image has it, as
// a saver does, and a crash or a hang ends that session only. The processes run as many at once
// as the machine has cores and send their findings and traces back as lines through a pipe.
#include "effect_check/effect_check.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <ctime>
#include <sys/wait.h>
#include <unistd.h>

namespace effect_check {

namespace {

int hangSeconds;
// A session hangs when its own processor time runs on while its simulated time stands still: the
// machine's load slows a session down, but it does not give it processor time.
#define HANG_SIGNAL SIGPROF

// ---------------------------------------------------------------------------------------------
// In the session's process

int pipeOut = -1;
// Lines wait here and go in large writes: a session sends a line per call of the effect.
char pending[1 << 16];
size_t pendingLength;

void SendRaw(const char *text, size_t length) {
    while (length > 0) {
        ssize_t written = write(pipeOut, text, length);
        if (written <= 0) return;
        text += written;
        length -= (size_t)written;
    }
}

void Flush() {
    SendRaw(pending, pendingLength);
    pendingLength = 0;
}

// A crash or a hang: the parent is told where, with what is safe in a signal handler.
void OnFatalSignal(int signal) {
    Flush();
    char line[64];
    int length = snprintf(line, sizeof line, "C\t%d\t%d\n", TicksSoFar(), signal);
    SendRaw(line, (size_t)length);
    _exit(128 + signal);
}

[[noreturn]] void RunChild(const Run &run, int out) {
    pipeOut = out;
    for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, HANG_SIGNAL}) std::signal(signal, OnFatalSignal);
    SessionMovesOn();
    RunSessionHere(run);
    EndSessionHere();
}

// ---------------------------------------------------------------------------------------------
// In the checker's process

struct Child {
    size_t index;  // of the run
    pid_t pid;
    int from;
    std::string received;
    bool stopped;  // killed here, after another session hung
};

void Parse(const std::string &line, SessionResult &result) {
    if (line.size() < 2) return;
    char kind = line[0];
    std::string rest = line.substr(2);
    size_t tab1 = rest.find('\t'), tab2 = tab1 == std::string::npos ? tab1 : rest.find('\t', tab1 + 1);
    if (kind == 'T') {
        result.trace.push_back(rest);
    } else if (kind == 'D' && tab1 != std::string::npos) {
        result.digests.push_back({atoi(rest.c_str()), strtoull(rest.c_str() + tab1 + 1, nullptr, 16)});
    } else if (kind == 'E') {
        result.ending = rest;
    } else if (kind == 'F' && tab2 != std::string::npos) {
        result.findings.push_back({atoi(rest.c_str()), rest.substr(tab1 + 1, tab2 - tab1 - 1), rest.substr(tab2 + 1)});
    } else if (kind == 'C' && tab1 != std::string::npos) {
        int signal = atoi(rest.c_str() + tab1 + 1);
        std::string what = signal == HANG_SIGNAL ? "hung: it did not move on for " + std::to_string(hangSeconds) + " s"
                                             : "died of signal " + std::to_string(signal) + " (" + strsignal(signal) + ")";
        result.findings.push_back({0, "tick " + rest.substr(0, tab1), "the program " + what});
        result.crashed = true;
        result.hung = signal == HANG_SIGNAL;
    }
}

SessionResult Collect(Child &child) {
    SessionResult result;
    size_t start = 0;
    for (size_t end; (end = child.received.find('\n', start)) != std::string::npos; start = end + 1)
        Parse(child.received.substr(start, end - start), result);
    int status = 0;
    waitpid(child.pid, &status, 0);
    if (child.stopped && !result.crashed && result.ending.empty()) {
        result.findings.push_back({0, "the whole session", "stopped: another session hung"});
        result.crashed = result.stopped = true;
    } else if (!result.crashed && result.ending.empty()) {
        std::string how = WIFEXITED(status) ? "ended with status " + std::to_string(WEXITSTATUS(status))
                                            : "was killed by signal " + std::to_string(WTERMSIG(status));
        result.findings.push_back({0, "the whole session", "the program " + how + " before the session's end"});
        result.crashed = true;
    }
    return result;
}

bool Start(const Run &run, size_t index, std::vector<Child> &running) {
    int ends[2];
    if (pipe(ends) != 0) return false;
    fflush(stdout);
    fflush(stderr);
    pid_t pid = fork();
    if (pid < 0) {
        close(ends[0]);
        close(ends[1]);
        return false;
    }
    if (pid == 0) {
        close(ends[0]);
        for (const Child &other : running) close(other.from);
        RunChild(run, ends[1]);
    }
    close(ends[1]);
    running.push_back({index, pid, ends[0], "", false});
    return true;
}

// Reads what the running processes have sent; collects each one that has ended.
void ReadSome(std::vector<Child> &running, std::vector<SessionResult> &results) {
    std::vector<pollfd> watched;
    for (const Child &child : running) watched.push_back({child.from, POLLIN, 0});
    if (poll(watched.data(), watched.size(), -1) < 0) return;
    char buffer[1 << 16];
    for (size_t i = running.size(); i-- > 0;) {
        if (!watched[i].revents) continue;
        ssize_t got = read(running[i].from, buffer, sizeof buffer);
        if (got > 0) {
            running[i].received.append(buffer, (size_t)got);
            continue;
        }
        close(running[i].from);
        results[running[i].index] = Collect(running[i]);
        running.erase(running.begin() + (long)i);
    }
}

}  // namespace

void EndSessionHere() {
    Flush();
    _exit(0);
}

// The clock of the process's own processor time, which raises HANG_SIGNAL when it runs out.
// (POSIX timers: the Win32 headers' timeval is not the host's, so setitimer is out of reach.)
static timer_t hangTimer;
static bool hangTimerMade;

void SessionMovesOn() {
    if (!hangTimerMade) {
        sigevent event = {};
        event.sigev_notify = SIGEV_SIGNAL;
        event.sigev_signo = HANG_SIGNAL;
        hangTimerMade = timer_create(CLOCK_PROCESS_CPUTIME_ID, &event, &hangTimer) == 0;
    }
    itimerspec limit = {};
    limit.it_value.tv_sec = hangSeconds;
    if (hangTimerMade) timer_settime(hangTimer, 0, &limit, nullptr);
}

void SendLine(char kind, const std::string &text) {
    std::string line = std::string(1, kind) + "\t" + text + "\n";
    if (pendingLength + line.size() > sizeof pending) Flush();
    if (line.size() > sizeof pending) {
        SendRaw(line.data(), line.size());
        return;
    }
    memcpy(pending + pendingLength, line.data(), line.size());
    pendingLength += line.size();
}

// A session that hangs keeps its process for hangSeconds; the others would too, so after one
// hang the rest are not started, and those still running are stopped.
std::vector<SessionResult> RunSessions(const std::vector<Run> &runs, int secondsToHang) {
    hangSeconds = secondsToHang;
    std::vector<SessionResult> results(runs.size());
    std::vector<Child> running;
    size_t parallel = (size_t)std::max(1L, sysconf(_SC_NPROCESSORS_ONLN));
    size_t next = 0;
    bool hung = false;
    while ((next < runs.size() && !hung) || !running.empty()) {
        while (next < runs.size() && !hung && running.size() < parallel) {
            if (!Start(runs[next], next, running)) {
                results[next].findings.push_back({0, "the whole session", "the checker could not start its process"});
                results[next].crashed = true;
            }
            ++next;
        }
        if (!running.empty()) ReadSome(running, results);
        for (const SessionResult &result : results) hung = hung || result.hung;
        if (hung)
            for (Child &child : running) {
                kill(child.pid, SIGKILL);
                child.stopped = true;
            }
    }
    for (; next < runs.size(); ++next) {
        results[next].findings.push_back({0, "the whole session", "not run: an earlier session hung"});
        results[next].crashed = results[next].stopped = true;
    }
    return results;
}

}  // namespace effect_check
