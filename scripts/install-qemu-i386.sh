#!/usr/bin/env bash
# Brings qemu-i386, the user-mode emulator of 32-bit x86 Linux programs, into
# build/qemu/ where this machine cannot run 32-bit Linux programs itself: Wine's
# 32-bit loader then runs under it in the smoke test of the 32-bit build.
#
# Debian 12's own qemu (7.2) spends over a minute of CPU starting each Wine
# process; the one of its backports suite (qemu 10) takes seconds. The package
# comes from the backports suite of the archive the machine's sources already
# name, through a source list and list folder of this script's own: the
# machine's package sources and package cache stay as they were, nothing is
# installed, and only the one binary is kept.
#
# Safe to run again. When the emulator cannot be had (no archive reachable),
# it says so and ends with 0: the smoke test then reports that it cannot run.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/scripts/env.sh"

dest=$top/build/qemu
[ -x "$dest/qemu-i386" ] && exit 0
tillvox_runs_32bit && exit 0

# The first archive (deb lines, one-line or deb822 form) that carries the
# machine's own release, with the key it is signed with when the entry names one.
# Prints "URI<TAB>KEYRING".
archive_of_release() {
  local codename=$1
  python3 - "$codename" /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources <<'PY'
import re, sys
codename, files = sys.argv[1], sys.argv[2:]
def entries(path):
    try:
        text = open(path, encoding="utf-8", errors="replace").read()
    except OSError:
        return
    if path.endswith(".sources"):
        for stanza in re.split(r"\n\s*\n", text):
            fields, key = {}, None
            for line in stanza.splitlines():
                if line.startswith("#"):
                    continue
                if line[:1] in (" ", "\t") and key:
                    fields[key] += " " + line.strip()
                elif ":" in line:
                    key, value = line.split(":", 1)
                    key = key.strip().lower()
                    fields[key] = value.strip()
            if fields.get("enabled", "yes").lower() == "no":
                continue
            if "deb" not in fields.get("types", "").split():
                continue
            for uri in fields.get("uris", "").split():
                yield uri, fields.get("suites", "").split(), fields.get("signed-by", "")
    else:
        for line in text.splitlines():
            line = line.split("#", 1)[0].strip()
            m = re.match(r"deb\s+(?:\[([^\]]*)\]\s+)?(\S+)\s+(\S+)", line)
            if not m:
                continue
            options = dict(o.split("=", 1) for o in (m.group(1) or "").split() if "=" in o)
            yield m.group(2), [m.group(3)], options.get("signed-by", "")
for path in files:
    for uri, suites, key in entries(path):
        if codename in suites and not key.lstrip().startswith("-----BEGIN"):
            print(uri + "\t" + key)
            sys.exit(0)
sys.exit(1)
PY
}

codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
if [ -z "$codename" ]; then
  echo "qemu-i386: this system names no release (VERSION_CODENAME in /etc/os-release): not fetched" >&2
  exit 0
fi
if ! found=$(archive_of_release "$codename"); then
  echo "qemu-i386: no package source of $codename found in /etc/apt: not fetched" >&2
  exit 0
fi
uri=${found%%$'\t'*}
keyring=${found#*$'\t'}
[ -n "$keyring" ] || keyring=/usr/share/keyrings/debian-archive-keyring.gpg
arch=$(dpkg --print-architecture)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/lists/partial" "$work/cache/archives/partial" "$work/deb"
printf 'deb [arch=%s signed-by=%s] %s %s-backports main\n' "$arch" "$keyring" "$uri" "$codename" >"$work/sources.list"
# apt drops to its own user for downloads; it must be able to write here.
chmod 755 "$work"
chmod -R a+rwX "$work/lists" "$work/cache" "$work/deb"
apt_private=(-o Dir::Etc::SourceList="$work/sources.list" -o Dir::Etc::SourceParts=-
             -o Dir::State::Lists="$work/lists" -o Dir::Cache="$work/cache"
             -o Acquire::http::Timeout=30 -o Acquire::https::Timeout=30)
echo "qemu-i386: fetching qemu-user from $codename-backports"
if ! apt-get -qq "${apt_private[@]}" update >"$work/apt.log" 2>&1 \
   || ! (cd "$work/deb" && apt-get -qq "${apt_private[@]}" download qemu-user >>"$work/apt.log" 2>&1); then
  echo "qemu-i386: could not fetch qemu-user from $codename-backports; apt said:" >&2
  cat "$work/apt.log" >&2
  exit 0
fi
# Only the one program out of the package's many emulators.
mkdir -p "$work/root"
dpkg-deb --fsys-tarfile "$work"/deb/qemu-user_*.deb | tar -x -C "$work/root" ./usr/bin/qemu-i386 || true
if [ ! -x "$work/root/usr/bin/qemu-i386" ]; then
  echo "qemu-i386: the qemu-user package holds no usr/bin/qemu-i386: not installed" >&2
  exit 0
fi
mkdir -p "$dest"
cp "$work/root/usr/bin/qemu-i386" "$dest/qemu-i386.new"
mv "$dest/qemu-i386.new" "$dest/qemu-i386"
"$dest/qemu-i386" --version | head -n 1
