# lib.sh: timing and fresh-prefix helpers the bench scripts share (sourced).
# Needs $root, $build (its wine-template is made here) and a display.
source "$root/scripts/display.sh"
bash "$root/tests/scripts/make-template.sh" "$build/wine-template"
export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

now() { date +%s%N; }
# One `wine PROGRAM ARGS...` from the current directory: milliseconds in $elapsed, its
# exit code in $last_rc, and its start and end (Unix time in ms) in $started and $ended.
timed() {
    local start
    start=$(now)
    set +e
    timeout 300 wine "$@" >/dev/null 2>&1
    last_rc=$?
    set -e
    local end
    end=$(now)
    started=$((start / 1000000)) ended=$((end / 1000000))
    elapsed=$((ended - started))
}
median() {
    sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : int((v[NR / 2] + v[NR / 2 + 1]) / 2) }'
}

# A persistent server (and the product the install starts) must not outlive the run.
prefix=
finish() {
    [ -n "$prefix" ] || return 0
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    rm -rf "$prefix"
    prefix=
}
# (display.sh's own trap would stop its Xvfb: this one replaces it, so does that too.)
trap 'finish; [ -z "${qm_xvfb_pid:-}" ] || kill "$qm_xvfb_pid" 2>/dev/null' EXIT
mkdir -p "$build/prefixes"
# new_prefix FILE...: a fresh prefix from the template, the files in C:\bench, which is
# the current directory, its server running and its services up (a program that only
# exits has run), so that no timing pays for them.
new_prefix() {
    prefix=$(mktemp -d "$build/prefixes/bench.XXXXXX")
    bash "$root/tests/scripts/copy-template.sh" "$build/wine-template" "$prefix"
    mkdir -p "$prefix/drive_c/bench"
    cp "$@" "$prefix/drive_c/bench/"
    export WINEPREFIX=$prefix
    cd "$prefix/drive_c/bench"
    wineserver -p
    wine qm-minimal.exe >/dev/null 2>&1 || true
}
