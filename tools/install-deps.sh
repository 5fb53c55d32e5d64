#!/usr/bin/env bash
# Installs, with apt-get, every Debian package the build, the tests and the demo need, and the
# packages named as arguments (the Windows stage and the fuzzers add theirs).
# Idempotent: packages already present are not fetched again. Quiet: apt-get's output is shown
# only when it fails.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libcurl4-openssl-dev libssl-dev zlib1g-dev libcpp-httplib-dev
  arj curl
  "$@"
)

sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
apt_log=$(mktemp)
trap 'rm -f "$apt_log"' EXIT
# Runs a command with its output kept aside, and shows that output if it fails.
quietly() {
  "$@" >>"$apt_log" 2>&1 && return 0
  local status=$?
  cat "$apt_log" >&2
  : >"$apt_log"
  return $status
}

# A mirror in the middle of a sync fails one index now and then: try again, then go on with
# the indexes that did come; apt-get install says plainly if a package is really missing.
apt_update() {
  for attempt in 1 2 3; do
    quietly $sudo_cmd apt-get update -qq && return 0
    echo "apt-get update failed (attempt $attempt); trying again" >&2
    sleep $((attempt * 5))
  done
  echo "apt-get update kept failing; installing from the indexes at hand" >&2
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  echo "Installing ${missing[*]}"
  apt_update
  install=(quietly $sudo_cmd apt-get install -y -qq --no-install-recommends)
  # Without one architecture's security index (that mirror sync again), the other's newer
  # library versions leave no common version to install: prefer the release's own.
  "${install[@]}" "${missing[@]}" ||
    "${install[@]}" -t "$(. /etc/os-release && echo "$VERSION_CODENAME")" "${missing[@]}"
fi
