#!/bin/sh
# Runs a command inside a D-Bus session of its own with a fresh, unlocked
# gnome-keyring (empty password) as the Secret Service. HOME and the XDG folders
# point into a temporary folder, so the user's own keyring is never touched.
set -eu
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT INT TERM
mkdir -m 700 "$scratch/run"
export HOME="$scratch" XDG_RUNTIME_DIR="$scratch/run"
export XDG_DATA_HOME="$scratch/data" XDG_CONFIG_HOME="$scratch/config" XDG_CACHE_HOME="$scratch/cache"
# The daemon leaves with the session bus when dbus-run-session ends.
dbus-run-session -- sh -c '
    printf "" | gnome-keyring-daemon --unlock --components=secrets >/dev/null || exit 1
    exec "$@"' keyring-session "$@"
