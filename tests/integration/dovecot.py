"""A private Dovecot POP3 server on 127.0.0.1 for the tests and benchmarks: its own configuration and state under a
short temporary folder, one user with a plaintext password, and a Maildir seeded with the given mails (and their
UIDLs). `with Dovecot(mails) as server:` from Python; `dovecot.py serve [--tls CERT KEY]` from
another language prints "PORT <n>", "USER <name>", "PASS <password>", "COUNT <n>" and "READY", and stops the server
when its standard input ends.
"""

import argparse
import os
import pwd
import shutil
import signal
import socket
import string
import subprocess
import sys
import tempfile
import time

USER = "alice"
PASSWORD = "wonderland"
UID_VALIDITY = 1764900000
START_TIMEOUT = 20.0


def _free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def _write(path, content):
    with open(path, "wb" if isinstance(content, bytes) else "w") as f:
        f.write(content)


def _short_temp_folder():
    # Dovecot's base folder holds Unix sockets, whose paths must stay short.
    parent = tempfile.gettempdir()
    if len(parent) > 20:
        parent = "/tmp"
    return tempfile.mkdtemp(prefix="dv", dir=parent)


def _dovecot_binary():
    binary = shutil.which("dovecot") or "/usr/sbin/dovecot"
    if not os.path.exists(binary):
        raise RuntimeError("dovecot is not installed (Debian packages dovecot-core and dovecot-pop3d)")
    return binary


class Dovecot:
    """One private Dovecot instance. start() returns when it greets; stop() ends it and removes its folder."""

    def __init__(self, mails, user=USER, password=PASSWORD, tls=None, auth_debug=False):
        """tls: None for plain POP3 only, or (certificate file, key file): then TLS is required for logging in,
        STLS is offered on port and TLS from the first octet on tls_port. auth_debug: the log shows each step of a
        login (a SASL exchange's continuations as "CONT"; secrets hidden)."""
        self.mails = list(mails)
        self.user = user
        self.password = password
        self.tls = tls
        self.auth_debug = auth_debug
        self.port = None
        self.tls_port = None
        self.folder = None
        self.process = None

    def _mail_owner(self):
        # Dovecot refuses to access mail as root, so as root the mail belongs to an unprivileged user.
        owner = pwd.getpwnam("nobody") if os.geteuid() == 0 else pwd.getpwuid(os.geteuid())
        return owner.pw_uid, owner.pw_gid, owner.pw_name

    def _seed_maildir(self, home, uid, gid):
        maildir = os.path.join(home, "Maildir")
        for sub in ("cur", "new", "tmp"):
            os.makedirs(os.path.join(maildir, sub))
        uidlist = ["3 V%d N%d" % (UID_VALIDITY, len(self.mails) + 1)]
        for index, mail in enumerate(self.mails, start=1):
            base = "%d.M%dP1.relaytest" % (UID_VALIDITY + index, index)
            _write(os.path.join(maildir, "cur", base + ":2,"), mail)
            os.utime(os.path.join(maildir, "cur", base + ":2,"), (UID_VALIDITY + index, UID_VALIDITY + index))
            uidlist.append("%d :%s" % (index, base))
        _write(os.path.join(maildir, "dovecot-uidlist"), "\n".join(uidlist) + "\n")
        for root, dirs, files in os.walk(home):
            os.chown(root, uid, gid)
            for name in files:
                os.chown(os.path.join(root, name), uid, gid)

    def _write_config(self, uid, gid, owner):
        f = self.folder
        root = os.geteuid() == 0
        passwd = os.path.join(f, "passwd")
        _write(passwd, "%s:{PLAIN}%s:%d:%d::%s/home/%s::\n" % (self.user, self.password, uid, gid, f, self.user))
        ssl, tls_listener = "ssl = no\n", ""
        if self.tls:
            ssl = f"ssl = required\nssl_cert = <{self.tls[0]}\nssl_key = <{self.tls[1]}\n"
            tls_listener = f"  inet_listener pop3s {{\n    address = 127.0.0.1\n    port = {self.tls_port}\n    ssl = yes\n  }}\n"
        with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "dovecot.conf.in")) as template:
            config = string.Template(template.read()).substitute(
                folder=f, name=os.path.basename(f), ssl=ssl, auth_debug="yes" if self.auth_debug else "no",
                login_user="dovenull" if root else owner, internal_user="dovecot" if root else owner,
                passwd=passwd, port=self.port, tls_listener=tls_listener)
        path = os.path.join(f, "dovecot.conf")
        _write(path, config)
        return path

    def start(self):
        binary = _dovecot_binary()
        uid, gid, owner = self._mail_owner()
        self.folder = _short_temp_folder()
        os.chmod(self.folder, 0o755)  # the mail user must be able to enter every parent folder
        os.makedirs(os.path.join(self.folder, "state"))
        home = os.path.join(self.folder, "home", self.user)
        os.makedirs(home)
        os.chmod(os.path.join(self.folder, "home"), 0o755)
        self._seed_maildir(home, uid, gid)
        last_error = ""
        for _attempt in range(5):  # the free port may be taken by someone else before Dovecot binds it
            self.port = _free_port()
            if self.tls:
                self.tls_port = _free_port()
            config = self._write_config(uid, gid, owner)
            self.process = subprocess.Popen([binary, "-F", "-c", config], stdin=subprocess.DEVNULL,
                                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                            start_new_session=True)
            if self._wait_ready():
                return self
            last_error = self._stop_process()
        log = self.log()
        self.stop()
        raise RuntimeError("Dovecot did not start: %s\n%s" % (last_error, log))

    def _wait_ready(self):
        deadline = time.monotonic() + START_TIMEOUT
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                return False
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=2) as s:
                    if s.recv(64).startswith(b"+OK"):
                        s.sendall(b"QUIT\r\n")
                        return True
            except OSError:
                time.sleep(0.05)
        return False

    def log(self):
        try:
            with open(os.path.join(self.folder, "dovecot.log"), errors="replace") as f:
                return f.read()
        except (OSError, TypeError):  # no log yet, or no folder any more
            return ""

    def _stop_process(self):
        if not self.process:
            return ""
        # SIGTERM for an orderly end, then SIGKILL for what outlived it (the master, or workers of its group).
        for stop in (signal.SIGTERM, signal.SIGKILL):
            try:
                os.killpg(self.process.pid, stop)
                self.process.wait(timeout=10)
            except (ProcessLookupError, PermissionError, subprocess.TimeoutExpired):
                pass
        error = self.process.stderr.read().decode(errors="replace")
        self.process.stderr.close()
        self.process = None
        return error

    def stop(self):
        self._stop_process()
        if self.folder:
            shutil.rmtree(self.folder, ignore_errors=True)
            self.folder = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    sub = parser.add_subparsers(dest="command", required=True)
    serve = sub.add_parser("serve", help="run until stdin is closed")
    serve.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"), help="require TLS; also prints TLSPORT <n>")
    args = parser.parse_args()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    import mails
    server = Dovecot(mails.standard_set(), tls=args.tls)
    server.start()
    try:
        if server.tls_port:
            sys.stdout.write("TLSPORT %d\n" % server.tls_port)
        sys.stdout.write("PORT %d\nUSER %s\nPASS %s\nCOUNT %d\nREADY\n"
                         % (server.port, server.user, server.password, len(server.mails)))
        sys.stdout.flush()
        sys.stdin.read()  # end of input stops it
    finally:
        server.stop()


if __name__ == "__main__":
    main()
