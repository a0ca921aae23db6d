"""The engine's API key, taken from the environment, goes to the engine and nowhere else: after a whole run of the
server with the openai engine against the fake HTTP server (a fetch relayed, its mail translated, the translated
copy fetched), no output of the server and no file it may have written holds the key."""

import os
import poplib
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "integration"))
import dovecot  # noqa: E402
from test_end_to_end import ENGLISH  # noqa: E402

TIMEOUT = 60


def files_holding(root, since, needle, recursive=True):
    found = []
    for folder, subfolders, files in os.walk(root):
        if not recursive:
            subfolders[:] = []
        for name in files:
            path = os.path.join(folder, name)
            try:
                if os.path.islink(path) or os.path.getmtime(path) < since or os.path.getsize(path) > 64 << 20:
                    continue
                with open(path, "rb") as file:
                    if needle in file.read():
                        found.append(path)
            except OSError:
                continue  # gone or unreadable meanwhile: not written by this run
    return found


class EngineKeyTest(unittest.TestCase):
    def test_api_key_is_never_written(self):
        key = ("sk-marker-%s" % os.urandom(12).hex()).encode()
        started = time.time() - 2
        private = tempfile.mkdtemp(prefix="vuved-key-")
        self.addCleanup(shutil.rmtree, private, True)
        home = os.path.join(private, "home")
        temporary = os.path.join(private, "tmp")
        os.mkdir(home)
        os.mkdir(temporary)

        engine = subprocess.Popen([sys.executable, os.path.join(HERE, "fake_translation_server.py")],
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.addCleanup(engine.wait, TIMEOUT)
        self.addCleanup(engine.stdin.close)
        engine_port = int(engine.stdout.readline())

        server = dovecot.Dovecot([ENGLISH]).start()
        self.addCleanup(server.stop)

        environment = dict(os.environ, OPENAI_API_KEY=key.decode(), HOME=home, TMPDIR=temporary)
        errors_path = os.path.join(private, "stderr")
        with open(errors_path, "wb") as errors:
            host = subprocess.Popen([os.environ["TRANSLATION_HOST"], str(server.port), "Engine=openai",
                                     "Endpoint=http://127.0.0.1:%d/v1" % engine_port, "Model=small-model"],
                                    stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=errors, env=environment)
        output = []
        try:
            output.append(host.stdout.readline())
            port = int(output[0].split()[1])
            relayed = self.fetch(port, server)
            self.assertNotIn(b"Subject: TR:", relayed)
            deadline = time.monotonic() + TIMEOUT
            while time.monotonic() < deadline:
                host.stdin.write(b"STATE\n")
                host.stdin.flush()
                output.append(host.stdout.readline())
                _, translating, translated, _ = output[-1].split()
                if translating == b"0" and translated == b"1":
                    break
                time.sleep(0.01)
            # The translated copy shows that the engine was reached, so the key was really in use.
            translated = self.fetch(port, server)
            self.assertIn(b"Subject: TR: Project update", translated)
            self.assertIn(b":Hello Alice,", translated)  # the fake engine's answer is its mark, ":" and the text
        finally:
            host.stdin.close()
            output.append(host.stdout.read())
            host.stdout.close()
            host.wait(timeout=TIMEOUT)
        self.assertEqual(host.returncode, 0)

        self.assertNotIn(key, b"".join(output))
        self.assertEqual(files_holding(private, started, key), [])
        self.assertEqual(files_holding(tempfile.gettempdir(), started, key, recursive=False), [])

    def fetch(self, port, server):
        client = poplib.POP3("127.0.0.1", port, timeout=TIMEOUT)
        try:
            client.user(server.user)
            client.pass_(server.password)
            count = client.stat()[0]
            return b"\r\n".join(b"\r\n".join(client.retr(n)[1]) for n in range(1, count + 1))
        finally:
            client.quit()


if __name__ == "__main__":
    unittest.main()
