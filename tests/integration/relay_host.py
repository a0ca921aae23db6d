"""Runs the relay_host program (the relay server in a process of its own) in front of a mail server, for tests and
benchmarks whose clients are separate programs. The program's path comes from the RELAY_HOST environment value."""

import os
import subprocess
import time


class RelayHost:
    def __init__(self, mail_server_port, executable=None, translation_engine=False, address="127.0.0.1",
                 security=None, ca_file=None, relay_authentication=False):
        self.executable = executable or os.environ.get("RELAY_HOST")
        if not self.executable:
            raise RuntimeError("RELAY_HOST is not set (the path of the built relay_host program)")
        self.options = ["--translation-engine"] if translation_engine else []
        # NAME=VALUE settings, which a caller may add to before start().
        self.settings = ["MailServerPort=%d" % mail_server_port, "MailServerAddress=" + address]
        self.settings += ["MailServerSecurity=%d" % security] if security is not None else []
        self.settings += ["MailServerCAFile=" + ca_file] if ca_file is not None else []
        self.settings += ["Relay Authentication=1"] if relay_authentication else []
        self.process = None
        self.port = None

    def start(self):
        self.process = subprocess.Popen([self.executable] + self.options + self.settings, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, text=True)
        line = self.process.stdout.readline()
        if not line.startswith("PORT "):
            self.stop()
            raise RuntimeError("relay_host did not start: %r" % line)
        self.port = int(line.split()[1])
        return self

    def _ask(self, command):
        self.process.stdin.write(command + "\n")
        self.process.stdin.flush()
        return self.process.stdout.readline().split()

    def wait_translated(self, timeout=60.0):
        """Waits until no captured mail waits for translation any more; true when that came before the timeout."""
        deadline = time.monotonic() + timeout
        while int(self._ask("PENDING")[1]) > 0:
            if time.monotonic() >= deadline:
                return False
            time.sleep(0.01)
        return True

    def collect(self):
        """Collects every finished connection; returns (connections, agents) still alive."""
        answer = self._ask("COLLECT")
        return int(answer[1]), int(answer[2])

    def stop(self):
        if self.process:
            self.process.stdin.close()
            try:
                code = self.process.wait(timeout=60)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
                code = "killed after not stopping within 60 s"
            self.process.stdout.close()
            self.process = None
            # A sanitizer that found a fault makes the program end with a failure code.
            if code != 0:
                raise RuntimeError("relay_host ended with %s" % code)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()
