#!/bin/sh
# What software centres read: the desktop file and the metainfo, as `cmake --install` lays them
# out, must pass the AppStream validator (errors, warnings and infos fail; pedantic hints do not),
# which also checks that the metainfo names an installed desktop file. The newest release must
# be the version being built, or a software centre would offer the build as an older release.
# Usage: check_metainfo.sh BUILD_FOLDER VERSION
set -u
build=$1
version=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/check-metainfo.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --component desktop --prefix "$work/usr" >/dev/null || fail "install failed"
set -- "$work"/usr/share/metainfo/*.metainfo.xml
[ $# -eq 1 ] && [ -f "$1" ] || fail "expected one metainfo file in share/metainfo"
appstreamcli validate-tree --no-net --strict "$work" || fail "the validator refused the installed files"

newest=$(sed -n 's/.*<release [^>]*version="\([^"]*\)".*/\1/p' "$1" | head -n 1)
[ "$newest" = "$version" ] || fail "the newest release is '$newest'; the build is $version"
echo "PASS"
