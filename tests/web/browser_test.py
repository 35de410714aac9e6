#!/usr/bin/python3
"""The web frontend in a real browser (headless Chromium through Selenium):
log in with the token, walk the pages, change the display mode and the FTP
directory, write an image and watch the progress bar, exit with a save, and
compare what the controller holds with the same actions done by a script;
the open-file dialog with its upload; the keyboard; the registry viewer's
text; a phone's screen; a stalled link."""

import os
import signal
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import webutil  # noqa: E402
from webutil import ids  # noqa: E402

from selenium.common.exceptions import StaleElementReferenceException  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.common.keys import Keys  # noqa: E402
from selenium.webdriver.support.ui import Select, WebDriverWait  # noqa: E402

# Large enough that the write lasts several of the page's update intervals
# (50 ms) on a fast disk.
IMAGE_AREA = 320 << 20
IMAGE_SIZE = 256 << 20

# What the browser test does, as the script frontend's language.
SCRIPT = f"""select {ids.IDC_RESOLUTION} 2
click {ids.IDC_DISPLAY_CHANGE}
type {ids.IDC_FTP_DIR} "\\\\Windows"
click {ids.IDC_FTP_CHANGE}
tab 2
tab 3
tab 4
tab 5
tab 4
type {ids.IDC_IMAGE_PATH} "\\\\Temp\\\\nk.bin"
answer OK NO
click {ids.IDC_WRITE_FLASH}
answer YES YES NO
ok
"""


def image_bytes(size):
    block = bytes((i * 7 + 3) & 0xFF for i in range(65536))
    return (block * (size // len(block) + 1))[:size]


class Browser:
    """The utility on a new controller and a headless Chromium logged in."""

    def __init__(self, controller, window_size="1100,800"):
        self.utility = webutil.Utility(controller)
        self.profile = tempfile.mkdtemp(prefix="orva-chromium-")
        self.driver = webutil.chromium(self.utility, self.profile, window_size)

    def log_in(self):
        self.driver.get(self.utility.url)
        self.wait(lambda d: d.find_elements(By.CSS_SELECTOR, ".sheet"))
        return self

    def wait(self, condition, timeout=30):
        # The page redraws as the program goes: an element read a moment ago
        # may be gone; the condition is tried again.
        return WebDriverWait(self.driver, timeout, poll_frequency=0.05,
                             ignored_exceptions=[StaleElementReferenceException]).until(condition)

    def control(self, control_id):
        """The shown control with `control_id` on the page or dialog box in front."""
        def find(d):
            for e in d.find_elements(By.CSS_SELECTOR, f'[data-id="{control_id}"]'):
                if e.is_displayed():
                    return e
            return None
        return self.wait(find)

    def tab(self, caption):
        for b in self.driver.find_elements(By.CSS_SELECTOR, ".tabs button"):
            if b.text == caption:
                b.click()
                break
        else:
            raise AssertionError(f"no tab {caption}")
        self.wait(lambda d: d.find_element(By.XPATH, f'//div[@class="tabs"]/button[.="{caption}"]')
                  .get_attribute("aria-selected") == "true")

    def shown_page(self):
        for p in self.driver.find_elements(By.CSS_SELECTOR, ".pages > .dialog"):
            if p.is_displayed():
                return int(p.get_attribute("data-template"))
        return None

    def box(self):
        """The message box shown: (caption, text)."""
        box = self.wait(lambda d: d.find_elements(By.CSS_SELECTOR, ".box"))[0]
        return box.find_element(By.CSS_SELECTOR, ".title").text, box.find_element(By.CSS_SELECTOR, ".box-text").text

    def answer(self, caption, text, answer):
        """Checks the box in front and answers it; waits until it is gone."""
        self.wait(lambda d: self.box() == (caption, text), timeout=60)
        box = self.driver.find_element(By.CSS_SELECTOR, ".box")
        seq = box.id
        box.find_element(By.CSS_SELECTOR, f'button[data-answer="{answer}"]').click()
        self.wait(lambda d: all(b.id != seq for b in d.find_elements(By.CSS_SELECTOR, ".box")))

    def type_into(self, control_id, text):
        e = self.control(control_id)
        e.click()
        e.send_keys(Keys.CONTROL, "a")
        e.send_keys(text)

    def notice(self):
        return self.wait(lambda d: d.find_element(By.ID, "notice-title").text or None)

    def focus_stays_in(self, selector, presses=12):
        """Tab and Shift+Tab go round the window in front: the elements the
        focus went to, none outside it."""
        seen = []
        for keys in [Keys.TAB] * presses + [Keys.SHIFT + Keys.TAB] * 3:
            self.driver.switch_to.active_element.send_keys(keys)
            inside = self.driver.execute_script(
                f"return document.querySelector('{selector}').contains(document.activeElement)")
            seen.append(self.driver.switch_to.active_element.text or
                        self.driver.switch_to.active_element.get_attribute("id"))
            assert inside, f"the focus left {selector}: {seen}"
        return seen

    def screen(self, width, height):
        """Emulates a screen of that size (a phone's below 500 px)."""
        self.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                                    {"width": width, "height": height, "deviceScaleFactor": 1, "mobile": width < 500})

    def within_screen(self, selector):
        """Whether the element is wholly on the screen."""
        return self.driver.execute_script(f"""
            const r = document.querySelector('{selector}').getBoundingClientRect();
            return r.left >= 0 && r.top >= 0 && r.right <= innerWidth && r.bottom <= innerHeight;""")

    def console_errors(self):
        """What the page reported as errors: a script's exceptions, refused
        content (the Content-Security-Policy), failed requests."""
        return [e["message"] for e in self.driver.get_log("browser") if e["level"] == "SEVERE"]

    def close(self):
        self.driver.quit()
        self.utility.stop()
        subprocess.run(["rm", "-rf", self.profile])


class BrowserTest(unittest.TestCase):
    def setUp(self):
        self.controllers = []

    def tearDown(self):
        for c in self.controllers:
            c.remove()

    def controller(self):
        c = webutil.Controller(image_area=IMAGE_AREA)
        self.controllers.append(c)
        return c

    def test_the_operator_walks_changes_writes_and_saves_as_a_script_would(self):
        web, script = self.controller(), self.controller()
        with open(os.path.join(web.fs, "Temp", "nk.bin"), "wb") as f:
            f.write(image_bytes(IMAGE_SIZE))
        os.link(os.path.join(web.fs, "Temp", "nk.bin"), os.path.join(script.fs, "Temp", "nk.bin"))

        b = Browser(web).log_in()
        try:
            d = b.driver
            # The token is gone from the address; the cookie is the session's.
            self.assertEqual(d.current_url, f"{b.utility.origin}/")
            cookies = d.get_cookies()
            self.assertEqual(len(cookies), 1)
            self.assertTrue(cookies[0]["httpOnly"])
            self.assertTrue(cookies[0]["secure"])
            self.assertEqual(cookies[0]["sameSite"], "Strict")
            self.assertEqual(b.shown_page(), ids.IDD_SETTINGS)

            # Save Registry: the display mode and the FTP directory.
            Select(b.control(ids.IDC_RESOLUTION)).select_by_visible_text("800 x 600")
            b.control(ids.IDC_DISPLAY_CHANGE).click()
            b.wait(lambda d: b.control(ids.IDC_RESOLUTION_LABEL).text == "Resolution : 800 x 600")
            b.type_into(ids.IDC_FTP_DIR, "\\Windows")
            b.control(ids.IDC_FTP_CHANGE).click()
            b.wait(lambda d: b.control(ids.IDC_FTP_LABEL).text == "Change FTP default directory \\Windows to :")

            # The five pages, each drawn when its tab is chosen.
            for caption, page in [("System Config", ids.IDD_SYSINFO), ("Auto-execute", ids.IDD_AUTORUN),
                                  ("Version Update", ids.IDD_UPDATE), ("About Orva_Utility", ids.IDD_ABOUTBOX)]:
                b.tab(caption)
                b.wait(lambda d: b.shown_page() == page)
                if page == ids.IDD_SYSINFO:
                    self.assertEqual(b.control(ids.IDC_SLOT1).text, "R-OR5DI")
                    self.assertTrue(b.control(ids.IDC_SERIAL_NUMBER).text.startswith("01"))
            about_page = f'.dialog[data-template="{ids.IDD_ABOUTBOX}"]'
            about = [e.text for e in d.find_elements(By.CSS_SELECTOR, f"{about_page} .static")]
            self.assertIn("Orva_Utility Version 1.0", about)
            b.tab("Version Update")

            # The image write: the progress bar and status text as they are drawn.
            b.type_into(ids.IDC_IMAGE_PATH, "\\Temp\\nk.bin")
            page = f'.dialog[data-template="{ids.IDD_UPDATE}"]'
            d.execute_script(f"""
                window.seen = {{progress: [], status: []}};
                const bar = document.querySelector('{page} [data-id="{ids.IDC_PROGRESS}"]');
                const status = document.querySelector('{page} [data-id="{ids.IDC_STATUS}"]');
                new MutationObserver(() => window.seen.progress.push(Number(bar.getAttribute('aria-valuenow'))))
                    .observe(bar, {{attributes: true, attributeFilter: ['aria-valuenow']}});
                new MutationObserver(() => window.seen.status.push(status.textContent))
                    .observe(status, {{childList: true, characterData: true, subtree: true}});
                window.seen.busy = [];
                new MutationObserver(() => window.seen.busy.push([document.body.classList.contains('busy'),
                        getComputedStyle(document.getElementById('desktop')).filter,
                        document.getElementById('note').hidden ? '' : document.getElementById('note').textContent]))
                    .observe(document.body, {{attributes: true, attributeFilter: ['class']}});""")
            b.control(ids.IDC_WRITE_FLASH).click()
            b.answer("Update OS image", "Update OS image now ? It will take several minitues and the old OS image "
                     "will be overwritten", "ok")
            b.answer("Update OS image", "Update OS image succeed, Reboot now ?", "no")
            seen = d.execute_script("return window.seen;")
            segments = IMAGE_SIZE // 262144
            middle = [p for p in seen["progress"] if 0 < p < segments - 1]
            self.assertGreaterEqual(len(set(middle)), 3, seen)
            writing = {s for s in seen["status"] if s.startswith("Write Flash Memory -->") and s.endswith("% done")}
            self.assertGreaterEqual(len(writing), 3, seen["status"])
            self.assertEqual(b.control(ids.IDC_STATUS).text, "Write Flash Memory --> 100 % done !")
            # Meanwhile the sheet was greyed, with a note saying why.
            self.assertIn([True, "grayscale(1) opacity(0.55)",
                           "The utility is working. It takes no input until this is done."], seen["busy"])

            # Exit with a save.
            d.find_element(By.ID, "sheet-ok").click()
            b.answer("Save Registry", "Save your settings to registry ?", "yes")
            b.answer("Save Registry", "It would take 10-15 seconds to store your settings into internal non-volatile "
                     "memory. Proceed ?", "yes")
            b.answer("System Reboot", "All settings you changed will take effect after system reboot, reboot now ?",
                     "no")
            self.assertEqual(b.notice(), "Orva_Utility has ended")
            self.assertEqual(b.console_errors(), [])
            self.assertEqual(b.utility.wait(), 0, b.utility.errors())
            errors = b.utility.after_start().splitlines()
            self.assertEqual([e for e in errors if not e.startswith("orva-utility: intStartSegNo") and
                              not e.startswith("orva-utility: intEndSegNo")], [])
        finally:
            b.close()

        r = subprocess.run([os.path.join(webutil.BIN, "orva-utility"), "-C", script.dir, "--frontend", "script", "-"],
                           input=SCRIPT, capture_output=True, text=True)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        self.assertEqual(web.registry(), script.registry())
        # The log names each controller's own directory (the flash file grown
        # to the larger image area).
        self.assertEqual(web.log().replace(web.dir, "DIR"), script.log().replace(script.dir, "DIR"))
        self.assertIn(f"FlashWriteString_Img({IMAGE_SIZE // 262144 - 1}, 0, 262144) -> 1", web.log())

    def test_the_open_file_dialog_browses_uploads_and_the_keyboard_works(self):
        c = self.controller()
        upload = os.path.join(c.root, "new image.bin")
        with open(upload, "wb") as f:
            f.write(image_bytes(3 << 20))
        saved = c.tool("reg", "--saved", "export", "--utf8")
        b = Browser(c).log_in()
        try:
            d = b.driver
            # View Registry: the viewer's text in a read-only box, to scroll
            # and download; Tab stays in the box, Esc closes it.
            b.control(ids.IDC_VIEW_REGISTRY).click()
            text = b.wait(lambda d: d.find_elements(By.CSS_SELECTOR, ".viewer textarea"))[0]
            self.assertTrue(text.get_attribute("value").startswith("Windows Registry Editor Version 5.00\n"))
            self.assertEqual(text.get_attribute("readOnly"), "true")
            link = d.find_element(By.ID, "viewer-download")
            self.assertEqual(link.get_attribute("download"), "RegView.txt")
            self.assertTrue(link.get_attribute("href").startswith("blob:"))
            b.focus_stays_in(".viewer", presses=4)
            d.switch_to.active_element.send_keys(Keys.ESCAPE)
            b.wait(lambda d: not d.find_elements(By.CSS_SELECTOR, ".viewer"))

            # Left and Right move along the tab strip, the focus staying on it.
            d.find_element(By.XPATH, '//div[@class="tabs"]/button[.="Save Registry"]').click()
            for key, page, caption in [(Keys.ARROW_RIGHT, ids.IDD_SYSINFO, "System Config"),
                                       (Keys.ARROW_LEFT, ids.IDD_SETTINGS, "Save Registry")]:
                d.switch_to.active_element.send_keys(key)
                b.wait(lambda d: b.shown_page() == page and d.switch_to.active_element.text == caption)
            b.tab("Version Update")
            # Tab goes through the page's tab stops in template order.
            b.control(ids.IDC_IMAGE_PATH).click()
            order = []
            for _ in range(3):
                order.append(d.switch_to.active_element.get_attribute("data-id"))
                d.switch_to.active_element.send_keys(Keys.TAB)
            self.assertEqual(order, [str(ids.IDC_IMAGE_PATH), str(ids.IDC_IMAGE_BROWSE), str(ids.IDC_WRITE_FLASH)])

            # Browse with Enter: the dialog lists the controller's files.
            b.control(ids.IDC_IMAGE_BROWSE).send_keys(Keys.ENTER)
            where = b.wait(lambda d: d.find_element(By.CSS_SELECTOR, ".file-where"))
            self.assertEqual(where.text, "Look in: \\")
            names = [li.text for li in d.find_elements(By.CSS_SELECTOR, ".file-list li")]
            self.assertIn("Temp", names)
            self.assertIn("Windows", names)
            d.find_element(By.XPATH, '//ul[@class="file-list"]/li[.="Temp"]').click()
            b.wait(lambda d: d.find_element(By.CSS_SELECTOR, ".file-where").text == "Look in: \\Temp")
            d.find_element(By.ID, "file-up").click()
            b.wait(lambda d: d.find_element(By.CSS_SELECTOR, ".file-where").text == "Look in: \\")
            d.find_element(By.XPATH, '//ul[@class="file-list"]/li[.="Temp"]').click()
            b.wait(lambda d: d.find_element(By.CSS_SELECTOR, ".file-where").text == "Look in: \\Temp")

            # Upload into the folder shown: named only once whole.
            d.find_element(By.ID, "file-picker").send_keys(upload)
            b.wait(lambda d: d.find_element(By.CSS_SELECTOR, ".file-message").text ==
                   "new image.bin uploaded (3145728 bytes).")
            self.assertIn("new image.bin", [li.text for li in d.find_elements(By.CSS_SELECTOR, ".file-list li")])
            self.assertEqual(d.find_element(By.ID, "file-name").get_attribute("value"), "new image.bin")
            with open(os.path.join(c.fs, "Temp", "new image.bin"), "rb") as f, open(upload, "rb") as g:
                self.assertEqual(f.read(), g.read())
            self.assertEqual([n for n in os.listdir(os.path.join(c.fs, "Temp")) if n.startswith(".")], [])
            b.focus_stays_in(".file")
            # The same name again: a box asks first, and No keeps the file.
            d.find_element(By.ID, "file-picker").send_keys(upload)
            ask = b.wait(lambda d: d.find_elements(By.CSS_SELECTOR, ".file ~ .box"))[0]
            self.assertEqual(ask.find_element(By.CSS_SELECTOR, ".box-text").text,
                             "new image.bin is in \\Temp already.\nReplace it with the uploaded file (3145728 bytes)?")
            b.focus_stays_in(".box", presses=3)
            ask.find_element(By.CSS_SELECTOR, 'button[data-answer="no"]').click()
            b.wait(lambda d: d.find_element(By.CSS_SELECTOR, ".file-message").text ==
                   "The upload was dropped; new image.bin is kept.")
            self.assertEqual(d.switch_to.active_element.get_attribute("id"), "file-name")
            d.find_element(By.ID, "file-open").click()
            b.wait(lambda d: not d.find_elements(By.CSS_SELECTOR, ".file"))
            self.assertEqual(b.control(ids.IDC_IMAGE_PATH).get_attribute("value"), "\\Temp\\new image.bin")

            # On a phone's screen the sheet scrolls from its left edge, and
            # the dialog and the boxes fit the screen. Esc cancels the dialog
            # and leaves the path alone.
            b.screen(360, 740)
            sheet = d.execute_script("""const desktop = document.getElementById('desktop');
                desktop.scrollLeft = 0;
                const r = document.querySelector('.sheet').getBoundingClientRect();
                return [r.left, r.right, desktop.scrollWidth, innerWidth];""")
            self.assertGreaterEqual(sheet[0], 0, sheet)
            self.assertGreater(sheet[1], sheet[3], sheet)  # wider than the screen
            self.assertGreaterEqual(sheet[2], sheet[1], sheet)  # and reached by scrolling
            b.control(ids.IDC_IMAGE_BROWSE).click()
            b.wait(lambda d: d.find_elements(By.CSS_SELECTOR, ".file"))
            b.wait(lambda d: b.within_screen(".file"))
            d.switch_to.active_element.send_keys(Keys.ESCAPE)
            b.wait(lambda d: not d.find_elements(By.CSS_SELECTOR, ".file"))
            self.assertEqual(b.control(ids.IDC_IMAGE_PATH).get_attribute("value"), "\\Temp\\new image.bin")

            # Esc on the confirmation is Cancel: nothing is erased.
            b.control(ids.IDC_WRITE_FLASH).click()
            b.wait(lambda d: b.box()[1].startswith("Update OS image now ?"))
            self.assertTrue(b.within_screen(".box"))
            b.focus_stays_in(".box", presses=3)
            d.switch_to.active_element.send_keys(Keys.ESCAPE)
            b.wait(lambda d: not d.find_elements(By.CSS_SELECTOR, ".box"))
            self.assertNotIn("FlashErase", c.events())
            # The focus is back on the button that opened the box.
            self.assertEqual(d.switch_to.active_element.get_attribute("data-id"), str(ids.IDC_WRITE_FLASH))
            b.screen(1100, 800)

            # A stalled link: within a few seconds the page says so and greys
            # the sheet; a tab chosen as it stalled is not applied later.
            os.kill(b.utility.proc.pid, signal.SIGSTOP)
            try:
                d.find_element(By.XPATH, '//div[@class="tabs"]/button[.="About Orva_Utility"]').click()
                b.wait(lambda d: "stalled" in d.find_element(By.TAG_NAME, "body").get_attribute("class"), timeout=8)
                self.assertEqual(d.find_element(By.ID, "link-state").text, "no answer: the link is stalled")
                self.assertTrue(d.find_element(By.ID, "note").text.startswith("The utility does not answer"))
            finally:
                os.kill(b.utility.proc.pid, signal.SIGCONT)
            b.wait(lambda d: "stalled" not in d.find_element(By.TAG_NAME, "body").get_attribute("class"))
            time.sleep(0.5)
            self.assertEqual(b.shown_page(), ids.IDD_UPDATE)

            # Esc on the sheet is its Cancel; Enter on the prompt's focused
            # first button is Yes, Esc on the next one is No.
            d.find_element(By.CSS_SELECTOR, "body").send_keys(Keys.ESCAPE)
            b.wait(lambda d: b.box() == ("Save Registry", "Save your settings to registry ?"))
            d.switch_to.active_element.send_keys(Keys.ENTER)
            b.wait(lambda d: b.box()[0] == "Save Registry" and b.box()[1].startswith("It would take"))
            d.switch_to.active_element.send_keys(Keys.ESCAPE)
            self.assertEqual(b.notice(), "Orva_Utility has ended")
            self.assertEqual(b.console_errors(), [])
            self.assertEqual(b.utility.wait(), 0, b.utility.errors())
            self.assertEqual(c.tool("reg", "--saved", "export", "--utf8"), saved)
        finally:
            b.close()


if __name__ == "__main__":
    unittest.main(verbosity=2)
