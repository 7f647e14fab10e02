#!/usr/bin/python3
"""The English translation is complete and current.

lupdate reads the window sources into a copy of the .ts: a text that is new in
the code arrives there unfinished, a finished one must keep the source's
%1..%9 markers, and the real .ts must already hold every text lupdate finds.
"""
import argparse, pathlib, re, shutil, subprocess, sys, tempfile
import xml.etree.ElementTree as ET

parser = argparse.ArgumentParser()
parser.add_argument('--lupdate', required=True)
parser.add_argument('--ts', required=True)
parser.add_argument('--sources', required=True, nargs='+', help='folders lupdate reads')
args = parser.parse_args()

faults = []
with tempfile.TemporaryDirectory() as scratch:
    copy = pathlib.Path(scratch) / pathlib.Path(args.ts).name
    shutil.copy(args.ts, copy)
    run = subprocess.run([args.lupdate, '-no-obsolete', '-locations', 'none', '-extensions', 'cpp,h',
                          *args.sources, '-ts', str(copy)], capture_output=True, text=True)
    if run.returncode != 0:
        sys.exit('lupdate failed:\n' + run.stdout + run.stderr)
    for line in (run.stdout + run.stderr).splitlines():
        if 'tr() cannot be called' in line or 'lacks Q_OBJECT' in line:
            faults.append('lupdate: ' + line.strip())
    root = ET.parse(copy).getroot()
    count = 0
    for context in root.iter('context'):
        name = context.findtext('name')
        for message in context.iter('message'):
            count += 1
            source = message.findtext('source') or ''
            translation = message.find('translation')
            text = translation.text if translation is not None else None
            kind = translation.get('type') if translation is not None else 'missing'
            where = '%s: %r' % (name, source)
            if kind in ('unfinished', 'missing') or not text:
                faults.append('not translated: ' + where)
                continue
            markers = sorted(set(re.findall(r'%\d', source)))
            if sorted(set(re.findall(r'%\d', text))) != markers:
                faults.append('markers %s differ in %r for %s' % (markers, text, where))
            if re.search(r'[\u4e00-\u9fff]', text):
                faults.append('Chinese left in %r for %s' % (text, where))

for fault in faults:
    print(fault)
print('%d texts, %d faults' % (count, len(faults)))
sys.exit(1 if faults else 0)
