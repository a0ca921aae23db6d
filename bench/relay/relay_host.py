"""Runs the relay_host program (the relay server in a process of its own) in front of a mail server, for the
benchmarks whose clients are separate programs."""

import subprocess
import time


class RelayHost:
    def __init__(self, mail_server_port, executable=None, translation_engine=False, address="127.0.0.1",
                 security=None, ca_file=None):
        """security and ca_file: the "MailServerSecurity" and "MailServerCAFile" values, when given."""
        self.executable = executable
        self.mail_server_port = mail_server_port
        self.translation_engine = translation_engine
        self.settings = [address]
        if security is not None:
            self.settings.append(str(security))
            if ca_file is not None:
                self.settings.append(ca_file)
        self.process = None
        self.port = None

    def start(self):
        engine = ["--translation-engine"] if self.translation_engine else []
        self.process = subprocess.Popen([self.executable] + engine + [str(self.mail_server_port)] + self.settings,
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
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

    def pending_mails(self):
        """Captured mails waiting in the translate thread's queue."""
        return int(self._ask("PENDING")[1])

    def wait_pending_mails(self, count, timeout=30.0):
        """Waits until at least count captured mails are queued (the capture completes a little after the client
        has the mail); returns the number queued."""
        deadline = time.monotonic() + timeout
        pending = self.pending_mails()
        while pending < count and time.monotonic() < deadline:
            time.sleep(0.01)
            pending = self.pending_mails()
        return pending

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
