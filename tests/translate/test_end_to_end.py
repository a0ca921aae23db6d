"""End to end with a private Dovecot and real clients: the first fetch is relayed unchanged and its English mails
are captured; once translated copies wait, the next fetch gets only them (text/plain in ISO-2022-JP, "TR: "
subjects, the Japanese after each paragraph); the fetch after that is relayed again. Mails that are multipart,
above the size limit or Japanese are not translated, and without an engine the captured mails wait. A network
engine's Japanese answer arrives in ISO-2022-JP too."""

import email
import email.policy
import os
import poplib
import subprocess
import sys
import time
import unittest
import unittest.mock

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "integration"))
import dovecot  # noqa: E402

TIMEOUT = 60
GREETING = b"+OK Welcome to the NV POP3 Proxy Server"


def _mail(subject, body, content_type=b"text/plain; charset=us-ascii", extra=b""):
    return (b"From: Bob <bob@example.org>\r\n"
            b"To: Alice <alice@example.org>\r\n"
            b"Subject: " + subject + b"\r\n"
            b"Date: Sat, 5 Dec 2026 10:00:00 +0000\r\n"
            b"Message-ID: <" + subject.replace(b" ", b"-") + b"@example.org>\r\n"
            b"MIME-Version: 1.0\r\n"
            b"Content-Type: " + content_type + b"\r\n" + extra +
            b"\r\n" + body)


ENGLISH = _mail(b"Project update",
                b"Hello Alice,\r\n\r\nThe new book about cats arrived today.\r\nWe will read it together.\r\n\r\n"
                b"> Did the book arrive?\r\n> I am waiting for it.\r\n\r\nRegards\r\nBob\r\n")
QUOTED_PRINTABLE = _mail(b"Printable",
                         b"This water is cold and the house is warm. We want to translate every word of this long "
                         b"sen=\r\ntence.\r\n",
                         extra=b"Content-Transfer-Encoding: quoted-printable\r\n")
MULTIPART = _mail(b"Multipart", b"--b1\r\nContent-Type: text/plain\r\n\r\nHello from a part.\r\n--b1--\r\n",
                  content_type=b"multipart/mixed; boundary=b1")
LARGE = _mail(b"Large", b"This line is part of a large English mail.\r\n" * 900)
JAPANESE = _mail(b"Japanese", "これは日本語のメールです。\r\n翻訳はいりません。\r\n".encode("iso-2022-jp"),
                 content_type=b"text/plain; charset=ISO-2022-JP")
MAILS = [ENGLISH, MULTIPART, LARGE, JAPANESE, QUOTED_PRINTABLE]


def start_fake_engine(test):
    """The fake chat engine for one test, ended by the test's clean-up; its port."""
    engine = subprocess.Popen([sys.executable, os.path.join(HERE, "..", "engines", "fake_translation_server.py")],
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    test.addCleanup(engine.stdout.close)
    test.addCleanup(engine.wait, TIMEOUT)
    test.addCleanup(engine.stdin.close)
    return int(engine.stdout.readline())


class TranslationHost:
    """translation_host in a process of its own; every line it prints is kept in output."""

    def __init__(self, mail_server_port, *settings, env=None, stderr=None):
        executable = os.environ.get("TRANSLATION_HOST")
        if not executable:
            raise RuntimeError("TRANSLATION_HOST is not set (the path of the built translation_host program)")
        self.process = subprocess.Popen([executable, str(mail_server_port)] + list(settings),
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=stderr, env=env,
                                        text=True)
        self.output = [self.process.stdout.readline()]
        if not self.output[0].startswith("PORT "):
            self.stop()
            raise RuntimeError("translation_host did not start: %r" % self.output[0])
        self.port = int(self.output[0].split()[1])

    def state(self):
        self.process.stdin.write("STATE\n")
        self.process.stdin.flush()
        self.output.append(self.process.stdout.readline())
        _, translating, translated, queued = self.output[-1].split()
        return translating == "1", translated == "1", int(queued)

    def wait_until_idle(self):
        deadline = time.monotonic() + TIMEOUT
        while time.monotonic() < deadline:
            state = self.state()
            if not state[0]:
                return state
            time.sleep(0.01)
        raise AssertionError("the translate thread did not finish its batch")

    def stop(self):
        """Ends the host; its exit code."""
        if self.process:
            self.process.stdin.close()
            self.output.append(self.process.stdout.read())
            try:
                self.process.wait(timeout=60)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
            self.process.stdout.close()
            self.returncode, self.process = self.process.returncode, None
        return self.returncode


def fetch_all(port, user, password):
    client = poplib.POP3("127.0.0.1", port, timeout=TIMEOUT)
    client.user(user)
    client.pass_(password)
    mails = [b"\r\n".join(client.retr(n)[1]) for n in range(1, client.stat()[0] + 1)]
    client.quit()
    return mails


class EndToEndTest(unittest.TestCase):
    def start(self, *settings):
        self.server = dovecot.Dovecot(MAILS).start()
        self.addCleanup(self.server.stop)
        self.host = TranslationHost(self.server.port, *settings)
        self.addCleanup(self.host.stop)

    def fetch_all(self, port):
        return fetch_all(port, self.server.user, self.server.password)

    def connect(self, user=None, password=None, greeting=True):
        """A client of the relay, logged in; greeting says whether the translated copies are expected."""
        client = poplib.POP3("127.0.0.1", self.host.port, timeout=TIMEOUT)
        (self.assertEqual if greeting else self.assertNotEqual)(client.getwelcome(), GREETING)
        client.user(user or self.server.user)
        client.pass_(password or self.server.password)
        return client

    def check_translated(self, raw, subject):
        message = email.message_from_bytes(raw, policy=email.policy.default)
        self.assertEqual(message.get_content_type(), "text/plain")
        self.assertEqual(message.get_content_charset(), "iso-2022-jp")
        self.assertEqual(message["Subject"], "TR: " + subject)
        return message.get_content().splitlines()

    def test_fetches_are_relayed_then_translated_then_relayed_again(self):
        self.start()
        direct = self.fetch_all(self.server.port)
        relayed = self.fetch_all(self.host.port)
        self.assertEqual(relayed, direct, "the first fetch gets the mails unchanged")
        _, translated_waiting, queued = self.host.wait_until_idle()
        self.assertTrue(translated_waiting)
        self.assertEqual(queued, 0)

        client = self.connect("anyone", "anything")
        self.assertEqual(client.stat()[0], 2, "only the English text/plain mails within the size limit")
        first = self.check_translated(b"\r\n".join(client.retr(1)[1]), "Project update")
        second = self.check_translated(b"\r\n".join(client.retr(2)[1]), "Printable")
        client.quit()

        # The mail's own lines stay; the translation follows each paragraph, marked "|" and the quote prefix.
        at = first.index("We will read it together.")
        self.assertTrue(first[at + 1].startswith("|"), first)
        self.assertIn("book(本)", "".join(line[1:] for line in first[at + 1:] if line.startswith("|")))
        quoted = first.index("> I am waiting for it.")
        self.assertTrue(first[quoted + 1].startswith("|> "), first)
        self.assertTrue(first[0] == "Hello Alice," and first[1].startswith("|"), first)
        self.assertIn("water(水)", "".join(second))
        self.assertFalse(self.host.state()[1], "the translated copies were offered in one connection")

        again = self.connect(greeting=False)  # the third fetch is relayed again
        self.assertEqual(again.stat()[0], len(MAILS))
        again.quit()

    def test_two_connections_at_once_only_the_first_gets_the_translated_copies(self):
        self.start()
        self.fetch_all(self.host.port)
        self.host.wait_until_idle()
        first = poplib.POP3("127.0.0.1", self.host.port, timeout=TIMEOUT)
        second = poplib.POP3("127.0.0.1", self.host.port, timeout=TIMEOUT)
        self.assertEqual(first.getwelcome(), GREETING)
        self.assertNotEqual(second.getwelcome(), GREETING)
        for client, user, password, count in ((first, "x", "y", 2),
                                              (second, self.server.user, self.server.password, len(MAILS))):
            client.user(user)
            client.pass_(password)
            self.assertEqual(client.stat()[0], count)
        # Nothing retrieved and nothing deleted: the translated copies are gone all the same.
        first.quit()
        second.quit()
        self.connect(greeting=False).quit()

    def test_network_engine_answer_is_delivered_in_iso_2022_jp(self):
        # The chat engine answers in UTF-8; its Japanese must reach the client as 7-bit ISO-2022-JP, not as the
        # Shift_JIS the composition works in. The answer holds several double-byte characters: a line with a single
        # one before ASCII (like "訳:") reads as much like EUC-JP as like Shift_JIS and is by design left as it is.
        engine_port = start_fake_engine(self)
        mail = _mail(b"Network", b"japanese first paragraph.\r\n\r\n> japanese quoted paragraph.\r\n")
        self.server = dovecot.Dovecot([mail]).start()
        self.addCleanup(self.server.stop)
        with unittest.mock.patch.dict(os.environ, OPENAI_API_KEY="sk-test"):
            self.host = TranslationHost(self.server.port, "Engine=openai",
                                        "Endpoint=http://127.0.0.1:%d/v1" % engine_port, "Model=small-model")
        self.addCleanup(self.host.stop)
        self.fetch_all(self.host.port)
        self.assertTrue(self.host.wait_until_idle()[1])
        raw = self.fetch_all(self.host.port)[0]
        self.assertEqual([byte for byte in raw if byte >= 0x80], [], raw)
        self.assertIn(b"\x1b$B", raw)
        lines = self.check_translated(raw, "Network")
        self.assertIn("|日本語の訳:japanese first paragraph.", lines)
        self.assertIn("|> 日本語の訳:japanese quoted paragraph.", lines)

    def test_without_engine_the_mails_wait(self):
        self.start("DictionaryPath=/nonexistent/dictionary")
        # The first connection and every later one are relayed while the mail waits for an engine.
        for number in (1, 4, 4, 4):
            client = self.connect(greeting=False)
            client.retr(number)  # each capture wakes the thread for one more attempt
            client.quit()
        translating, translated_waiting, queued = self.host.state()
        self.assertTrue(translating)
        self.assertFalse(translated_waiting)
        self.assertGreaterEqual(queued, 1)


if __name__ == "__main__":
    unittest.main()
