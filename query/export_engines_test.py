#!/usr/bin/env python3
"""Exports loaded by the engines people load them into, unedited, with the commands the man
page gives: sqlite3's .import of the CSV, and a real PostgreSQL server (started here in a
temporary folder) taking the CSV with COPY ... HEADER and the JSON Lines as jsonb. Names
that break careless loaders (line feed, CR, tab, quotes, comma, backslash, \\N, NULL, an
emoji, bytes that are not UTF-8) must come through intact, sizes as numbers.

    export_engines_test.py LEDRA LEDRACMD

Exits 77 (skipped) when no engine at all can be run here, saying why.
"""
import glob
import json
import os
import pwd
import shutil
import subprocess
import sys
import tempfile

ledra, ledracmd = sys.argv[1], sys.argv[2]
failures = []
skipped = []


def check(condition, what):
    if not condition:
        failures.append(what)


NAMES = {
    b"line\nfeed.txt": 11,
    b"carriage\rreturn.txt": 12,
    b"tab\there.txt": 13,
    b'quote "double" and \'single\'.txt': 14,
    b"comma, separated.txt": 15,
    b"back\\slash.txt": 16,
    b"\\N": 17,
    b"NULL": 18,
    "emoji \U0001F600.txt".encode(): 19,
    b"latin1 caf\xe9.txt": 20,
    b"plain.txt": 21,
}


def shown(raw):
    """The name as JSON and CSV give it: invalid UTF-8 mended to U+FFFD."""
    return raw.decode("utf-8", errors="replace")


def run(args, **kw):
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kw)


def load_sqlite(csv_path, top):
    if shutil.which("sqlite3") is None:
        skipped.append("sqlite3: not installed")
        return
    db = os.path.join(top, "import.db")
    script = (
        "CREATE TABLE entries (volume TEXT, catalog TEXT, path TEXT, name TEXT, type TEXT,"
        " size INTEGER, size_clamped TEXT, files INTEGER, modified TEXT, modified_epoch INTEGER,"
        " name_bytes TEXT, serial TEXT, parent INTEGER, folder INTEGER);\n"
        f".import --csv --skip 1 '{csv_path}' entries\n"
    )
    done = run(["sqlite3", db], input=script.encode())
    check(done.returncode == 0 and not done.stderr, f"sqlite3 .import: {done.stderr!r}")
    rows = run(["sqlite3", "-json", db,
                "SELECT name, size, typeof(size) AS t FROM entries WHERE type = 'file'"])
    got = {r["name"]: (r["size"], r["t"]) for r in json.loads(rows.stdout or b"[]")}
    for raw, size in NAMES.items():
        check(got.get(shown(raw)) == (size, "integer"),
              f"sqlite3: {shown(raw)!r} came back as {got.get(shown(raw))!r}")
    check(len(got) == len(NAMES), f"sqlite3: {len(got)} file rows, not {len(NAMES)}")


def postgres_tools():
    found = sorted(glob.glob("/usr/lib/postgresql/*/bin/initdb"))
    return os.path.dirname(found[-1]) if found else None


def load_postgres(csv_path, jsonl_path, top):
    bindir = postgres_tools()
    if bindir is None or shutil.which("psql") is None:
        skipped.append("PostgreSQL: initdb or psql not installed (Debian's postgresql)")
        return
    # The server refuses to run as root: it runs as the postgres account where there is one.
    as_user = []
    if os.geteuid() == 0:
        try:
            account = pwd.getpwnam("postgres")
        except KeyError:
            skipped.append("PostgreSQL: running as root without a postgres account")
            return
        as_user = ["setpriv", f"--reuid={account.pw_uid}", f"--regid={account.pw_gid}",
                   "--clear-groups"]
    home = os.path.join(top, "pg")
    os.mkdir(home)
    if as_user:
        os.chown(home, account.pw_uid, account.pw_gid)
    data, sockets = os.path.join(home, "data"), home
    init = run(as_user + [os.path.join(bindir, "initdb"), "-D", data, "-U", "postgres",
                          "--auth=trust", "-E", "UTF8", "--locale=C"])
    if init.returncode != 0:
        skipped.append(f"PostgreSQL: initdb failed: {init.stderr.decode(errors='replace')}")
        return
    ctl = os.path.join(bindir, "pg_ctl")
    start = run(as_user + [ctl, "-D", data, "-w", "-t", "60", "-l", os.path.join(home, "log"),
                           "-o", f"-k {sockets} -c listen_addresses=''", "start"])
    if start.returncode != 0:
        skipped.append(f"PostgreSQL: the server did not start: {start.stderr!r}")
        return
    try:
        def psql(sql):
            return run(["psql", "-X", "-q", "-v", "ON_ERROR_STOP=1", "-h", sockets, "-U",
                        "postgres", "-d", "postgres", "-A", "-t", "-c", sql])

        create = psql(
            "CREATE TABLE entries (volume text, catalog text, path text, name text, type text,"
            " size bigint, size_clamped boolean, files bigint, modified timestamptz,"
            " modified_epoch bigint, name_bytes text, serial text, parent integer,"
            " folder integer)")
        check(create.returncode == 0, f"psql CREATE TABLE: {create.stderr!r}")
        copy = psql(f"\\copy entries FROM '{csv_path}' WITH (FORMAT csv, HEADER true)")
        check(copy.returncode == 0, f"PostgreSQL COPY of the CSV: {copy.stderr!r}")
        rows = psql("SELECT json_agg(json_build_object('n', name, 's', size, 'b', name_bytes))"
                    " FROM entries WHERE type = 'file'")
        got = {r["n"]: (r["s"], r["b"]) for r in json.loads(rows.stdout or b"[]") or []}
        for raw, size in NAMES.items():
            bytes_hex = None if shown(raw).encode() == raw else raw.hex()
            check(got.get(shown(raw)) == (size, bytes_hex),
                  f"PostgreSQL CSV: {shown(raw)!r} came back as {got.get(shown(raw))!r}")
        nulls = psql("SELECT count(*) FROM entries WHERE files IS NULL AND type = 'file'")
        check(nulls.stdout.strip() == str(len(NAMES)).encode(),
              f"PostgreSQL CSV: files of files are not all null: {nulls.stdout!r}")

        raw_table = psql("CREATE TABLE raw (doc jsonb)")
        check(raw_table.returncode == 0, f"psql CREATE TABLE raw: {raw_table.stderr!r}")
        copy = psql(f"\\copy raw FROM '{jsonl_path}' WITH (FORMAT csv, QUOTE e'\\x01', "
                    "DELIMITER e'\\x02')")
        check(copy.returncode == 0, f"PostgreSQL COPY of the JSON Lines: {copy.stderr!r}")
        rows = psql("SELECT json_agg(json_build_object('n', doc->>'name', 't',"
                    " jsonb_typeof(doc->'size'), 's', (doc->>'size')::bigint))"
                    " FROM raw WHERE doc->>'type' = 'file'")
        got = {r["n"]: (r["s"], r["t"]) for r in json.loads(rows.stdout or b"[]") or []}
        for raw, size in NAMES.items():
            check(got.get(shown(raw)) == (size, "number"),
                  f"PostgreSQL JSONL: {shown(raw)!r} came back as {got.get(shown(raw))!r}")
    finally:
        run(as_user + [ctl, "-D", data, "-m", "fast", "stop"])


with tempfile.TemporaryDirectory() as top:
    os.chmod(top, 0o755)
    tree = os.path.join(top.encode(), b"tree")
    os.makedirs(os.path.join(tree, b"sub"))
    for raw, size in NAMES.items():
        with open(os.path.join(tree, b"sub", raw), "wb") as f:
            f.write(b"x" * size)
    cats = os.path.join(top, "cats")
    os.mkdir(cats)
    with open(os.path.join(cats, "params.txt"), "wb") as f:
        f.write(b"#DEV " + tree + b",Hostile\n")
    done = run([ledracmd, "-f", os.path.join(cats, "params.txt")])
    check(done.returncode == 0, f"LedraCmd: {done.returncode} {done.stderr!r}")
    out = os.path.join(top, "out")
    os.mkdir(out)
    os.chmod(out, 0o755)
    paths = {}
    for form in ("csv", "jsonl"):
        paths[form] = os.path.join(out, f"entries.{form}")
        done = run([ledra, "export", "--in", cats, "Hostile", "--format", form, "-o", paths[form]])
        check(done.returncode == 0, f"ledra export {form}: {done.returncode} {done.stderr!r}")
        os.chmod(paths[form], 0o644)
    load_sqlite(paths["csv"], top)
    load_postgres(paths["csv"], paths["jsonl"], top)

for reason in skipped:
    print(f"skipped: {reason}")
print("DuckDB: not packaged in Debian 12; its sniffer is met by quoting every text field")
if failures:
    print(f"{len(failures)} failures:")
    for f in failures:
        print(" ", f)
    sys.exit(1)
if len(skipped) == 2:
    sys.exit(77)
print("exports loaded by every engine available")
