#!/usr/bin/python3
"""lumarc-cli serve in a real browser: headless Chromium, driven through
chromedriver by Selenium, logs in, fills the selection form, reads the
listing, opens the charts and checks the screenshot for drawn bars.

LUMARC_BROWSER_SHOT=FILE keeps the screenshot of the charts.
Exit 0 when all holds, 1 when not, 77 (skipped) when Chromium or its driver
is not installed. LUMARC_CLI names the program."""

import os
import re
import shutil
import sqlite3
import struct
import subprocess
import sys
import tempfile
import time
import zlib

CHROMIUM = "/usr/bin/chromium"
DRIVER = "/usr/bin/chromedriver"
BAR = (0x1F, 0x77, 0xD0)  # the bars' fill in the charts


def skip(why):
    print("SKIPPED:", why)
    sys.exit(77)


def png_pixels(data):
    """Width, height and the rows of RGB(A) tuples of an 8-bit PNG."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    pos, idat, width = 8, b"", 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            assert depth == 8 and colour in (2, 6), (depth, colour)
            channels = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, prev, at = [], bytearray(stride), 0
    for _ in range(height):
        f, line = raw[at], bytearray(raw[at + 1:at + 1 + stride])
        at += 1 + stride
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b = prev[i]
            c = prev[i - channels] if i >= channels else 0
            if f == 1:
                line[i] = (line[i] + a) & 255
            elif f == 2:
                line[i] = (line[i] + b) & 255
            elif f == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(line)
        prev = line
    return width, height, channels, rows


def seed(cli, work):
    """A database with calls in May 2024 and an admin account."""
    env = dict(os.environ)
    subprocess.run([cli, "--dir", work, "--db", "", "db", "init"], check=True, env=env,
                   stdout=subprocess.DEVNULL)
    db = sqlite3.connect(os.path.join(work, "Lumarc.mdb"))
    db.execute("INSERT INTO Pdata (cport, name, surn) VALUES (?, ?, ?)", ("     101", "Eve", "Smith"))
    for i in range(120):
        db.execute(
            "INSERT INTO Cdata (type, tdate, duration, cport, pport, uport, rdata, xdata, cdata, rpuls, ppuls,"
            " crefa, crefb, crefc, flags, flagt, flagu, ipadr) VALUES"
            " ('A', ?, ?, '     101', '     801', '     801', ?, '', '', ?, 0, 0, 0, 0, 0, 0, 0, 3232238081)",
            ("2024-05-%02d %02d:%02d:00" % (1 + i % 28, 8 + i % 10, i % 60), 30 + i * 7,
             "0212555%04d" % i, i % 5))
    db.commit()
    db.close()
    subprocess.run([cli, "--dir", work, "web-user", "add", "ann", "--role", "admin"], input=b"browser-secret-1\n",
                   check=True)


def main():
    cli = os.environ.get("LUMARC_CLI", "")
    if not cli:
        skip("LUMARC_CLI not set")
    if not (os.access(CHROMIUM, os.X_OK) and os.access(DRIVER, os.X_OK)):
        skip("chromium or chromedriver is not installed")
    try:
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
        from selenium.webdriver.common.by import By
        from selenium.webdriver.support.ui import Select, WebDriverWait
    except ImportError:
        skip("python3-selenium is not installed")

    work = tempfile.mkdtemp(prefix="lumarc-browser-")
    server = driver = None
    try:
        seed(cli, work)
        server = subprocess.Popen([cli, "--dir", work, "--db", "", "serve", "--listen", "127.0.0.1:0"],
                                  stdout=subprocess.PIPE, stderr=open(os.path.join(work, "serve.err"), "wb"))
        line = server.stdout.readline().decode()
        m = re.search(r"http://127\.0\.0\.1:(\d+)", line)
        assert m, "the server did not say where it listens: %r" % line
        base = "http://127.0.0.1:%s" % m.group(1)

        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for arg in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                    "--disable-component-update", "--disable-sync", "--no-first-run", "--disable-dev-shm-usage",
                    "--window-size=1400,1000", "--lang=en-US",
                    "--user-data-dir=" + os.path.join(work, "profile")):
            options.add_argument(arg)
        driver = webdriver.Chrome(service=Service(DRIVER), options=options)
        driver.set_page_load_timeout(60)
        wait = WebDriverWait(driver, 30)

        # Without a session the listing sends us to the login.
        driver.get(base + "/records")
        assert driver.current_url.endswith("/login"), driver.current_url
        driver.find_element(By.NAME, "name").send_keys("ann")
        driver.find_element(By.NAME, "password").send_keys("browser-secret-1")
        driver.find_element(By.CSS_SELECTOR, "form.login button").click()
        wait.until(lambda d: d.find_elements(By.ID, "months"))

        # The selection form: May 2024, all users sorted by user.
        driver.get(base + "/records")
        driver.find_element(By.NAME, "month").send_keys("2024-05")
        Select(driver.find_element(By.NAME, "mode")).select_by_value("1")
        driver.find_element(By.ID, "show").click()
        wait.until(lambda d: d.find_elements(By.ID, "listing"))
        listing = driver.find_element(By.ID, "listing").text
        assert "Smith, Eve" in listing, listing[:500]
        assert "2024/05/01 08:00:00" in listing, listing[:500]
        assert "month=2024-05" in driver.current_url and "mode=1" in driver.current_url, driver.current_url
        # 120 calls and their heading fill more than a page; the sub-total
        # and total close the second.
        driver.find_element(By.ID, "next").click()
        wait.until(lambda d: "page=2" in d.current_url)
        listing = driver.find_element(By.ID, "listing").text
        assert "Sub Total:" in listing and " Total:" in listing, listing[-600:]

        # The charts of the same selection.
        driver.find_element(By.CSS_SELECTOR, "p.downloads a[href^='/charts']").click()
        wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, "#charts rect.bar"))
        assert driver.find_element(By.ID, "counted").text == "120"
        shot = os.path.join(work, "charts.png")
        driver.save_screenshot(shot)
        if os.environ.get("LUMARC_BROWSER_SHOT"):
            shutil.copy(shot, os.environ["LUMARC_BROWSER_SHOT"])
        width, height, channels, rows = png_pixels(open(shot, "rb").read())
        bar = sum(1 for row in rows for x in range(width)
                  if tuple(row[x * channels:x * channels + 3]) == BAR)
        assert bar > 500, "only %d pixels of the bars' colour in %dx%d" % (bar, width, height)
        print("charts drawn: %d bar pixels in a %dx%d screenshot" % (bar, width, height))
        print("1 passed, 0 failed")
        return 0
    except AssertionError as e:
        print("FAILED:", e)
        if driver:
            print(driver.page_source[:2000])
        return 1
    finally:
        if driver:
            driver.quit()
        if server:
            server.terminate()
            server.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
