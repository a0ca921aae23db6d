"""Times whole POP3 fetches from a private Dovecot: directly, through the relay (relay_host), through perdition (a
plain POP3 proxy) and through a bare byte copier (the speed reference), alternating in one run, and the NOOP round
trip directly, through the relay and through the byte copier, beside one bare TCP round trip to an echo process
(the least a proxy adds); and, with a Dovecot that requires TLS, a direct pop3s fetch against the relay reaching
Dovecot over TLS. Prints a Markdown table of medians.

    relay_bench.py --relay-host PATH [--byte-copier PATH] [--runs N] [--noops N] [--idle-poll]

With --idle-poll the run holds a processor wake-up latency request of 0 µs (/dev/cpu_dma_latency, root only), so
idle processors poll instead of halting: every path, direct ones included, then runs without the cost of waking a
halted processor, which on a virtual machine is tens of µs per wake-up.
"""

import argparse
import contextlib
import os
import shutil
import signal
import socket
import ssl
import statistics
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "integration"))
import dovecot  # noqa: E402
import mails  # noqa: E402
from relay_host import RelayHost  # noqa: E402
import tls_ca  # noqa: E402

RECEIVE_SIZE = 1 << 20


class RawClient:
    """A minimal POP3 client that reads answers as raw bytes, so the client's own cost stays small."""

    def __init__(self, port, tls_context=None):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=120)
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        if tls_context:
            self.sock = tls_context.wrap_socket(self.sock, server_hostname="localhost")
        self.buffer = bytearray()
        self.line()

    def _fill(self):
        chunk = self.sock.recv(RECEIVE_SIZE)
        if not chunk:
            raise ConnectionError("connection closed")
        self.buffer += chunk

    def line(self):
        while True:
            end = self.buffer.find(b"\r\n")
            if end >= 0:
                line = bytes(self.buffer[:end + 2])
                del self.buffer[:end + 2]
                return line
            self._fill()

    def command(self, text):
        self.sock.sendall(text.encode() + b"\r\n")
        answer = self.line()
        if not answer.startswith(b"+OK"):
            raise RuntimeError("%s: %r" % (text, answer))
        return answer

    def multi_line(self, text):
        self.command(text)
        # The answer ends at the first CR LF "." CR LF; earlier dots are stuffed.
        start = 0
        while True:
            end = self.buffer.find(b"\r\n.\r\n", start)
            if end >= 0 or self.buffer.startswith(b".\r\n"):
                cut = end + 5 if end >= 0 else 3
                data = bytes(self.buffer[:cut])
                del self.buffer[:cut]
                return data
            start = max(0, len(self.buffer) - 4)
            self._fill()

    def close(self):
        self.sock.close()


def full_fetch(port, user, password, tls_context=None):
    """Logs in, lists, retrieves every mail and quits; returns the seconds taken and the octets retrieved."""
    started = time.perf_counter()
    client = RawClient(port, tls_context)
    client.command("USER " + user)
    client.command("PASS " + password)
    count = int(client.command("STAT").split()[1])
    client.multi_line("LIST")
    octets = 0
    for n in range(1, count + 1):
        octets += len(client.multi_line("RETR %d" % n))
    client.command("QUIT")
    client.close()
    return time.perf_counter() - started, octets


def noop_round_trips(port, user, password, count):
    client = RawClient(port)
    client.command("USER " + user)
    client.command("PASS " + password)
    times = []
    for _ in range(count):
        started = time.perf_counter()
        client.command("NOOP")
        times.append(time.perf_counter() - started)
    client.command("QUIT")
    client.close()
    return statistics.median(times)


class LoopbackEcho:
    """A bare echo process on 127.0.0.1: one round trip to it is the least any proxy adds to a NOOP, since a proxy
    puts a second TCP connection, and so a second round trip, into the path."""

    def __init__(self):
        listener = socket.create_server(("127.0.0.1", 0))
        self.port = listener.getsockname()[1]
        self.pid = os.fork()
        if self.pid == 0:
            try:
                while True:
                    connection, _ = listener.accept()
                    with connection:
                        while data := connection.recv(4096):
                            connection.sendall(data)
            finally:
                os._exit(0)
        listener.close()

    def round_trips(self, count):
        with socket.create_connection(("127.0.0.1", self.port)) as connection:
            connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            times = []
            for _ in range(count):
                started = time.perf_counter()
                connection.sendall(b"NOOP\r\n")
                connection.recv(64)
                times.append(time.perf_counter() - started)
        return statistics.median(times)

    def close(self):
        os.kill(self.pid, signal.SIGTERM)
        os.waitpid(self.pid, 0)


def unused_loopback_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Perdition:
    def __init__(self, mail_server_port):
        self.mail_server_port = mail_server_port
        self.folder = tempfile.mkdtemp(prefix="perd")
        self.process = None
        self.port = None

    def __enter__(self):
        self.port = unused_loopback_port()
        # Its daemon mode dies silently here: keep it in the foreground.
        self.process = subprocess.Popen(
            ["perdition.pop3", "--no_daemon", "--protocol", "POP3", "--bind_address", "127.0.0.1",
             "--listen_port", str(self.port), "--outgoing_server", "127.0.0.1",
             "--outgoing_port", str(self.mail_server_port), "--ssl_mode", "none", "--no_lookup",
             "--pid_file", os.path.join(self.folder, "perdition.pid")],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=2) as s:
                    if s.recv(64).startswith(b"+OK"):
                        return self
            except OSError:
                time.sleep(0.05)
        raise RuntimeError("perdition did not start")

    def __exit__(self, *exc):
        if self.process:
            os.killpg(self.process.pid, signal.SIGTERM)
            self.process.wait(timeout=20)
        shutil.rmtree(self.folder, ignore_errors=True)


class ByteCopier:
    """The speed reference: a proxy that only copies bytes (bench/relay/byte_copier.cpp)."""

    def __init__(self, path, mail_server_port):
        self.path = path
        self.mail_server_port = mail_server_port
        self.process = None
        self.port = None

    def __enter__(self):
        self.port = unused_loopback_port()
        self.process = subprocess.Popen([self.path, str(self.port), str(self.mail_server_port)],
                                        stdout=subprocess.PIPE, text=True)
        if self.process.stdout.readline().strip() != "ready":
            raise RuntimeError("byte_copier did not start")
        return self

    def __exit__(self, *exc):
        self.process.kill()
        self.process.wait(timeout=20)


def measure(mail_set, label, relay_host_path, runs, with_perdition, byte_copier_path=None):
    rows = []
    # "relay" runs as in the application, translate thread and engine included; "relay, no engine" shows the relay's
    # own cost (its captured mails stay queued, as when the engine cannot be created).
    with dovecot.Dovecot(mail_set) as server, RelayHost(server.port, relay_host_path, True) as relay, \
            RelayHost(server.port, relay_host_path) as bare_relay:
        targets = [("direct", server.port), ("relay", relay.port), ("relay, no engine", bare_relay.port)]
        copier = ByteCopier(byte_copier_path, server.port) if byte_copier_path else None
        if copier:
            targets.append(("byte copier", copier.__enter__().port))
        perdition = Perdition(server.port) if with_perdition else None
        if perdition:
            targets.append(("perdition", perdition.__enter__().port))
        try:
            times = {name: [] for name, _ in targets}
            octets = 0
            full_fetch(server.port, server.user, server.password)  # warm the page cache
            for _ in range(runs):
                for name, port in targets:
                    seconds, octets = full_fetch(port, server.user, server.password)
                    times[name].append(seconds)
                relay.collect()
        finally:
            if perdition:
                perdition.__exit__()
            if copier:
                copier.__exit__()
        direct = statistics.median(times["direct"])
        for name, _ in targets:
            median = statistics.median(times[name])
            rows.append((label, name, median * 1000, octets / median / 1e6, direct / median))
    return rows


def measure_tls(mail_set, label, relay_host_path, runs):
    """A direct pop3s fetch against a plain fetch through the relay whose agent reaches Dovecot over TLS."""
    rows = []
    folder = tempfile.mkdtemp(prefix="tlsbench")
    os.chmod(folder, 0o755)  # Dovecot reads the certificate as its own user
    try:
        certificates = tls_ca.make(folder)
        context = ssl.create_default_context(cafile=certificates["ca"])
        with dovecot.Dovecot(mail_set, tls=certificates["server"]) as server, \
                RelayHost(server.tls_port, relay_host_path, True, address="localhost", security=1,
                          ca_file=certificates["ca"]) as relay, \
                RelayHost(server.tls_port, relay_host_path, address="localhost", security=1,
                          ca_file=certificates["ca"]) as bare_relay:
            targets = [("direct pop3s", server.tls_port, context), ("relay, TLS upstream", relay.port, None),
                       ("relay, TLS upstream, no engine", bare_relay.port, None)]
            times = {name: [] for name, _, _ in targets}
            octets = 0
            full_fetch(server.tls_port, server.user, server.password, context)  # warm the page cache
            for _ in range(runs):
                for name, port, tls_context in targets:
                    seconds, octets = full_fetch(port, server.user, server.password, tls_context)
                    times[name].append(seconds)
                relay.collect()
                bare_relay.collect()
        direct = statistics.median(times["direct pop3s"])
        for name, _, _ in targets:
            median = statistics.median(times[name])
            rows.append((label, name, median * 1000, octets / median / 1e6, direct / median))
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    return rows


@contextlib.contextmanager
def idle_processors_poll():
    """Keeps every processor out of its halt state while the request is held (the kernel's PM QoS interface)."""
    try:
        request = os.open("/dev/cpu_dma_latency", os.O_WRONLY)
    except OSError as error:
        sys.exit("relay_bench: --idle-poll needs to write /dev/cpu_dma_latency (as root): %s" % error.strerror)
    try:
        os.write(request, struct.pack("i", 0))
        yield
    finally:
        os.close(request)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--relay-host", required=True, help="path of the built relay_host program")
    parser.add_argument("--byte-copier", help="path of the built byte_copier program, the speed reference")
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--noops", type=int, default=2000)
    parser.add_argument("--no-perdition", action="store_true")
    parser.add_argument("--no-tls", action="store_true", help="leave out the TLS rows")
    parser.add_argument("--idle-poll", action="store_true",
                        help="hold a wake-up latency request of 0 so that idle processors poll instead of halting")
    args = parser.parse_args()
    with idle_processors_poll() if args.idle_poll else contextlib.nullcontext():
        run(args)


def run(args):
    with_perdition = not args.no_perdition and shutil.which("perdition.pop3") is not None

    rows = []
    rows += measure(mails.sized_set(200, 64 * 1024), "200 mails x 64 KiB", args.relay_host, args.runs,
                    with_perdition, args.byte_copier)
    rows += measure(mails.sized_set(20, 4 * 1024 * 1024), "20 mails x 4 MiB", args.relay_host, args.runs,
                    with_perdition, args.byte_copier)
    if not args.no_tls:
        rows += measure_tls(mails.sized_set(200, 64 * 1024), "200 mails x 64 KiB", args.relay_host, args.runs)
        rows += measure_tls(mails.sized_set(20, 4 * 1024 * 1024), "20 mails x 4 MiB", args.relay_host, args.runs)
    print("| Mail set | Path | Median fetch (ms) | Throughput (MB/s) | Share of direct |")
    print("|---|---|---:|---:|---:|")
    for label, name, ms, mbps, share in rows:
        print("| %s | %s | %.1f | %.1f | %.2f |" % (label, name, ms, mbps, share))

    # The round trip varies with how fast this machine wakes a sleeping thread, which drifts over minutes: the
    # paths alternate in rounds, and each figure is the median of its rounds.
    rounds = 5
    with dovecot.Dovecot(mails.sized_set(1, 1024)) as server, RelayHost(server.port, args.relay_host) as relay:
        copier = ByteCopier(args.byte_copier, server.port).__enter__() if args.byte_copier else None
        echo = LoopbackEcho()
        echo_name = "bare TCP round trip (echo)"
        try:
            targets = [("direct", server.port), ("relay", relay.port)]
            if copier:
                targets.append(("byte copier", copier.port))
            noop_round_trips(server.port, server.user, server.password, 200)  # warm up
            medians = {name: [] for name, _ in targets}
            medians[echo_name] = []
            for _ in range(rounds):
                for name, port in targets:
                    medians[name].append(noop_round_trips(port, server.user, server.password,
                                                          args.noops // rounds))
                medians[echo_name].append(echo.round_trips(args.noops // rounds))
        finally:
            echo.close()
            if copier:
                copier.__exit__()
    round_trip = {name: statistics.median(values) for name, values in medians.items()}
    print()
    print("| NOOP round trip | Median (µs) |")
    print("|---|---:|")
    for name in medians:
        print("| %s | %.1f |" % (name, round_trip[name] * 1e6))
    print("| relay overhead | %.1f |" % ((round_trip["relay"] - round_trip["direct"]) * 1e6))
    if copier:
        print("| byte copier overhead | %.1f |" % ((round_trip["byte copier"] - round_trip["direct"]) * 1e6))

if __name__ == "__main__":
    main()
