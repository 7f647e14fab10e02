#!/bin/sh
# Runs a command inside a D-Bus session of its own with a fresh, unlocked
# gnome-keyring as the Secret Service. HOME and the XDG folders
# point into a temporary folder, so the user's own keyring is never touched.
set -eu
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT INT TERM
mkdir -m 700 "$scratch/run"
export HOME="$scratch" XDG_RUNTIME_DIR="$scratch/run"
export XDG_DATA_HOME="$scratch/data" XDG_CONFIG_HOME="$scratch/config" XDG_CACHE_HOME="$scratch/cache"
# A non-empty password: with an empty one the daemon makes no login keyring, and
# creating the default collection then waits on a prompt that no one can answer.
# The daemon leaves with the session bus when dbus-run-session ends.
dbus-run-session -- sh -c '
    printf tarvo-test-keyring | gnome-keyring-daemon --unlock --components=secrets >/dev/null || exit 1
    exec "$@"' keyring-session "$@"
