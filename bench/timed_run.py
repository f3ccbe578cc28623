#!/usr/bin/env python3
"""Runs a command, notes when each line of its output arrives, and prints its wall time
and peak memory; with --flat, also how the cost of the last commits compares with that
of early ones (the command writes one line per commit, as `quarv convert` does when its
output is not a terminal).

    timed_run.py [--flat] [--label NAME] -- COMMAND ARGS...

Prints `NAME: S s, peak RSS M MiB`, and with --flat, for a run of N commits:
`flat cost: commits 100-600 A s, last 500 B s, ratio B/A`. Exits with the command's
status.
"""
import resource
import subprocess
import sys
import time


def main():
    args = sys.argv[1:]
    flat = False
    label = "run"
    while args and args[0] != "--":
        if args[0] == "--flat":
            flat = True
            args = args[1:]
        elif args[0] == "--label":
            label = args[1]
            args = args[2:]
        else:
            sys.exit(f"unknown option {args[0]}")
    command = args[1:]
    start = time.monotonic()
    stamps = []
    with subprocess.Popen(command, stdout=subprocess.PIPE) as process:
        for _ in process.stdout:
            stamps.append(time.monotonic())
    wall = time.monotonic() - start
    peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss / 1024
    print(f"{label}: {wall:.2f} s, peak RSS {peak:.0f} MiB")
    if flat:
        # One line per commit, then the summary line.
        commits = stamps[:-1]
        if len(commits) < 1100:
            print("flat cost: needs at least 1,100 commits")
        else:
            early = commits[599] - commits[99]
            late = commits[-1] - commits[-501]
            print(f"flat cost: commits 100-600 {early:.2f} s, last 500 {late:.2f} s, "
                  f"ratio {late / early:.2f}")
    sys.exit(process.returncode)


if __name__ == "__main__":
    main()
