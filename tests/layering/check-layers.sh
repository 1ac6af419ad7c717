#!/bin/sh
# usage: check-layers.sh SOURCE_DIR
# Checks that dependencies point downwards, from the #include lines of the
# project's tracked sources: the core modules use no Qt and nothing from the
# front ends or the dialog framework, base/ nothing of the modules on it, firmware/protocol/ and
# firmware/image/ nothing of the firmware job above them, the command line none of the dialog's
# layers, the framework nothing of the dialog built on it, and nothing shipped
# reaches into tests/. Prints each offending include as file:line and fails.
set -eu
root=$1
cd "$root"

# The tracked files, and new ones not yet added (every file of the tree where
# git is not at hand); a tracked file deleted from the tree is left out.
list=$(mktemp)
trap 'rm -f "$list" "$list.sources"' EXIT INT TERM
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files --cached --others --exclude-standard | while IFS= read -r file; do
        [ -f "$file" ] && printf '%s\n' "$file"
    done >"$list"
else
    find . -path ./.git -prune -o -path './build*' -prune -o -type f -print | sed 's|^\./||' >"$list"
fi
grep -E '\.(h|hh|hpp|c|cc|cpp|cxx|inl|ipp|rc)$' "$list" >"$list.sources" || true
[ -s "$list.sources" ] || { echo "check-layers: no sources found under $root" >&2; exit 1; }

status=0
tr '\n' '\0' <"$list.sources" | xargs -0 awk -v listfile="$list" '
function folder(path) { return index(path, "/") ? substr(path, 1, index(path, "/") - 1) : "" }
function normalise(path,    n, parts, out, k, i) {
    n = split(path, parts, "/"); k = 0
    for (i = 1; i <= n; i++) {
        if (parts[i] == "." || parts[i] == "") continue
        if (parts[i] == ".." && k > 0 && out[k] != "..") { k--; continue }
        out[++k] = parts[i]
    }
    path = ""
    for (i = 1; i <= k; i++) path = path (i > 1 ? "/" : "") out[i]
    return path
}
function firmwarePart(path) {
    if (path ~ /^firmware\/protocol\//) return "protocol"
    if (path ~ /^firmware\/image\//) return "image"
    return path ~ /^firmware\// ? "job" : ""
}
function dirname(path) { return sub(/\/[^\/]*$/, "", path) ? path : "" }
function report(why) {
    printf "%s:%d: %s: %s\n", FILENAME, FNR, why, $0
    failures++
}
BEGIN {
    while ((getline line < listfile) > 0) tracked[line] = 1
    split("error base settings serial firmware maintenance history station radios sim", names, " ")
    for (i in names) core[names[i]] = 1
}
/^[ \t]*#[ \t]*include[ \t]*[<"]/ {
    target = $0
    sub(/^[ \t]*#[ \t]*include[ \t]*/, "", target)
    quoted = substr(target, 1, 1) == "\""
    target = substr(target, 2)
    if (quoted) sub(/".*$/, "", target)
    else sub(/>.*$/, "", target)
    # A quoted include is looked up beside the including file first, then from
    # the top of the tree (every target puts the top on its include path).
    if (quoted) {
        here = normalise(dirname(FILENAME) "/" target)
        path = (here in tracked) ? here : normalise(target)
    } else {
        path = normalise(target)
    }
    from = folder(FILENAME)
    to = (path in tracked || index(path, "/")) ? folder(path) : ""
    qt = !quoted && (target ~ /^Q[A-Za-z0-9_]*(\/|$)/ || target ~ /^q[a-z0-9_]+\.h$/)

    if ((from in core) && qt)
        report("core module " from "/ includes a Qt header")
    else if ((from in core) && (to == "ui" || to == "framework" || to == "app" || to == "cli"))
        report("core module " from "/ includes " to "/, a layer above it")
    else if (from == "base" && to != "" && to != "base" && to != "error" && (to in core))
        report("base/ includes " to "/, a layer above it")
    else if (from == "cli" && qt)
        report("the command line includes a Qt header")
    else if (from == "cli" && (to == "ui" || to == "framework" || to == "app"))
        report("the command line includes " to "/, a layer of the dialog")
    else if (from == "framework" && (to == "ui" || to == "app"))
        report("the dialog framework includes " to "/, a layer above it")
    # Inside firmware/, the wire protocol and the image files stand below the
    # job and its stages, and apart from each other; the text ids of firmware/
    # are shared by all three.
    part = firmwarePart(FILENAME)
    if ((part == "protocol" || part == "image") && path ~ /^firmware\// &&
        firmwarePart(path) != part && path != "firmware/FirmwareTexts.h")
        report("firmware/" part "/ includes " path ", which it does not stand on")
    if (from != "tests" && to == "tests")
        report(from "/ includes tests/, which nothing shipped may use")
}
END {
    if (failures) {
        printf "check-layers: %d include(s) break the layering rules\n", failures
        exit 1
    }
}' || status=1
[ "$status" -eq 0 ] && echo "check-layers: every include follows the layering rules"
exit "$status"
