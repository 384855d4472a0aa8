#!/usr/bin/env bash
# The README's two commands on a bare Debian 12: in a chroot laid out by
# `debootstrap --variant=minbase bookworm`, with a clone of the commit under
# test, runs ./run.sh (listing the countries, then 99) and ./test.sh as root,
# and nothing else: whatever they need they must install themselves.
#
# Needs root and debootstrap. The base system is cached under /tmp, keyed by
# the mirror, the architecture and debootstrap's version, and made anew when
# over a week old or when it does not start. The host's apt configuration,
# sources and resolv.conf are copied in, so apt there reaches what it reaches
# here (credentials are not copied).
set -euo pipefail
cd "$(dirname "$0")/../.."
top=$PWD
[ "$(id -u)" -eq 0 ] || { echo "The bare Debian stage needs root (chroot, mount)." >&2; exit 1; }
command -v debootstrap >/dev/null 2>&1 ||
    { echo "The bare Debian stage needs debootstrap (Debian package: debootstrap)." >&2; exit 1; }
suite=bookworm
clock() { date +%s; }
stage_start=$(clock)

# The mirror is the one the host's own sources name for the suite.
mirror=$(apt-get indextargets --no-release-info --format '$(RELEASE) $(REPO_URI)' |
    awk -v suite=$suite '$1 == suite { print $2; exit }')
[ -n "$mirror" ] || { echo "The host's apt sources name no $suite repository." >&2; exit 1; }

cache=/tmp/jqcpttst-bare
key=$(echo "$suite minbase $(dpkg --print-architecture) $mirror $(dpkg-query -W -f '${Version}' debootstrap)" |
    sha256sum | cut -c1-16)
base=$cache/$suite-minbase-$key.tar.gz
mkdir -p "$cache"
find "$cache" -maxdepth 1 \( -name '*.tar.gz' -o -name '*.tar.gz.part' \) \
    \( ! -name "${base##*/}" -o -mmin +$((7 * 1440)) \) -delete

work=$(mktemp -d /tmp/jqcpttst-bare.XXXXXX)
root=$work/root
mounted_under() { awk '{ print $5 }' /proc/self/mountinfo | grep -q "^$1/"; }
# Ends whatever still runs inside the chroot (a signal reaches the stage
# while the two commands run there).
end_chroot_processes() {
    local p left=false
    for p in /proc/[0-9]*; do
        [ "$(readlink "$p/root" 2>/dev/null)" != "$root" ] || { kill -TERM "${p#/proc/}" 2>/dev/null && left=true; }
    done
    ! $left || sleep 2
}
cleanup() {
    local m
    rm -f "$base.part"
    [ ! -d "$root" ] || end_chroot_processes
    for m in dev/pts dev proc; do
        if mountpoint -q "$root/$m"; then umount "$root/$m" || umount -l "$root/$m"; fi
    done
    if mounted_under "$work"; then
        echo "Something is still mounted under $work; left in place." >&2
    else
        rm -rf --one-file-system "$work"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

make_base() {
    echo "Laying out a minimal $suite with debootstrap (cached in $cache)"
    mkdir "$work/new"
    if ! debootstrap --variant=minbase $suite "$work/new" "$mirror" >"$work/debootstrap.log" 2>&1; then
        tail -n 20 "$work/debootstrap.log" >&2
        return 1
    fi
    ! mounted_under "$work/new" || { echo "debootstrap left mounts under $work/new" >&2; return 1; }
    tar -C "$work/new" -czf "$base.part" . && mv "$base.part" "$base"
    rm -rf --one-file-system "$work/new"
}
unpack_base() {
    rm -rf --one-file-system "$root" && mkdir "$root" &&
        tar -C "$root" -xzf "$base" && chroot "$root" /bin/true && [ -x "$root/usr/bin/apt-get" ]
}
base_start=$(clock)
base_how=cached
if [ ! -f "$base" ] || ! unpack_base; then
    [ ! -f "$base" ] || echo "The cached base system does not start; making it anew."
    rm -f "$base"
    base_how=made
    make_base
    unpack_base
fi
base_time=$(($(clock) - base_start))

# The host's apt configuration and sources in place of debootstrap's.
rm -f "$root/etc/apt/sources.list"
for f in /etc/apt/apt.conf /etc/apt/apt.conf.d/* /etc/apt/preferences.d/* /etc/apt/trusted.gpg \
    /etc/apt/trusted.gpg.d/* /etc/apt/keyrings/* /etc/apt/sources.list /etc/apt/sources.list.d/*.list \
    /etc/apt/sources.list.d/*.sources; do
    [ ! -f "$f" ] || install -D -m 644 "$f" "$root$f"
done
for key_file in $(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources 2>/dev/null |
    grep -oiE '(signed-by[:=] *)/[^] ,]+' | sed 's/^[^/]*//' | sort -u); do
    [ ! -f "$key_file" ] || [ -e "$root$key_file" ] || install -D -m 644 "$key_file" "$root$key_file"
done
cp -L --remove-destination /etc/resolv.conf "$root/etc/resolv.conf"

mount --bind /proc "$root/proc"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"

git clone -q --no-hardlinks --no-checkout "$top" "$root/root/jqcpttst"
git -C "$root/root/jqcpttst" checkout -q --detach "$(git -C "$top" rev-parse HEAD)"

packages() { chroot "$root" dpkg-query -W -f '${Package}:${Architecture} ${Installed-Size}\n'; }
packages >"$work/packages.before"

# A root shell of the bare system, in the clone, with a clean environment.
readme_command() {
    chroot "$root" /usr/bin/env -i HOME=/root TERM="${TERM:-dumb}" \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        /bin/bash -c 'cd ~/jqcpttst && "$@"' bash "$@"
}

echo "== ./run.sh, listing the countries"
run_start=$(clock)
status=0
# In the background, so that a signal to the stage is handled at once.
printf '1\n\n99\n' | readme_command ./run.sh >"$work/run.out" &
wait $! || status=$?
run_time=$(($(clock) - run_start))
countries=$(grep -c '^ *-\?[0-9]' "$top/jqcpt/src/jqcpt/countries.txt")
listed=$(grep -cE '^ +-?[0-9]+ +[^ ]' "$work/run.out" || true)
if [ $status -ne 0 ] || [ "$listed" -ne "$countries" ] || ! grep -q '^ EXIT Selected.' "$work/run.out"; then
    cat "$work/run.out"
    echo "./run.sh exited $status and listed $listed of the $countries countries." >&2
    exit 1
fi
echo "./run.sh exited 0 and listed the $countries countries."

echo "== ./test.sh"
test_start=$(clock)
readme_command ./test.sh </dev/null &
wait $!
test_time=$(($(clock) - test_start))

packages >"$work/packages.after"
added=$(awk 'NR == FNR { had[$1]; next } !($1 in had) { n++; kib += $2 } END { print n + 0, int(kib / 1024) }' \
    "$work/packages.before" "$work/packages.after")
echo "== bare Debian 12"
echo "installed by the two commands: ${added% *} packages, ${added#* } MiB"
echo "base system ($base_how): ${base_time} s; ./run.sh: ${run_time} s;" \
    "./test.sh: ${test_time} s; stage: $(($(clock) - stage_start)) s"
