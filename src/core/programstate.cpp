#include "core/programstate.h"

#include <QtGlobal>

namespace tavrel {

namespace {
// A plain pointer, constant-initialised: no order of static initialisation can meet it
// half-made, and it owns nothing that could outlive what it points to.
ProgramState* current = nullptr;
} // namespace

ProgramState& state() {
    if (!current)
        qFatal("the program state is used before one is installed");
    return *current;
}

bool hasState() {
    return current != nullptr;
}

ProgramState* installState(ProgramState* installed) {
    ProgramState* previous = current;
    current = installed;
    return previous;
}

} // namespace tavrel
