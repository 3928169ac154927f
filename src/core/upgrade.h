#pragma once

namespace tavrel {

// Schema upgrades of an older tavrel.mdb (on dbMain), each probing for one column and
// adding what is missing.
void AddCurYearOnlyColumn();
void AddEmpIDColumn();
void AddAssignCodeColumns();

} // namespace tavrel
