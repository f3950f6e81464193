#!/bin/sh
# Runs a command on a session bus of its own, with its own home and runtime directory, so that a
# service the bus starts on demand finds nothing of the caller's session (such as its keyring).
set -eu
dir=$(mktemp -d "${TMPDIR:-/tmp}/tosswick-bus.XXXXXX")
trap 'rm -rf "$dir"' EXIT
mkdir -m 700 "$dir/run"
env -u XDG_DATA_HOME -u XDG_CONFIG_HOME -u XDG_CACHE_HOME HOME="$dir" XDG_RUNTIME_DIR="$dir/run" \
    dbus-run-session -- "$@"
