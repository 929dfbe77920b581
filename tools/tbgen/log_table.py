#!/usr/bin/env python3
"""Per-ending table of a tbgen run, from its log, for tools/tbgen/README.md.

    tools/tbgen/log_table.py LOG            print the table
    tools/tbgen/log_table.py LOG README     put it between the README's table marks

Reads tbgen's per-ending lines ("NAME A + B entries  analysis ... disk N bytes"); an
ending made more than once (a run taken up again) counts with its last line.
"""
import re
import sys

LINE = re.compile(
    r"^(?P<name>k[pnbrq]*k[pnbrq]*)\s+(?P<e0>\d+) \+\s+(?P<e1>\d+) entries\s+analysis\s+(?P<analysis>[\d.]+) s"
    r"\s+files\s+(?P<files>[\d.]+) s\s+total\s+(?P<total>[\d.]+) s\s+mate in\s+(?P<m0>\d+) /\s+(?P<m1>\d+) moves"
    r"\s+tables\s+(?P<tables>[\d.]+) MB\s+peak\s+(?P<peak>[\d.]+) MB\s+disk (?P<disk>\d+) bytes")
BEGIN, END = "<!-- tbgen log table: begin -->", "<!-- tbgen log table: end -->"


def endings(path):
    found = {}
    with open(path, errors="replace") as log:
        for line in log:
            m = LINE.match(line)
            if m:
                found.pop(m["name"], None)  # keep the order of the last making
                found[m["name"]] = m
    return list(found.values())


def table(rows):
    out = ["| ending | men | entries | time (s) | peak memory (MB) | on disk (MB) | longest mate (moves) |",
           "|---|---|---|---|---|---|---|"]
    entries = seconds = disk = 0
    peak = 0.0
    for m in rows:
        n = int(m["e0"]) + int(m["e1"])
        entries += n
        seconds += float(m["total"])
        disk += int(m["disk"])
        peak = max(peak, float(m["peak"]))
        out.append(f"| `{m['name']}` | {len(m['name'])} | {n:,} | {float(m['total']):.1f} | {float(m['peak']):.0f} "
                   f"| {int(m['disk']) / 1e6:.1f} | {m['m0']} / {m['m1']} |")
    out.append(f"| {len(rows)} endings | | {entries:,} | {seconds:.0f} ({seconds / 3600:.1f} h) | {peak:.0f} "
               f"| {disk / 1e6:.1f} | |")
    return "\n".join(out) + "\n"


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    text = table(endings(sys.argv[1]))
    if len(sys.argv) == 2:
        sys.stdout.write(text)
        return
    with open(sys.argv[2]) as f:
        readme = f.read()
    if BEGIN not in readme or END not in readme:
        sys.exit(f"{sys.argv[2]}: no table marks ({BEGIN} ... {END})")
    head, rest = readme.split(BEGIN, 1)
    tail = rest.split(END, 1)[1]
    with open(sys.argv[2], "w") as f:
        f.write(head + BEGIN + "\n" + text + END + tail)


if __name__ == "__main__":
    main()
