"""The engine's API key, taken from the environment, goes to the engine and nowhere else: after a whole run of the
server with the openai engine against the fake HTTP server (a fetch relayed, its mail translated, the translated
copy fetched), no output of the server and no file it may have written holds the key."""

import os
import shutil
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "integration"))
import dovecot  # noqa: E402
from test_end_to_end import ENGLISH, TranslationHost, fetch_all, start_fake_engine  # noqa: E402


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
        key = "sk-marker-%s" % os.urandom(12).hex()
        started = time.time() - 2
        private = tempfile.mkdtemp(prefix="vuved-key-")
        self.addCleanup(shutil.rmtree, private, True)
        home = os.path.join(private, "home")
        temporary = os.path.join(private, "tmp")
        os.mkdir(home)
        os.mkdir(temporary)
        engine_port = start_fake_engine(self)
        server = dovecot.Dovecot([ENGLISH]).start()
        self.addCleanup(server.stop)

        environment = dict(os.environ, OPENAI_API_KEY=key, HOME=home, TMPDIR=temporary)
        with open(os.path.join(private, "stderr"), "wb") as errors:
            host = TranslationHost(server.port, "Engine=openai", "Endpoint=http://127.0.0.1:%d/v1" % engine_port,
                                   "Model=small-model", env=environment, stderr=errors)
        try:
            relayed = b"".join(fetch_all(host.port, server.user, server.password))
            self.assertNotIn(b"Subject: TR:", relayed)
            self.assertTrue(host.wait_until_idle()[1])
            # The translated copy shows that the engine was reached, so the key was really in use.
            translated = b"".join(fetch_all(host.port, server.user, server.password))
            self.assertIn(b"Subject: TR: Project update", translated)
            self.assertIn(b":Hello Alice,", translated)  # the fake engine's answer is its mark, ":" and the text
        finally:
            self.assertEqual(host.stop(), 0)

        self.assertNotIn(key, "".join(host.output))
        self.assertEqual(files_holding(private, started, key.encode()), [])
        self.assertEqual(files_holding(tempfile.gettempdir(), started, key.encode(), recursive=False), [])


if __name__ == "__main__":
    unittest.main()
