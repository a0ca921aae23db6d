"""A real POP3 client logs in through the relay as it does directly, with SASL when "Relay Authentication" is on
(the relayed mails themselves are compared with curl and fetchmail in the application's end-to-end tests)."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import clients  # noqa: E402
import dovecot  # noqa: E402
import mails  # noqa: E402
from relay_host import RelayHost  # noqa: E402


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
