#!/bin/sh
# Installs the Debian packages given as arguments when they are missing.
# Usage: tools/ensure-deps.sh package...
missing=""
for package in "$@"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $package"
  fi
done
[ -z "$missing" ] && exit 0
if ! command -v apt-get >/dev/null 2>&1; then
  echo "ensure-deps: missing packages:$missing (no apt-get here; install them by hand)" >&2
  exit 1
fi
if [ "$(id -u)" = 0 ]; then
  sudo=""
elif command -v sudo >/dev/null 2>&1; then
  sudo="sudo"
else
  echo "ensure-deps: missing packages:$missing (run as root or install them by hand)" >&2
  exit 1
fi
echo "ensure-deps: installing$missing" >&2
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq >/dev/null && $sudo apt-get install -y -qq $missing >/dev/null
