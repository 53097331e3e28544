#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Compares two builds of tw_timing in one run: runs A and B in turns, ROUNDS times each, and
prints each measure's fastest figure for both and the ratio B / A. A turn of each follows a turn of
the other, so that a machine that slows down or speeds up meanwhile weighs on both alike.
Usage: bench/ab.py ROUNDS "COMMAND A" "COMMAND B"   (each command a shell-quoted line)"""
import shlex, subprocess, sys

def run(command):
    out = subprocess.run(shlex.split(command), check=True, capture_output=True, text=True).stdout
    return {name: float(value) for name, value in (line.split() for line in out.splitlines() if line.strip())}

def main():
    rounds, a, b = int(sys.argv[1]), sys.argv[2], sys.argv[3]
    runs = {"A": [], "B": []}
    for _ in range(rounds):
        runs["A"].append(run(a))
        runs["B"].append(run(b))
    print(f"{'measure':<22} {'A':>12} {'B':>12} {'B/A':>7}")
    for name in runs["A"][0]:
        ma = min(r[name] for r in runs["A"])
        mb = min(r[name] for r in runs["B"])
        print(f"{name:<22} {ma:12.1f} {mb:12.1f} {mb / ma if ma else 0:7.3f}")

if __name__ == "__main__":
    main()
