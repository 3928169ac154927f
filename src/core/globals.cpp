#include "core/globals.h"

#include "core/errortrap.h"
#include "text/datetext.h"

namespace tavrel {

void resetGlobals() {
    installErrorPolicy();
    beginUserAction();
    rsTasks.close();
    rsAssign.close();
    dbMain.close();
    AppPath.clear();
    DbPath.clear();
    CurYear = 0;
    WeekDates = {};
    SelectedYear = 0;
    Cancelled = false;
    RetryUpdate = false;
    RetryCount = 0;
    EmployeesChanged = false;
    ManagersChanged = false;
    LocationsChanged = false;
    TypesChanged = false;
    CodeEditMode = CodeEdit::Employees;
    ReportDest = ReportToView;
    TableFormat.clear();
    TableHeading.clear();
    RepeatHeading = false;
    HeadingShade = QColor(0, 0, 0);
    BodyShade = QColor(200, 200, 200);
    ReportStartDate = {};
    ReportEndDate = {};
    BatchPrinting = false;
    DialogDate = {};
    PickedDate = {};
    resetDateFormat();
    CustomTable.clear();
    FindTable.clear();
    FindCaller = 0;
}

} // namespace tavrel
