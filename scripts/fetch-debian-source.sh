#!/usr/bin/env bash
# Downloads and unpacks a Debian source package (with Debian's patches applied)
# into DEST, from the same archives the machine installs its packages from.
# The machine's apt configuration is left alone: the deb-src entries, the
# package lists and the download cache all live in a scratch folder.
#   scripts/fetch-debian-source.sh PACKAGE VERSION DEST
# VERSION may be empty for the newest; when the archive cannot deliver the
# version asked for, the newest one it can is taken and a warning says so.
set -euo pipefail

if [ $# -ne 3 ]; then
  echo "usage: $0 PACKAGE VERSION DEST" >&2
  exit 2
fi
package=$1 version=$2 dest=$3

mkdir -p "$dest"
dest=$(cd "$dest" && pwd)
apt_dir=$(mktemp -d "$dest/apt.XXXXXX")
trap 'rm -rf "$apt_dir"' EXIT
mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"

# Every binary entry of the machine becomes a source entry, in the same file
# format. Entries without sources only cost a warning.
: >"$apt_dir/sources.list"
for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
  [ -f "$file" ] && sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$file" >>"$apt_dir/sources.list"
done
for file in /etc/apt/sources.list.d/*.sources; do
  [ -f "$file" ] && sed 's/^Types:.*$/Types: deb-src/' "$file" >"$apt_dir/sources.list.d/$(basename "$file")"
done

apt=(apt-get -q
  -o "Dir::Etc::SourceList=$apt_dir/sources.list"
  -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
  -o "Dir::State::Lists=$apt_dir/lists"
  -o "Dir::Cache=$apt_dir/cache"
  -o "Acquire::Languages=none"
  -o "APT::Sandbox::User=$(id -un)")

"${apt[@]}" update >"$apt_dir/update.log" 2>&1 || {
  echo "warning: not every source index could be fetched:" >&2
  grep -E '^(E|W):' "$apt_dir/update.log" >&2 || true
}

# The asked version first, then the others from the newest down: a mirror
# may list a source package whose files it does not (yet) serve.
versions=$(apt-cache "${apt[@]:2}" showsrc "$package" 2>/dev/null |
  sed -n 's/^Version: //p' | sort -u -r -V)
[ -n "$versions" ] || { echo "no source package $package in the archive" >&2; exit 1; }
cd "$dest"
for candidate in $version $versions; do
  if "${apt[@]}" source "$package=$candidate" >"$apt_dir/source.log" 2>&1; then
    if [ -n "$version" ] && [ "$candidate" != "$version" ]; then
      echo "warning: $package $version could not be fetched; took $candidate" >&2
    fi
    exit 0
  fi
done
cat "$apt_dir/source.log" >&2
exit 1
