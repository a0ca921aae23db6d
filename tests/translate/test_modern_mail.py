"""With "Modern Mail" on, through a private Dovecot: every English mail of the present-day corpus gets a copy
that Python's email package reads without defects, holding each source sentence and the engine's translation
after every paragraph; Japanese mails get none. fetchmail fetches the copies; curl, after a second round."""

import email
import email.policy
import glob
import html
import os
import pathlib
import re
import shutil
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "integration"))
import clients  # noqa: E402
import dovecot  # noqa: E402
from relay_host import RelayHost  # noqa: E402

CORPUS = sorted(glob.glob(os.path.join(HERE, "..", "data", "mail", "modern", "*.eml")))


def words(text):
    return " ".join(text.split())


def parse(raw):
    return email.message_from_bytes(raw, policy=email.policy.default)


def source_pieces(raw):
    """The texts the copy must hold intact: each line of the plain text (quote marks aside), or each visible text
    run of the HTML."""
    body = parse(raw).get_body(preferencelist=("plain", "html"))
    content = body.get_content()
    if body.get_content_type() == "text/html":
        content = re.sub(r"(?is)<(script|style|title)\b.*?</\1\s*>", "", content)
        return [words(html.unescape(piece)) for piece in re.split(r"<[^>]*>", content) if words(piece)]
    return [words(line.lstrip("> ")) for line in content.splitlines() if words(line.lstrip("> "))]


class ModernMailTest(unittest.TestCase):
    def setUp(self):
        self.mails = [pathlib.Path(path).read_bytes() for path in CORPUS]
        self.english = [mail for path, mail in zip(CORPUS, self.mails)
                        if not os.path.basename(path).startswith("japanese")]
        self.server = dovecot.Dovecot(self.mails).start()
        self.addCleanup(self.server.stop)
        self.host = RelayHost(self.server.port, translation_engine=True)
        # The engine marks its source: a paragraph comes back as "訳:" and the text; an empty one as nothing.
        self.host.settings += ["Modern Mail=1", "Engine=command", r"Command=sed 's/^/\xe8\xa8\xb3:/'"]
        self.host.start()
        self.addCleanup(self.host.stop)
        self.home = tempfile.mkdtemp(prefix="fetch")
        self.addCleanup(shutil.rmtree, self.home, True)

    def relay_and_translate(self):
        """One relayed fetch of every mail; the translation of the captured mails."""
        clients.curl_mails(self.host.port, self.server.user, self.server.password, len(self.mails), self.home)
        self.assertTrue(self.host.wait_translated(), "the captured mails are translated")

    def check_copy(self, copy, original):
        message, source = parse(copy), parse(original)
        self.assertEqual([d for part in message.walk() for d in part.defects], [])
        self.assertEqual((message.get_content_type(), message.get_content_charset()), ("text/plain", "utf-8"))
        self.assertEqual(message["Subject"], "TR: " + source["Subject"])
        for name in ("From", "To", "Date", "Received"):
            self.assertEqual(message[name], source[name], "the original's fields stay")
        lines = message.get_content().splitlines()
        self.assertNotIn("\ufffd", message.get_content())
        own = words(" ".join(line.lstrip("> ") for line in lines if not line.startswith("|")))
        for piece in source_pieces(original):
            self.assertIn(piece, own)
        # One line per attachment, at the end.
        attachments = ["添付ファイル: %s (%s" % (part.get_filename(), part.get_content_type())
                       for part in source.walk() if part.get_filename()]
        self.assertEqual([line.split(", ")[0] for line in lines if line.startswith("添付ファイル: ")], attachments)
        # Every run of source lines is followed by its translation, marked "|" and the quote prefix.
        text = [line for line in lines if not line.startswith("添付ファイル: ")]
        for at, line in enumerate(text):
            if line and not line.startswith("|") and (at + 1 == len(text) or not text[at + 1]):
                self.fail("no translation after %r in\n%s" % (line, "\n".join(lines)))
            if line.startswith("|") and not text[at - 1].startswith("|"):
                self.assertIn("訳:", line)

    def check_copies(self, copies):
        self.assertEqual(len(copies), len(self.english), "one copy per English mail, none for Japanese ones")
        for copy, original in zip(copies, self.english):
            with self.subTest(subject=parse(original)["Subject"]):
                self.check_copy(copy, original)

    def test_fetchmail_then_curl_get_clean_utf8_copies(self):
        self.relay_and_translate()
        copies = clients.fetchmail(self.host.port, "anyone", "anything", self.home)
        if copies is None:
            self.skipTest("fetchmail is not installed")
        self.check_copies(copies)
        self.relay_and_translate()  # the connection after the copies is relayed again
        self.check_copies(clients.curl_mails(self.host.port, "anyone", "anything", len(self.english),
                                             self.home))


if __name__ == "__main__":
    unittest.main()
