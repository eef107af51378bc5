#!/usr/bin/env bash
# The package made by build_package.sh is named lyremap_VERSION_ARCH.deb, holds exactly the
# files of the list kept in the repository (with their modes and owners), has a Depends that
# dpkg-shlibdeps computed, a changelog for its version, and an installed tree that AppStream
# validates whole (metainfo, desktop entry and icon found together).
#   check_contents.sh PACKAGE_DIR EXPECTED_LIST VERSION
set -uo pipefail
source "$(dirname "$0")/common.sh"
need_tools dpkg-deb appstreamcli
dir=$1 expected=$2 version=$3

deb=$dir/lyremap_${version}_$(dpkg --print-architecture).deb
if [[ ! -f $deb ]]; then
    echo "no $deb; the folder holds:"
    ls "$dir"
    exit 1
fi
status=0

# MODE OWNER PATH of every entry, in path order (size and time left out).
if ! diff -u "$expected" <(dpkg-deb --contents "$deb" | awk '{ print $1, $2, $6 }' | sort -k3); then
    echo "The package's files differ from $expected (- expected, + in the package)"
    status=1
fi

control_version=$(dpkg-deb --field "$deb" Version)
[[ $control_version == "$version" ]] || { echo "Version: $control_version"; status=1; }
depends=$(dpkg-deb --field "$deb" Depends)
for library in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libxml2; do
    [[ $depends =~ (^|, )"$library"( |,|$) ]] || { echo "Depends lacks $library: $depends"; status=1; }
done

tree=$dir/tree
rm -rf "$tree"
dpkg-deb --extract "$deb" "$tree"
changelog=$(gzip -dc "$tree/usr/share/doc/lyremap/changelog.gz" | head -1)
[[ $changelog == "lyremap ($version) "* ]] || { echo "changelog starts: $changelog"; status=1; }
appstreamcli validate-tree --no-net --no-color "$tree" || status=1
exit $status
