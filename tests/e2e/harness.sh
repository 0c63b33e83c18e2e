# shellcheck shell=bash
# Shared by the end-to-end scripts: a work folder per case that holds the program's output
# (kept with MIRVO_E2E_KEEP=DIR), cleanup on every exit, the failure report, and waiting for the
# program's window. Source it with $test_case set; $e2e_prefix names the work folder.

: "${MIRVO:?set MIRVO to the mirvo program}"
work=$(mktemp -d "/tmp/${e2e_prefix:-mirvo-e2e}.XXXXXX")
# The settings a run keeps are the case's own: none from the machine, none left for the next case.
export XDG_CONFIG_HOME="$work/config"
pid=""

cleanup() {
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    fi
    if [ -n "${MIRVO_E2E_KEEP:-}" ]; then
        mkdir -p "$MIRVO_E2E_KEEP/$test_case"
        cp -r "$work"/. "$MIRVO_E2E_KEEP/$test_case/"
    fi
    chmod -R u+rwx "$work" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL ($test_case): $*" >&2
    for f in "$work"/out "$work"/err; do
        [ -s "$f" ] && { echo "--- $(basename "$f"):" >&2; head -"${fail_lines:-20}" "$f" >&2; }
    done
    # A case may say more of the state it failed in.
    if declare -F fail_details >/dev/null; then
        fail_details >&2
    fi
    exit 1
}

# Runs the program to completion; sets $status.
run_mirvo() {
    "$MIRVO" "$@" >"$work/out" 2>"$work/err"
    status=$?
}

line_count() { wc -l <"$1" | tr -d ' '; }

# A slow software renderer makes any run print one line of advice ("the software renderer
# holds N fps ..."); whether it comes depends on the machine's load, not on the case. These two
# judge standard error without it: the lines apart from it, and whether there are any.
program_lines() { grep -cv '^mirvo: the software renderer holds ' "$1"; }
has_program_output() { grep -qv '^mirvo: the software renderer holds ' "$1" 2>/dev/null; }

# wait_for_window TENTHS: waits at most TENTHS tenths of a second for the window of $pid and
# sets $wid to it; fails when the program ends first or no window comes.
wait_for_window() {
    wid=""
    for _ in $(seq 1 "$1"); do
        wid=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -1)
        [ -n "$wid" ] && return 0
        kill -0 "$pid" 2>/dev/null || fail "the program ended before its window appeared"
        sleep 0.1
    done
    fail "no window appeared"
}

# Presses keys in the program's window.
key() {
    xdotool windowfocus --sync "$wid" >/dev/null 2>&1
    xdotool key "$@"
}

# Quits the program with Ctrl+Q and sets $status to its exit status.
stop_mirvo() {
    kill -0 "$pid" 2>/dev/null || fail "the program died while running"
    # A key pressed while the program is busy with a slow frame can be missed; ask twice.
    for _ in 1 2; do
        key ctrl+q
        for _ in $(seq 1 50); do
            kill -0 "$pid" 2>/dev/null || break 2
            sleep 0.1
        done
    done
    if kill -0 "$pid" 2>/dev/null; then
        fail "Ctrl+Q did not end the program"
    fi
    wait "$pid"
    status=$?
    pid=""
}
