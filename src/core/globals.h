#pragma once

#include "core/programstate.h"

#include <QString>

namespace tavrel {

// The program-wide values live in one ProgramState, reached through state().

// The system's short-date order ("mdy", "dmy", "ymd" ...) and separator.
inline QString DateOrder = QStringLiteral("mdy");
inline QString DateSeparator = QStringLiteral("/");

} // namespace tavrel
