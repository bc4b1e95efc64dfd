#!/usr/bin/env python3
"""`ledra serve` in a real browser: headless Chromium, driven through Selenium and
chromedriver, opens Volumes, searches as a user types, opens a result's folder, goes down
through the treemap, opens the copies table and downloads an export. The catalogue holds
hostile names; they must show as literal text, no script of theirs may run, and the
browser's console must stay free of errors. Screenshots of each page go to SHOTS.

    serve_browser_test.py LEDRA LEDRACMD [SHOTS]

Exits 77 (skipped) with the reason where Selenium, Chromium or chromedriver is missing.
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.request

SKIP = 77


def skip(reason):
    print(f"SKIPPED: {reason}")
    sys.exit(SKIP)


try:
    from selenium import webdriver
    from selenium.common.exceptions import NoAlertPresentException, TimeoutException
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:
    skip("Selenium for Python is not installed (Debian: python3-selenium)")
browser = shutil.which("chromium") or shutil.which("chromium-browser")
driver_path = shutil.which("chromedriver")
if not browser or not driver_path:
    skip("Chromium or chromedriver is not installed (Debian: chromium, chromium-driver)")

ledra, ledracmd = sys.argv[1], sys.argv[2]
shots = sys.argv[3] if len(sys.argv) > 3 else None
failures = []
checks = 0


def check(condition, what):
    global checks
    checks += 1
    if not condition:
        failures.append(what)
        print("FAIL:", what, file=sys.stderr)


HOSTILE = ["<img src=x onerror=alert(1)>.jpg", '"><svg onload=alert(2)><script>alert(4)<script>.jpg',
           "javascript:alert(3).jpg", "ctl\x01\x1b[31m.jpg", "rtl\u202egpj.exe"]

# The treemap layout: every case's tiles lie inside the rectangle, do not overlap, and
# have areas in proportion to their values.
TREEMAP_CASES = [
    ([6, 6, 4, 3, 2, 2, 1], 600, 400),
    ([1], 300, 100),
    ([5, 0, 5], 100, 300),
    ([1000000, 1, 1, 1], 800, 300),
    ([3] * 40, 640, 320),
]


def check_treemap(driver):
    for values, w, h in TREEMAP_CASES:
        tiles = driver.execute_script(
            "return window.LedraTreemap.layout(arguments[0].map((v, i) => ({name: 'n' + i, value: v})),"
            " 0, 0, arguments[1], arguments[2]).map(t => [t.item.value, t.x, t.y, t.w, t.h]);",
            values, w, h)
        positive = [v for v in values if v > 0]
        check(len(tiles) == len(positive), f"treemap {values}: {len(tiles)} tiles")
        total = sum(positive)
        eps = 1e-6 * w * h
        for value, x, y, tw, th in tiles:
            check(x >= -1e-6 and y >= -1e-6 and x + tw <= w + 1e-6 and y + th <= h + 1e-6,
                  f"treemap {values}: tile outside {x, y, tw, th}")
            check(abs(tw * th - value / total * w * h) <= max(eps, 1e-6),
                  f"treemap {values}: area of {value} is {tw * th}")
        for i, a in enumerate(tiles):
            for b in tiles[i + 1:]:
                overlap_w = min(a[1] + a[3], b[1] + b[3]) - max(a[1], b[1])
                overlap_h = min(a[2] + a[4], b[2] + b[4]) - max(a[2], b[2])
                check(overlap_w <= 1e-6 or overlap_h <= 1e-6, f"treemap {values}: tiles overlap")


with tempfile.TemporaryDirectory() as top:
    tree = os.path.join(top, "tree")
    cats = os.path.join(top, "cats")
    downloads = os.path.join(top, "downloads")
    os.makedirs(cats)
    os.makedirs(downloads)
    files = {"photos/2023/sea.jpg": 3000000, "photos/2023/sun.jpg": 1500, "photos/2022/a.jpg": 900000,
             "backup/sea.jpg": 3000000, "docs/notes.txt": 10, "docs/letters/2024.odt": 400000,
             "music/live/one.mp3": 2500000, "music/two.mp3": 1800000, "videos/trip.mkv": 6000000,
             "videos/raw/day1.mkv": 4000000}
    for name in HOSTILE:
        files["hostile/" + name] = 2048
    for name, size in files.items():
        path = os.path.join(tree, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.truncate(size)
    with open(os.path.join(tree.encode(), b"hostile", b"bad\xff\xfeutf8.jpg"), "wb") as f:
        f.truncate(77)
    other = os.path.join(top, "other")
    for name, size in {"sea.jpg": 3000000, "list.txt": 100}.items():
        os.makedirs(other, exist_ok=True)
        with open(os.path.join(other, name), "wb") as f:
            f.truncate(size)
    with open(os.path.join(cats, "p.txt"), "w") as f:
        f.write(f"#DEV {tree},Tree\n#DEV {other},Other\n")
    for run in range(2):  # the second run keeps the first as a backup, one file apart
        subprocess.run([ledracmd, "-f", os.path.join(cats, "p.txt")], check=True, stdout=subprocess.DEVNULL)
        with open(os.path.join(tree, "docs", "new.txt"), "wb") as f:
            f.truncate(3)
    with open(os.path.join(cats, "Broken.kvl"), "wb") as f:
        f.write(b"\x27\x06\xa4\xd0\x05\x00garbage")

    log = open(os.path.join(top, "serve.txt"), "w+b")
    server = subprocess.Popen([ledra, "serve", "--in", cats, "--listen", "127.0.0.1:0"],
                              stdout=log, stderr=subprocess.STDOUT)
    address = ""
    for _ in range(100):
        log.seek(0)
        text = log.read().decode()
        if "http://" in text:
            address = text.split("open ")[1].split()[0]
            break
        time.sleep(0.1)
    if not address:
        server.kill()
        sys.exit(f"ledra serve printed no address: {text!r}")

    options = webdriver.ChromeOptions()
    options.binary_location = browser
    for argument in ["--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1280,860",
                     "--disable-dev-shm-usage"]:
        options.add_argument(argument)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    options.add_experimental_option("prefs", {"download.default_directory": downloads,
                                              "download.prompt_for_download": False})
    driver = None
    try:
        try:
            driver = webdriver.Chrome(service=Service(driver_path), options=options)
        except Exception as e:  # a browser that cannot start here (no display libraries, ...)
            skip(f"Chromium could not start: {str(e).splitlines()[0]}")
        driver.execute_cdp_cmd("Browser.setDownloadBehavior", {"behavior": "allow", "downloadPath": downloads})
        # Any alert a hostile name would raise is recorded, before the page's own script runs.
        driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source":
            "window.__ran = []; for (const f of ['alert', 'confirm', 'prompt'])"
            " window[f] = (m) => { window.__ran.push(f + ':' + m); };"})
        wait = WebDriverWait(driver, 10)

        def shot(name):
            if shots:
                os.makedirs(shots, exist_ok=True)
                driver.save_screenshot(os.path.join(shots, name))

        def texts(selector):
            return driver.execute_script(
                "return [...document.querySelectorAll(arguments[0])].map(e => e.textContent);", selector)

        # Volumes.
        driver.get(address)
        wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, "#volumes tr.volume"))
        check(texts("#volumes tr.volume td:first-child") == ["Other", "Tree"],
              f"volumes: {texts('#volumes tr.volume td:first-child')}")
        # Sorting: Files, most first on the first click, fewest first on the second.
        heading = [h for h in driver.find_elements(By.CSS_SELECTOR, "#volumes th") if h.text == "Files"][0]
        heading.click()
        check(texts("#volumes tr.volume td:first-child") == ["Tree", "Other"], "volumes by files, most first")
        heading.click()
        check(texts("#volumes tr.volume td:first-child") == ["Other", "Tree"], "volumes by files, fewest first")
        wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, "#damaged tr"))
        check("Broken.kvl" in texts("#damaged tr")[0], "the damaged catalogue is not shown")
        shot("serve-volumes.png")
        check_treemap(driver)

        # Search as one types.
        driver.find_element(By.ID, "nav-search").click()
        box = wait.until(lambda d: d.find_element(By.ID, "search-box"))
        for ch in ".jp":
            box.send_keys(ch)
            time.sleep(0.05)
        box.send_keys("g")
        with urllib.request.urlopen(address + "api/find?q=.jpg&limit=1000") as r:
            expected_paths = [x["path"] for x in json.load(r)["results"]]
        # The page has answered the whole word once its list is the API's.
        try:
            wait.until(lambda d: texts("#search-results .result-path") == expected_paths)
        except TimeoutException:
            pass
        paths = texts("#search-results .result-path")
        names = [p.rsplit("/", 1)[1] for p in paths]
        for name in HOSTILE[:4]:
            check(name in names, f"search: {name!r} is not shown as it is; shown {names}")
        check("bad\ufffd\ufffdutf8.jpg" in names, f"search: the invalid UTF-8 name: {names}")
        check(len(paths) == 10, f"search: {len(paths)} results for .jpg")
        shot("serve-search.png")

        # Open the folder of a result.
        rows = driver.find_elements(By.CSS_SELECTOR, "#search-results tr.result")
        sea = [r for r in rows if r.find_element(By.CSS_SELECTOR, ".result-path").text.endswith("photos/2023/sea.jpg")]
        check(len(sea) == 1, "search: photos/2023/sea.jpg not found")
        sea[0].find_element(By.CSS_SELECTOR, "a.open-folder").click()
        wait.until(lambda d: "path=photos%2F2023" in d.current_url)
        wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, "#entries tr.entry"))
        check(texts("#entries tr.entry td:first-child") == ["sea.jpg", "sun.jpg"],
              f"the folder of the result: {texts('#entries tr.entry td:first-child')}")

        # Down through the treemap from the volume's root.
        driver.find_element(By.CSS_SELECTOR, "#pathbar a").click()
        wait.until(lambda d: len(d.find_elements(By.CSS_SELECTOR, "#treemap .tile")) == 6)
        time.sleep(0.3)
        shot("serve-browse.png")
        tiles = {t.get_attribute("data-name"): t for t in driver.find_elements(By.CSS_SELECTOR, "#treemap .tile")}
        check(set(tiles) == {"photos", "backup", "hostile", "docs", "music", "videos"},
              f"treemap tiles: {set(tiles)}")
        tiles["photos"].click()
        wait.until(lambda d: d.current_url.endswith("path=photos"))
        tile = wait.until(lambda d: [t for t in d.find_elements(By.CSS_SELECTOR, "#treemap .tile")
                                     if t.get_attribute("data-name") == "2023"])
        tile[0].click()
        wait.until(lambda d: "path=photos%2F2023" in d.current_url)
        wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, "#entries tr.entry"))

        # The hostile folder: every name exactly as stored.
        driver.get(address + "#/browse?volume=Tree.kvl&path=hostile")
        wait.until(lambda d: len(d.find_elements(By.CSS_SELECTOR, "#entries tr.entry")) == 6)
        shown = set(texts("#entries tr.entry td:first-child"))
        check(shown == set(HOSTILE) | {"bad\ufffd\ufffdutf8.jpg"}, f"hostile names shown as {shown}")

        # The copies table, with the columns of its JSON.
        driver.find_element(By.ID, "nav-dupes").click()
        wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, "#dupes tbody tr"))
        with urllib.request.urlopen(address + "api/dupes") as r:
            dupes = json.load(r)["results"]
        check(texts("#dupes th") == list(dupes[0].keys()), f"dupes columns: {texts('#dupes th')}")
        check(len(driver.find_elements(By.CSS_SELECTOR, "#dupes tbody tr")) == len(dupes), "dupes rows")
        shot("serve-dupes.png")

        # What changed since the backup, and what only Other holds: tables of their JSON.
        for view, endpoint, table in [("changes", "diff", "changes"), ("unique", "unique", "unique")]:
            driver.get(address + f"#/{view}?volume=" + ("Tree.kvl" if view == "changes" else "Other.kvl"))
            wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, f"#{table} tbody tr"))
            volume = "Tree.kvl" if view == "changes" else "Other.kvl"
            with urllib.request.urlopen(address + f"api/{endpoint}?volume={volume}") as r:
                rows = json.load(r)["results"]
            keys = []
            for row in rows:
                keys += [k for k in row if k not in keys]
            check(texts(f"#{table} th") == keys, f"{view} columns: {texts(f'#{table} th')} vs {keys}")
            check(len(driver.find_elements(By.CSS_SELECTOR, f"#{table} tbody tr")) == len(rows), f"{view} rows")
            if view == "changes":
                check(any("new.txt" in t for t in texts("#changes td")), "changes: docs/new.txt is not shown")
                shot("serve-changes.png")
            else:
                check(texts("#unique td.name") and any(t.endswith("list.txt") for t in texts("#unique td")),
                      f"unique: {texts('#unique td')}")

        # Download an export.
        driver.find_element(By.ID, "nav-volumes").click()
        wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, "#volumes tr.volume"))
        [r for r in driver.find_elements(By.CSS_SELECTOR, "#volumes tr.volume")
         if r.text.startswith("Tree")][0].find_element(By.CSS_SELECTOR, "a.export-csv").click()
        target = os.path.join(downloads, "Tree.csv")
        for _ in range(100):
            if os.path.exists(target):
                break
            time.sleep(0.1)
        expected = subprocess.run([ledra, "export", "--in", cats, "Tree", "--format", "csv"],
                                  stdout=subprocess.PIPE).stdout
        check(os.path.exists(target) and open(target, "rb").read() == expected,
              f"the downloaded export: {os.listdir(downloads)}")

        # Nothing ran, nothing was injected, nothing went wrong.
        check(driver.execute_script("return window.__ran") == [], f"a script ran: {driver.execute_script('return window.__ran')}")
        try:
            driver.switch_to.alert
            check(False, "an alert is open")
        except NoAlertPresentException:
            pass
        check(driver.execute_script("return document.querySelectorAll('img, iframe, object, embed').length") == 0,
              "a name became an element")
        check(driver.execute_script("return document.scripts.length") == 2, "a script element was added")
        errors = [e for e in driver.get_log("browser") if e["level"] in ("SEVERE", "ERROR")]
        check(errors == [], f"console errors: {errors}")
    except TimeoutException as e:
        check(False, f"timed out at {driver.current_url if driver else '?'}: {e.msg}")
    finally:
        if driver:
            driver.quit()
        server.terminate()
        server.wait(timeout=10)

if failures:
    print(f"{len(failures)} failures", file=sys.stderr)
    sys.exit(1)
print(f"serve in a browser: all {checks} checks passed")
