#!/usr/bin/env python3
"""Checks dialog templates for control ids and object names used twice.

The editor base finds every control by its `ctrlId` property, and uic turns
every objectName into a member name, so both must be unique within a template.
A control with a `ctrlId` must also be named c<id>, the name the dialogs use.

Usage: check_ids.py FILE.ui [FILE.ui ...]
Prints one line per fault and exits 1 when any file has one, 0 otherwise.
"""

import sys
import xml.etree.ElementTree as ET
from collections import defaultdict


def ctrl_id(widget):
    """The widget's integer ctrlId property, or None."""
    for prop in widget.findall('property'):
        if prop.get('name') == 'ctrlId':
            number = prop.find('number')
            if number is None or not (number.text or '').strip().lstrip('-').isdigit():
                return 'not a number'
            return int(number.text)
    return None


def faults_of(path):
    try:
        root = ET.parse(path).getroot()
    except (ET.ParseError, OSError) as err:
        return [f'{path}: cannot read: {err}']

    faults = []
    names = defaultdict(int)
    ids = defaultdict(list)
    for element in root.iter():
        if element.tag not in ('widget', 'layout', 'spacer', 'action'):
            continue
        name = element.get('name')
        if name:
            names[name] += 1
        if element.tag != 'widget':
            continue
        cid = ctrl_id(element)
        if cid is None:
            continue
        if cid == 'not a number':
            faults.append(f'{path}: {name}: ctrlId is not an integer')
            continue
        ids[cid].append(name)
        if name != f'c{cid}':
            faults.append(f'{path}: ctrlId {cid} is on "{name}", expected "c{cid}"')

    for cid, owners in sorted(ids.items()):
        if len(owners) > 1:
            faults.append(f'{path}: duplicate ctrlId {cid}: {", ".join(owners)}')
    for name, count in sorted(names.items()):
        if count > 1:
            faults.append(f'{path}: duplicate objectName "{name}" ({count} times)')
    return faults


def main(argv):
    if len(argv) < 2:
        print("usage: check_ids.py FILE.ui [FILE.ui ...]", file=sys.stderr)
        return 2
    faults = []
    for path in argv[1:]:
        faults += faults_of(path)
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
