"""The settings page in a real browser (headless Chromium through Selenium), and its refusals of requests that do
not come from the page. Exits 77 (skipped) when Chromium or its driver is not installed. With SETTINGS_SCREENSHOT=PATH
the rule editor's test also writes the picture of the usage guide (docs/images/settings.png) there."""

import http.client
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import urllib.parse

VUVEDCTL = os.environ["VUVEDCTL"]
CHROMIUM = shutil.which("chromium")
DRIVER = shutil.which("chromedriver")
if __name__ == "__main__" and not (CHROMIUM and DRIVER):
    print("settings page test skipped: chromium or chromedriver is not installed")
    sys.exit(77)

from selenium import webdriver  # noqa: E402
from selenium.webdriver.chrome.service import Service  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.support import expected_conditions  # noqa: E402
from selenium.webdriver.support.select import Select  # noqa: E402
from selenium.webdriver.support.ui import WebDriverWait  # noqa: E402

WAIT = 30
# One pair named Spam: Subject contains "urgent", case- and width-insensitive, as the rule text stores it.
SPAM_RULE_TEXT = "\n".join(["Rule", "{", "1", "Spam", "0", "0", "1", "WordContainSubjectRule", "{", "WordRule", "{",
                            "MailRule", "{", "0", "}", "6", "urgent", "1", "0", "0", "}", "}", "}"]) + "\n"
MAILS = {"urgent.eml": "Subject: Re: URGENT notice\n\nPlease read.\n",
         "wide.eml": "Subject: \uff35\uff32\uff27\uff25\uff2e\uff34 today\n\nFull-width letters.\n",
         "other.eml": "Subject: Weekly news\n\nNothing urgent in the subject.\n"}


class SettingsPage(unittest.TestCase):
    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="vuved-page-")
        self.addCleanup(shutil.rmtree, self.home, True)
        self.env = dict(os.environ, VUVED_REGISTRY_DIR=os.path.join(self.home, "registry"),
                        XDG_RUNTIME_DIR=os.path.join(self.home, "run"),
                        XDG_STATE_HOME=os.path.join(self.home, "state"), VUVED_NO_GUI="1")
        os.mkdir(self.env["XDG_RUNTIME_DIR"], 0o700)
        self.ctl("settings", "set", "MailServerAddress", "pop.example.jp")
        self.ctl("settings", "set", "MailServerPort", "995")
        self.page = subprocess.Popen([VUVEDCTL, "ui", "--print"], env=self.env, stdout=subprocess.PIPE, text=True)
        self.addCleanup(self.page.stdout.close)
        self.addCleanup(self.page.wait, WAIT)
        self.addCleanup(self.page.terminate)
        self.url = self.page.stdout.readline().strip()
        self.address = urllib.parse.urlsplit(self.url).netloc

    def ctl(self, *arguments):
        return subprocess.run([VUVEDCTL, *arguments], env=self.env, check=True, text=True,
                              stdout=subprocess.PIPE).stdout

    def registry_files(self):  # what a refused change must leave as it was
        return {os.path.join(root, name): pathlib.Path(root, name).read_bytes()
                for root, _, names in os.walk(self.env["VUVED_REGISTRY_DIR"]) for name in names}

    def browser(self):
        options = webdriver.ChromeOptions()
        for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1100,2400", "--lang=ja"):
            options.add_argument(argument)
        options.add_experimental_option("prefs", {"intl.accept_languages": "ja"})
        options.binary_location = CHROMIUM
        driver = webdriver.Chrome(service=Service(DRIVER), options=options)
        self.addCleanup(driver.quit)
        driver.get(self.url)
        WebDriverWait(driver, WAIT).until(lambda d: d.find_element(By.TAG_NAME, "body").get_attribute("data-loaded"))
        return driver

    def field(self, driver, name):
        return driver.find_element(By.CSS_SELECTOR, '#settings [name="%s"]' % name)

    def fill(self, driver, values):
        for name, value in values.items():
            self.field(driver, name).clear()
            self.field(driver, name).send_keys(value)

    def wait_for_text(self, driver, element_id, text):
        WebDriverWait(driver, WAIT).until(expected_conditions.text_to_be_present_in_element((By.ID, element_id), text))

    def test_shows_the_stored_settings_in_japanese_refuses_a_bad_port_and_stores_a_change(self):
        driver = self.browser()
        self.assertIn("メールサーバー", driver.find_element(By.TAG_NAME, "body").text)
        self.assertEqual(self.field(driver, "MailServerAddress").get_attribute("value"), "pop.example.jp")
        self.assertEqual(self.field(driver, "MailServerPort").get_attribute("value"), "995")
        self.assertEqual(self.field(driver, "English Rate").get_attribute("value"), "50")  # the default
        # The token has left the address bar; the cookie that replaced it is out of the script's reach.
        self.assertNotIn("token", driver.current_url)
        self.assertEqual(driver.execute_script("return document.cookie"), "")

        # A bad port is refused next to its field, and nothing is stored.
        before = self.registry_files()
        self.fill(driver, {"MailServerAddress": "pop.other.example", "MailServerPort": "70000"})
        driver.find_element(By.ID, "save-settings").click()
        problem = driver.find_element(By.CSS_SELECTOR, '[data-problem="MailServerPort"]')
        WebDriverWait(driver, WAIT).until(lambda d: problem.text)
        self.assertIn("1 から 65535 までのポート番号", problem.text)
        self.assertEqual(self.registry_files(), before)

        self.fill(driver, {"MailServerPort": "995", "ProxyBasedTranslationPort": "11110"})
        self.field(driver, "AutoRecognize").click()
        driver.find_element(By.ID, "save-settings").click()
        self.wait_for_text(driver, "settings-message", "保存しました")
        shown = self.ctl("settings", "show")
        self.assertRegex(shown, r"ProxyBasedTranslationPort\s+REG_DWORD 11110")
        self.assertRegex(shown, r"AutoRecognize\s+REG_DWORD 0")

    def test_a_pair_built_in_the_editor_is_the_pair_imported_as_text(self):
        paths = [os.path.join(self.home, name) for name in sorted(MAILS)]
        for path in paths:  # in Shift_JIS, as the server holds mail text
            pathlib.Path(path).write_text(MAILS[os.path.basename(path)], encoding="cp932")

        driver = self.browser()
        driver.find_element(By.ID, "add-pair").click()

        def pair_field(name):  # looked up each time: a click draws the pair anew
            return driver.find_element(By.CSS_SELECTOR, '[data-pair="0"] [name="%s"]' % name)
        pair_field("pairName").send_keys("Spam")
        pair_field("pairCaseSensitive").click()
        pair_field("pairWidthSensitive").click()
        Select(pair_field("kind")).select_by_value("WordContainSubjectRule")
        pair_field("text").send_keys("urgent")
        Select(pair_field("matchMode")).select_by_value("1")
        driver.find_element(By.ID, "save-rules").click()
        self.wait_for_text(driver, "rules-message", "保存しました")
        if os.environ.get("SETTINGS_SCREENSHOT"):  # the picture of the usage guide, with this pair
            driver.set_window_size(1100, driver.execute_script("return document.body.scrollHeight") + 200)
            driver.save_screenshot(os.environ["SETTINGS_SCREENSHOT"])
        built = self.ctl("rules", "export")

        driver.find_element(By.CSS_SELECTOR, "#rule-text-box summary").click()
        driver.execute_script("arguments[0].value = arguments[1]", driver.find_element(By.NAME, "Mailer Rule"),
                              SPAM_RULE_TEXT)
        driver.find_element(By.CSS_SELECTOR, '[data-pair="0"] .buttons button:last-child').click()  # remove
        driver.find_element(By.ID, "import-rules").click()
        self.wait_for_text(driver, "rule-text-message", "読み込みました")
        driver.find_element(By.ID, "save-rules").click()
        self.wait_for_text(driver, "rules-message", "保存しました")

        self.assertEqual(built, SPAM_RULE_TEXT + "\n")
        self.assertEqual(self.ctl("rules", "export"), built)
        # Case- and width-insensitive: both spellings of URGENT match, the other subject does not.
        self.assertEqual(self.ctl("rules", "match", *paths).splitlines(),
                         ["%s: %s" % (path, "-" if path.endswith("other.eml") else "Spam") for path in paths])

    def request(self, method, path, headers):
        connection = http.client.HTTPConnection(self.address, timeout=WAIT)
        self.addCleanup(connection.close)
        connection.request(method, path, body="{}" if method == "POST" else None, headers=headers)
        return connection.getresponse()

    def test_requests_not_from_the_page_are_refused(self):
        token = urllib.parse.parse_qs(urllib.parse.urlsplit(self.url).query)["token"][0]
        opened = self.request("GET", "/?token=" + token, {"Host": self.address})
        self.assertEqual(opened.status, 303)
        cookie = opened.getheader("Set-Cookie").split(";")[0]
        self.assertIn("SameSite=Strict", opened.getheader("Set-Cookie"))  # HttpOnly: the browser test sees no cookie
        own = {"Host": self.address, "Cookie": cookie}
        page = self.request("GET", "/", own).read().decode()
        session = re.search(r'name="session-token" content="([0-9a-f]+)"', page).group(1)
        change = dict(own, **{"Content-Type": "application/json", "X-Session-Token": session})
        before = self.registry_files()
        cases = [
            ("no token", "GET", "/api/settings", {"Host": self.address}),
            ("wrong token", "GET", "/?token=" + "0" * len(token), {"Host": self.address}),
            ("foreign Host", "GET", "/api/settings", dict(own, Host="attacker.example:" + self.address.split(":")[1])),
            ("foreign Origin", "POST", "/api/close", dict(change, Origin="http://attacker.example")),
            ("change without the session token", "POST", "/api/close",
             dict(own, **{"Content-Type": "application/json"})),
        ]
        for name, method, path, headers in cases:
            with self.subTest(name):
                self.assertEqual(self.request(method, path, headers).status, 403)
        self.assertEqual(self.registry_files(), before)
        self.assertIsNone(self.page.poll())  # still serving: no refused close went through
        # The page itself, from its own origin, may close it; the process then ends.
        self.assertEqual(self.request("POST", "/api/close", dict(change, Origin="http://" + self.address)).status, 200)
        self.assertEqual(self.page.wait(WAIT), 0)


if __name__ == "__main__":
    unittest.main(verbosity=2)
