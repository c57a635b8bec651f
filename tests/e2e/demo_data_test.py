#!/usr/bin/env python3
"""The demo data directory as the program reads it: every running stay of the room-state file
has its open ledger row and every open row its running stay (else the board's first change of
such a room finds no row to close), and the program's own report command counts takings on
every day of last month, so its formats are the ones the program writes.

Usage: demo_data_test.py --bin DIR
"""
import argparse
import csv
import datetime as dt
import os
import sqlite3
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def read_ini(path):
    sections, current = {}, None
    with open(path, encoding="cp949") as f:
        for line in f.read().splitlines():
            if line.startswith("[") and line.endswith("]"):
                current = sections.setdefault(line[1:-1].lower(), {})
            elif "=" in line and current is not None:
                key, value = line.split("=", 1)
                current[key.lower()] = value
    return sections


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    args = parser.parse_args()
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        data = os.path.join(tmp, "demo")
        env = dict(os.environ, DEMO_COM_PORT="")
        subprocess.run([os.path.join(ROOT, "scripts", "make-demo-data"), data], check=True, env=env)

        ini = read_ini(os.path.join(data, "TavolenConfig.ini"))
        running = set()
        for key, start in ini.get("time", {}).items():
            slot = key[1:]
            state = ini.get("rstatus", {}).get(key, "")
            if start and state not in ("", "완 료"):
                running.add((ini["name"]["lname" + slot], start[:12]))
        db = sqlite3.connect(os.path.join(data, "DB", "motel.db"))
        open_rows = db.execute(
            """SELECT roomNum, IDateTime FROM "Cash.DB" WHERE coalesce(ODateTime, '') = ''"""
        ).fetchall()
        if not running:
            failures.append("no running stay in the demo")
        if sorted(open_rows) != sorted(running):
            failures.append(f"open ledger rows {sorted(open_rows)} != running stays {sorted(running)}")

        last_month = (dt.date.today().replace(day=1) - dt.timedelta(days=1)).strftime("%Y-%m")
        out = os.path.join(tmp, "month.csv")
        report = subprocess.run(
            [os.path.join(args.bin, "tavolen"), "--data-dir", data, "report", "month", last_month,
             "--out", out], capture_output=True, text=True)
        if report.returncode != 0:
            failures.append(f"report month {last_month}: {report.returncode} {report.stderr}")
        else:
            with open(out, encoding="utf-8-sig") as f:
                rows = list(csv.reader(f))
            days = [r for r in rows if r and r[0].endswith("일") and r[0][:-1].isdigit()]
            empty = [r[0] for r in days if int(r[3]) <= 0]
            if not days or empty:
                failures.append(f"{last_month}: days without takings {empty or 'all'}")
    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
