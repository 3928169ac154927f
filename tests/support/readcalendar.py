#!/usr/bin/env python3
"""Reads an iCalendar file as calendar programs written in Python read it (the icalendar
package) and prints its events and to-dos as JSON: one object per entry, in file order,
with the texts unescaped and unfolded, dates as YYYY-MM-DD and times as ISO text."""

import json
import sys

import icalendar


def text(component, name):
    value = component.get(name)
    return None if value is None else str(value)


def when(component, name):
    value = component.get(name)
    if value is None:
        return None
    return value.dt.isoformat()


def categories(component):
    value = component.get('categories')
    if value is None:
        return []
    props = value if isinstance(value, list) else [value]
    found = []
    for prop in props:
        found.extend(str(c) for c in prop.cats)
    return found


def main():
    with open(sys.argv[1], 'rb') as f:
        calendar = icalendar.Calendar.from_ical(f.read())
    entries = []
    for component in calendar.walk():
        if component.name not in ('VEVENT', 'VTODO'):
            continue
        entries.append({
            'kind': component.name,
            'uid': text(component, 'uid'),
            'summary': text(component, 'summary'),
            'location': text(component, 'location'),
            'description': text(component, 'description'),
            'categories': categories(component),
            'dtstart': when(component, 'dtstart'),
            'dtend': when(component, 'dtend'),
            'due': when(component, 'due'),
            'status': text(component, 'status'),
            'completed': when(component, 'completed'),
        })
    json.dump({'version': text(calendar, 'version'), 'prodid': text(calendar, 'prodid'),
               'entries': entries}, sys.stdout)


if __name__ == '__main__':
    main()
