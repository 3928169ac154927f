#include "core/datachanges.h"

namespace tavrel {

DataChanges& dataChanges() {
    static DataChanges changes;
    return changes;
}

void notifyAssignmentsChanged() {
    Q_EMIT dataChanges().assignmentsChanged();
}

} // namespace tavrel
