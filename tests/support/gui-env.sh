#!/usr/bin/env bash
# Runs a GUI test program headless, with HOME, TMPDIR and XDG_RUNTIME_DIR in a
# fresh folder that is removed afterwards, so tests never touch the real ones.
set -u
root=$(mktemp -d "${TMPDIR:-/tmp}/quillon-gui-XXXXXX") || exit 1
mkdir -p "$root/home" "$root/tmp" "$root/runtime"
chmod 700 "$root/runtime"
# Open to others, so that tests running as root can act as another user.
chmod 755 "$root" "$root/tmp"
export HOME="$root/home" TMPDIR="$root/tmp" XDG_RUNTIME_DIR="$root/runtime"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
unset XDG_DATA_HOME XDG_CONFIG_HOME XDG_CACHE_HOME
"$@"
status=$?
chmod -R u+rwX "$root" 2>/dev/null
rm -rf "$root"
exit $status
