#!/usr/bin/python3
"""Takes the README's pictures of the web frontend in headless Chromium:
docs/screenshots/web-*.png. Run by hand after a build:

  /usr/bin/python3 tests/web/screenshots.py [BUILD_DIR]"""

import os
import shutil
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
os.environ.setdefault("ORVA_BIN_DIR", os.path.join(os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build"),
                                                   "bin"))
sys.path.insert(0, HERE)
import webutil  # noqa: E402
from webutil import ids  # noqa: E402
from browser_test import Browser, image_bytes  # noqa: E402

from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.support.ui import WebDriverWait  # noqa: E402

OUT = os.path.join(ROOT, "docs", "screenshots")
SIZE = "960,820"


def shot(driver, name):
    path = os.path.join(OUT, f"web-{name}.png")
    driver.save_screenshot(path)
    print(path)


def main():
    webutil.BIN = os.environ["ORVA_BIN_DIR"]
    c = webutil.Controller()
    with open(os.path.join(c.fs, "Storage Card", "nk.bin"), "wb") as f:
        f.write(image_bytes(3 << 20))
    b = None
    try:
        b = Browser(c, SIZE)
        d, u = b.driver, b.utility
        w, h = (int(n) for n in SIZE.split(","))
        b.screen(w, h)
        # What a browser without the token sees.
        d.get(f"{u.origin}/")
        b.wait(lambda d: d.find_element(By.ID, "login").is_displayed())
        shot(d, "login")
        b.log_in()
        b.wait(lambda d: b.shown_page() == ids.IDD_SETTINGS)
        shot(d, "page-1-save-registry")
        b.control(ids.IDC_VIEW_REGISTRY).click()
        b.wait(lambda d: d.find_elements(By.CSS_SELECTOR, ".viewer textarea"))
        shot(d, "viewer")
        d.find_element(By.ID, "viewer-close").click()
        b.wait(lambda d: not d.find_elements(By.CSS_SELECTOR, ".viewer"))
        for caption, page, name in [("System Config", ids.IDD_SYSINFO, "page-2-system-config"),
                                    ("Auto-execute", ids.IDD_AUTORUN, "page-3-auto-execute"),
                                    ("Version Update", ids.IDD_UPDATE, "page-4-version-update"),
                                    ("About Orva_Utility", ids.IDD_ABOUTBOX, "page-5-about")]:
            b.tab(caption)
            b.wait(lambda d: b.shown_page() == page)
            shot(d, name)

        b.tab("Version Update")
        b.control(ids.IDC_IMAGE_BROWSE).click()
        b.wait(lambda d: d.find_elements(By.CSS_SELECTOR, ".file"))
        d.find_element(By.XPATH, '//ul[@class="file-list"]/li[.="Storage Card"]').click()
        b.wait(lambda d: d.find_element(By.CSS_SELECTOR, ".file-where").text == "Look in: \\Storage Card")
        d.find_element(By.XPATH, '//ul[@class="file-list"]/li[.="nk.bin"]').click()
        shot(d, "open-file")
        # An upload of a name that is there: the page asks first.
        again = os.path.join(c.root, "nk.bin")
        with open(again, "wb") as f:
            f.write(image_bytes(1 << 20))
        d.find_element(By.ID, "file-picker").send_keys(again)
        b.wait(lambda d: d.find_elements(By.CSS_SELECTOR, ".file ~ .box"))
        shot(d, "upload-replace")
        d.find_element(By.CSS_SELECTOR, '.file ~ .box button[data-answer="no"]').click()
        b.wait(lambda d: not d.find_elements(By.CSS_SELECTOR, ".file ~ .box"))
        d.find_element(By.XPATH, '//ul[@class="file-list"]/li[.="nk.bin"]').click()
        d.find_element(By.ID, "file-open").click()
        b.wait(lambda d: not d.find_elements(By.CSS_SELECTOR, ".file"))

        b.control(ids.IDC_WRITE_FLASH).click()
        b.wait(lambda d: b.box()[1].startswith("Update OS image now ?"))
        shot(d, "box-confirm")
        d.find_element(By.CSS_SELECTOR, '.box button[data-answer="ok"]').click()
        b.wait(lambda d: b.box()[1] == "Update OS image succeed, Reboot now ?", timeout=60)
        shot(d, "box-reboot")
        d.find_element(By.CSS_SELECTOR, '.box button[data-answer="no"]').click()
        b.wait(lambda d: not d.find_elements(By.CSS_SELECTOR, ".box"))
        shot(d, "page-4-version-update-written")

        # A second browser while the first one's session is live.
        profile = tempfile.mkdtemp(prefix="orva-chromium-")
        other = webutil.chromium(u, profile, SIZE)
        try:
            other.get(u.url)
            WebDriverWait(other, 30).until(lambda o: "in use" in o.title)
            shot(other, "in-use")
        finally:
            other.quit()
            shutil.rmtree(profile, ignore_errors=True)

        # A phone, and a narrow window: the sheet scrolls from its left edge;
        # the dialog fits the screen.
        for width, height, name in [(390, 844, "phone"), (800, 600, "800x600")]:
            b.screen(width, height)
            d.execute_script("document.getElementById('desktop').scrollLeft = 0")
            shot(d, f"{name}-sheet")
            b.control(ids.IDC_IMAGE_BROWSE).click()
            b.wait(lambda d: d.find_elements(By.CSS_SELECTOR, ".file"))
            shot(d, f"{name}-open-file")
            d.find_element(By.ID, "file-cancel").click()
            b.wait(lambda d: not d.find_elements(By.CSS_SELECTOR, ".file"))
        w, h = (int(n) for n in SIZE.split(","))
        b.screen(w, h)

        d.find_element(By.ID, "sheet-cancel").click()
        b.answer("Save Registry", "Save your settings to registry ?", "no")
        b.notice()
        shot(d, "ended")
        u.wait()
    finally:
        if b:
            b.close()
        c.remove()


if __name__ == "__main__":
    main()
