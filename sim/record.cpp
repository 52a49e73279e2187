// The record of platform calls and the failure switches: every simulated platform function enters
// here first, so a test can read back any call and make any call fail.
#include "sim/machine.h"

#include <charconv>

namespace sim {

bool Arg::Matches(const Arg &actual) const {
    if (kind == Any) return true;
    if (kind != actual.kind) return false;
    return kind == Text ? text == actual.text : value == actual.value;
}

std::string Arg::Format() const {
    switch (kind) {
    case Any:
        return "*";
    case Text:
        return "\"" + text + "\"";
    case Value:
        break;
    }
    // Formatted without printf: a long session formats millions.
    char buffer[32] = "0x";
    std::to_chars_result end;
    if (value < 0x10000 || ((LONG_PTR)value < 0 && (LONG_PTR)value > -0x10000))
        end = std::to_chars(buffer, buffer + sizeof buffer, (long long)(LONG_PTR)value);
    else
        end = std::to_chars(buffer + 2, buffer + sizeof buffer, (unsigned long long)value, 16);
    return std::string(buffer, end.ptr);
}

std::string Call::Format() const {
    std::string text = name + "(";
    for (size_t i = 0; i < args.size(); ++i) text += (i ? ", " : "") + args[i].Format();
    return text + ")";
}

const std::vector<Call> &Calls() { return M.calls; }
void ClearCalls() {
    M.droppedCalls += M.calls.size();
    M.calls.clear();
}

size_t CurrentCall() { return M.droppedCalls + M.calls.size() - 1; }

std::vector<Call> CallsNamed(std::initializer_list<const char *> names) {
    std::vector<Call> found;
    for (const Call &call : M.calls)
        for (const char *name : names)
            if (call.name == name) found.push_back(call);
    return found;
}

int CountCalls(const char *name) {
    int count = 0;
    for (const Call &call : M.calls) count += call.name == name;
    return count;
}

void FailCall(const char *name, int nth) { M.failures[name] = {nth - 1, false, 0}; }
void FailEveryCall(const char *name) { M.failures[name] = {-1, false, 0}; }
void FaultCall(const char *name, DWORD code, int nth) { M.failures[name] = {nth - 1, true, code}; }
void ObserveCalls(std::function<void(const Call &)> observer) { M.callObserver = std::move(observer); }

bool Enter(const char *name, std::initializer_list<Arg> args) {
    M.calls.push_back({name, std::vector<Arg>(args)});
    if (M.callObserver) M.callObserver(M.calls.back());
    auto found = M.failures.find(name);
    if (found == M.failures.end()) return false;
    FailureSwitch &failure = found->second;
    if (failure.countdown > 0) {
        --failure.countdown;
        return false;
    }
    bool every = failure.countdown < 0;
    bool fault = failure.fault;
    DWORD code = failure.faultCode;
    if (!every) M.failures.erase(found);
    if (fault) RaiseStructuredException(code);
    return true;
}

}  // namespace sim
