#!/bin/sh
# Starts the game from a build directory.
# Usage: scripts/run-local.sh BUILD_DIR [tosswick arguments...]
set -eu
build="${1:-build}"
[ $# -gt 0 ] && shift
exec "$build/src/app/tosswick" "$@"
