#!/usr/bin/env bash
# Measures the utility as built by the bench preset (a release build):
#   - a scripted session of 1,000 listings of a 100-country file, standard
#     output to a pipe: wall and CPU time against cat writing the session's
#     own transcript to a pipe (the floor), and write(2) calls (strace);
#   - start-up: "99" alone against a minimal C program printing the menu;
#   - memory: heap allocations in the whole 1,000-listing session (a
#     preloaded counter) and peak resident memory;
#   - instructions (callgrind, exact from run to run): per table row in the
#     console and per country line in the library, from short sessions of a
#     100-country and a 1-country file, the library's share counted inside
#     JQcpt_CountryList alone.
#
#   bench/run.sh           the figures
#   bench/run.sh --check   counts only, once: fails past 1 write call per
#                          listing, on any heap allocation, past 300
#                          instructions per row or 250 per country line
set -euo pipefail
cd "$(dirname "$0")/.."
check=false
[ "${1:-}" = --check ] && check=true
command -v strace >/dev/null 2>&1 || { echo "strace is missing (Debian package: strace)" >&2; exit 1; }
command -v valgrind >/dev/null 2>&1 || { echo "valgrind is missing (Debian package: valgrind)" >&2; exit 1; }

cmake --preset bench >/dev/null
cmake --build --preset bench --parallel >/dev/null
build=build/bench
utility=$build/bin/jqcpttst
tools=$build/bench
work=$build/work
mkdir -p "$work"

listings=1000
for k in $(seq 1 100); do printf '%d Country number %d\n' "$k" "$k"; done >"$work/countries.txt"
export JQCPT_COUNTRY_FILE=$work/countries.txt
{ for _ in $(seq 1 $listings); do printf '1\n\n'; done; printf '99\n'; } >"$work/session.in"
printf '99\n' >"$work/exit.in"
"$utility" <"$work/session.in" >"$work/session.out"
"$utility" <"$work/exit.in" >"$work/exit.out"

writes() { # input: the write(2) calls of one run with stdout to a pipe
    strace -c -e trace=write -o "$work/strace.txt" "$utility" <"$1" | cat >/dev/null
    awk '$NF == "write" { print $4 }' "$work/strace.txt"
}
session_writes=$(writes "$work/session.in")
strace -c -o "$work/strace-all.txt" "$utility" <"$work/session.in" | cat >/dev/null
exit_writes=$(writes "$work/exit.in")
per_listing=$(awk -v s="$session_writes" -v e="$exit_writes" -v n=$listings 'BEGIN { printf "%.3f", (s - e) / n }')

rm -f "$work/alloc.txt"
ALLOC_COUNT_FILE=$work/alloc.txt LD_PRELOAD=$PWD/$tools/liballoc_count.so \
    "$utility" <"$work/session.in" >/dev/null
allocations=$(sed -n 's/allocations=//p' "$work/alloc.txt")

instructions() { # country-file [function]: instructions of a 10-listing session
    local only=()
    [ -n "${2:-}" ] && only=(--collect-atstart=no "--toggle-collect=$2")
    JQCPT_COUNTRY_FILE=$1 valgrind --tool=callgrind "${only[@]}" \
        --callgrind-out-file=/dev/null "$utility" <"$work/short.in" 2>&1 >/dev/null |
        sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
}
head -1 "$work/countries.txt" >"$work/one.txt"
{ for _ in $(seq 1 10); do printf '1\n\n'; done; printf '99\n'; } >"$work/short.in"
all100=$(instructions "$work/countries.txt")
all1=$(instructions "$work/one.txt")
lib100=$(instructions "$work/countries.txt" JQcpt_CountryList)
lib1=$(instructions "$work/one.txt" JQcpt_CountryList)
# What 99 more rows (lines) cost in each of the 10 listings.
per_row=$(awk -v a="$all100" -v b="$all1" -v c="$lib100" -v d="$lib1" 'BEGIN { printf "%.1f", ((a - c) - (b - d)) / 990 }')
per_line=$(awk -v c="$lib100" -v d="$lib1" 'BEGIN { printf "%.1f", (c - d) / 990 }')

echo "session: $listings listings of 100 countries, $(wc -c <"$work/session.out") bytes written"
echo "write(2) calls: $session_writes in the session, $exit_writes for '99' alone: $per_listing per listing (target <= 1)"
echo "heap allocations in the session: $allocations (target 0)"
echo "instructions (callgrind): $per_row per table row in the console (target <= 300), $per_line per country line in the library (target <= 250)"

if $check; then
    awk -v p="$per_listing" 'BEGIN { exit !(p <= 1) }' || { echo "FAIL: more than 1 write call per listing" >&2; exit 1; }
    [ "$allocations" = 0 ] || { echo "FAIL: the utility allocated from the heap" >&2; exit 1; }
    awk -v p="$per_row" 'BEGIN { exit !(p <= 300) }' || { echo "FAIL: more than 300 instructions per table row" >&2; exit 1; }
    awk -v p="$per_line" 'BEGIN { exit !(p <= 250) }' || { echo "FAIL: more than 250 instructions per country line" >&2; exit 1; }
    echo "bench counts: ok"
    exit 0
fi

# CPU of whole processes, the session and cat of its transcript taken in
# turn, so that both see the same machine; the median of 21 pairs.
for _ in $(seq 1 21); do
    s=$("$tools/spawn" 1 "$work/session.in" pipe "$utility")
    c=$("$tools/spawn" 1 "$work/session.out" pipe /bin/cat)
    echo "$(sed -n 's/.* cpu_us=\([0-9.]*\).*/\1/p' <<<"$s") $(sed -n 's/.* cpu_us=\([0-9.]*\).*/\1/p' <<<"$c")"
done >"$work/pairs.txt"
median() { sort -g | sed -n 11p; }
echo "CPU, median of 21 pairs taken in turn: session $(cut -d' ' -f1 "$work/pairs.txt" | median) us, cat $(cut -d' ' -f2 "$work/pairs.txt" | median) us, session / cat $(awk '{ printf "%.2f\n", $1 / $2 }' "$work/pairs.txt" | median)x (target <= 2)"

field() { sed -n "s/.* $1=\([0-9.]*\).*/\1/p" <<<"$2"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

session=$("$tools/spawn" 50 "$work/session.in" pipe "$utility")
floor=$("$tools/spawn" 200 "$work/session.out" pipe /bin/cat)
echo "session, mean of 50: wall $(field wall_us "$session") us (shortest $(field min_wall_us "$session")), CPU $(field cpu_us "$session") us (user $(field user_us "$session"), system $(field sys_us "$session")), peak RSS $(field maxrss_kb "$session") KiB"
echo "cat of its transcript, mean of 200: wall $(field wall_us "$floor") us (shortest $(field min_wall_us "$floor")), CPU $(field cpu_us "$floor") us (user $(field user_us "$floor"), system $(field sys_us "$floor"))"
calls=$(awk '$NF == "total" { print $4 }' "$work/strace-all.txt")
echo "system calls in the session: $calls ($(awk -v c="$calls" -v n=$listings 'BEGIN { printf "%.1f", c / n }') per listing: one write, one fcntl for stdout's mode around the library call, the library's open, fstat, two reads (the second gives nothing), close, and for the protected page two mprotect and a process_vm_readv)"
# cat's time through a pipe swings with scheduling: the shortest runs compare best.
echo "session / cat: wall $(ratio "$(field min_wall_us "$session")" "$(field min_wall_us "$floor")")x shortest, $(ratio "$(field wall_us "$session")" "$(field wall_us "$floor")")x mean"

# The same system calls with no work between them: what re-reading the file
# at every call and writing each listing cost on their own.
menu_bytes=$(wc -c <"$work/exit.out")
listing_bytes=$(( ($(wc -c <"$work/session.out") - menu_bytes) / listings - menu_bytes ))
syscalls=$("$tools/spawn" 50 /dev/null pipe "$tools/syscall_floor" "$listings" "$work/countries.txt" \
    "$menu_bytes" "$listing_bytes")
echo "its system calls alone ($listings x: open, fstat, read, close, write $((menu_bytes + listing_bytes)) B): wall $(field wall_us "$syscalls") us (shortest $(field min_wall_us "$syscalls")), CPU $(field cpu_us "$syscalls") us (user $(field user_us "$syscalls"), system $(field sys_us "$syscalls"))"
echo "system calls alone / cat: $(ratio "$(field min_wall_us "$syscalls")" "$(field min_wall_us "$floor")")x shortest; session / system calls alone: $(ratio "$(field min_wall_us "$session")" "$(field min_wall_us "$syscalls")")x"

start=$("$tools/spawn" 2000 "$work/exit.in" null "$utility")
minimal=$("$tools/spawn" 2000 /dev/null null "$tools/menu_only")
echo "start-up, '99' alone, mean of 2000: wall $(field wall_us "$start") us (shortest $(field min_wall_us "$start")), peak RSS $(field maxrss_kb "$start") KiB"
echo "minimal C program printing the menu: wall $(field wall_us "$minimal") us (shortest $(field min_wall_us "$minimal")), peak RSS $(field maxrss_kb "$minimal") KiB"
echo "start-up / minimal: $(ratio "$(field wall_us "$start")" "$(field wall_us "$minimal")")x (target <= 1.3)"
