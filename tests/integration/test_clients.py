"""Real POP3 clients (curl, Python's poplib, fetchmail) retrieve through the relay exactly what they retrieve
directly from Dovecot, and every mail they retrieve is captured once."""

import os
import poplib
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import clients  # noqa: E402
import dovecot  # noqa: E402
import mails  # noqa: E402
from relay_host import RelayHost  # noqa: E402

TIMEOUT = 120


class RelayClientsTest(unittest.TestCase):
    def setUp(self):
        self.mails = mails.standard_set()
        self.server = dovecot.Dovecot(self.mails).start()
        self.addCleanup(self.server.stop)
        self.relay = RelayHost(self.server.port).start()
        self.addCleanup(self.relay.stop)

    # --- poplib ----------------------------------------------------------------------------------------------

    def test_poplib_capa_is_unknown_and_login_still_works(self):
        client = poplib.POP3("127.0.0.1", self.relay.port, timeout=TIMEOUT)
        for step in ("before login", "after login"):
            with self.assertRaises(poplib.error_proto, msg=step) as refused:
                client._shortcmd("CAPA")
            self.assertEqual(refused.exception.args[0], b"-ERR Unknown command: CAPA")
            if step == "before login":
                client.user(self.server.user)
                client.pass_(self.server.password)
        self.assertEqual(client.stat()[0], len(self.mails))
        client.quit()

    # --- curl -------------------------------------------------------------------------------------------------

    def _curl(self, port, path):
        return clients.curl(port, self.server.user, self.server.password, path)

    def test_curl_gets_the_same_mails_and_list_as_directly(self):
        self.assertEqual(self._curl(self.relay.port, ""), self._curl(self.server.port, ""))
        for n in range(1, len(self.mails) + 1):
            with self.subTest(mail=n):
                self.assertEqual(self._curl(self.relay.port, str(n)), self._curl(self.server.port, str(n)))
        self.assertEqual(self.relay.wait_pending_mails(len(self.mails)), len(self.mails))

    # --- fetchmail --------------------------------------------------------------------------------------------

    def _fetchmail(self, port):
        home = tempfile.mkdtemp(prefix="fetch")
        self.addCleanup(shutil.rmtree, home, True)
        stored = clients.fetchmail(port, self.server.user, self.server.password, home)
        if stored is None:
            self.skipTest("fetchmail is not installed")
        return stored

    def test_fetchmail_delivers_the_same_mails_as_directly(self):
        direct = self._fetchmail(self.server.port)
        relayed = self._fetchmail(self.relay.port)
        self.assertEqual(len(direct), len(self.mails))
        self.assertEqual(len(relayed), len(direct))
        for n, (want, got) in enumerate(zip(direct, relayed), start=1):
            self.assertEqual(got, want, "mail %d" % n)
        self.assertEqual(self.relay.wait_pending_mails(len(self.mails)), len(self.mails))
        self.assertEqual(self.relay.collect(), (0, 0))


class RelayAuthenticationTest(unittest.TestCase):
    """With "Relay Authentication" on, curl logs in with SASL PLAIN through the relay, as it does directly."""

    def test_curl_logs_in_with_auth_plain_and_gets_the_mail_then_its_translated_copy(self):
        server = dovecot.Dovecot([mails.plain()], auth_debug=True).start()
        self.addCleanup(server.stop)
        relay = RelayHost(server.port, translation_engine=True, relay_authentication=True).start()
        self.addCleanup(relay.stop)
        relayed = clients.curl(relay.port, server.user, server.password, "1", "--login-options", "AUTH=PLAIN")
        # Without an initial response the login takes a challenge and an answer, which Dovecot logs as "CONT".
        self.assertIn("client in: CONT", server.log())
        self.assertEqual(relayed, clients.curl(server.port, server.user, server.password, "1",
                                               "--login-options", "AUTH=PLAIN"))
        self.assertTrue(relay.wait_translated())
        # The translated-mail session answers curl's CAPA and AUTH PLAIN exchange itself.
        translated = clients.curl(relay.port, server.user, server.password, "1", "--login-options", "AUTH=PLAIN")
        self.assertIn(b"Subject: TR: plain\r\n", translated)
        self.assertIn(b"This is a short English mail.\r\n|", translated)


if __name__ == "__main__":
    unittest.main()
