#!/usr/bin/env python3
"""Search as you type against `ledra serve`: each client types words one character at a
time and asks /api/find for the first page (limit 50) of every prefix, waiting for each
answer before the next keystroke (no pause: a worse case than a browser, whose page waits
150 ms after the last key). Prints the 50th and 95th percentile and the worst latency, and
the server's peak resident memory and thread count, sampled from /proc while it runs.

    serve_load.py URL PID CLIENTS WORDS_PER_CLIENT
"""
import http.client
import statistics
import sys
import threading
import time
import urllib.parse

url, pid, clients, words_per_client = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
host_port = urllib.parse.urlparse(url).netloc
# Names like make_catalogs writes: a word, '_' or '-', a number below 100,000, an extension.
# The last keystrokes of each word match a few entries of ten million and scan them all.
WORDS = ["holiday_12345", "report-4711", "IMG_20231", "invoice_777", "garden-31415", "thesis_2718",
         "scan_99999", "budget-1234", "family_54321", "track-8080"]
latencies = []
errors = []
lock = threading.Lock()
done = threading.Event()
peak = {"rss_kb": 0, "threads": 0}


def sample():
    while not done.is_set():
        try:
            with open(f"/proc/{pid}/status") as f:
                for line in f:
                    key, _, value = line.partition(":")
                    if key == "VmHWM":
                        peak["rss_kb"] = max(peak["rss_kb"], int(value.split()[0]))
                    elif key == "Threads":
                        peak["threads"] = max(peak["threads"], int(value))
        except OSError:
            pass
        time.sleep(0.05)


def client(number):
    connection = http.client.HTTPConnection(host_port, timeout=60)
    for w in range(words_per_client):
        word = WORDS[(number + w) % len(WORDS)]
        for i in range(1, len(word) + 1):
            target = "/api/find?" + urllib.parse.urlencode({"q": word[:i], "limit": 50})
            start = time.perf_counter()
            try:
                connection.request("GET", target)
                response = connection.getresponse()
                response.read()
                status = response.status
            except (OSError, http.client.HTTPException) as e:
                connection.close()
                connection = http.client.HTTPConnection(host_port, timeout=60)
                status = str(e)
            elapsed = time.perf_counter() - start
            with lock:
                latencies.append(elapsed)
                if status != 200:
                    errors.append(status)


sampler = threading.Thread(target=sample)
sampler.start()
started = time.perf_counter()
threads = [threading.Thread(target=client, args=(n,)) for n in range(clients)]
for t in threads:
    t.start()
for t in threads:
    t.join()
wall = time.perf_counter() - started
done.set()
sampler.join()
ms = sorted(x * 1000 for x in latencies)
p = lambda q: ms[min(len(ms) - 1, int(q * len(ms)))]
print(f"clients {clients}: {len(ms)} requests in {wall:.1f} s, p50 {p(0.50):.1f} ms, "
      f"p95 {p(0.95):.1f} ms, max {ms[-1]:.1f} ms, mean {statistics.mean(ms):.1f} ms, "
      f"errors {len(errors)}; server peak RSS {peak['rss_kb'] / 1024:.0f} MiB, "
      f"threads {peak['threads']}")
