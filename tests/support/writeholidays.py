#!/usr/bin/env python3
"""Writes an iCalendar file of holidays as a calendar program written in Python writes one
(the icalendar package): writeholidays.py FILE [holidays|empty].

holidays: one-day events (one of them all-day over two days, one with a name beyond ASCII),
yearly rules by month and day of the month, by the third and the fourth weekday and by the
last weekday of a month, a rule of every second year, and Christmas twice (the second
time under another name). empty: a calendar without events (a to-do only)."""

import sys
from datetime import date

import icalendar


def event(calendar, uid, summary, start, end=None, rrule=None):
    e = icalendar.Event()
    e.add('uid', uid)
    e.add('dtstamp', icalendar.vDatetime.from_ical('20260101T000000Z'))
    e.add('summary', summary)
    e.add('dtstart', start)
    if end is not None:
        e.add('dtend', end)
    if rrule is not None:
        e.add('rrule', rrule)
    calendar.add_component(e)


def main():
    path = sys.argv[1]
    what = sys.argv[2] if len(sys.argv) > 2 else 'holidays'
    calendar = icalendar.Calendar()
    calendar.add('prodid', '-//Holiday test//EN')
    calendar.add('version', '2.0')
    if what == 'holidays':
        event(calendar, 'founders', 'Founders Day', date(2026, 7, 3), date(2026, 7, 4))
        event(calendar, 'fete', 'Fête du site', date(2026, 9, 14))
        event(calendar, 'shutdown', 'Plant shutdown', date(2026, 12, 28), date(2026, 12, 30))
        event(calendar, 'christmas', 'Christmas Day', date(2026, 12, 25), date(2026, 12, 26),
              {'freq': 'yearly', 'bymonth': 12, 'bymonthday': 25})
        event(calendar, 'christmas2', 'Christmas', date(2027, 12, 25), date(2027, 12, 26),
              {'freq': 'yearly', 'bymonth': 12, 'bymonthday': 25})
        event(calendar, 'mlk', 'Martin Luther King Jr. Day', date(2026, 1, 19), None,
              {'freq': 'yearly', 'bymonth': 1, 'byday': '3MO'})
        event(calendar, 'memorial', 'Memorial Day', date(2026, 5, 25), None,
              {'freq': 'yearly', 'bymonth': 5, 'byday': '-1MO'})
        event(calendar, 'thanks', 'Thanksgiving', date(2026, 11, 26), None,
              {'freq': 'yearly', 'bymonth': 11, 'byday': '4TH'})
        event(calendar, 'audit', 'Audit day', date(2026, 8, 14), None,
              {'freq': 'yearly', 'interval': 2})
    else:
        todo = icalendar.Todo()
        todo.add('uid', 'todo')
        todo.add('summary', 'Not a holiday')
        todo.add('dtstamp', icalendar.vDatetime.from_ical('20260101T000000Z'))
        calendar.add_component(todo)
    with open(path, 'wb') as f:
        f.write(calendar.to_ical())


if __name__ == '__main__':
    main()
