"""Real POP3 client programs for the tests: curl and fetchmail, each run once against a POP3 server on 127.0.0.1."""

import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
TIMEOUT = 120


def _curl(user, password, *arguments):
    result = subprocess.run(["curl", "--silent", "--show-error", "--max-time", str(TIMEOUT),
                             "--user", "%s:%s" % (user, password), *arguments],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False)
    if result.returncode != 0:
        raise AssertionError("curl failed: " + result.stderr.decode(errors="replace"))
    return result.stdout


def curl(port, user, password, path="", *options):
    """curl's answer for pop3://127.0.0.1:port/path (a listing, or mail number path), with curl's options;
    raises when curl fails."""
    return _curl(user, password, *options, "pop3://127.0.0.1:%d/%s" % (port, path))


def curl_mails(port, user, password, count, folder):
    """Mails 1 to count in one curl run, so on one connection; their octets in order."""
    _curl(user, password, "-o", os.path.join(folder, "#1"), "pop3://127.0.0.1:%d/[1-%d]" % (port, count))
    mails = []
    for n in range(1, count + 1):
        with open(os.path.join(folder, str(n)), "rb") as f:
            mails.append(f.read())
    return mails


def fetchmail(port, user, password, home):
    """Every mail of the mailbox through fetchmail (kept on the server), delivered unchanged into files under home;
    their octets in order. None when fetchmail is not installed. Password login is named, as the server answers
    CAPA with -ERR: fetchmail would otherwise log in again on a new connection, which the translated copies, served
    to one connection only, would not survive."""
    if not shutil.which("fetchmail"):
        return None
    store = tempfile.mkdtemp(prefix="store", dir=home)
    rc = os.path.join(home, "fetchmailrc")
    with open(rc, "w") as f:
        f.write('poll 127.0.0.1 protocol pop3 service %d auth password user "%s" password "%s" options keep fetchall '
                'no stripcr\n' % (port, user, password))
    os.chmod(rc, 0o600)
    env = dict(os.environ, FETCHMAILHOME=home, HOME=home)
    # As root fetchmail would share one lock file with every other fetchmail run on the machine.
    result = subprocess.run(["fetchmail", "-f", rc, "--pidfile", os.path.join(home, "fetchmail.pid"), "--nodetach",
                             "--nosyslog", "--invisible", "--norewrite",
                             "--sslproto", "", "--mda", "%s %s %s" % (sys.executable,
                                                                     os.path.join(HERE, "store_mail.py"), store)],
                            env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=TIMEOUT, check=False)
    if result.returncode != 0:
        raise AssertionError("fetchmail failed: " + result.stdout.decode(errors="replace"))
    stored = []
    for name in sorted(os.listdir(store)):
        with open(os.path.join(store, name), "rb") as f:
            stored.append(f.read())
    return stored
