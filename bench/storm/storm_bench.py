"""A storm of POP3 clients opening and closing connections as fast as they can through the relay (relay_host) in
front of a private Dovecot, for a set time. Prints the sessions done and the relay process's descriptors, threads
and resident memory before the storm, at its end, and after every finished session has been collected.

    storm_bench.py --relay-host PATH [--clients 200] [--seconds 60] [--warm-up 2] [--leaving quit|greeting|at-once]
                   [--processes N] [--direct]

The relay host collects nothing while the storm lasts (the application collects one finished session per 500 ms
tick, a hundred-odd over a minute, against thousands of sessions), so the end of the storm shows the whole pile
of finished sessions waiting for collection; COLLECT then collects them all.
"""

import argparse
import collections
import multiprocessing
import os
import socket
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "integration"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "relay"))
import dovecot  # noqa: E402
import mails  # noqa: E402
from relay_host import RelayHost  # noqa: E402

# A session counts as failed only when the mail server (through the relay) leaves it unanswered this long: an
# overloaded Dovecot queues new logins for many seconds.
CLIENT_TIMEOUT = 120.0


def session(port, leaving):
    """One session; None when every answer the client waited for came, else what went wrong."""
    step = "connect"
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=CLIENT_TIMEOUT) as sock:
            if leaving == "at-once":
                return None
            reader = sock.makefile("rb")
            step = "greeting"
            line = reader.readline()
            if not line.startswith(b"+OK"):
                return "greeting %r" % line[:40]
            if leaving == "greeting":
                return None
            step = "QUIT"
            sock.sendall(b"QUIT\r\n")
            line = reader.readline()
            if not line.startswith(b"+OK"):
                return "QUIT answered %r" % line[:40]
            step = "close"
            return None if reader.read() == b"" else "data after QUIT"
    except OSError as error:
        return "%s: %s" % (step, type(error).__name__)


def client_process(port, leaving, threads, deadline, results):
    """threads client threads in one process, each looping sessions until the deadline."""
    counts = collections.Counter()
    lock = threading.Lock()

    def loop():
        mine = collections.Counter()
        while time.time() < deadline:
            mine[session(port, leaving) or "done"] += 1
        with lock:
            counts.update(mine)

    workers = [threading.Thread(target=loop) for _ in range(threads)]
    for worker in workers:
        worker.start()
    for worker in workers:
        worker.join()
    results.put(dict(counts))


def process_state(pid):
    """Descriptors by kind, threads and resident memory (KiB) of a process."""
    kinds = collections.Counter()
    folder = "/proc/%d/fd" % pid
    for name in os.listdir(folder):
        try:
            target = os.readlink(os.path.join(folder, name))
        except OSError:
            continue
        kinds[target.split(":")[0] if ":" in target else "file"] += 1
    status = {}
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            key, _, value = line.partition(":")
            status[key] = value.split()[0] if value.split() else ""
    return {"fds": sum(kinds.values()), "kinds": dict(kinds), "threads": int(status["Threads"]),
            "rss": int(status["VmRSS"])}


def describe(state):
    kinds = ", ".join("%s %d" % item for item in sorted(state["kinds"].items()))
    return "%d (%s)" % (state["fds"], kinds)


def run_storm(port, pid, args, per_process):
    """Runs the storm; returns (outcomes of the sessions, seconds, peak state)."""
    results = multiprocessing.Queue()
    deadline = time.time() + getattr(args, "storm_seconds", args.seconds)
    clients = [multiprocessing.Process(target=client_process, args=(port, args.leaving, count, deadline, results))
               for count in per_process if count > 0]
    started = time.monotonic()
    for client in clients:
        client.start()
    peak = process_state(pid)
    while any(client.is_alive() for client in clients):
        state = process_state(pid)
        for key in ("fds", "threads", "rss"):
            peak[key] = max(peak[key], state[key])
        time.sleep(1)
    outcomes = collections.Counter()
    for _ in clients:
        outcomes.update(results.get())
    for client in clients:
        client.join()
    return outcomes, time.monotonic() - started, peak


def collect_all(relay):
    """Collects every finished session; returns (seconds, (connections, agents) left)."""
    started = time.monotonic()
    left = relay.collect()
    while left != (0, 0) and time.monotonic() - started < 600:
        left = relay.collect()
    seconds = time.monotonic() - started
    time.sleep(1)  # the last collected threads finish exiting
    return seconds, left


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--relay-host", required=True)
    parser.add_argument("--clients", type=int, default=200)
    parser.add_argument("--seconds", type=float, default=60.0)
    parser.add_argument("--warm-up", type=float, default=2.0,
                        help="seconds of the same storm, collected, before the baseline is taken (0: none)")
    parser.add_argument("--leaving", choices=("quit", "greeting", "at-once"), default="quit",
                        help="quit: greeting, QUIT and its answer; greeting: close after the greeting; "
                             "at-once: close right after connecting")
    parser.add_argument("--processes", type=int, default=0, help="client processes (default: one per 25 clients)")
    parser.add_argument("--direct", action="store_true",
                        help="the same storm straight at Dovecot, without the relay, for comparison")
    args = parser.parse_args()
    processes = args.processes or max(1, (args.clients + 24) // 25)
    per_process = [args.clients // processes + (1 if i < args.clients % processes else 0) for i in range(processes)]

    with dovecot.Dovecot(mails.sized_set(1, 1024)) as server, RelayHost(server.port, args.relay_host) as relay:
        if args.direct:
            outcomes, elapsed, _ = run_storm(server.port, relay.process.pid, args, per_process)
            done = outcomes.pop("done", 0)
            print("Straight at Dovecot: %d clients, %s, %.0f s: %d sessions (%.0f per second); failed: %d %s"
                  % (args.clients, args.leaving, args.seconds, done, done / args.seconds, sum(outcomes.values()),
                     dict(outcomes)))
            return 0
        pid = relay.process.pid
        # The first session makes what later sessions reuse.
        if session(relay.port, "quit") is not None:
            raise RuntimeError("the relay does not serve")
        relay.collect()
        time.sleep(1)
        cold = process_state(pid)
        # A short storm first, collected: the heap's per-thread arenas and the tables sized by the number of threads
        # at once are made once for the process's life, and are not what a storm leaves behind.
        if args.warm_up > 0:
            warm_args = argparse.Namespace(**vars(args))
            warm_args.storm_seconds = args.warm_up
            run_storm(relay.port, pid, warm_args, per_process)
            collect_all(relay)
        before = process_state(pid)

        outcomes, elapsed, peak = run_storm(relay.port, pid, args, per_process)
        done = outcomes.pop("done", 0)
        failed = sum(outcomes.values())
        end = process_state(pid)
        collect_time, left = collect_all(relay)
        after = process_state(pid)
        served_after = session(relay.port, "quit") is None

    print("Storm: %d clients (%d processes), %s, %.0f s (the last sessions ended after %.0f s)"
          % (args.clients, len(per_process), args.leaving, args.seconds, elapsed))
    print()
    print("| | Descriptors | Threads | Resident memory |")
    print("|---|---|---|---|")
    print("| After one session | %s | %d | %.1f MiB |" % (describe(cold), cold["threads"], cold["rss"] / 1024))
    print("| Before (after a %.0f s warm-up storm, collected) | %s | %d | %.1f MiB |"
          % (args.warm_up, describe(before), before["threads"], before["rss"] / 1024))
    print("| Peak during the storm | %d | %d | %.1f MiB |" % (peak["fds"], peak["threads"], peak["rss"] / 1024))
    print("| End of the storm (nothing collected yet) | %s | %d | %.1f MiB |"
          % (describe(end), end["threads"], end["rss"] / 1024))
    print("| After collecting every session | %s | %d | %.1f MiB |"
          % (describe(after), after["threads"], after["rss"] / 1024))
    print()
    print("Sessions done: %d (%.0f per second of storm); failed: %d %s"
          % (done, done / args.seconds, failed, dict(outcomes)))
    print("Collection of the pile: %.1f s, left (connections, agents): %s" % (collect_time, left))
    print("Resident memory after / before: %.3f (after / after one session: %.3f)"
          % (after["rss"] / before["rss"], after["rss"] / cold["rss"]))
    print("Next client served after the storm: %s" % ("yes" if served_after else "NO"))
    return 0 if failed == 0 and served_after and left == (0, 0) else 1


if __name__ == "__main__":
    sys.exit(main())
