#!/usr/bin/env python3
# The table of 10,000 tasks of every kind (random windows and repeat steps, a daily and a yearly
# silence period) that the vektrinctl benchmarks import, the same on every run.
# Usage: task_table.py OUT.json [--weekdays-in-first-week]
#   --weekdays-in-first-week: a weekly task's day of the month 8 .. 28 is stored as the week day
#   it reads as (1 .. 7), so that builds that differ in how they read such a day do the same work.
import json, random, sys

folded = "--weekdays-in-first-week" in sys.argv[2:]
random = random.Random(7)
tasks = []
for i in range(10000):
    kind = i % 6
    t = {"AppName": "task %d" % i, "Interval": kind, "RepeatInterval": random.choice([0, 15, 30, 45])}
    if kind == 1:
        a, b = sorted(random.sample(range(60), 2))
        t.update(StartTime="00:%02d:00" % a, EndTime="00:%02d:00" % b)
    elif kind >= 2:
        a = random.randrange(0, 20)
        t.update(StartTime="%02d:00:00" % a, EndTime="%02d:00:00" % (a + random.randrange(0, 4)))
    if kind in (3, 4):
        first, last = random.randrange(1, 29), random.randrange(1, 32)
        if kind == 3 and folded:
            first = (first - 1) % 7 + 1
        t.update(StartDate="0001-01-%02d" % first, EndDate="0001-01-%02d" % last)
    if kind == 5:
        m = random.randrange(1, 13)
        t.update(StartDate="2025-%02d-01" % m, EndDate="2025-%02d-20" % m)
    tasks.append(t)
doc = {"Format": "vektrin-tables", "Version": 1, "Tasks": tasks,
       "SilencePeriods": [{"Interval": 2, "StartTime": "12:00:00", "EndTime": "13:00:00"},
                          {"Interval": 5, "StartDate": "2025-12-24", "StartTime": "00:00:00",
                           "EndDate": "2025-12-26", "EndTime": "23:59:00"}]}
json.dump(doc, open(sys.argv[1], "w"))
