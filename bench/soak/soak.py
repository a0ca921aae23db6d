"""Soak of the whole server: N clients fetch mixed mails from a private Dovecot through the relay host (relay,
translate thread and the dictionary engine) for a given time, one whole fetch after another. Every relayed mail is
compared with the mailbox's bytes; translated copies are counted. Once a minute it prints the host's resident memory,
its thread count and the fetch counts; it ends by itself when the time is up and exits non-zero on any wrong mail or
failed fetch.

    soak.py --relay-host PATH [--clients N] [--minutes M]
"""

import argparse
import email
import email.policy
import os
import poplib
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "integration"))
sys.path.insert(0, os.path.join(HERE, "..", "relay"))
import dovecot  # noqa: E402
import mails  # noqa: E402
from relay_host import RelayHost  # noqa: E402

TIMEOUT = 120
TICK_SECONDS = 0.5
poplib._MAXLINE = 1 << 20  # the long-line mails have lines of 10,000 octets


def _mail(subject, body, content_type=b"text/plain; charset=us-ascii", extra=b""):
    return (b"From: Bob <bob@example.org>\r\nTo: Alice <alice@example.org>\r\nSubject: " + subject +
            b"\r\nDate: Sat, 5 Dec 2026 10:00:00 +0000\r\nMessage-ID: <" + subject.replace(b" ", b"-") +
            b"@example.org>\r\nMIME-Version: 1.0\r\nContent-Type: " + content_type + b"\r\n" + extra + b"\r\n" + body)


# English mails the engine translates, and a multipart, a large and a Japanese mail it leaves alone.
TRANSLATION_MAILS = [
    _mail(b"Project update", b"Hello Alice,\r\n\r\nThe new book about cats arrived today.\r\n\r\n"
          b"> Did the book arrive?\r\n\r\nRegards\r\nBob\r\n"),
    _mail(b"Multipart", b"--b1\r\nContent-Type: text/plain\r\n\r\nHello from a part.\r\n--b1--\r\n",
          content_type=b"multipart/mixed; boundary=b1"),
    _mail(b"Large", b"This line is part of a large English mail.\r\n" * 900),
    _mail(b"Japanese", "これは日本語のメールです。\r\n".encode("iso-2022-jp"),
          content_type=b"text/plain; charset=ISO-2022-JP"),
    _mail(b"Printable", b"This water is cold and the house is warm. We want to translate every word of this long "
          b"sen=\r\ntence.\r\n", extra=b"Content-Transfer-Encoding: quoted-printable\r\n"),
]


def mixed_mails():
    """English mails the engine translates, mails it leaves alone, and the relay's byte-exact cases."""
    relay_cases = [mails.plain(), mails.folded_headers(), mails.dot_stuffed(), mails.long_lines(), mails.eight_bit(),
                   mails.lone_lf(), mails.no_final_line_end(), mails.large(256 * 1024)]
    return TRANSLATION_MAILS + relay_cases


class Counts:
    def __init__(self):
        self.lock = threading.Lock()
        self.relayed = 0
        self.translated = 0
        self.wrong = 0
        self.failed = 0
        self.last_error = ""

    def add(self, **amounts):
        with self.lock:
            for name, amount in amounts.items():
                setattr(self, name, getattr(self, name) + amount)

    def snapshot(self):
        with self.lock:
            return self.relayed, self.translated, self.wrong, self.failed, self.last_error


def fetch(port, user, password):
    client = poplib.POP3("127.0.0.1", port, timeout=TIMEOUT)
    try:
        client.user(user)
        client.pass_(password)
        count = client.stat()[0]
        return [b"\r\n".join(client.retr(n)[1]) for n in range(1, count + 1)]
    finally:
        client.quit()


def translated_subject(mail):
    subject = email.message_from_bytes(mail, policy=email.policy.default)["subject"]
    return subject is not None and str(subject).startswith("TR: ")


def client_loop(port, user, password, expected, stop, counts):
    while not stop.is_set():
        try:
            fetched = fetch(port, user, password)
        except Exception as error:  # noqa: BLE001 - any failure is counted and shown
            with counts.lock:
                counts.failed += 1
                counts.last_error = repr(error)
            continue
        if fetched == expected:
            counts.add(relayed=1)
        elif fetched and all(translated_subject(mail) for mail in fetched):
            counts.add(translated=1)
        else:
            with counts.lock:
                counts.wrong += 1
                counts.last_error = "a fetch of %d mails matched neither the mailbox nor translated copies" % len(
                    fetched)


def ask(host, host_lock, command):
    with host_lock:
        host.process.stdin.write(command + "\n")
        host.process.stdin.flush()
        return host.process.stdout.readline().strip()


def collect_loop(host, host_lock, stop):
    """Collects finished connections every half second, as the application's status tick does."""
    while not stop.wait(TICK_SECONDS):
        ask(host, host_lock, "COLLECT")


def process_status(pid):
    values = {}
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            name, _, value = line.partition(":")
            values[name] = value.strip()
    return values.get("VmRSS", "?"), values.get("Threads", "?")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--relay-host", required=True)
    parser.add_argument("--clients", type=int, default=20)
    parser.add_argument("--minutes", type=float, default=30)
    args = parser.parse_args()

    mail_set = mixed_mails()
    with dovecot.Dovecot(mail_set) as server:
        # What poplib hands back: the mailbox's lines with their line ends taken off, dot-stuffing undone.
        expected = fetch(server.port, server.user, server.password)
        host = RelayHost(server.port, args.relay_host, translation_engine=True).start()
        try:
            pid = host.process.pid
            stop = threading.Event()
            counts = Counts()
            clients = [threading.Thread(target=client_loop,
                                        args=(host.port, server.user, server.password, expected, stop, counts))
                       for _ in range(args.clients)]
            rss, threads = process_status(pid)
            print("soak: %d clients, %d mails, %.0f minutes; host at start: RSS %s, %s threads"
                  % (args.clients, len(mail_set), args.minutes, rss, threads), flush=True)
            host_lock = threading.Lock()
            collector = threading.Thread(target=collect_loop, args=(host, host_lock, stop))
            collector.start()
            started = time.monotonic()
            for thread in clients:
                thread.start()
            end = started + args.minutes * 60
            minute = 0
            while time.monotonic() < end:
                time.sleep(max(0.0, min(60.0, end - time.monotonic())))
                minute += 1
                rss, threads = process_status(pid)
                relayed, translated, wrong, failed, _ = counts.snapshot()
                print("soak: minute %3d  RSS %-12s threads %-4s fetches: relayed %d, translated %d, wrong %d, "
                      "failed %d" % (minute, rss, threads, relayed, translated, wrong, failed), flush=True)
            stop.set()
            for thread in clients:
                thread.join(timeout=TIMEOUT * 2)
            collector.join(timeout=TIMEOUT)
            collected = ask(host, host_lock, "COLLECT")
            rss, threads = process_status(pid)
            print("soak: after the clients left: RSS %s, %s threads, %s" % (rss, threads, collected), flush=True)
        finally:
            host.stop()
    relayed, translated, wrong, failed, last_error = counts.snapshot()
    print("soak: %d relayed and %d translated fetches, %d wrong, %d failed%s"
          % (relayed, translated, wrong, failed, (": " + last_error) if last_error else ""), flush=True)
    return 1 if wrong or failed else 0


if __name__ == "__main__":
    sys.exit(main())
