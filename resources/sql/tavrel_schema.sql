-- Schema of tavrel.mdb. Declared types carry the meaning the data layer reads back:
-- COUNTER/LONG/SHORT integers, SINGLE numbers, LONGTEXT notes, BIT yes/no, DATETIME dates
-- stored as ISO-8601 text, CURRENCY amounts with four decimals.
CREATE TABLE tasks (
    taskid      INTEGER PRIMARY KEY AUTOINCREMENT,
    taskname    TEXT,
    taskdesc    LONGTEXT,
    tools       LONGTEXT,
    results     LONGTEXT,
    besttime    TEXT,
    reqhour     SINGLE,
    reqmin      SINGLE,
    manuf       TEXT,
    model       TEXT,
    serialno    TEXT,
    Tag         TEXT,
    misc1       TEXT,
    locid       LONG,
    typid       LONG,
    empid       LONG,
    curyearonly BIT NOT NULL DEFAULT 0,
    purchdate   DATETIME,
    wardate     DATETIME
);
-- Task-name order: the program sorts texts without regard to case. NOCASE, built into every
-- SQLite, gives that order for plain ASCII names, so this index serves it.
CREATE INDEX tasks_taskname ON tasks (taskname COLLATE NOCASE);

CREATE TABLE taskweeks (
    taskid LONG NOT NULL,
    weeid  SHORT NOT NULL
);
CREATE INDEX taskweeks_taskid ON taskweeks (taskid, weeid);

CREATE TABLE weeks (
    weeid   SHORT PRIMARY KEY,
    curdate DATETIME
);

CREATE TABLE assign (
    assid     INTEGER PRIMARY KEY AUTOINCREMENT,
    taskid    LONG,
    weeid     SHORT,
    duedate   DATETIME,
    completed BIT NOT NULL DEFAULT 0,
    compdate  DATETIME,
    comphour  SINGLE DEFAULT 0,
    compmin   SINGLE DEFAULT 0,
    compnotes LONGTEXT,
    empid     LONG,
    manid     LONG,
    parts     CURRENCY DEFAULT 0,
    labor     CURRENCY DEFAULT 0,
    tax       CURRENCY DEFAULT 0,
    totalcost CURRENCY DEFAULT 0,
    locid     LONG,
    typid     LONG,
    -- An assignment made outside the weekly schedule (a breakdown, a finding): its weeid is
    -- empty, and neither year generation nor the week schedule removes or repeats it.
    oneoff    BIT NOT NULL DEFAULT 0
);
CREATE INDEX assign_duedate ON assign (duedate);
-- A task's assignment of a week in a year: year generation looks each one up.
CREATE INDEX assign_taskid ON assign (taskid, weeid, duedate);

-- A retired name (inactive) leaves the drop-down lists of new entries and stays on the
-- records that carry it.
CREATE TABLE employees (
    empid     INTEGER PRIMARY KEY AUTOINCREMENT,
    firstname TEXT,
    lastname  TEXT,
    inactive  BIT NOT NULL DEFAULT 0
);

CREATE TABLE managers (
    manid    INTEGER PRIMARY KEY AUTOINCREMENT,
    manfirst TEXT,
    manlast  TEXT,
    inactive BIT NOT NULL DEFAULT 0
);

CREATE TABLE locations (
    locid    INTEGER PRIMARY KEY AUTOINCREMENT,
    locdesc  TEXT,
    inactive BIT NOT NULL DEFAULT 0
);

CREATE TABLE types (
    typid    INTEGER PRIMARY KEY AUTOINCREMENT,
    typdesc  TEXT,
    inactive BIT NOT NULL DEFAULT 0
);

CREATE TABLE settings (
    CurYear SHORT
);
