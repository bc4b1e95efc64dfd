#!/bin/sh
# Prints one configuration's test counts (passed, failed, skipped) and the reason of every
# skip, from the JUnit file that ctest --output-junit writes:
#
#   tools/test-summary.sh LABEL RESULTS.xml
#
# A CTest entry that runs GoogleTest counts by the tests it ran, so the one entry that runs
# the whole Windows suite under Wine shows its skips too (ctest must keep the whole output:
# --test-output-size-passed). A skip's reason is what GTEST_SKIP() printed; an entry that
# is not GoogleTest gives the last line of its output. A test that two entries run (the
# Windows suite, then its code-page cases again in code page 932) counts once per entry
# and is then named with its entry. Exits 1 when a test failed or the file is missing.
set -eu

if [ $# -ne 2 ]; then
  echo "usage: $0 label results.xml" >&2
  exit 2
fi
label=$1
results=$2
if [ ! -f "$results" ]; then
  echo "--- $label: no test results ($results is missing)"
  exit 1
fi

awk -v label="$label" '
function unescape(s) {
  gsub(/&lt;/, "<", s); gsub(/&gt;/, ">", s); gsub(/&quot;/, "\"", s)
  gsub(/&apos;/, "\047", s); gsub(/&#x0A;/, " ", s); gsub(/&amp;/, "\\&", s)
  return s
}
function attribute(line, name,    rest) {
  if (!match(line, name "=\"[^\"]*\"")) return ""
  rest = substr(line, RSTART + length(name) + 2, RLENGTH - length(name) - 3)
  return unescape(rest)
}
# A test that reruns itself in a child process prints its result twice: the last counts.
# A test that another CTest entry runs again (the Windows suite in a second code page) is
# a result of its own, else a pass there would hide a failure here.
function note(kind, name, why,    key) {
  key = entry SUBSEP name
  if (!(key in kinds)) {
    order[++count] = key; shown[key] = name; owner[key] = entry; entries[name]++
  }
  kinds[key] = kind
  reasons[key] = why
}
# The end of one CTest entry: its GoogleTest results, or its own status.
function closeEntry() {
  if (entry == "") return
  if (gtestSeen == 0) {
    if (status == "run") note("passed", entry, "")
    else if (status == "fail") note("failed", entry, message)
    else note("skipped", entry, lastLine)
  } else if (status == "fail" && gtestFailed == 0) {
    # A crash, a time-out or a non-zero exit after the last test.
    note("failed", entry, message)
  }
  entry = ""
}
/<testcase / {
  closeEntry()
  entry = attribute($0, "name"); status = attribute($0, "status")
  message = ""; lastLine = ""; reason = ""; inSkip = 0; gtestSeen = 0; gtestFailed = 0
  next
}
entry == "" { next }
/<failure message=|<skipped message=/ { message = attribute($0, "message") }
/<\/testcase>/ { closeEntry(); next }
{
  line = $0
  sub(/\r$/, "", line)
  sub(/^[ \t]*<system-out>/, "", line)
  sub(/<\/system-out>$/, "", line)
  line = unescape(line)
  if (line ~ /^\[       OK \] .* \([0-9]+ ms\)$/) {
    gtestSeen = 1; sub(/^\[       OK \] /, "", line); sub(/ \([0-9]+ ms\)$/, "", line)
    note("passed", line, ""); inSkip = 0
  } else if (line ~ /^\[  FAILED  \] .* \([0-9]+ ms\)$/) {
    gtestSeen = 1; gtestFailed = 1; sub(/^\[  FAILED  \] /, "", line); sub(/ \([0-9]+ ms\)$/, "", line)
    note("failed", line, ""); inSkip = 0
  } else if (line ~ /^\[  SKIPPED \] .* \([0-9]+ ms\)$/) {
    gtestSeen = 1; sub(/^\[  SKIPPED \] /, "", line); sub(/ \([0-9]+ ms\)$/, "", line)
    note("skipped", line, reason (inTrace ? ")" : "")); reason = ""; inSkip = 0; inTrace = 0
  } else if (line ~ /: Skipped$/) {
    inSkip = 1; reason = ""
  } else if (inSkip && line == "Google Test trace:") {
    # The SCOPED_TRACE of the table case that skipped.
    inTrace = 1; reason = reason " (during"
  } else if (inSkip) {
    if (line != "") reason = reason (reason == "" ? "" : " ") line
  } else if (line != "" && line !~ /^[ \t]*</) {
    lastLine = line
  }
}
END {
  closeEntry()
  for (i = 1; i <= count; i++) {
    key = order[i]; kind = kinds[key]; why = reasons[key]; name = shown[key]
    # Where two entries run a test of the same name, each result says whose it is.
    if (entries[name] > 1) name = name " (" owner[key] ")"
    if (kind == "passed") {
      passed++
    } else if (kind == "failed") {
      failed++
      lines = lines "\n  failed  " name (why == "" ? "" : ": " why)
    } else {
      skipped++
      lines = lines "\n  skipped " name ": " (why == "" ? "no reason given" : why)
    }
  }
  printf "--- %s: %d passed, %d failed, %d skipped%s\n", label, passed, failed, skipped, lines
  exit failed > 0 ? 1 : 0
}
' "$results"
