#!/usr/bin/python3
"""The owner's pages in a real browser against the real program.

Starts the desk under its own Xvfb with its controller on a pseudo-terminal and
the web server on a free loopback port, drives Debian's headless Chromium
through chromedriver: signs in, sees the board, sends a controller report and
sees the room change on the page, checks today's sums against the report
command, and keeps screenshots at 390x844 and 1280x800 as artifacts.
Every wait is bounded; only 127.0.0.1 is used.
"""
import argparse
import csv
import os
import socket
import sqlite3
import subprocess
import sys

from selenium.webdriver.common.by import By

from webdesk import OWNER, WebDesk, wait_for


def report_sums(program, data_dir, date, out_dir):
    out = os.path.join(out_dir, "day.csv")
    subprocess.run([program, "--data-dir", data_dir, "report", "day", date, "--out", out],
                   check=True, timeout=60, stdout=subprocess.DEVNULL)
    with open(out, encoding="utf-8") as f:
        rows = list(csv.reader(f))
    sums = {}
    for row in rows:
        if row and row[0] == "합계":
            sums["dayUse"], sums["overnight"] = int(row[4] or 0), int(row[5] or 0)
        if row and row[0] == "총합":
            sums["total"] = int(row[5] or 0)
    return sums


def raw_status(port, request, source="127.0.0.1"):
    """The status of the program's answer to raw request bytes, sent from `source`; 0 when it
    only closed."""
    with socket.create_connection(("127.0.0.1", port), timeout=10,
                                  source_address=(source, 0)) as s:
        s.sendall(request)
        answer = b""
        while b"\r\n" not in answer:
            data = s.recv(4096)
            if not data:
                break
            answer += data
    parts = answer.split(b" ")
    return int(parts[1]) if len(parts) > 1 and parts[1].isdigit() else 0


def viewport(driver, width, height, mobile):
    # Headless windows have a least width; the page's own viewport is set exactly.
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
        "width": width, "height": height, "deviceScaleFactor": 1, "mobile": mobile})


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("--artifacts", required=True)
    args = ap.parse_args()
    os.makedirs(args.artifacts, exist_ok=True)
    program = os.path.join(args.bin, "tavolen")

    # A group ledger whose server is not there: the page shows the link stalled.
    central = ["[Central]", "Enabled=1",
               "Connection=host=/nonexistent port=5432 dbname=group user=desk",
               # An alert receiver that is not there either: the alert waits in the queue.
               "[Alert]", "Webhook=https://127.0.0.1:9/hook"]
    with WebDesk(program, "tavolen-web-", "웹모텔", 3, central) as desk:
        desk.wait_listening()

        driver = desk.browser("--window-size=1280,900", "--lang=ko-KR")
        driver.set_page_load_timeout(20)
        viewport(driver, 390, 844, True)
        driver.get(desk.base + "/board")
        wait_for("the sign-in page", lambda: "/login" in driver.current_url)
        driver.find_element(By.ID, "name").send_keys(OWNER[0])
        driver.find_element(By.ID, "password").send_keys(OWNER[1])
        driver.find_element(By.ID, "signin").click()
        try:
            wait_for("the board", lambda: driver.current_url.endswith("/board"))
        except AssertionError:
            print(desk.log(), driver.current_url, driver.page_source[:500], file=sys.stderr)
            raise
        state = lambda: driver.execute_script(
            "const e = document.querySelector('#room-1 .state'); return e && e.dataset.state;")
        assert wait_for("room 101 on the page", state) == "ready", state()
        cookie = driver.get_cookie("tavolen_session")
        assert cookie and cookie.get("httpOnly") and cookie.get("sameSite") == "Strict", cookie

        # Key 1 taken: room 101 begins a day-use stay on the desk and on the page.
        desk.send(bytes([129, 3]))
        wait_for("room 101 to show its stay", lambda: state() == "dayUse", 10)
        text = driver.find_element(By.CSS_SELECTOR, "#room-1 .state").text
        assert text == "대실", text
        log = driver.execute_script("return fetch('/api/snapshot').then(r => r.json())")["log"]
        assert any(line["text"] == "101호 대실" for line in log), log
        link = driver.find_element(By.ID, "link").text
        assert "연결됨" in link, link
        central = driver.find_element(By.ID, "central")
        assert central.text.startswith("○ 중앙 끊김") and "down" in central.get_attribute("class"), \
            central.text
        wait_for("the last report time", lambda: "없음" not in driver.find_element(By.ID, "lastReport").text)
        driver.save_screenshot(os.path.join(args.artifacts, "board-390x844.png"))

        # Refused by the real program while the desk goes on.
        host = b"Host: 127.0.0.1:%d\r\n" % desk.port
        upgrade = (b"Upgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
                   b"Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n")
        refusals = [
            ("no session", b"GET /api/snapshot HTTP/1.1\r\n" + host + b"\r\n", 401),
            ("forged cookie", b"GET /api/snapshot HTTP/1.1\r\n" + host +
             b"Cookie: tavolen_session=" + b"ab" * 32 + b"\r\n\r\n", 401),
            ("socket without session", b"GET /ws HTTP/1.1\r\n" + host +
             b"Origin: http://127.0.0.1:%d\r\n" % desk.port + upgrade + b"\r\n", 401),
            ("socket from elsewhere", b"GET /ws HTTP/1.1\r\n" + host + b"Cookie: tavolen_session=" +
             cookie["value"].encode() + b"\r\nOrigin: http://evil.example\r\n" + upgrade + b"\r\n", 403),
            ("huge header", b"GET /board HTTP/1.1\r\n" + host + b"X: " + b"x" * 20000 + b"\r\n\r\n", 431),
            ("huge body", b"POST /login HTTP/1.1\r\n" + host + b"Content-Length: 999999\r\n\r\n", 413),
            ("traversal", b"GET /%2e%2e/%2e%2e/etc/passwd HTTP/1.1\r\n" + host + b"\r\n", 400),
            ("a desk PIN", b"POST /login HTTP/1.1\r\n" + host +
             b"Content-Length: 21\r\n\r\ngrade=1&password=1111", 400),
        ]
        for name, request, expected in refusals:
            got = raw_status(desk.port, request)
            assert got == expected, (name, got, expected)
        desk.send(bytes([129, 4]))
        wait_for("room 101 to be vacated after the refusals", lambda: state() == "vacated", 10)

        # Wrong passwords from another address until it is held off: one trail row says so,
        # and its alert is queued; the desk's own grades are not involved.
        guess = lambda n: b"name=owner&password=guess%d" % n
        guesses = [raw_status(desk.port, b"POST /login HTTP/1.1\r\n" + host +
                              b"Content-Length: %d\r\n\r\n" % len(guess(n)) + guess(n),
                              source="127.0.0.9") for n in range(8)]
        assert guesses == [303] * 5 + [429] * 3, guesses
        database = sqlite3.connect("file:%s?mode=ro" % os.path.join(desk.data, "DB", "motel.db"),
                                   uri=True, timeout=5)
        trail = lambda: database.execute(
            "SELECT grade, json_extract(detail, '$.accounts'), json_extract(detail, '$.where') "
            "FROM tavolen_audit WHERE action = 'wrong_passwords'").fetchall()
        assert wait_for("the web's wrong passwords in the trail", trail, 10) == \
            [(0, '["owner"]', "web")], trail()
        queued = database.execute("SELECT channel, kind FROM tavolen_alert_queue").fetchall()
        assert queued == [("webhook", "wrong_passwords")], queued
        database.close()

        driver.get(desk.base + "/today")
        total = wait_for("today's sums", lambda: driver.execute_script(
            "return document.getElementById('todaySums').dataset.total"))
        today = driver.execute_script("return fetch('/api/today').then(r => r.json())")
        report = report_sums(program, desk.data, today["reportDate"], desk.work)
        assert int(total) == report["total"] == today["total"], (total, report, today["total"])
        assert report["dayUse"] == today["dayUseSum"] and report["overnight"] == today["overnightSum"]
        assert report["total"] >= 30000, report
        driver.save_screenshot(os.path.join(args.artifacts, "today-390x844.png"))

        viewport(driver, 1280, 800, False)
        driver.get(desk.base + "/board")
        wait_for("the board again", lambda: state() == "vacated")
        driver.save_screenshot(os.path.join(args.artifacts, "board-1280x800.png"))
        driver.get(desk.base + "/month")
        wait_for("the month", lambda: driver.execute_script(
            "return document.getElementById('monthSums').dataset.total"))
        driver.save_screenshot(os.path.join(args.artifacts, "month-1280x800.png"))

        # Signed out, the pages are closed to this browser.
        driver.find_element(By.ID, "signout").click()
        wait_for("the sign-in page after signing out", lambda: "/login" in driver.current_url)
        driver.get(desk.base + "/api/snapshot")
        body = driver.find_element(By.TAG_NAME, "body").text
        assert "로그인이 필요합니다" in body and "101" not in body, body
        assert desk.process.poll() is None, "the desk ended"
        print("web browser test: passed; screenshots in " + args.artifacts)
        return 0


if __name__ == "__main__":
    sys.exit(main())
