#pragma once

#include <QObject>

namespace tavrel {

// Tells the windows that show many assignments at once (the work list, the main window's
// count of overdue ones) that assignments were written elsewhere in the program, so that
// they read again what they show.
class DataChanges : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

Q_SIGNALS:
    void assignmentsChanged();
};

// The one object every writer of assignments notifies and every list listens to.
DataChanges& dataChanges();

// Called after assignments were saved, deleted, completed or created.
void notifyAssignmentsChanged();

} // namespace tavrel
