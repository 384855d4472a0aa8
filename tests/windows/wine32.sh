#!/usr/bin/env bash
# Runs a 32-bit Windows program under Debian's 32-bit Wine, with the standard
# streams passed through, and exits with the program's status:
#
#   tests/windows/wine32.sh PROGRAM.exe [ARGS...]
#   tests/windows/wine32.sh --setup    # makes the prefix ready, says how it runs
#
# The 32-bit Wine loader runs as the kernel starts it when it can (natively,
# or through a binfmt_misc handler). Otherwise, as root, a binfmt_misc
# handler for i386 images is registered for qemu-i386-static (mounting
# binfmt_misc first if need be) and left registered. Where that cannot be
# done, the loader runs under qemu-i386-static directly; 32-bit programs
# started from there (cmd.exe, say) then do not start. WINE32_MODE=native,
# binfmt or qemu takes one way only; binfmt registers or enables the handler
# even where the kernel runs 32-bit code, which it then consults first.
#
# The prefix is WINEPREFIX, by default build/wine-prefix (the Windows stage's
# own, which keeps Wine out of ~/.wine); a missing prefix or its missing
# 32-bit half is made on first use.
#
# Unless WINEDEBUG is set, Wine's log is off but for the loader's errors,
# such as "Library jqcpt.dll ... not found". Under qemu the loader also says
# at every start that ntdll is not at its preferred address; that line is
# then dropped from standard error. Wine's debugger is off unless
# WINEDLLOVERRIDES is set, so that a crash ends the program at once instead
# of dumping a debugger's report on standard output.
# Whenever 32-bit Wine cannot be started, it says why and exits with 125.
#
# Needs the Debian packages wine32:i386 wine32-preloader:i386 wine64
# qemu-user-static.
set -euo pipefail

wine_dir=/usr/lib/wine
binfmt=/proc/sys/fs/binfmt_misc
root=$(cd "$(dirname "$0")/../.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$root/build/wine-prefix}
caller_winedebug=${WINEDEBUG+set}
export WINEDEBUG=${WINEDEBUG--all,err+module}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES-mscoree,mshtml=;winedbg.exe=d}

fail() {
    echo "wine32.sh: $*" >&2
    exit 125
}

[ $# -gt 0 ] || fail "usage: $0 PROGRAM.exe [ARGS...] | --setup"
for file in "$wine_dir/wine" "$wine_dir/wine-preloader" "$wine_dir/wine64"; do
    [ -x "$file" ] ||
        fail "$file is missing (Debian packages wine32:i386 wine32-preloader:i386 wine64)"
done
qemu=$(command -v qemu-i386-static || true)

# Whether the kernel starts the 32-bit loader itself.
kernel_runs_loader() { "$wine_dir/wine" --version 2>/dev/null | grep -q '^wine-'; }

# A binfmt_misc handler that runs i386 images under qemu-i386-static.
register_qemu() {
    [ -n "$qemu" ] || return 1
    [ -e "$binfmt/register" ] ||
        mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null || return 1
    [ -e "$binfmt/qemu-i386" ] ||
        printf '%s\n' ":qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:$qemu:F" \
            2>/dev/null >"$binfmt/register" || return 1
    grep -qs '^enabled' "$binfmt/qemu-i386" || echo 1 2>/dev/null >"$binfmt/qemu-i386"
}

qemu_runs_loader() { [ -n "$qemu" ] && "$qemu" "$wine_dir/wine" --version 2>/dev/null | grep -q '^wine-'; }

mode=${WINE32_MODE:-auto}
case $mode in
auto)
    if kernel_runs_loader; then
        mode=native
    elif register_qemu && kernel_runs_loader; then
        mode=binfmt
    elif qemu_runs_loader; then
        mode=qemu
    else
        fail "cannot run the 32-bit Wine loader: the kernel does not start it, no binfmt_misc" \
            "handler could be registered, and qemu-i386-static (Debian package qemu-user-static)" \
            "${qemu:+does not run it}${qemu:-is missing}"
    fi
    ;;
native) kernel_runs_loader || fail "the kernel does not start the 32-bit Wine loader" ;;
binfmt) { register_qemu && kernel_runs_loader; } ||
    fail "no binfmt_misc handler for qemu-i386-static could be registered and used" ;;
qemu) qemu_runs_loader || fail "qemu-i386-static is missing or does not run the 32-bit Wine loader" ;;
*) fail "WINE32_MODE must be native, binfmt or qemu, not '$mode'" ;;
esac

# Runs the 32-bit loader with the arguments, in place of this process.
exec_wine32() {
    if [ "$mode" = qemu ]; then
        WINELOADERNOEXEC=1 exec "$qemu" "$wine_dir/wine-preloader" "$wine_dir/wine" "$@"
    fi
    exec "$wine_dir/wine" "$@"
}

# The prefix: a 64-bit one with its 32-bit half (syswow64). When wineboot
# cannot start the 32-bit program that installs that half (qemu mode), it is
# run here, in Wine's bootstrap mode. Their output goes to a file: Wine's
# services, started on the way, keep what they inherit open.
wow64=$WINEPREFIX/drive_c/windows/syswow64
if ! [ -f "$WINEPREFIX/system.reg" ] || ! [ -f "$wow64/kernel32.dll" ]; then
    mkdir -p "$WINEPREFIX"
    log=$WINEPREFIX/wine32-setup.log
    if ! [ -f "$WINEPREFIX/system.reg" ]; then
        "$wine_dir/wine64" wineboot -i >"$log" 2>&1 </dev/null ||
            fail "creating the prefix $WINEPREFIX failed: $(cat "$log")"
    fi
    if ! [ -f "$wow64/kernel32.dll" ]; then
        (
            export WINEBOOTSTRAPMODE=1
            exec_wine32 'C:\windows\syswow64\rundll32.exe' setupapi,InstallHinfSection \
                Wow64Install 128 '\\?\unix/usr/share/wine/wine.inf'
        ) >>"$log" 2>&1 </dev/null || true
        [ -f "$wow64/kernel32.dll" ] ||
            fail "setting up the 32-bit half of the prefix $WINEPREFIX failed: $(cat "$log")"
    fi
fi

if [ "$1" = --setup ]; then
    case $mode in
    native) how="as the kernel starts it" ;;
    binfmt) how="through binfmt_misc and $qemu" ;;
    qemu) how="under $qemu directly" ;;
    esac
    if [ "$mode" = native ] && grep -qs '^enabled' "$binfmt/qemu-i386"; then
        how="through binfmt_misc (qemu-i386)"
    fi
    echo "32-bit Wine: the loader runs $how; prefix $WINEPREFIX"
    exit 0
fi
if [ -n "$caller_winedebug" ]; then
    exec_wine32 "$@"
fi
# Wine's services, which a first run starts and which live as long as the
# server, would hold the filter's pipe open. They are started here first,
# with their output away from it. The filter is waited for, so that all it
# passes is written before the exit. sed, unlike grep, leaves a last line
# without its line end as it is.
"$wine_dir/wine64" cmd /c exit </dev/null >/dev/null 2>&1 || true
exec 3> >(LC_ALL=C sed -u '/^[0-9a-f]\{4\}:err:module:relocate_ntdll ntdll could not be mapped at preferred address /d' >&2)
filter=$!
status=0
(exec_wine32 "$@") 2>&3 3>&- || status=$?
exec 3>&-
wait "$filter"
exit $status
