"""The real program with its web face on, for the browser test and the pages benchmark.

Starts the desk under an Xvfb of its own, with its controller line on a pseudo-terminal and
its web server on a free loopback port, from a room-state file written for it, with the web
accounts made first through the program's own `web-user add`; opens Debian's headless Chromium
through chromedriver. WebDesk.close(), or the end of `with WebDesk(...)`,
ends the browser, the desk and the Xvfb and removes the files. Every wait is bounded; only
127.0.0.1 is used.
"""
import os
import shutil
import socket
import subprocess
import tempfile
import time
import tty

from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service


def wait_for(what, done, seconds=20.0, pause=0.05):
    """The first true value of done(), asked every `pause` seconds for at most `seconds`."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = done()
        if value:
            return value
        time.sleep(pause)
    raise AssertionError("timed out waiting for " + what)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def start_xvfb():
    read_fd, write_fd = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x1024x24",
                             "-nolisten", "tcp", "-noreset"],
                            pass_fds=(write_fd,), stderr=subprocess.DEVNULL)
    os.close(write_fd)
    with os.fdopen(read_fd) as pipe:
        line = pipe.readline().strip()
    if not line.isdigit():
        xvfb.kill()
        raise AssertionError("Xvfb told no display number")
    return xvfb, ":" + line


def write_settings(path, tty_name, port, motel, rooms, more=()):
    """The room-state file of a motel with rooms 101, 102, ... (key n sends byte 128 + n,
    30,000 won a day use, 50,000 a night), the controller on tty_name and the web face on
    this port; `more` are further lines, whole sections."""
    numbers = range(1, rooms + 1)
    lines = ["[Motel]", "ComPort=" + tty_name, "CoName=" + motel,
             "[Web]", "Enabled=1", "Port=%d" % port, "Listen=127.0.0.1", "[Name]"]
    lines += ["LName%d=%d" % (n, 100 + n) for n in numbers]
    lines += ["[Panel]"] + ["P%d=1" % n for n in numbers]
    lines += ["[Money]"] + [line for n in numbers for line in ("rd%d=30000" % n, "rs%d=50000" % n)]
    lines += ["[RoomKey]"] + ["r%d=%d" % (n, 128 + n) for n in numbers]
    lines += list(more)
    with open(path, "wb") as f:
        f.write(("\r\n".join(lines) + "\r\n").encode("cp949"))


# The account every WebDesk gets unless told otherwise: name, password, may download.
OWNER = ("owner", "owner-pass-1", True)


def add_web_accounts(program, data, env, accounts):
    """Makes the desk's database by a first start without a display, then each account with
    `tavolen web-user add`, its password typed twice on standard input."""
    subprocess.run([program, "--data-dir", data, "--windowed", "--quit-after", "200"],
                   env=dict(env, QT_QPA_PLATFORM="offscreen"), check=True, timeout=60,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for name, password, downloads in accounts:
        subprocess.run([program, "--data-dir", data, "web-user", "add", name]
                       + (["--downloads"] if downloads else []),
                       input=("%s\n%s\n" % (password, password)).encode(), env=env,
                       check=True, timeout=60, stdout=subprocess.DEVNULL)


def chromium(profile, *more_args):
    options = Options()
    options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
    for arg in ["--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                "--disable-background-networking", "--disable-component-update", "--disable-sync",
                "--disable-dev-shm-usage", "--user-data-dir=" + profile, *more_args]:
        options.add_argument(arg)
    service = Service(shutil.which("chromedriver") or "/usr/bin/chromedriver")
    return webdriver.Chrome(service=service, options=options)


class WebDesk:
    """The program at `program` started in a fresh folder (named after `prefix`) on the
    settings write_settings makes of motel, rooms and more_settings, with the web accounts
    (name, password, downloads) of `accounts`; the desk's own output goes to `output`
    (inherited when None)."""

    def __init__(self, program, prefix, motel, rooms, more_settings=(), output=None,
                 accounts=(OWNER,)):
        self.work = tempfile.mkdtemp(prefix=prefix)
        self.data = os.path.join(self.work, "data")
        os.makedirs(self.data)
        self.controller, self.line = os.openpty()
        tty.setraw(self.controller)
        self.port = free_port()
        self.base = "http://127.0.0.1:%d" % self.port
        write_settings(os.path.join(self.data, "TavolenConfig.ini"), os.ttyname(self.line),
                       self.port, motel, rooms, more_settings)
        self.xvfb = self.process = self.driver = None
        try:
            self.xvfb, display = start_xvfb()
            env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb",
                       XDG_CONFIG_HOME=os.path.join(self.work, "config"))
            add_web_accounts(program, self.data, env, accounts)
            self.process = subprocess.Popen([program, "--data-dir", self.data, "--windowed"],
                                            env=env, stdout=output, stderr=output)
        except BaseException:
            # A program that cannot be started leaves no X server and no folder behind.
            self.close()
            raise

    def __enter__(self):
        return self

    def __exit__(self, *failure):
        self.close()

    def close(self):
        if self.driver:
            self.driver.quit()
        for process in (self.process, self.xvfb):
            if process:
                process.kill()
                process.wait(timeout=10)
        os.close(self.controller)
        os.close(self.line)
        shutil.rmtree(self.work, ignore_errors=True)

    def wait_listening(self):
        """Waits for the web server to take connections (inside the `with`, so that a desk
        that never listens is still ended and its log can be read first)."""
        def listening():
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=0.2).close()
                return True
            except OSError:
                return False
        wait_for("the web server to listen", listening, 30)

    def send(self, data):
        """Bytes from the controller, as the desk's serial line delivers them."""
        os.write(self.controller, data)

    def browser(self, *more_args):
        """Chromium with a profile in the desk's folder, quit with the desk."""
        self.driver = chromium(os.path.join(self.work, "profile"), *more_args)
        return self.driver

    def log(self):
        with open(os.path.join(self.data, "tavolen.log"), encoding="utf-8", errors="replace") as f:
            return f.read()
