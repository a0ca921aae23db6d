"""A test certificate authority made with the openssl command-line tool, for TLS tests: a CA, a second CA that
nobody uses to sign, and server certificates issued by the first CA for "localhost" and 127.0.0.1: a valid one,
one for another host name and an expired one.

    certificates = make(folder)     # a dict of file paths, also the command line `tls_ca.py FOLDER`
"""

import os
import subprocess
import sys

# File names inside the folder.
CA = "ca.pem"
OTHER_CA = "other-ca.pem"
SERVER = ("server.pem", "server.key")
WRONG_NAME = ("wrong-name.pem", "wrong-name.key")
EXPIRED = ("expired.pem", "expired.key")


def _openssl(*arguments, cwd):
    subprocess.run(["openssl", *arguments], cwd=cwd, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.PIPE)


def _new_ca(folder, name, certificate):
    key = certificate.replace(".pem", ".key")
    _openssl("req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-keyout", key,
             "-out", certificate, "-subj", "/CN=" + name, "-days", "30", cwd=folder)
    return key


def _issue(folder, ca_key, files, names, days, serial):
    certificate, key = files
    _openssl("req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-keyout", key, "-out",
             certificate + ".csr", "-subj", "/CN=" + names[0], cwd=folder)
    extensions = os.path.join(folder, certificate + ".ext")
    with open(extensions, "w") as f:
        f.write("subjectAltName=" + ",".join(("IP:" if n.replace(".", "").isdigit() else "DNS:") + n for n in names))
    # A negative number of days gives a certificate whose validity ended before it was issued.
    _openssl("x509", "-req", "-in", certificate + ".csr", "-CA", CA, "-CAkey", ca_key, "-set_serial", str(serial),
             "-days", str(days), "-extfile", extensions, "-out", certificate, cwd=folder)
    os.chmod(os.path.join(folder, key), 0o644)  # Dovecot's master reads it, whoever runs the test


def make(folder):
    os.makedirs(folder, exist_ok=True)
    ca_key = _new_ca(folder, "VUVed Test CA", CA)
    _new_ca(folder, "Unrelated Test CA", OTHER_CA)
    _issue(folder, ca_key, SERVER, ["localhost", "127.0.0.1"], 30, 1)
    _issue(folder, ca_key, WRONG_NAME, ["pop.elsewhere.test"], 30, 2)
    _issue(folder, ca_key, EXPIRED, ["localhost", "127.0.0.1"], -1, 3)
    path = lambda name: os.path.join(folder, name)  # noqa: E731
    return {"ca": path(CA), "other_ca": path(OTHER_CA), "server": tuple(map(path, SERVER)),
            "wrong_name": tuple(map(path, WRONG_NAME)), "expired": tuple(map(path, EXPIRED))}


if __name__ == "__main__":
    make(sys.argv[1])
