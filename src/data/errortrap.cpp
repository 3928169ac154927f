#include "data/errortrap.h"

#include <cstdio>
#include <vector>

namespace tavrel {

namespace {

// The active traps, innermost last; an empty handler means the policy.
std::vector<ErrorTrap::Handler> traps;
DbError currentError;

std::function<void()>& policy() {
    static std::function<void()> installed;
    return installed;
}

} // namespace

ErrorTrap::ErrorTrap() {
    traps.emplace_back();
}
ErrorTrap::ErrorTrap(Handler handler) {
    traps.push_back(std::move(handler));
}
ErrorTrap::~ErrorTrap() {
    traps.pop_back();
}
bool ErrorTrap::active() {
    return !traps.empty();
}
void ErrorTrap::setPolicy(std::function<void()> handler) {
    policy() = std::move(handler);
}

const DbError& Err() {
    return currentError;
}

void raiseError(const DbError& error) {
    if (!ErrorTrap::active())
        throw DataException(error);
    currentError = error;
    // Copies: the handler may open traps of its own, or install another policy.
    if (const ErrorTrap::Handler handler = traps.back()) {
        handler(error);
    } else if (const std::function<void()> handle = policy()) {
        handle();
    } else {
        // No policy installed: never swallow an error silently.
        std::fprintf(stderr, "%d  %s\n", error.number, qPrintable(error.description));
    }
    // Handling may raise errors of its own (a repair, say); the one handled stays current.
    currentError = error;
}

void raiseError(int number, const QString& description) {
    raiseError(DbError{number, description});
}

} // namespace tavrel
