#!/usr/bin/python3
"""An owner's mail server (SMTP with STARTTLS required and a login) and a webhook receiver
(HTTPS) on loopback, for the alert tests. Certificates come from a CA made here with openssl
(ca.pem in --dir). Each mail is saved as mail-N.json with its subject and body as Python's
email package decodes them; each webhook call as hook-N.json. Prints "ready" once listening."""
import argparse
import email
import email.policy
import http.server
import json
import logging
import os
import ssl
import subprocess
import sys
import threading
import time

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult


def make_certificates(d):
    if os.path.exists(os.path.join(d, "server.pem")):
        return
    def run(*args):
        subprocess.run(["openssl", *args], check=True, capture_output=True)
    run("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=test CA",
        "-keyout", f"{d}/ca.key", "-out", f"{d}/ca.pem")
    run("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1",
        "-keyout", f"{d}/server.key", "-out", f"{d}/server.csr")
    with open(f"{d}/san.cnf", "w") as f:
        f.write("subjectAltName=IP:127.0.0.1,DNS:localhost\n")
    run("x509", "-req", "-in", f"{d}/server.csr", "-CA", f"{d}/ca.pem", "-CAkey", f"{d}/ca.key",
        "-CAcreateserial", "-days", "2", "-extfile", f"{d}/san.cnf", "-out", f"{d}/server.pem")


counter_lock = threading.Lock()
counters = {}


def save(d, prefix, document):
    with counter_lock:
        counters[prefix] = counters.get(prefix, 0) + 1
        n = counters[prefix]
    tmp = os.path.join(d, f".{prefix}-{n}.json")
    with open(tmp, "w", encoding="utf-8") as f:
        json.dump(document, f, ensure_ascii=False)
    os.rename(tmp, os.path.join(d, f"{prefix}-{n}.json"))


class Mailbox:
    def __init__(self, d):
        self.d = d

    async def handle_DATA(self, server, session, envelope):
        message = email.message_from_bytes(envelope.content, policy=email.policy.default)
        save(self.d, "mail", {
            "subject": str(message["subject"]),
            "body": message.get_content(),
            "from": envelope.mail_from,
            "to": envelope.rcpt_tos,
            "tls": session.ssl is not None,
        })
        return "250 OK"


def endless(write, first, more, pause=0.0, minutes=1):
    write(first)
    stop = time.monotonic() + 60 * minutes
    while time.monotonic() < stop:
        write(more)
        if pause:
            time.sleep(pause)


# Receivers that take the alert and then answer without end: paths of the webhook.
HOSTILE = {
    "/endless-body": lambda w: endless(w.write, b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"
                                       b"Connection: close\r\n\r\n", b"x" * 65536),
    "/endless-header": lambda w: endless(w.write, b"HTTP/1.1 200 OK\r\n",
                                         b"X-Filler: " + b"x" * 1000 + b"\r\n"),
    "/trickle": lambda w: endless(lambda b: (w.write(b), w.flush()), b"HTTP/1.1 200 OK\r\nX: ",
                                  b"x", pause=1.0),
}


def authenticate(server, session, envelope, mechanism, auth_data):
    return AuthResult(success=auth_data.login == b"desk" and auth_data.password == b"secret")


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--dir", required=True)
    p.add_argument("--smtp-port", type=int, required=True)
    p.add_argument("--https-port", type=int, required=True)
    a = p.parse_args()
    make_certificates(a.dir)
    # A refused handshake is what some tests are about; its trace would only be noise.
    logging.getLogger("mail.log").setLevel(logging.CRITICAL)
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(f"{a.dir}/server.pem", f"{a.dir}/server.key")

    smtp = Controller(Mailbox(a.dir), hostname="127.0.0.1", port=a.smtp_port,
                      tls_context=context, require_starttls=True, authenticator=authenticate,
                      auth_required=True, auth_require_tls=True)
    smtp.start()

    class Hook(http.server.BaseHTTPRequestHandler):
        def do_POST(self):
            body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
            save(a.dir, "hook", {"path": self.path, "type": self.headers.get("Content-Type"),
                                 "json": json.loads(body)})
            hostile = HOSTILE.get(self.path)
            if hostile:
                try:
                    hostile(self.wfile)
                except OSError:  # the sender gave up, as it should
                    pass
                self.close_connection = True
                return
            self.send_response(200)
            self.send_header("Content-Length", "0")
            self.end_headers()

        def log_message(self, *args):
            pass

    https = http.server.ThreadingHTTPServer(("127.0.0.1", a.https_port), Hook)
    https.socket = context.wrap_socket(https.socket, server_side=True)
    threading.Thread(target=https.serve_forever, daemon=True).start()
    print("ready", flush=True)
    try:
        sys.stdin.read()  # until the test closes the pipe
    finally:
        https.shutdown()
        smtp.stop()


if __name__ == "__main__":
    main()
