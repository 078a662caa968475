#!/usr/bin/env python3
"""Prints the best wall time and CPU time of two commands of a hyperfine JSON export and the
ratio of the first to the second, as "ratio LABEL: R (...)" for bench/summary.sh.

usage: hyperfine_ratio.py JSON LABEL OURS THEIRS
"""
import json
import sys

path, label, ours, theirs = sys.argv[1:5]
results = {r["command"]: r for r in json.load(open(path))["results"]}


def figures(name):
    r = results[name]
    return min(r["times"]), r["user"] + r["system"]


ours_wall, ours_cpu = figures(ours)
theirs_wall, theirs_cpu = figures(theirs)
print(f"ratio {label}: {ours_wall / theirs_wall:.2f} (best wall {ours_wall:.2f} s against {theirs_wall:.2f} s; "
      f"mean CPU user+sys {ours_cpu:.2f} s against {theirs_cpu:.2f} s, ratio {ours_cpu / theirs_cpu:.2f})")
