-- Schema of rptspec.mdb: the catalogue of fields that custom reports and the find
-- dialog may use.
CREATE TABLE RptSpec (
    specid     LONG PRIMARY KEY,
    usewith    TEXT,
    "Desc"     TEXT,
    fieldname  TEXT,
    datatype   SHORT,
    ismemo     BIT NOT NULL DEFAULT 0,
    defwidth   SINGLE,
    IsCurrency BIT NOT NULL DEFAULT 0,
    FileName   TEXT,
    linkfield  TEXT
);
