#include "data/demodata.h"

#include "data/database.h"
#include "data/errortrap.h"
#include "data/schema.h"
#include "data/units.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QRandomGenerator>
#include <QStringList>

namespace tavrel {

namespace {

struct DemoTask {
    const char* name;
    const char* location;
    const char* type;
    const char* desc;
    const char* tools;
    const char* results;
    const char* besttime;
    double hours;
    double minutes;
    const char* manuf;
    const char* model;
    int everyWeeks; // schedule: every n weeks, starting at firstWeek
    int firstWeek;
};

const char* const Locations[] = {"Boiler Room", "Main Office",    "Warehouse", "Workshop",
                                 "Roof",        "Parking Garage", "Kitchen"};
const char* const Types[] = {"HVAC",     "Electrical", "Plumbing",         "Safety",
                             "Vehicles", "Building",   "Kitchen Equipment"};
const char* const Employees[][2] = {{"Maria", "Alvarez"},
                                    {"James", "O'Connor"},
                                    {"Priya", "Natarajan"},
                                    {"Tom", "Becker"},
                                    {"", "Kowalski"}};
const char* const Managers[][2] = {{"Helen", "Fischer"}, {"David", "Osei"}};

const DemoTask Tasks[] = {
    {"Boiler - annual inspection", "Boiler Room", "HVAC",
     "Inspect burner, heat exchanger and flue. Check safety valves and controls.",
     "Combustion analyser, flue brush", "Efficiency above 85%, no leaks", "Before heating season",
     4, 0, "Viessmann", "Vitoplex 200", 52, 36},
    {"Boiler - check water pressure", "Boiler Room", "HVAC",
     "Read pressure gauge; top up to 1.5 bar when below 1.0 bar.", "", "Pressure 1.0-2.0 bar",
     "Monday morning", 0, 15, "Viessmann", "Vitoplex 200", 1, 1},
    {"Air handler - replace filters", "Roof", "HVAC",
     "Replace pre-filters and bag filters of AHU-1 and AHU-2.", "Filter set 24x24, gloves, ladder",
     "Pressure drop within green band", "Early morning", 2, 30, "Trane", "M-Series", 13, 2},
    {"Rooftop units - clean condenser coils", "Roof", "HVAC",
     "Wash condenser coils with coil cleaner, straighten fins.", "Coil cleaner, fin comb, hose",
     "Head pressure back to normal", "Spring, before cooling season", 3, 0, "Carrier",
     "WeatherMaker", 26, 14},
    {"Cooling tower - water treatment check", "Roof", "HVAC",
     "Test conductivity and biocide level; log results.", "Test kit", "Within treatment plan", "",
     0, 45, "Baltimore Aircoil", "Series 3000", 4, 3},
    {"Emergency lighting - monthly test", "Main Office", "Safety",
     "Switch to battery for 30 seconds; note failed fittings.", "Test key", "All fittings lit",
     "Outside office hours", 1, 0, "", "", 4, 1},
    {"Emergency lighting - 3 hour duration test", "Main Office", "Safety",
     "Full duration discharge test of all emergency fittings.", "Test key, log book",
     "All fittings lit for 3 hours", "Weekend", 4, 0, "", "", 52, 20},
    {"Fire extinguishers - visual check", "Warehouse", "Safety",
     "Check seals, gauges and access to every extinguisher.", "Checklist",
     "All in place and charged", "", 1, 30, "", "", 4, 2},
    {"Fire alarm - weekly call point test", "Main Office", "Safety",
     "Activate one call point in rotation and confirm the sounders.", "Call point key",
     "Alarm received at panel", "Tuesday 10:00", 0, 20, "Honeywell", "Notifier ID3000", 1, 1},
    {"Sprinkler system - valve inspection", "Warehouse", "Safety",
     "Inspect control valves, alarm valve and gauges.", "", "Valves locked open", "", 1, 0,
     "Viking", "", 13, 5},
    {"Main switchboard - thermographic survey", "Boiler Room", "Electrical",
     "Infrared survey of main switchboard under load.", "Thermal camera", "No hot spots",
     "Peak load", 2, 0, "Schneider", "Prisma", 52, 30},
    {"Standby generator - test run", "Parking Garage", "Electrical",
     "Run generator on load for 30 minutes; check oil, coolant and battery.", "",
     "Starts within 10 s, stable voltage", "First Monday", 1, 0, "Caterpillar", "C9", 4, 1},
    {"UPS - battery check", "Main Office", "Electrical",
     "Check UPS alarms and battery voltages; run self-test.", "Multimeter", "Self-test passed", "",
     0, 45, "APC", "Symmetra", 13, 6},
    {"Lightning protection - inspection", "Roof", "Electrical",
     "Inspect air terminals, down conductors and test earth resistance.", "Earth tester",
     "Below 10 ohms", "Dry weather", 3, 0, "", "", 52, 24},
    {"Water heater - flush tank", "Kitchen", "Plumbing",
     "Drain and flush sediment from the tank; check anode.", "Hose, bucket", "Clear water at drain",
     "", 1, 30, "A.O. Smith", "BTH-199", 26, 10},
    {"Backflow preventer - annual test", "Boiler Room", "Plumbing",
     "Test double check valve assembly and record results.", "Backflow test kit", "Passes test", "",
     1, 0, "Watts", "909", 52, 18},
    {"Legionella - flush little used outlets", "Main Office", "Plumbing",
     "Run every little-used tap and shower for two minutes.", "Thermometer",
     "Hot above 50 C, cold below 20 C", "Friday afternoon", 0, 40, "", "", 1, 1},
    {"Sump pumps - function test", "Parking Garage", "Plumbing",
     "Lift floats and confirm pump start and alarm.", "", "Pumps start, alarm sounds", "", 0, 30,
     "Grundfos", "Unilift", 13, 4},
    {"Forklift - weekly inspection", "Warehouse", "Vehicles",
     "Check forks, chains, hydraulics, tyres, horn and lights.", "Checklist", "Safe to operate",
     "Start of shift", 0, 30, "Toyota", "8FBE15", 1, 1},
    {"Forklift - service", "Warehouse", "Vehicles",
     "Full service by the dealer: oil, filters, brakes, battery.", "", "Service sticker updated",
     "", 3, 0, "Toyota", "8FBE15", 26, 12},
    {"Delivery van - check tyres and fluids", "Parking Garage", "Vehicles",
     "Tyre pressures and tread, oil, coolant, washer fluid.", "Tyre gauge", "All within limits", "",
     0, 20, "Ford", "Transit", 4, 3},
    {"Roof - inspect and clear gutters", "Roof", "Building",
     "Clear gutters and outlets; inspect membrane and flashings.", "Ladder, bags", "Free drainage",
     "After leaf fall", 2, 0, "", "", 26, 17},
    {"Loading dock door - lubricate and adjust", "Warehouse", "Building",
     "Lubricate rollers and hinges; check springs and safety edge.", "Grease gun",
     "Smooth operation", "", 1, 0, "Hormann", "SPU F42", 13, 8},
    {"Automatic entrance doors - safety check", "Main Office", "Building",
     "Check sensors, safety beams and emergency break-out.", "", "Doors reverse on obstruction", "",
     0, 45, "Dorma", "ES 200", 13, 9},
    {"Passenger lift - monthly check", "Main Office", "Building",
     "Check alarm line, levelling and door operation.", "", "Lift levels within 10 mm", "", 0, 30,
     "Kone", "MonoSpace", 4, 2},
    {"Kitchen hood - degrease filters", "Kitchen", "Kitchen Equipment",
     "Remove and degrease baffle filters; clean hood plenum.", "Degreaser, soak tank",
     "No grease build-up", "After closing", 1, 30, "Halton", "KVF", 4, 4},
    {"Walk-in cooler - clean evaporator and check seals", "Kitchen", "Kitchen Equipment",
     "Clean evaporator coil, check door gaskets and temperature log.", "Coil brush",
     "Holds 3 C or below", "", 1, 0, "Hussmann", "", 13, 7},
    {"Dishwasher - descale", "Kitchen", "Kitchen Equipment",
     "Run descaling cycle; check wash arms and rinse temperature.", "Descaler", "Rinse at 82 C",
     "After lunch service", 0, 45, "Hobart", "AM15", 4, 1},
    {"Workshop compressor - drain and check", "Workshop", "Electrical",
     "Drain receiver, check belt tension and safety valve.", "", "No leaks, valve lifts", "", 0, 30,
     "Atlas Copco", "GA 11", 4, 2},
    {"Workshop - inspect hand tools and ladders", "Workshop", "Safety",
     "Inspect ladders, power tool leads and guards; tag defects.", "Checklist, tags",
     "Defective items withdrawn", "", 1, 0, "", "", 13, 11},
    {"Parking garage - ventilation fans test", "Parking Garage", "HVAC",
     "Run jet fans at both speeds; check CO detectors.", "CO test gas", "Fans start on CO alarm",
     "Night", 1, 0, "Systemair", "", 26, 16},
    {"Office AC split units - clean filters", "Main Office", "HVAC",
     "Clean indoor unit filters and drain trays.", "Vacuum, mild detergent", "Clean filters",
     "Before 8:00", 1, 30, "Daikin", "FTXM", 13, 3},
};

QString sqlText(const QString& text) {
    if (text.isEmpty())
        return QStringLiteral("NULL");
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QString sqlText(const char* text) {
    return sqlText(QString::fromUtf8(text));
}

int indexOf(const char* const* list, int count, const char* name) {
    for (int i = 0; i < count; ++i)
        if (qstrcmp(list[i], name) == 0)
            return i + 1;
    return 0;
}

// The script that fills the sample site; ids follow insertion order from 1.
// One piece: the script in insertion order, which the ids the later rows refer to follow.
QString demoScript(const QDate& today) {
    QRandomGenerator random(20051215); // fixed: the same sample every time
    const QList<QDate> mondays = weekMondays(today.year());
    QStringList sql;
    sql << QStringLiteral("BEGIN;");
    for (const char* location : Locations)
        sql << QStringLiteral("INSERT INTO locations (locdesc) VALUES (%1);")
                   .arg(sqlText(location));
    for (const char* type : Types)
        sql << QStringLiteral("INSERT INTO types (typdesc) VALUES (%1);").arg(sqlText(type));
    for (const auto& e : Employees)
        sql << QStringLiteral("INSERT INTO employees (firstname, lastname) VALUES (%1, %2);")
                   .arg(sqlText(e[0]), sqlText(e[1]));
    for (const auto& m : Managers)
        sql << QStringLiteral("INSERT INTO managers (manfirst, manlast) VALUES (%1, %2);")
                   .arg(sqlText(m[0]), sqlText(m[1]));

    const int employeeCount = int(std::size(Employees));
    int taskId = 0;
    for (const DemoTask& t : Tasks) {
        ++taskId;
        const int loc = indexOf(Locations, int(std::size(Locations)), t.location);
        const int typ = indexOf(Types, int(std::size(Types)), t.type);
        const int emp = 1 + (taskId - 1) % employeeCount;
        const QDate purchased = QDate(today.year() - 1 - taskId % 8, 1 + taskId % 12, 1);
        sql << QStringLiteral(
                   "INSERT INTO tasks (taskname, taskdesc, tools, results, besttime, reqhour, "
                   "reqmin, manuf, model, serialno, Tag, misc1, locid, typid, empid, "
                   "curyearonly, purchdate, wardate) VALUES (%1, %2, %3, %4, %5, %6, %7, %8, %9, "
                   "%10, %11, NULL, %12, %13, %14, 0, %15, %16);")
                   .arg(sqlText(t.name), sqlText(t.desc), sqlText(t.tools), sqlText(t.results),
                        sqlText(t.besttime))
                   .arg(t.hours)
                   .arg(t.minutes)
                   .arg(sqlText(t.manuf), sqlText(t.model),
                        *t.manuf ? sqlText(QStringLiteral("SN-%1").arg(40000 + taskId * 137))
                                 : QStringLiteral("NULL"),
                        sqlText(QStringLiteral("T-%1").arg(100 + taskId, 4, 10, QLatin1Char('0'))))
                   .arg(loc)
                   .arg(typ)
                   .arg(emp)
                   .arg(sqlText(purchased.toString(Qt::ISODate)),
                        sqlText(purchased.addYears(3).toString(Qt::ISODate)));

        for (int week = t.firstWeek; week <= WeeksPerYear; week += t.everyWeeks) {
            sql << QStringLiteral("INSERT INTO taskweeks (taskid, weeid) VALUES (%1, %2);")
                       .arg(taskId)
                       .arg(week);
            const QDate due = mondays[week - 1];
            const bool done = due < today && random.bounded(10) < 8;
            if (!done) {
                sql << QStringLiteral("INSERT INTO assign (taskid, weeid, duedate, completed, "
                                      "comphour, compmin, locid, typid) VALUES (%1, %2, '%3', 0, "
                                      "0, 0, %4, %5);")
                           .arg(taskId)
                           .arg(week)
                           .arg(due.toString(Qt::ISODate))
                           .arg(loc)
                           .arg(typ);
                continue;
            }
            const QDate completed = due.addDays(random.bounded(5));
            const double parts = random.bounded(4) == 0 ? random.bounded(2000) / 10.0 : 0.0;
            const double labor = random.bounded(3) == 0 ? 35.0 * (1 + random.bounded(4)) : 0.0;
            const double tax = qRound((parts + labor) * 0.07 * 100) / 100.0;
            sql << QStringLiteral(
                       "INSERT INTO assign (taskid, weeid, duedate, completed, compdate, "
                       "comphour, compmin, compnotes, empid, manid, parts, labor, tax, totalcost, "
                       "locid, typid) VALUES (%1, %2, '%3', 1, '%4', %5, %6, %7, %8, %9, %10, "
                       "%11, %12, %13, %14, %15);")
                       .arg(taskId)
                       .arg(week)
                       .arg(due.toString(Qt::ISODate), completed.toString(Qt::ISODate))
                       .arg(t.hours)
                       .arg(t.minutes)
                       .arg(random.bounded(6) == 0 ? sqlText("Worn parts replaced.")
                                                   : QStringLiteral("NULL"))
                       .arg(emp)
                       .arg(1 + random.bounded(int(std::size(Managers))))
                       .arg(parts, 0, 'f', 2)
                       .arg(labor, 0, 'f', 2)
                       .arg(tax, 0, 'f', 2)
                       .arg(parts + labor + tax, 0, 'f', 2)
                       .arg(loc)
                       .arg(typ);
        }
    }
    sql << QStringLiteral("COMMIT;");
    return sql.join(QLatin1Char('\n'));
}

} // namespace

bool fillDemoData(const QString& dbPath, const QDate& today, QString* error) {
    QString failure;
    ErrorTrap trap([&failure](const DbError& e) {
        if (failure.isEmpty())
            failure = e.description;
    });
    Database db = Database::open(dbPath);
    if (failure.isEmpty())
        db.executeScript(demoScript(today));
    db.close();
    if (!failure.isEmpty() && error)
        *error = failure;
    return failure.isEmpty();
}

bool initWorkFolder(const QString& folder, bool demo, const QDate& today, QString* error) {
    const QDir dir(folder);
    const QString taskDb = dir.filePath(QStringLiteral("tavrel.mdb"));
    const QString specDb = dir.filePath(QStringLiteral("rptspec.mdb"));
    for (const QString& path : {taskDb, specDb}) {
        if (fileNameTaken(path)) {
            if (error)
                *error = QStringLiteral("%1 already exists; nothing was written.").arg(path);
            return false;
        }
    }
    if (!createTaskDatabase(taskDb, today.year(), error))
        return false;
    if (!createCatalogueDatabase(specDb, error)) {
        QFile::remove(taskDb);
        return false;
    }
    if (demo && !fillDemoData(taskDb, today, error)) {
        QFile::remove(taskDb);
        QFile::remove(specDb);
        return false;
    }
    return true;
}

} // namespace tavrel
