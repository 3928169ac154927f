-- The field catalogue shipped with the program: every field of tasks and assign that a
-- custom report or a find may use. Ids are shared by both tables, so a report file's
-- settings line holds one entry per id up to the highest id of its table.
--   datatype: 1 text, 2 number, 3 date, 4 yes/no, 5 time, 6 work-order code (found by the
--     key its fieldname names; offered by the find only, never by the report designer)
--   defwidth: column width in inches
--   FileName/linkfield: the table that holds a field of another table and the column
--     both tables share (a report left-joins it; the find lists its values)
-- Columns of the report's own table that another joined table repeats are qualified, so
-- that selection, criteria and sorting always mean the report table's column.
INSERT INTO RptSpec (specid, usewith, "Desc", fieldname, datatype, ismemo, defwidth, IsCurrency, FileName, linkfield) VALUES
 (1,  'tasks', 'Task Number',                'tasks.taskid', 2, 0, 0.7,  0, NULL, NULL),
 (2,  'tasks', 'Task Name',                  'taskname',     1, 0, 2.5,  0, NULL, NULL),
 (3,  'tasks', 'Task Description',           'taskdesc',     1, 1, 3.0,  0, NULL, NULL),
 (4,  'tasks', 'Tools/Techniques Required',  'tools',        1, 1, 2.5,  0, NULL, NULL),
 (5,  'tasks', 'Expected Results',           'results',      1, 1, 2.5,  0, NULL, NULL),
 (6,  'tasks', 'Best Time',                  'besttime',     1, 0, 1.5,  0, NULL, NULL),
 (7,  'tasks', 'Hours Required',             'reqhour',      2, 0, 0.7,  0, NULL, NULL),
 (8,  'tasks', 'Minutes Required',           'reqmin',       2, 0, 0.7,  0, NULL, NULL),
 (9,  'tasks', 'Manufacturer',               'manuf',        1, 0, 1.5,  0, NULL, NULL),
 (10, 'tasks', 'Model Number',               'model',        1, 0, 1.2,  0, NULL, NULL),
 (11, 'tasks', 'Serial Number',              'serialno',     1, 0, 1.2,  0, NULL, NULL),
 (12, 'tasks', 'Tag Number',                 'Tag',          1, 0, 1.0,  0, NULL, NULL),
 (13, 'tasks', 'Miscellaneous',              'misc1',        1, 0, 1.5,  0, NULL, NULL),
 (14, 'tasks', 'Location',                   'locdesc',      1, 0, 1.5,  0, 'locations', 'locid'),
 (15, 'tasks', 'Type',                       'typdesc',      1, 0, 1.5,  0, 'types', 'typid'),
 (16, 'tasks', 'Assigned To (Last Name)',    'lastname',     1, 0, 1.2,  0, 'employees', 'empid'),
 (17, 'tasks', 'Assigned To (First Name)',   'firstname',    1, 0, 1.2,  0, 'employees', 'empid'),
 (18, 'tasks', 'Current Year Only',          'curyearonly',  4, 0, 0.8,  0, NULL, NULL),
 (19, 'tasks', 'Purchase Date',              'purchdate',    3, 0, 1.0,  0, NULL, NULL),
 (20, 'tasks', 'Warranty Expiration Date',   'wardate',      3, 0, 1.0,  0, NULL, NULL),
 (21, 'assign', 'Work Order Number',         'assid',        2, 0, 0.8,  0, NULL, NULL),
 (22, 'assign', 'Task Number',               'assign.taskid', 2, 0, 0.7, 0, NULL, NULL),
 (23, 'assign', 'Task Name',                 'taskname',     1, 0, 2.5,  0, 'tasks', 'taskid'),
 (24, 'assign', 'Week Number',               'assign.weeid', 2, 0, 0.6,  0, NULL, NULL),
 (25, 'assign', 'Due Date',                  'duedate',      3, 0, 1.0,  0, NULL, NULL),
 (26, 'assign', 'Completed',                 'completed',    4, 0, 0.8,  0, NULL, NULL),
 (27, 'assign', 'Date Completed',            'compdate',     3, 0, 1.0,  0, NULL, NULL),
 (28, 'assign', 'Hours Spent',               'comphour',     2, 0, 0.7,  0, NULL, NULL),
 (29, 'assign', 'Minutes Spent',             'compmin',      2, 0, 0.7,  0, NULL, NULL),
 (30, 'assign', 'Completion Notes',          'compnotes',    1, 1, 2.5,  0, NULL, NULL),
 (31, 'assign', 'Employee (Last Name)',      'lastname',     1, 0, 1.2,  0, 'employees', 'empid'),
 (32, 'assign', 'Employee (First Name)',     'firstname',    1, 0, 1.2,  0, 'employees', 'empid'),
 (33, 'assign', 'Inspected By (Last Name)',  'manlast',      1, 0, 1.2,  0, 'managers', 'manid'),
 (34, 'assign', 'Inspected By (First Name)', 'manfirst',     1, 0, 1.2,  0, 'managers', 'manid'),
 (35, 'assign', 'Parts Cost',                'parts',        2, 0, 1.0,  1, NULL, NULL),
 (36, 'assign', 'Labor Cost',                'labor',        2, 0, 1.0,  1, NULL, NULL),
 (37, 'assign', 'Tax',                       'tax',          2, 0, 0.9,  1, NULL, NULL),
 (38, 'assign', 'Total Cost',                'totalcost',    2, 0, 1.0,  1, NULL, NULL),
 (39, 'assign', 'Location',                  'locdesc',      1, 0, 1.5,  0, 'locations', 'locid'),
 (40, 'assign', 'Type',                      'typdesc',      1, 0, 1.5,  0, 'types', 'typid'),
 (41, 'tasks', 'Work Order Code',            'tasks.taskid', 6, 0, 1.7,  0, NULL, NULL),
 (42, 'assign', 'Work Order Code',           'assid',        6, 0, 1.7,  0, NULL, NULL);
