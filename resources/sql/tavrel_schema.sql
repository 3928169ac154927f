-- Schema of tavrel.mdb. Declared types carry the meaning the data layer reads back:
-- COUNTER/LONG/SHORT integers, SINGLE numbers, LONGTEXT notes, BIT yes/no, DATETIME dates
-- stored as ISO-8601 text, CURRENCY amounts with four decimals.
--
-- Every table carries a row version, rowver, which the trigger <table>_rowver raises by one
-- with each update that does not set it itself, whoever writes: the program, another copy of
-- it, another program, a statement that changes many rows. A copy of the program that read a
-- row writes its edit only while the version is still the one it read, so that it never
-- overwrites unseen what someone else saved meanwhile.
-- The rule columns of tasks schedule a task by interval instead of marked weeks (see
-- holidays below for the calendar it falls on): ruleunit empty or 0 for none, 1 weeks,
-- 2 months on the same weekday of the month, 3 months on the same day, 4 years; every
-- ruleevery units from rulestart. rulefollow: the next date is counted from the day the last
-- one was done.
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
    wardate     DATETIME,
    rowver integer NOT NULL DEFAULT 0,
    ruleunit    SHORT,
    ruleevery   SHORT,
    rulestart   DATETIME,
    rulefollow  BIT NOT NULL DEFAULT 0
);
-- Task-name order: the program sorts texts without regard to case. NOCASE, built into every
-- SQLite, gives that order for plain ASCII names, so this index serves it.
CREATE INDEX tasks_taskname ON tasks (taskname COLLATE NOCASE);

CREATE TABLE taskweeks (
    taskid LONG NOT NULL,
    weeid  SHORT NOT NULL,
    rowver integer NOT NULL DEFAULT 0
);
CREATE INDEX taskweeks_taskid ON taskweeks (taskid, weeid);

CREATE TABLE weeks (
    weeid   SHORT PRIMARY KEY,
    curdate DATETIME,
    rowver integer NOT NULL DEFAULT 0
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
    oneoff    BIT NOT NULL DEFAULT 0,
    rowver integer NOT NULL DEFAULT 0
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
    inactive  BIT NOT NULL DEFAULT 0,
    email     TEXT,
    rowver integer NOT NULL DEFAULT 0
);

CREATE TABLE managers (
    manid    INTEGER PRIMARY KEY AUTOINCREMENT,
    manfirst TEXT,
    manlast  TEXT,
    inactive BIT NOT NULL DEFAULT 0,
    email    TEXT,
    rowver integer NOT NULL DEFAULT 0
);

CREATE TABLE locations (
    locid    INTEGER PRIMARY KEY AUTOINCREMENT,
    locdesc  TEXT,
    inactive BIT NOT NULL DEFAULT 0,
    rowver integer NOT NULL DEFAULT 0
);

CREATE TABLE types (
    typid    INTEGER PRIMARY KEY AUTOINCREMENT,
    typdesc  TEXT,
    inactive BIT NOT NULL DEFAULT 0,
    rowver integer NOT NULL DEFAULT 0
);

-- siteid: the site's identifier, a random UUID given once, which outlives copies of the site
-- (calendar entries exported from it are known again by it). workdays: the site's working
-- weekdays, Monday first, 1 for working; empty means Monday to Friday. It comes last, where the
-- upgrade of an older file adds it: a row's shape is then the same in every file, and no
-- other table's (a damaged file's rows are told apart by their shapes).
CREATE TABLE settings (
    CurYear SHORT,
    rowver integer NOT NULL DEFAULT 0,
    siteid  TEXT,
    workdays TEXT
);

-- The e-mail digests sent (tavrel --mail-digest): one row per recipient (kind 'employee' or
-- 'manager', and the key of the name) and day, written once the mail server took the
-- message, so that a second run of the day sends only what failed before.
CREATE TABLE digestsent (
    sentid   INTEGER PRIMARY KEY AUTOINCREMENT,
    kind     TEXT NOT NULL,
    recipid  LONG NOT NULL,
    address  TEXT,
    sentday  DATETIME NOT NULL,
    senttime DATETIME,
    rowver integer NOT NULL DEFAULT 0
);
CREATE UNIQUE INDEX digestsent_recipient ON digestsent (kind, recipid, sentday);

-- The site's holidays, on which no maintenance falls due: holkind 0 one date (holdate),
-- 1 a day every year (holmonth, holday), 2 the holnth weekday (holweekday, 1 Monday to 7
-- Sunday) of a month, 3 the last such weekday of a month, 4 holoffset days from Easter Sunday.
CREATE TABLE holidays (
    holid      INTEGER PRIMARY KEY AUTOINCREMENT,
    holname    TEXT,
    holkind    SHORT NOT NULL DEFAULT 0,
    holdate    DATETIME,
    holmonth   SHORT,
    holday     SHORT,
    holweekday SHORT,
    holnth     SHORT,
    holoffset  SHORT,
    rowver integer NOT NULL DEFAULT 0
);

CREATE TRIGGER tasks_rowver AFTER UPDATE ON tasks FOR EACH ROW WHEN NEW.rowver = OLD.rowver
BEGIN UPDATE tasks SET rowver = OLD.rowver + 1 WHERE rowid = NEW.rowid; END;
CREATE TRIGGER taskweeks_rowver AFTER UPDATE ON taskweeks FOR EACH ROW WHEN NEW.rowver = OLD.rowver
BEGIN UPDATE taskweeks SET rowver = OLD.rowver + 1 WHERE rowid = NEW.rowid; END;
CREATE TRIGGER weeks_rowver AFTER UPDATE ON weeks FOR EACH ROW WHEN NEW.rowver = OLD.rowver
BEGIN UPDATE weeks SET rowver = OLD.rowver + 1 WHERE rowid = NEW.rowid; END;
CREATE TRIGGER assign_rowver AFTER UPDATE ON assign FOR EACH ROW WHEN NEW.rowver = OLD.rowver
BEGIN UPDATE assign SET rowver = OLD.rowver + 1 WHERE rowid = NEW.rowid; END;
CREATE TRIGGER employees_rowver AFTER UPDATE ON employees FOR EACH ROW WHEN NEW.rowver = OLD.rowver
BEGIN UPDATE employees SET rowver = OLD.rowver + 1 WHERE rowid = NEW.rowid; END;
CREATE TRIGGER managers_rowver AFTER UPDATE ON managers FOR EACH ROW WHEN NEW.rowver = OLD.rowver
BEGIN UPDATE managers SET rowver = OLD.rowver + 1 WHERE rowid = NEW.rowid; END;
CREATE TRIGGER locations_rowver AFTER UPDATE ON locations FOR EACH ROW WHEN NEW.rowver = OLD.rowver
BEGIN UPDATE locations SET rowver = OLD.rowver + 1 WHERE rowid = NEW.rowid; END;
CREATE TRIGGER types_rowver AFTER UPDATE ON types FOR EACH ROW WHEN NEW.rowver = OLD.rowver
BEGIN UPDATE types SET rowver = OLD.rowver + 1 WHERE rowid = NEW.rowid; END;
CREATE TRIGGER settings_rowver AFTER UPDATE ON settings FOR EACH ROW WHEN NEW.rowver = OLD.rowver
BEGIN UPDATE settings SET rowver = OLD.rowver + 1 WHERE rowid = NEW.rowid; END;
CREATE TRIGGER digestsent_rowver AFTER UPDATE ON digestsent FOR EACH ROW WHEN NEW.rowver = OLD.rowver
BEGIN UPDATE digestsent SET rowver = OLD.rowver + 1 WHERE rowid = NEW.rowid; END;
CREATE TRIGGER holidays_rowver AFTER UPDATE ON holidays FOR EACH ROW WHEN NEW.rowver = OLD.rowver
BEGIN UPDATE holidays SET rowver = OLD.rowver + 1 WHERE rowid = NEW.rowid; END;
