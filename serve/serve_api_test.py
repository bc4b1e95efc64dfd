#!/usr/bin/env python3
"""`ledra serve`'s JSON API against the command line: a real tree with hostile names is
catalogued twice (so that it has a backup), a damaged catalogue lies beside it, and every
endpoint's JSON must equal the objects `ledra SUBCOMMAND --json` prints for the same
question; bad requests get 400 with a JSON error; the Host and token rules hold; every
answer carries the security headers; a catalogue LedraCmd replaces is read anew; SIGTERM
stops the server cleanly.

    serve_api_test.py LEDRA LEDRACMD                 native programs
    serve_api_test.py --wine LEDRA LEDRACMD          Windows programs under Wine, in a Wine
                                                     prefix of their own beside them; the
                                                     API is asked from Linux over loopback
"""
import http.client
import json
import os
import signal
import socket
import sqlite3
import subprocess
import sys
import tempfile
import time
import urllib.parse

args = sys.argv[1:]
wine_runner = False
if args and args[0] == "--wine":
    wine_runner, args = True, args[1:]
ledra, ledracmd = args[0], args[1]
failures = []
checks = 0
SECURITY_HEADERS = ["Content-Security-Policy", "X-Content-Type-Options", "Referrer-Policy"]


def check(condition, what):
    global checks
    checks += 1
    if not condition:
        failures.append(what)
        print("FAIL:", what, file=sys.stderr)


def program_path(path):
    """A path as the program under test names it: Wine's drive Z: is the Unix root."""
    return "Z:" + path.replace("/", "\\") if wine_runner else path


def wine_env(build_dir):
    env = dict(os.environ, WINEDEBUG="-all", WINEARCH="win64",
               WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=",
               WINEPREFIX=os.path.join(build_dir, "wineprefix-serve"), LC_ALL="C.UTF-8")
    env.pop("DISPLAY", None)
    return env


def run_program(program, arguments, scratch):
    """Runs a program to its end; its output goes through files, as Wine wants."""
    out_path = os.path.join(scratch, "out.bin")
    err_path = os.path.join(scratch, "err.txt")
    command = (["wine", program] if wine_runner else [program]) + arguments
    with open(out_path, "wb") as out, open(err_path, "wb") as err:
        status = subprocess.run(command, stdout=out, stderr=err, stdin=subprocess.DEVNULL,
                                env=ENV, timeout=120).returncode
    with open(out_path, "rb") as f:
        data = f.read()
    return status, data


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def request(port, target, host=None, headers=None, method="GET"):
    """Returns (status, headers dict, body bytes)."""
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
    connection.putrequest(method, target, skip_host=True)
    connection.putheader("Host", host if host is not None else f"127.0.0.1:{port}")
    for k, v in (headers or {}).items():
        connection.putheader(k, v)
    connection.endheaders()
    response = connection.getresponse()
    body = response.read()
    connection.close()
    return response.status, dict(response.getheaders()), body


def api(port, endpoint, **params):
    target = "/api/" + endpoint + "?" + urllib.parse.urlencode(params)
    status, headers, body = request(port, target)
    check(status == 200, f"{target}: HTTP {status} {body[:200]!r}")
    for h in SECURITY_HEADERS:
        check(h in headers, f"{target}: no {h} header")
    return json.loads(body)


def lines_of(data):
    return [json.loads(line) for line in data.decode("utf-8").splitlines() if line.strip()]


def start_server(cats, listen, extra=()):
    """Starts `ledra serve` and waits until it answers; returns (process, port)."""
    host, port = listen.rsplit(":", 1)
    port = int(port) or free_port()
    command = [ledra, "serve", "--in", program_path(cats), "--listen", f"{host}:{port}", *extra]
    if wine_runner:
        command = ["wine", *command]
    log = open(os.path.join(scratch, f"serve-{port}.txt"), "wb")
    process = subprocess.Popen(command, stdout=log, stderr=subprocess.STDOUT,
                               stdin=subprocess.DEVNULL, env=ENV)
    deadline = time.time() + (90 if wine_runner else 10)
    while time.time() < deadline:
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return process, port
        except OSError:
            time.sleep(0.2)
    raise SystemExit(f"ledra serve did not answer on port {port}")


def served_log(port):
    with open(os.path.join(scratch, f"serve-{port}.txt"), "rb") as f:
        return f.read().decode("utf-8", "replace")


def stop_server(process):
    if wine_runner:
        subprocess.run(["wineserver", "-k"], env=ENV)
        process.wait(timeout=60)
        return 0
    process.send_signal(signal.SIGTERM)
    return process.wait(timeout=10)


with tempfile.TemporaryDirectory() as top:
    scratch = top
    ENV = wine_env(os.path.dirname(os.path.abspath(ledra))) if wine_runner else dict(os.environ)
    tree = os.path.join(top, "tree")
    cats = os.path.join(top, "cats")
    os.makedirs(cats)
    hostile = ["<img src=x onerror=alert(1)>.jpg", '"><svg onload=alert(2)><script>alert(4)<script>.jpg',
               "javascript:alert(3).jpg", "ctl\x01\x1b[31m.jpg", "rtl\u202egpj.exe"]
    files = {"photos/2023/sea.jpg": 3000000, "photos/2023/sun.jpg": 1500,
             "backup/sea.jpg": 3000000, "docs/notes.txt": 10}
    for name in hostile:
        files["hostile/" + name] = 2048
    for name, size in files.items():
        path = os.path.join(tree, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.truncate(size)
    if not wine_runner:  # Wine cannot make a name that is not valid in its code page
        with open(os.path.join(tree.encode(), b"hostile", b"bad\xff\xfeutf8.jpg"), "wb") as f:
            f.truncate(77)
    params = os.path.join(cats, "p.txt")
    with open(params, "w") as f:
        f.write(f"#DEV {program_path(tree)},Tree\n")
    for _ in range(2):  # the second run keeps the first as Tree.kvl.bak
        status, _ = run_program(ledracmd, ["-f", program_path(params)], top)
        check(status == 0, f"LedraCmd ended with {status}")
        with open(os.path.join(tree, "docs", "added.txt"), "wb") as f:
            f.truncate(5)
    with open(os.path.join(cats, "Broken.kvl"), "wb") as f:
        f.write(b"\x27\x06\xa4\xd0\x05\x00garbage")

    def cli(*arguments):
        status, data = run_program(ledra, [arguments[0], "--in", program_path(cats), *arguments[1:]], top)
        return lines_of(data)

    process, port = start_server(cats, "127.0.0.1:0")
    try:
        # Every endpoint against the command line.
        volumes = api(port, "volumes")
        check(volumes["results"] == cli("volumes", "--json"), "volumes differ from the command line")
        check([d["catalog"] for d in volumes["damaged"]] == ["Broken.kvl"],
              f"damaged list: {volumes['damaged']}")
        check(volumes["damaged"] and volumes["damaged"][0]["message"], "damaged without its message")
        same = [
            ("find", {"q": "jpg", "limit": 1000}, ["find", "--json", "jpg"]),
            ("find", {"q": "jpg", "limit": 2}, ["find", "--json", "--limit", "2", "jpg"]),
            ("find", {"q": "*.JPG", "type": "f", "size": "+2K", "volume": "Tree"},
             ["find", "--json", "--type", "f", "--size", "+2K", "--volume", "Tree", "*.JPG"]),
            ("find", {"regex": "^s.*[.]jpg$"}, ["find", "--json", "--regex", "^s.*[.]jpg$"]),
            ("find", {"q": "photos", "path": 1, "newer": "2000-01-01"},
             ["find", "--json", "--path", "--newer", "2000-01-01", "photos"]),
            ("ls", {"volume": "Tree.kvl", "path": "hostile"}, ["ls", "--json", "Tree.kvl:hostile"]),
            ("ls", {"volume": "Tree", "sort": "size"}, ["ls", "--json", "--sort", "size", "Tree"]),
            ("du", {"volume": "Tree", "depth": 2}, ["du", "--json", "--depth", "2", "Tree"]),
            ("du", {"volume": "Tree", "path": "photos", "depth": 0},
             ["du", "--json", "--depth", "0", "Tree:photos"]),
            ("diff", {"volume": "Tree"}, ["diff", "--json", "Tree"]),
            ("dupes", {}, ["dupes", "--json"]),
            ("dupes", {"by": "size", "min-size": "1K"}, ["dupes", "--json", "--by", "size", "--min-size", "1K"]),
            ("unique", {"volume": "Tree"}, ["unique", "--json", "Tree"]),
        ]
        for endpoint, query, command in same:
            answer = api(port, endpoint, **query)
            expected = cli(*command)
            check(answer["results"] == expected,
                  f"/api/{endpoint} {query}: {len(answer['results'])} objects, command line "
                  f"{len(expected)}; first {answer['results'][:1]} vs {expected[:1]}")
        check(any(r["name"] == hostile[0] for r in api(port, "find", q="onerror")["results"]),
              "the hostile name is not found as it is")
        # Pages: offset and limit cut the same list.
        everything = cli("find", "--json", "jpg")
        page = api(port, "find", q="jpg", offset=2, limit=3)
        check(page["results"] == everything[2:5] and page["more"] == (len(everything) > 5),
              "the page of find differs from the command line's list")
        # Exports: the same bytes, the SQLite database with the same rows.
        for fmt in ["csv", "jsonl", "ncdu"]:
            status, headers, body = request(port, f"/api/export?volume=Tree&format={fmt}")
            _, expected = run_program(ledra, ["export", "--in", program_path(cats), "Tree", "--format", fmt], top)
            check(status == 200 and body == expected, f"export {fmt}: HTTP {status}, bytes differ")
            check("attachment" in headers.get("Content-Disposition", ""), f"export {fmt}: not a download")
        status, headers, body = request(port, "/api/export?volume=Tree&format=sqlite")
        served = os.path.join(top, "served.sqlite")
        with open(served, "wb") as f:
            f.write(body)
        made = os.path.join(top, "made.sqlite")
        run_program(ledra, ["export", "--in", program_path(cats), "Tree", "--format", "sqlite", "-o", program_path(made)], top)
        for table in ["volumes", "folders", "entries"]:
            rows = [sorted(sqlite3.connect(p).execute(f"select * from {table}").fetchall(), key=repr)
                    for p in (served, made)]
            check(rows[0] == rows[1] and rows[0], f"sqlite export: table {table} differs")

        # Bad requests: 400 (404 for what does not exist), always with a JSON error.
        bad = [
            ("/api/ls?volume=Tree&path=..", 400), ("/api/ls?volume=Tree&path=photos/../..", 400),
            ("/api/ls?volume=Tree&path=/etc", 400), ("/api/du?volume=Tree&path=%2Fetc", 400),
            ("/api/ls?volume=Tree&path=C:%5CWindows", 400), ("/api/find?q=a%00b", 400),
            ("/api/ls?volume=Tree&path=a%00", 400), ("/api/find?q=" + "a" * 2000, 400),
            ("/api/find?q=a&q=b", 400), ("/api/find?in=/etc", 400), ("/api/find?limit=99999999", 400),
            ("/api/export?volume=Tree&format=csv&output=/tmp/x", 400),
            ("/api/diff?volume=/etc/passwd", 404), ("/api/export?volume=..%2Fp.txt&format=csv", 404),
            ("/api/unique?volume=NoSuchDisk", 404), ("/api/nothing", 404), ("/nothing", 404),
        ]
        for target, expected_status in bad:
            status, headers, body = request(port, target)
            check(status == expected_status, f"{target}: HTTP {status}, expected {expected_status}")
            try:
                check("error" in json.loads(body), f"{target}: no error in {body[:100]!r}")
            except ValueError:
                check(False, f"{target}: not JSON: {body[:100]!r}")
            for h in SECURITY_HEADERS:
                check(h in headers, f"{target}: no {h} header")
        status, _, _ = request(port, "/api/volumes", method="POST")
        check(status == 405, f"POST: HTTP {status}")
        status, _, _ = request(port, "/" + "a" * 9000)
        check(status in (400, 414), f"a long request line: HTTP {status}")

        # The Host rule on loopback.
        for host, expected_status in [(f"localhost:{port}", 200), (f"127.0.0.1:{port}", 200),
                                      (f"evil.example:{port}", 403), ("127.0.0.1", 403), ("", 403)]:
            status, headers, body = request(port, "/api/volumes", host=host)
            check(status == expected_status, f"Host {host!r}: HTTP {status}")
        status, headers, body = request(port, "/")
        check(status == 200 and b"<script src=\"/app.js\"" in body, "the page is not served")
        check("script-src 'self'" in headers.get("Content-Security-Policy", ""), "CSP allows other scripts")

        # A catalogue LedraCmd replaces is read anew.
        before = api(port, "find", q="fresh.txt")["results"]
        with open(os.path.join(tree, "docs", "fresh.txt"), "wb") as f:
            f.truncate(1)
        run_program(ledracmd, ["-f", program_path(params)], top)
        after = api(port, "find", q="fresh.txt")["results"]
        check(before == [] and len(after) == 1, f"the replaced catalogue was not read: {before} {after}")
    finally:
        code = stop_server(process)
    if not wine_runner:
        check(code == 0 and "stopped" in served_log(port), f"SIGTERM: exit {code}, {served_log(port)!r}")

    # Off loopback a token is required (native only: Wine's loopback is the same).
    if not wine_runner:
        token = "t0k3n-0123456789abcdef"
        token_file = os.path.join(top, "token")
        with open(token_file, "w") as f:
            f.write(token + "\n")
        process, port = start_server(cats, "0.0.0.0:0", ["--token-file", token_file])
        try:
            time.sleep(0.2)
            printed = served_log(port)
            login = printed.split("?login=")[1].split()[0] if "?login=" in printed else ""
            check(login and token not in printed, f"the login link: {printed!r}")
            status, _, body = request(port, "/api/volumes", host="example.org")
            check(status == 401 and "error" in json.loads(body), f"no token: HTTP {status}")
            status, _, _ = request(port, "/api/volumes", headers={"Authorization": "Bearer " + token})
            check(status == 200, f"Bearer token: HTTP {status}")
            status, _, _ = request(port, "/api/volumes", headers={"Authorization": "Bearer x" + token})
            check(status == 401, f"a wrong token: HTTP {status}")
            status, headers, _ = request(port, "/?login=" + login)
            cookie = headers.get("Set-Cookie", "").split(";")[0]
            check(status == 303 and cookie == "ledra_token=" + token, f"login: {status} {cookie}")
            status, _, _ = request(port, "/?login=" + login)
            check(status == 401, f"the login link used twice: HTTP {status}")
            status, _, _ = request(port, "/api/volumes", headers={"Cookie": cookie})
            check(status == 200, f"token cookie: HTTP {status}")
        finally:
            stop_server(process)

    # A server that cannot start says why and ends with status 2 at once.
    if not wine_runner:
        with socket.socket() as taken:
            taken.bind(("127.0.0.1", 0))
            taken.listen()
            busy = taken.getsockname()[1]
            refusals = [
                (["--in", cats, "--listen", f"127.0.0.1:{busy}"], "cannot listen"),
                (["--in", cats, "--listen", "nonsense"], "--listen takes HOST:PORT"),
                (["--in", cats, "--listen", "127.0.0.1:70000"], "--listen takes HOST:PORT"),
                (["--in", os.path.join(top, "nowhere")], "cannot read the folder"),
                (["--in", cats, "--listen", "0.0.0.0:0", "--token-file", os.path.join(top, "none")],
                 "cannot read the token file"),
            ]
            short_token = os.path.join(top, "short")
            with open(short_token, "w") as f:
                f.write("abc\n")
            refusals.append((["--in", cats, "--listen", "0.0.0.0:0", "--token-file", short_token],
                             "shorter than 16"))
            for arguments, message in refusals:
                done = subprocess.run([ledra, "serve", *arguments], stdout=subprocess.PIPE,
                                      stderr=subprocess.PIPE, timeout=20)
                check(done.returncode == 2 and message in done.stderr.decode(),
                      f"serve {arguments}: status {done.returncode}, {done.stderr!r}")

if failures:
    print(f"{len(failures)} failures", file=sys.stderr)
    sys.exit(1)
print(f"serve API: all {checks} checks passed")
