#!/usr/bin/python3
"""The desk left alone for a long stretch: the real program on an X server of its own, its
controller line on a pseudo-terminal with a storm at the line's pace (blocks of 1 to 240 pairs
at 4800 bit/s, the board's silence between them), the minute tick with its purges (history
rows two days old are laid ahead of the purge's limit, so that every tick deletes some), the
live view with signed-in pages opening and closing (page, live socket, snapshot), and the
central sender shipping to a PostgreSQL server of its own.

Prints at intervals the program's resident memory, open file descriptors and threads, the
WAL's and the database's size, the history rows and the central outbox's backlog; then, for
each, whether it kept growing after the warm-up (the first third of the run).

Usage: bench_desk_week [--minutes M] [--short] [--interval S] [--pages N] [--bin DIR]
       (30 minutes by default; --short runs 40 s, a check that the bench works)
"""
import argparse
import base64
import http.client
import os
import random
import shutil
import socket
import sqlite3
import subprocess
import sys
import tempfile
import threading
import time
import tty
from datetime import datetime, timedelta

ROOMS = 72
STAY = [3, 1, 2, 4, 5, 6]
LINE_PAIRS_PER_SECOND = 240  # 4800 bit/s, 10 bits a byte
PG_BIN = "/usr/lib/postgresql/15/bin"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(what, done, seconds=30.0):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if done():
            return
        time.sleep(0.1)
    raise SystemExit("bench_desk_week: timed out waiting for " + what)


def as_server_user(command):
    return ["runuser", "-u", "postgres", "--"] + command if os.geteuid() == 0 else command


class Postgres:
    """A throwaway server listening only on a Unix socket in its own directory."""

    def __init__(self, work):
        self.dir = os.path.join(work, "pg")
        os.makedirs(self.dir)
        os.chmod(work, 0o755)
        if os.geteuid() == 0:
            shutil.chown(self.dir, "postgres", "postgres")
        quiet = dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, cwd="/")
        subprocess.run(as_server_user([PG_BIN + "/initdb", "-D", self.dir, "-A", "trust", "-U",
                                       "postgres", "-E", "UTF8", "--locale=C", "--no-sync"]),
                       check=True, **quiet)
        subprocess.run(as_server_user([PG_BIN + "/pg_ctl", "-D", self.dir, "-w", "-t", "30", "-l",
                                       self.dir + "/server.log", "-o",
                                       "-k %s -c listen_addresses= -c fsync=off" % self.dir,
                                       "start"]), check=True, **quiet)
        self.connection = "host=%s port=5432 dbname=postgres user=postgres connect_timeout=3" % \
            self.dir

    def count(self, sql):
        done = subprocess.run([PG_BIN + "/psql", "-X", "-A", "-t", "-d", self.connection, "-c", sql],
                              capture_output=True, text=True, cwd="/")
        return done.stdout.strip() or "?"

    def stop(self):
        subprocess.run(as_server_user([PG_BIN + "/pg_ctl", "-D", self.dir, "-w", "-m", "immediate",
                                       "stop"]), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, cwd="/")


def start_xvfb():
    read_fd, write_fd = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1920x1080x24",
                             "-nolisten", "tcp", "-noreset"], pass_fds=(write_fd,),
                            stderr=subprocess.DEVNULL)
    os.close(write_fd)
    with os.fdopen(read_fd) as pipe:
        line = pipe.readline().strip()
    if not line.isdigit():
        xvfb.kill()
        raise SystemExit("bench_desk_week: Xvfb told no display number")
    return xvfb, ":" + line


def write_settings(path, tty_name, port, connection):
    numbers = range(1, ROOMS + 1)
    lines = ["[Motel]", "ComPort=" + tty_name, "CoName=일주일 모텔",
             "[Web]", "Enabled=1", "Port=%d" % port, "Listen=127.0.0.1",
             "[Central]", "Enabled=1", "Connection=" + connection, "Site=week", "[Name]"]
    lines += ["LName%d=%d" % (n, 100 + n) for n in numbers]
    lines += ["[Panel]"] + ["P%d=1" % n for n in numbers]
    lines += ["[Money]"] + [line for n in numbers for line in ("rd%d=30000" % n, "rs%d=50000" % n)]
    lines += ["[RoomKey]"] + ["r%d=%d" % (n, 128 + n) for n in numbers]
    with open(path, "wb") as f:
        f.write(("\r\n".join(lines) + "\r\n").encode("cp949"))


def lay_purge_rows(db_path, minutes, per_minute):
    """History rows dated two days ago, from now on for the whole run and a little more: each
    minute tick's purge finds the minute's share of them."""
    start = datetime.now() - timedelta(days=2)
    rows = []
    for minute in range(minutes + 2):
        stamp = start + timedelta(minutes=minute)
        for i in range(per_minute):
            rows.append(("%d" % (101 + i % ROOMS), stamp.strftime("%Y%m%d"),
                         stamp.strftime("%H%M"), "입실", ""))
    db = sqlite3.connect(db_path, timeout=30)
    columns = [r[1] for r in db.execute('pragma table_info("room.DB")')]
    db.executemany('insert into "room.DB" (%s) values (?, ?, ?, ?, ?)' % ", ".join(columns), rows)
    db.commit()
    db.close()
    return len(rows)


class Storm(threading.Thread):
    """Blocks of 1 to 240 pairs of typical stays, each byte at the line's pace, with a silence
    of 260 to 400 ms (a block's end) between blocks."""

    def __init__(self, master, rng):
        super().__init__(daemon=True)
        self.master, self.rng, self.stop, self.pairs = master, rng, False, 0
        self.step = [0] * (ROOMS + 1)

    def run(self):
        byte_time = 1.0 / (2 * LINE_PAIRS_PER_SECOND)
        while not self.stop:
            block = bytearray()
            for _ in range(self.rng.randint(1, 240)):
                n = self.rng.randint(1, ROOMS)
                block += bytes([128 + n, STAY[self.step[n] % len(STAY)]])
                self.step[n] += 1
            start = time.monotonic()
            for i in range(0, len(block), 8):  # 8 bytes at a time, on the line's clock
                delay = start + i * byte_time - time.monotonic()
                if delay > 0:
                    time.sleep(delay)
                try:
                    os.write(self.master, block[i:i + 8])
                except BlockingIOError:
                    pass
            self.pairs += len(block) // 2
            time.sleep(self.rng.uniform(0.26, 0.4))


class Pages(threading.Thread):
    """Signed-in pages opening and closing: the board page, its live socket held for 1 to 6 s
    (closed by a close frame or by dropping the connection), a snapshot; up to `most` at once."""

    def __init__(self, port, rng, most):
        super().__init__(daemon=True)
        self.port, self.rng, self.stop, self.most = port, rng, False, most
        self.opened = self.failed = 0
        self.origin = "http://127.0.0.1:%d" % port
        self.lock = threading.Lock()

    def login(self):
        c = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        c.request("POST", "/login", "grade=1&password=1111",
                  {"Content-Type": "application/x-www-form-urlencoded", "Origin": self.origin})
        r = c.getresponse()
        r.read()
        cookie = r.getheader("Set-Cookie")
        c.close()
        if not cookie:
            raise OSError("no session")
        return cookie.split(";")[0]

    def page(self):
        try:
            cookie = self.login()
            c = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
            c.request("GET", "/board", headers={"Cookie": cookie})
            c.getresponse().read()
            ws = socket.create_connection(("127.0.0.1", self.port), timeout=10)
            key = base64.b64encode(os.urandom(16)).decode()
            ws.sendall(("GET /ws HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nUpgrade: websocket\r\n"
                        "Connection: Upgrade\r\nSec-WebSocket-Key: %s\r\n"
                        "Sec-WebSocket-Version: 13\r\nOrigin: %s\r\nCookie: %s\r\n\r\n"
                        % (self.port, key, self.origin, cookie)).encode())
            answer = ws.recv(4096)
            if not answer.startswith(b"HTTP/1.1 101"):
                raise OSError("the live socket was refused")
            end = time.monotonic() + self.rng.uniform(1, 6)
            ws.settimeout(0.5)
            while time.monotonic() < end and not self.stop:
                try:
                    if not ws.recv(65536):
                        raise OSError("the live socket was closed")
                except socket.timeout:
                    pass
            if self.rng.random() < 0.5:
                mask = os.urandom(4)
                ws.sendall(bytes([0x88, 0x82]) + mask + bytes(b ^ mask[i] for i, b in
                                                                   enumerate(b"\x03\xe8")))
            ws.close()
            c.request("GET", "/api/snapshot", headers={"Cookie": cookie})
            c.getresponse().read()
            c.request("POST", "/logout", "", {"Cookie": cookie, "Origin": self.origin})
            c.getresponse().read()
            c.close()
            with self.lock:
                self.opened += 1
        except (OSError, http.client.HTTPException):
            with self.lock:
                self.failed += 1

    def run(self):
        running = []
        while not self.stop:
            running = [t for t in running if t.is_alive()]
            if len(running) < self.most:
                t = threading.Thread(target=self.page, daemon=True)
                t.start()
                running.append(t)
            time.sleep(self.rng.uniform(0.2, 1.0))
        for t in running:
            t.join(timeout=15)


def sample(pid, data_dir, pg):
    figures = {}
    with open("/proc/%d/smaps_rollup" % pid) as f:
        for line in f:
            parts = line.split()
            if parts and parts[0] == "Rss:":
                figures["rss"] = int(parts[1]) / 1024.0
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("Threads:"):
                figures["threads"] = int(line.split()[1])
    figures["fds"] = len(os.listdir("/proc/%d/fd" % pid))
    db = os.path.join(data_dir, "DB", "motel.db")
    figures["wal"] = os.path.getsize(db + "-wal") / 1048576.0 if os.path.exists(db + "-wal") else 0
    figures["db"] = os.path.getsize(db) / 1048576.0
    reader = sqlite3.connect("file:%s?mode=ro" % db, uri=True, timeout=10)
    try:
        figures["history"] = reader.execute('select count(*) from "room.DB"').fetchone()[0]
        figures["outbox"], figures["backlog"] = reader.execute(
            "select count(*), count(*) - count(sent_at) from tavolen_outbox").fetchone()
    except sqlite3.Error:
        for name in ("history", "outbox", "backlog"):
            figures.setdefault(name, -1)
    finally:
        reader.close()
    figures["central"] = pg.count("select count(*) from tavolen.change") if pg else "?"
    return figures


# (figure, unit, growth allowed after the warm-up before it counts as growing). Resident
# memory is judged by its floor, what it comes back to between bursts (a page's snapshot, a
# sender's batch): a leak raises the floor; the peaks are printed beside it.
# The outbox keeps what was sent for a day, so within a day it grows by design; what it has
# yet to send must not.
LIMITS = [("rss", "MB", 2.0), ("fds", "", 2), ("threads", "", 1), ("wal", "MB", 4.2),
          ("db", "MB", None), ("backlog", "rows", 2000)]


def verdict(samples, warm):
    """Per figure: the first third of the samples after the warm-up against the last third.
    The database's figure is its size per row it holds (history and outbox, the bulk of it):
    pages freed by the purges and the outbox's clean-up are used again."""
    after = [s for t, s in samples if t >= warm]
    if len(after) < 3:
        return ["too short a run for a verdict"], True
    third = max(1, len(after) // 3)
    early, late = after[:third], after[-third:]
    lines, steady = [], True
    for name, unit, allowed in LIMITS:
        if name == "db":
            per_row = lambda s: s["db"] * 1048576.0 / max(1, s["history"] + s["outbox"])
            first, last = max(map(per_row, early)), max(map(per_row, late))
            grew = last > first * 1.2 and last - first > 16
            text = "database size per row held %.0f -> %.0f bytes" % (first, last)
        elif name == "rss":
            first, last = min(s[name] for s in early), min(s[name] for s in late)
            grew = last - first > allowed
            text = "floor %.1f -> %.1f MB (peaks %.1f -> %.1f MB)" % (
                first, last, max(s[name] for s in early), max(s[name] for s in late))
        else:
            first, last = max(s[name] for s in early), max(s[name] for s in late)
            grew = last - first > allowed
            text = "%s -> %s%s" % (round(first, 2), round(last, 2), unit and " " + unit)
        steady &= not grew
        lines.append("%-7s %-8s %s" % ("GROWS" if grew else "steady", name, text))
    return lines, steady


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--minutes", type=float, default=30)
    parser.add_argument("--short", action="store_true", help="40 s, samples every 5 s")
    parser.add_argument("--interval", type=float, default=None, help="seconds between samples")
    parser.add_argument("--bin", default=os.path.dirname(os.path.abspath(__file__)))
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--pages", type=int, default=4, help="pages open at most at once")
    args = parser.parse_args()
    seconds = 40 if args.short else args.minutes * 60
    interval = args.interval or (5 if args.short else 60)
    warm = seconds / 3
    program = os.path.join(args.bin, "tavolen")
    rng = random.Random(args.seed)

    work = tempfile.mkdtemp(prefix="tavolen-week-")
    data_dir = os.path.join(work, "data")
    os.makedirs(data_dir)
    pg = xvfb = board = None
    storm = pages = None
    try:
        pg = Postgres(work)
        subprocess.run([program, "central", "init", "--connection", pg.connection], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        master, line = os.openpty()
        tty.setraw(master)
        port = free_port()
        write_settings(os.path.join(data_dir, "TavolenConfig.ini"), os.ttyname(line), port,
                       pg.connection)
        xvfb, display = start_xvfb()
        env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb",
                   XDG_CONFIG_HOME=os.path.join(work, "config"))
        # A first start makes the tables; the purges' rows go in before the run.
        subprocess.run([program, "--data-dir", data_dir, "--windowed", "--quit-after-first-frame"],
                       env=env, timeout=120, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        laid = lay_purge_rows(os.path.join(data_dir, "DB", "motel.db"), int(seconds / 60) + 1,
                              per_minute=2000)
        board = subprocess.Popen([program, "--data-dir", data_dir, "--windowed"], env=env,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        def listening():
            try:
                socket.create_connection(("127.0.0.1", port), timeout=0.2).close()
                return True
            except OSError:
                return False
        wait_for("the web server to listen", listening)
        os.set_blocking(master, False)
        storm, pages = Storm(master, rng), Pages(port, rng, args.pages)
        storm.start()
        pages.start()
        print("desk_week (the real program, xcb on Xvfb 1920x1080, 72 rooms, %.0f s, a sample "
              "every %.0f s; %d history rows laid two days back for the purges)" %
              (seconds, interval, laid))
        print("%8s %8s %5s %8s %7s %7s %8s %8s %8s %8s %6s" % (
            "time s", "Rss MB", "fds", "threads", "WAL MB", "DB MB", "history", "outbox",
            "unsent", "central", "pages"))
        sys.stdout.flush()
        samples = []
        start = time.monotonic()
        next_at = start
        while True:
            now = time.monotonic() - start
            if board.poll() is not None:
                raise SystemExit("bench_desk_week: the program ended by itself (%s)" %
                                 board.returncode)
            if time.monotonic() >= next_at:
                s = sample(board.pid, data_dir, pg)
                samples.append((now, s))
                print("%8.0f %8.1f %5d %8d %7.2f %7.2f %8d %8d %8d %8s %6d" % (
                    now, s["rss"], s["fds"], s["threads"], s["wal"], s["db"], s["history"],
                    s["outbox"], s["backlog"], s["central"], pages.opened))
                sys.stdout.flush()
                next_at += interval
            if now >= seconds:
                break
            time.sleep(0.2)
        storm.stop = pages.stop = True
        pages.join(timeout=20)
        print("  %d controller pairs sent (%.0f a second), %d pages opened and closed, %d failed"
              % (storm.pairs, storm.pairs / seconds, pages.opened, pages.failed))
        lines, steady = verdict(samples, warm)
        print("  after the warm-up (%.0f s):" % warm)
        for text in lines:
            print("    " + text)
        print("  verdict: %s" % ("nothing grew without bound after the warm-up" if steady
                                 else "something kept growing after the warm-up"))
        return 0 if steady else 1
    finally:
        if storm:
            storm.stop = True
        if pages:
            pages.stop = True
        for process in (board, xvfb):
            if process:
                process.kill()
                process.wait(timeout=10)
        if pg:
            pg.stop()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
