#!/usr/bin/python3
"""The desk while its live view is under attack, against the real program on a pseudo-terminal
controller.

Prints, side by side for a quiet view and for one with 20 live pages, a wrong-password flood from
50 loopback addresses and silent connections from 5 more (each holding an address's share):
  - the controller pairs handled per second in a storm (median of 5 alternating runs);
  - how long after a one-pair block the desk publishes the step that paints it (the snapshot's
    takenAt, less the 250 ms of silence that ends a block), p50 and p99;
  - wrk's requests per second against /api/snapshot on an address's share of connections, with
    the desk's step latency meanwhile.

Usage: bench_web_hostile [--bin DIR] [--steps N]   (loopback only; every wait bounded)
"""
import json
import multiprocessing
import os
import shutil
import socket
import statistics
import subprocess
import sys
import threading
import time

# The pages benchmark's desk, owner and page, copied beside this script as webpages.py.
sys.path.append(os.path.dirname(os.path.abspath(__file__)))
from webpages import (ROOMS, Owner, RawPage, bench_desk, percentile, storm_rate,  # noqa: E402
                      wait_for)

SILENCE_MS = 250.0
SHARE = 12  # the connections an address may hold
RUNS = 5  # alternating quiet and hostile storms


class Watcher(RawPage):
    """A page that answers the server's pings, as a browser does, and when `keep`, reads the
    snapshots: room 1's state and when each was taken."""

    def __init__(self, port, cookie, source="127.0.0.1", keep=True):
        self.lock = threading.Lock()
        self.seen = []  # (sequence, state of room 1, takenAt ms)
        self.message = b""
        self.keep = keep
        super().__init__(port, cookie, source)

    def run(self):
        self.pending = self.first
        self.frames()
        self.sock.settimeout(0.5)
        while self.running:
            try:
                data = self.sock.recv(65536)
            except socket.timeout:
                continue
            except OSError:
                return
            if not data:
                return
            self.pending += data
            self.frames()

    def frames(self):
        while len(self.pending) >= 2:
            opcode, length, at = self.pending[0] & 0x0F, self.pending[1] & 0x7F, 2
            if length == 126:
                length, at = int.from_bytes(self.pending[2:4], "big"), 4
            elif length == 127:
                length, at = int.from_bytes(self.pending[2:10], "big"), 10
            if len(self.pending) < at + length:
                return
            payload, final = self.pending[at:at + length], self.pending[0] & 0x80
            self.pending = self.pending[at + length:]
            if opcode == 9:
                # A pong, masked as a client's frames are.
                mask = os.urandom(4)
                self.sock.sendall(bytes([0x8A, 0x80 | len(payload)]) + mask +
                                  bytes(b ^ mask[i % 4] for i, b in enumerate(payload)))
            elif opcode in (0, 1) and self.keep:
                self.message += payload
                if final:
                    s = json.loads(self.message)
                    self.message = b""
                    with self.lock:
                        self.seen.append((int(s["sequence"]), s["rooms"][0]["state"],
                                          s["takenAt"]))

    def last(self):
        with self.lock:
            return self.seen[-1] if self.seen else (0, "", 0)


def step_latencies(desk, owner, watcher, steps):
    """Room 1 through a stay, one pair a block; for each, the step's snapshot time after the
    block's byte, less the silence that ends the block."""
    values = []
    codes = [3, 4, 5, 6]
    # The page has caught up with the desk (a storm's last snapshots may still be on their way):
    # a change seen later would be taken for the first step's.
    state = owner.snapshot()["rooms"][0]["state"]
    wait_for("the page to show room 1 as the desk has it",
             lambda: watcher.last()[1] == state, 30, 0.01)
    for i in range(steps):
        sequence, state, _ = watcher.last()
        sent = time.time() * 1000
        desk.send(bytes([129, codes[i % 4]]))
        found = wait_for("room 1's change", lambda: next(
            (s for s in reversed(watcher.seen) if s[0] > sequence and s[1] != state), None),
            5, 0.005)
        values.append(found[2] - sent - SILENCE_MS)
        time.sleep(0.05)
    return values


class Hostile:
    """20 pages, a wrong-password flood from 50 addresses, silent connections from 5 more."""

    def __init__(self, port, cookie):
        self.port = port
        self.running = True
        self.attempts = 0
        self.pages = [Watcher(port, cookie, "127.0.5.%d" % n, False) for n in range(1, 21)]
        self.threads = [threading.Thread(target=self.flood, args=("127.0.3.%d" % n,), daemon=True)
                        for n in range(1, 51)]
        self.threads += [threading.Thread(target=self.silent, args=("127.0.4.%d" % n,), daemon=True)
                         for n in range(1, 6)]
        for t in self.threads:
            t.start()

    def connect(self, address):
        s = socket.socket()
        s.settimeout(5)
        s.bind((address, 0))
        s.connect(("127.0.0.1", self.port))
        return s

    def flood(self, address):
        body = b"name=owner&password=wrong"
        request = (b"POST /login HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nOrigin: http://127.0.0.1:%d\r\n"
                   b"Content-Type: application/x-www-form-urlencoded\r\nContent-Length: %d\r\n"
                   b"Connection: close\r\n\r\n%s" % (self.port, self.port, len(body), body))
        while self.running:
            try:
                with self.connect(address) as s:
                    s.sendall(request)
                    while s.recv(4096):
                        pass
                self.attempts += 1
            except OSError:
                time.sleep(0.05)

    def silent(self, address):
        held = []
        while self.running:
            held = [s for s in held if s.fileno() >= 0]
            try:
                while len(held) < SHARE:
                    held.append(self.connect(address))
            except OSError:
                pass
            time.sleep(0.5)
            for s in list(held):
                try:
                    s.setblocking(False)
                    if s.recv(1) == b"":
                        s.close()
                except BlockingIOError:
                    pass
                except OSError:
                    s.close()
        for s in held:
            s.close()

    def close(self):
        self.running = False
        for t in self.threads:
            t.join(10)
        for p in self.pages:
            p.close()


def attack(port, cookie, ready, stop, attempts):
    """The hostile clients, in a process of their own at the lowest priority: on a real network
    their CPU is other machines', and here it must not be taken from the desk's share of the
    two cores."""
    os.nice(19)
    hostile = Hostile(port, cookie)
    ready.set()
    stop.wait()
    attempts.value = hostile.attempts
    hostile.close()


class Attacker:
    def __init__(self, port, cookie):
        context = multiprocessing.get_context("fork")
        self.ready, self.stop = context.Event(), context.Event()
        self.attempts = context.Value("i", 0)
        self.process = context.Process(target=attack, daemon=True,
                                       args=(port, cookie, self.ready, self.stop, self.attempts))
        self.process.start()
        if not self.ready.wait(30):
            raise SystemExit("the hostile clients did not start")

    def close(self):
        self.stop.set()
        self.process.join(30)
        if self.process.is_alive():
            self.process.kill()
        return self.attempts.value


def wrk(port, cookie, seconds):
    out = subprocess.run(["nice", "-n", "19", "wrk", "-t2", "-c%d" % SHARE, "-d%ds" % seconds, "-H", "Cookie: " + cookie,
                          "http://127.0.0.1:%d/api/snapshot" % port],
                         capture_output=True, text=True, timeout=seconds + 30).stdout
    for line in out.splitlines():
        if line.startswith("Requests/sec:"):
            return float(line.split()[1]), out
    return 0.0, out


def main():
    desk, args = bench_desk("tavolen-bench-hostile-", "--steps", 200)
    hostile = watcher = None
    try:
        desk.wait_listening()
        owner = Owner(desk.port)
        wait_for("the controller link",
                 lambda: owner.snapshot()["controller"]["connected"], 30, 0.02)
        watcher = Watcher(desk.port, owner.cookie)

        first = storm_rate(desk, owner, 2)
        cycles = max(2, int(first * 4 / (ROOMS * 6)))  # about 4 s a run
        rates = {"quiet": [], "hostile": []}
        steps = {"quiet": [], "hostile": []}
        for _ in range(RUNS):
            rates["quiet"].append(storm_rate(desk, owner, cycles))
            steps["quiet"] += step_latencies(desk, owner, watcher, args.steps // RUNS)
            hostile = Attacker(desk.port, owner.cookie)
            time.sleep(1)
            rates["hostile"].append(storm_rate(desk, owner, cycles))
            steps["hostile"] += step_latencies(desk, owner, watcher, args.steps // RUNS)
            attempts = hostile.close()
            hostile = None

        wrk_rate, wrk_out = 0.0, ""
        loaded = []
        if shutil.which("wrk"):
            result = {}
            runner = threading.Thread(target=lambda: result.update(
                zip(("rate", "out"), wrk(desk.port, owner.cookie, 10))))
            runner.start()
            time.sleep(1)
            loaded = step_latencies(desk, owner, watcher, 20)
            runner.join(60)
            wrk_rate, wrk_out = result.get("rate", 0.0), result.get("out", "")

        print("the desk under a hostile network (loopback, %d rooms)" % ROOMS)
        quiet, busy = statistics.median(rates["quiet"]), statistics.median(rates["hostile"])
        print("  controller pairs/s (median of %d): quiet %.0f, hostile %.0f (%+.1f %%; goal within "
              "5 %%)" % (RUNS, quiet, busy, (busy - quiet) / quiet * 100))
        print("    runs: quiet %s, hostile %s" % (
            ", ".join("%.0f" % r for r in rates["quiet"]),
            ", ".join("%.0f" % r for r in rates["hostile"])))
        for name in ("quiet", "hostile"):
            v = steps[name]
            print("  block -> published step, %-7s p50 %6.1f ms  p99 %6.1f ms  (%d blocks)"
                  % (name, percentile(v, 0.5), percentile(v, 0.99), len(v)))
        print("    hostile: 20 pages, 50 addresses flooding wrong passwords (%d answered in the "
              "last run), 5 addresses holding %d silent connections each; the clients at nice 19 "
              "in a process of their own" % (attempts, SHARE))
        if loaded:
            print("  wrk /api/snapshot, %d connections (an address's share), 10 s: %.0f requests/s; "
                  "block -> published step meanwhile p50 %.1f ms, p99 %.1f ms"
                  % (SHARE, wrk_rate, percentile(loaded, 0.5), percentile(loaded, 0.99)))
            if not wrk_rate:
                print(wrk_out)
        return 0
    except (SystemExit, AssertionError) as failure:
        sys.stderr.write("tavolen.log:\n" + "".join(desk.log().splitlines(True)[-15:]))
        raise SystemExit(str(failure))
    finally:
        if hostile:
            hostile.close()
        if watcher:
            watcher.close()
        desk.close()


if __name__ == "__main__":
    sys.exit(main())
