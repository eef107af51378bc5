#!/usr/bin/env bash
# The README's recipes for layouts kept in git, run in a throw-away repository: lyremap-render
# --diff as a difftool (with -x, and as a [difftool "lyremap"] section, which with
# --trust-exit-code makes git fail on a difference), and --trace and --json as the textconv of a
# diff driver.
#   git_recipes.sh LYREMAP_RENDER
set -uo pipefail
if ! command -v git >/dev/null; then
    echo "SKIP: git is not installed"
    exit 77
fi
PATH=$(dirname "$(realpath "$1")"):$PATH
repo=$(mktemp -d)
trap 'rm -rf "$repo"' EXIT
cd "$repo" || exit 1
export GIT_CONFIG_NOSYSTEM=1 HOME=$repo
git init -q . && git config user.name test && git config user.email test@example.com

layout() {
    printf '<widget_description>\n  <widget>\n    <frame x="%s" y="10" width="100" height="50" border="yes"/>\n  </widget>\n</widget_description>\n' "$1" >menu.xml
}
layout 10 && git add menu.xml && git commit -qm first
layout 20

status=0
# expect NAME OUTPUT WANTED [UNWANTED]: OUTPUT holds the line WANTED (an extended regular
# expression) and no line matching UNWANTED.
expect() {
    if ! grep -qE -- "$3" <<<"$2" || { [[ -n ${4-} ]] && grep -qE -- "$4" <<<"$2"; }; then
        printf '%s: unexpected output:\n%s\n' "$1" "$2"
        status=1
    fi
}
moved=': moved /widget_description/widget\[1\]/frame\[1\] 10 10 110 60 -> 20 10 120 60$'

expect "git difftool -x" "$(git difftool -y -x 'lyremap-render --diff' -- menu.xml)" "$moved"

git config difftool.lyremap.cmd 'lyremap-render --diff "$LOCAL" "$REMOTE"'
out=$(git difftool -y -t lyremap --trust-exit-code -- menu.xml)
code=$?
expect "git difftool -t lyremap" "$out" "$moved"
# Git stops at the first layout that differs and fails (git 2.39 with 128, as for any tool).
[[ $code -ne 0 ]] || { echo "git difftool --trust-exit-code succeeded on a difference"; status=1; }

git config diff.lyremap.textconv 'f() { lyremap-render --trace "$1" | grep -v "^/"; }; f'
echo '*.xml diff=lyremap' >.gitattributes
out=$(git diff -- menu.xml)
expect "textconv" "$out" '^\+DrawRectangle 20 10 120 60$' 'loaded\.'
expect "textconv" "$out" '^-DrawRectangle 10 10 110 60$'

if command -v python3 >/dev/null; then
    git config diff.lyremap.textconv 'f() { lyremap-render --json "$1" | python3 -c "import json, sys; [print(json.dumps(f)) for f in json.load(sys.stdin)[\"frames\"]]"; }; f'
    out=$(git diff -- menu.xml)
    expect "textconv --json" "$out" '^\+\{.*"left": 20.*"path": "/widget_description/widget\[1\]/frame\[1\]"'
    expect "textconv --json" "$out" '^-\{.*"left": 10,'
fi
exit $status
