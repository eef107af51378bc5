# Sourced by the package checks.

# need_tools TOOL...: ends the check as skipped (status 77, which CTest reports as "Skipped")
# with one line naming the first tool that is not installed.
need_tools() {
    local tool
    for tool in "$@"; do
        if ! command -v "$tool" >/dev/null; then
            echo "SKIP: $tool is not installed (bash scripts/install-deps.sh installs it)"
            exit 77
        fi
    done
}

# help_options LYREMAP_RENDER: the long options its --help lists, sorted, one a line.
help_options() {
    "$1" --help | grep -oE '^[[:space:]]+--[a-z][a-z0-9-]*' | tr -d ' \t' | sort -u
}
