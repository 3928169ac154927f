#pragma once

#include <QDate>
#include <QString>

namespace tavrel {

// Fills a new tavrel.mdb with a small but lively sample site: locations, types, employees,
// managers, a few dozen tasks with weekly schedules, this year's assignments and the
// completion records (with costs) of those already due before `today`.
bool fillDemoData(const QString& dbPath, const QDate& today, QString* error);

// `tavrel --init [--demo]`: writes tavrel.mdb (for today's year) and rptspec.mdb into
// `folder`, never overwriting. Returns false with a message on failure.
bool initWorkFolder(const QString& folder, bool demo, const QDate& today, QString* error);

} // namespace tavrel
