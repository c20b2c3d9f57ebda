#!/usr/bin/env bash
# `cmake --install` puts the saver where XScreenSaver looks for hacks and their settings.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
hack="$prefix/libexec/xscreensaver/halvorine"
config="$prefix/share/xscreensaver/config/halvorine.xml"
status=0
[ -x "$hack" ] || { echo "FAIL: no executable $hack"; status=1; }
if [ -f "$config" ]; then
    for expected in '<screensaver name="halvorine" _label="QLX Halvorine">' \
        '<command arg="--root"/>' '<_description>' '</screensaver>'; do
        grep -qF "$expected" "$config" || { echo "FAIL: $config lacks $expected"; status=1; }
    done
else
    echo "FAIL: no $config"
    status=1
fi
exit "$status"
