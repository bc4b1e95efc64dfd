#!/usr/bin/env python3
"""ledra as a person at a terminal and a program at a pipe see it, on real catalogues of a
tree with hostile names: names escaped on a terminal and kept byte for byte in a pipe,
folders marked, column headings on a terminal only, --sort and --reverse, case folded
beyond ASCII, and every mistake said on standard error with its exit status.

    ledra_readable_test.py LEDRA LEDRACMD
"""
import json
import os
import pty
import select
import shutil
import subprocess
import sys
import tempfile
import tty

ledra, ledracmd = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
failures = []
env = dict(os.environ, TZ="UTC", LC_ALL="C.UTF-8")
env.pop("LEDRA_CATALOGS", None)


def check(condition, what):
    if not condition:
        failures.append(what)


def run(*args, cwd=None, extra_env=None):
    """(status, stdout, stderr) of ledra with both streams on pipes."""
    done = subprocess.run([ledra, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          cwd=cwd, env=dict(env, **(extra_env or {})))
    return done.returncode, done.stdout, done.stderr


def run_on_terminal(*args):
    """(status, what the terminal received) with standard output on a raw pseudo-terminal."""
    master, slave = pty.openpty()
    tty.setraw(slave)  # bytes as written: no "\n" made into "\r\n"
    child = subprocess.Popen([ledra, *args], stdout=slave, stderr=subprocess.DEVNULL, env=env)
    os.close(slave)
    shown = b""
    while True:
        ready, _, _ = select.select([master], [], [], 10)
        if not ready:
            break
        try:
            chunk = os.read(master, 4096)
        except OSError:  # EIO once nobody holds the terminal open
            break
        if not chunk:
            break
        shown += chunk
    os.close(master)
    return child.wait(), shown


def catalogue(tree, folder, alias):
    os.makedirs(folder, exist_ok=True)
    params = os.path.join(folder, alias + ".txt").encode()
    with open(params, "wb") as f:
        f.write(b"#DEV " + tree + b"," + alias.encode() + b"\n")
    subprocess.run([ledracmd, "-f", params], check=True, stdout=subprocess.DEVNULL, env=env)


T2020 = 1577836800  # 2020-01-01 00:00 UTC
with tempfile.TemporaryDirectory() as top:
    top_b = top.encode()
    tree = os.path.join(top_b, b"tree")
    copy = os.path.join(top_b, b"copy")
    cats = os.path.join(top, "cats")
    # name -> (size, days after T2020)
    names = {
        b"new\nline.txt": (1, 1),
        b"esc\x1b[2Jred": (2, 2),
        b"c1\xc2\x9b31m": (3, 3),
        b"raw\x9b31m": (4, 4),
        b"bad\xffutf8": (5, 5),
        "\u00c9t\u00e9.txt".encode(): (6, 6),
        b"[draft].doc": (7, 7),
        b"draft.doc": (8, 8),
        b"sub/inner.txt": (5000, 9),
    }
    os.makedirs(os.path.join(tree, b"sub"))
    os.makedirs(copy)
    for name, (size, days) in names.items():
        path = os.path.join(tree, name)
        with open(path, "wb") as f:
            f.write(b"x" * size)
        os.utime(path, (T2020 + days * 86400, T2020 + days * 86400))
    os.utime(os.path.join(tree, b"sub"), (T2020 + 10 * 86400, T2020 + 10 * 86400))
    # The copy holds two of the same files: dupes across the two volumes.
    for name in (b"bad\xffutf8", b"draft.doc"):
        shutil.copy2(os.path.join(tree, name), os.path.join(copy, name))
    catalogue(tree, cats, "Tree")
    catalogue(copy, cats, "Copy")
    prefix = b"Tree:" + tree + b"/"

    def line(name, size, days):
        when = subprocess.run(["date", "-u", "-d", f"@{T2020 + days * 86400}", "+%Y-%m-%d %H:%M"],
                              stdout=subprocess.PIPE, check=True).stdout.strip()
        return prefix + name + b"\t" + str(size).encode() + b"\t" + when + b"\n"

    # --- Escaping: a terminal gets no control character from a name; a pipe gets the bytes.
    status, shown = run_on_terminal("find", "--in", cats, "--volume", "Tree")
    check(status == 0, f"find on a terminal: status {status}")
    lines = shown.split(b"\n")[:-1]
    check(len(lines) == len(names) + 1, f"find on a terminal: {len(lines)} lines: {shown!r}")
    for forbidden in (b"\x1b", b"\xc2\x9b", b"\x9b", b"\r"):
        check(forbidden not in shown, f"find on a terminal passed {forbidden!r}: {shown!r}")
    for escaped in (b"new\\nline.txt\t1\t", b"esc\\x1b[2Jred\t", b"c1\\xc2\\x9b31m\t",
                    b"raw\\x9b31m\t", b"bad\xffutf8\t", "\u00c9t\u00e9.txt".encode() + b"\t"):
        check(escaped in shown, f"find on a terminal: no {escaped!r} in {shown!r}")
    # Into a pipe, sorted by name: the stored bytes, and the folder marked.
    status, out, _ = run("find", "--in", cats, "--volume", "Tree", "--sort", "name")
    entries = [(n, s, d) for n, (s, d) in names.items()] + [(b"sub/", 5000, 10)]
    entries.sort(key=lambda e: e[0].rstrip(b"/").rsplit(b"/", 1)[-1])
    wanted = b"".join(line(n, s, d) for n, s, d in entries).replace(b"\t5000\t", b"\t4.8K\t")
    check(status == 0 and out == wanted, f"find into a pipe, sorted by name:\n{out!r}\n{wanted!r}")

    # ls and du: headings on a terminal only; names as stored in a pipe.
    for command in (["ls", "Tree"], ["du", "Tree"]):
        heading = b"T  SIZE" if command[0] == "ls" else b"SIZE  FILES  PATH"
        status, shown = run_on_terminal(*command, "--in", cats)
        check(status == 0 and shown.startswith(heading), f"{command} on a terminal: {shown!r}")
        check(b"\x1b" not in shown and b"\xc2\x9b" not in shown, f"{command}: {shown!r}")
        status, out, _ = run(*command, "--in", cats)
        check(status == 0 and not out.startswith(heading[:4]), f"{command} into a pipe: {out!r}")
        if command[0] == "ls":
            check(b" bad\xffutf8\n" in out and b"\xef\xbf\xbd" not in out, f"ls: {out!r}")
            check(b" new\nline.txt\n" in out and b" sub/\n" in out, f"ls: {out!r}")
    for command, name in ((["dupes", "--min-size", "0"], b"bad\xffutf8"),
                          (["unique", "Tree"], b"raw\x9b31m")):
        status, out, _ = run(*command, "--in", cats)
        check(name in out and b"\xef\xbf\xbd" not in out, f"{command}: {out!r}")
        status, out, _ = run(*command, "--in", cats, "--json")
        check(b"\xef\xbf\xbd" in out, f"{command} --json must stay valid UTF-8: {out!r}")

    # --- Sorting: every order, reversed, limited, in every form.
    def found(*args):
        status, out, err = run("find", "--in", cats, "--volume", "Tree", "--json", *args)
        check(status == 0, f"find {args}: status {status} {err!r}")
        return [json.loads(l)["path"].rsplit("/", 1)[1] for l in out.decode().splitlines()]

    by_size = found("--sort", "size")
    check(by_size[:2] == ["sub", "inner.txt"] and by_size[-1] == "new\nline.txt", f"{by_size}")
    check(found("--sort", "size", "--reverse") == list(reversed(by_size)), "size reversed")
    check(found("--sort", "time", "--limit", "2") == ["sub", "inner.txt"], "time, limited")
    by_path = found("--sort", "path")  # bytes in order: 's' before the 0xC3 of 'É'
    check(by_path[-3:] == ["sub", "inner.txt", "\u00c9t\u00e9.txt"], f"path order: {by_path}")
    check(found("--reverse") == list(reversed(found())), "reversed as found")
    status, out, _ = run("find", "--in", cats, "--sort", "size", "--csv", "--limit", "1")
    check(out.count(b"\n") == 2 and out.startswith(b"volume,"), f"sorted CSV: {out!r}")
    status, out, _ = run("du", "Tree", "--in", cats, "--sort", "size", "--bytes")
    check(out.split(b"\n")[0].split()[:1] == [b"5036"], f"du by size: {out!r}")
    status, out, _ = run("du", "Tree", "--in", cats, "--sort", "path", "--reverse")
    check(out.split(b"\n")[0].endswith(b"/sub"), f"du by path reversed: {out!r}")

    # --- Case beyond ASCII and escaped wildcards, end to end.
    for pattern, name in (("\u00c9T\u00c9", "\u00c9t\u00e9.txt"), ("\\[draft\\]", "[draft].doc"),
                          ("\\[DRAFT]*", "[draft].doc"), ("*.TXT", "\u00c9t\u00e9.txt")):
        status, out, _ = run("find", "--in", cats, "--json", "--type", "f", pattern)
        names_found = [json.loads(l)["name"] for l in out.decode().splitlines()]
        check(status == 0 and name in names_found, f"find {pattern!r}: {names_found}")

    # --- Times: the local time zone is read once per run, not once per line (the C
    # library's localtime() looks at /etc/localtime again for every call when TZ is unset).
    strace = shutil.which("strace")
    if strace:
        # LeakSanitizer cannot work under a tracer: a sanitizer build is traced without it.
        traced_env = {k: v for k, v in env.items() if k != "TZ"}
        traced_env["ASAN_OPTIONS"] = (traced_env.get("ASAN_OPTIONS", "") +
                                      ":detect_leaks=0").lstrip(":")
        traced = subprocess.run([strace, "-f", "-e", "trace=file", ledra, "find", "--in", cats],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=traced_env)
        looks = traced.stderr.count(b"/etc/localtime")
        shown = traced.stdout.count(b"\n")
        check(traced.returncode == 0 and shown >= 10 and looks <= 2,
              f"/etc/localtime looked at {looks} times for {shown} lines")
    else:
        print("ledra readable answers: strace missing, time zone reads not counted")

    # --- Mistakes: each with its message and exit status.
    empty = os.path.join(top, "empty")
    os.makedirs(empty)
    broken = os.path.join(top, "broken")
    os.makedirs(broken)
    shutil.copy(os.path.join(cats, "Tree.kvl"), os.path.join(broken, "Sound.kvl"))
    with open(os.path.join(cats, "Tree.kvl"), "rb") as f:
        whole = f.read()
    # Cut within the folder table: after the header's strings, its serial, comment and
    # free space come the folder count and folder 0's record.
    at = 10
    for _ in range(3):  # root, volume name, alias
        at = whole.index(b"\0", at) + 1
    at = whole.index(b"\0", at + 4) + 1 + 4
    with open(os.path.join(broken, "Cut.kvl"), "wb") as f:
        f.write(whole[:at + 4 + 8])
    twins = os.path.join(top, "twins")
    os.makedirs(twins)
    for twin in ("A.kvl", "B.kvl"):
        shutil.copy(os.path.join(cats, "Tree.kvl"), os.path.join(twins, twin))
    missing = os.path.join(top, "missing")
    cases = [
        # (arguments, working folder, status, what standard error holds, standard output)
        (["find", "x", "--in", empty], None, 2, f"ledra: no catalogues in '{empty}'\n", b""),
        (["volumes"], empty, 2,
         f"ledra: no catalogues in '{empty}' (the current folder; give --in or set "
         "LEDRA_CATALOGS)\n", b""),
        (["find", "--in", missing, "x"], None, 2,
         f"ledra: cannot read the folder '{missing}': No such file or directory\n", b""),
        (["find", "--in", os.path.join(cats, "Copy.kvl"), "draft", "-0"], None, 0, "",
         copy + b"/draft.doc\0"),
        (["--version"], None, 0, "", b"ledra 1.0\n"),
        (["fnd", "x"], None, 2,
         "ledra: 'fnd' is no subcommand; did you mean 'find'? (ledra --help lists them)\n", b""),
        (["dups"], None, 2, "did you mean 'dupes'?", b""),
        (["unqiue", "X"], None, 2, "did you mean 'unique'?", b""),
        (["nonsense"], None, 2, "ledra: 'nonsense' is no subcommand (ledra --help lists them)\n",
         b""),
        (["find", "--in", cats, "-0", "--volume", "Copy", "--volume", "Tree", "draft.doc"], None,
         0, "", copy + b"/draft.doc\0" + tree + b"/draft.doc\0"),
        (["find", "--in", cats, "--volume", "Nope", "x"], None, 2,
         "ledra: no catalogue of a volume 'Nope'\n", b""),
        (["dupes", "--in", cats, "--min-size", "0", "--volume", "Copy", "--volume", "Tree",
          "--bytes"], None, 0, "", b"  Copy:" + copy + b"/bad\xffutf8\t5\t"),
        (["dupes", "--in", cats, "--min-size", "0", "--volume", "Copy"], None, 1, "", b""),
        # A damaged catalogue fails only the commands that read it.
        (["ls", "Sound", "--in", broken], None, 0,
         "Cut.kvl: cut short: 2 folders announced, the file ends after 0 (offset ", b""),
        (["find", "--in", broken, "draft.doc", "-0"], None, 2, "Cut.kvl: cut short: ",
         tree + b"/draft.doc\0"),
        (["ls", "Tree", "--in", twins], None, 2,
         "ledra: volume 'Tree' is ambiguous:\n  A.kvl (Tree, ", b""),
    ]
    for args, cwd, want_status, want_err, want_out in cases:
        status, out, err = run(*map(str, args), cwd=cwd)
        what = " ".join(map(str, args))
        check(status == want_status, f"{what}: status {status}, not {want_status}: {err!r}")
        check(want_err.encode() in err if want_err else err == b"", f"{what}: stderr {err!r}")
        check(want_out in out if want_out else out == b"" or want_status == 0,
              f"{what}: stdout {out!r}")
    # The ambiguity lists one catalogue a line, the second too.
    status, out, err = run("ls", "Tree", "--in", twins)
    check(b"\n  B.kvl (Tree, " in err and b"\\n" not in err, f"ambiguity: {err!r}")
    # A folder the user may not read says why (as root, without the capabilities that
    # override permissions).
    locked = os.path.join(top, "locked")
    os.makedirs(locked)
    os.chmod(locked, 0)
    setpriv = shutil.which("setpriv")
    if os.geteuid() == 0 and setpriv:
        done = subprocess.run([setpriv, "--bounding-set=-dac_override,-dac_read_search",
                               "--inh-caps=-dac_override,-dac_read_search", ledra, "find",
                               "--in", locked, "x"], stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, env=env)
        check(done.returncode == 2 and
              f"cannot read the folder '{locked}': Permission denied".encode() in done.stderr,
              f"locked folder: {done.returncode} {done.stderr!r}")
    elif os.geteuid() != 0:
        status, out, err = run("find", "--in", locked, "x")
        check(status == 2 and b"Permission denied" in err, f"locked folder: {err!r}")
    else:
        print("ledra readable answers: setpriv missing, the locked folder is not tried")
    os.chmod(locked, 0o700)

if failures:
    for f in failures:
        print("FAIL:", f)
    sys.exit(1)
print("ledra readable answers: ok")
