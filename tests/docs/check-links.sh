#!/usr/bin/env bash
# Every link of the README and the guides leads somewhere, and every path they name in backticks
# or in a code block is a file or folder of the tree.
#
# Usage: tests/docs/check-links.sh [TOP]
#
# A Markdown link ([text](to), ![alt](to)) or an HTML one (src="to", href="to") is taken from the
# page's own folder; an anchor (#part, page.md#part) must name a heading of that page. A path in
# backticks or in a code block is taken from the top of the tree, and is one when its first part
# is a folder of the tree (scripts/run.sh, framework/saver_effect.h): a made-up one
# (myeffect/myeffect.cpp) or one the build makes (build/...) is not. Prints one line per link
# that leads nowhere and exits 1 if there is one.
set -euo pipefail
top="$(cd "${1:-$(dirname "$0")/../..}" && pwd)"
cd "$top"

broken=0
links_seen=0
paths_seen=0
say() {
    echo "$1: $2" >&2
    broken=1
}

# The anchors of a page's headings, as GitHub makes them: lower case, spaces to dashes, other
# punctuation dropped.
anchors() {
    sed -n 's/^#\{1,6\} \{1,\}//p' "$1" | tr '[:upper:]' '[:lower:]' | LC_ALL=C tr -cd 'a-z0-9 _\n-' | tr ' ' '-'
}

# The Markdown and HTML links of a page, one a line, without those in code.
links() {
    awk '/^```/ { code = !code; next } !code' "$1" | sed 's/`[^`]*`//g' |
        grep -oE '\]\([^) ]+\)|(src|href)="[^"]+"' | sed -E 's/^\]\((.*)\)$/\1/; s/^(src|href)="(.*)"$/\2/' || true
}

# The words of a page's code, in backticks or in code blocks, that may be paths.
code_words() {
    {
        awk '/^```/ { code = !code; next } code' "$1"
        # A span in backticks may go on over a line's end, not past its paragraph.
        awk '/^```/ { code = !code; next } !code' "$1" | awk 'BEGIN { RS = "" } { gsub(/\n/, " "); print }' |
            grep -oE '`[^`]+`' | tr -d '`'
    } | tr -s ' \t"<>(),;' '\n' | grep -E '^[A-Za-z0-9_.-]+/' || true
}

check_link() {
    local page="$1" link="$2" file anchor
    case "$link" in http://*|https://*|mailto:*) return ;; esac
    links_seen=$((links_seen + 1))
    file="${link%%#*}"
    anchor=""
    [ "$file" = "$link" ] || anchor="${link#*#}"
    if [ -z "$file" ]; then
        file="$page"
    else
        file="$(dirname "$page")/$file"
        if [ ! -e "$file" ]; then
            say "$page" "the link $link leads to no file"
            return
        fi
    fi
    if [ -n "$anchor" ] && ! anchors "$file" | grep -qxF "$anchor"; then
        say "$page" "the link $link names no heading of ${file#./}"
    fi
}

# Folders of the tree, the first part of a path that must resolve; the build's own is none.
folders=" $(find . -mindepth 1 -maxdepth 1 -type d ! -name build ! -name '.*' -printf '%f ') "

check_path() {
    local page="$1" path="$2"
    case "$folders" in *" ${path%%/*} "*) ;; *) return ;; esac
    path="${path%%:*}"
    path="${path%.}"
    paths_seen=$((paths_seen + 1))
    if [[ "$path" == *[*?]* ]]; then
        compgen -G "$path" >/dev/null || say "$page" "\`$path\` names no file of the tree"
        return
    fi
    [ -e "$path" ] || say "$page" "\`$path\` is no file or folder of the tree"
}

pages=(README.md docs/*.md)
for page in "${pages[@]}"; do
    while IFS= read -r link; do check_link "$page" "$link"; done < <(links "$page")
    while IFS= read -r path; do check_path "$page" "$path"; done < <(code_words "$page")
done
if [ "$broken" -eq 0 ]; then
    echo "check-links.sh: $links_seen links and $paths_seen paths of ${#pages[@]} pages, each resolves"
fi
exit "$broken"
