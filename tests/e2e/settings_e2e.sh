#!/usr/bin/env bash
# End-to-end checks of the settings a run keeps for the next: settings_e2e.sh CASE, with $MIRVO
# the program and a display in $DISPLAY. Every case has a config folder of its own
# ($XDG_CONFIG_HOME, set by the harness). Panel values change through the galaxy panel's own
# shortcut: I raises "Minimum Saturation" by 0.05 while the panels show.
set -uo pipefail

test_case=${1:?which case}
e2e_prefix=mirvo-settings-e2e
# shellcheck source=tests/e2e/harness.sh
source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

ini="$XDG_CONFIG_HOME/mirvo/settings.ini"
# The sound server's client keeps its cookie in the config folder too; in the cases where that
# folder cannot be written, its own complaints would hide ours.
export PULSE_COOKIE="$work/pulse-cookie"

start_mirvo() {
    "$MIRVO" "$@" >"$work/out" 2>"$work/err" &
    pid=$!
    wait_for_window 200
    xdotool windowfocus --sync "$wid" >/dev/null 2>&1
    sleep 2
}

# value_of SECTION KEY: the value the settings file holds, empty where it holds none.
value_of() {
    awk -v want="[$1]" -v key="$2" '
        /^\[/ { section = $0; next }
        section == want && index($0, key " = ") == 1 { value = substr($0, length(key) + 4) }
        END { print value }' "$ini"
}

expect_value() {
    local got
    got=$(value_of "$1" "$2")
    [ "$got" = "$3" ] || fail "$4: [$1] $2 is '$got', not '$3'"
}

window_size() {
    xdotool getwindowgeometry "$wid" | awk '/Geometry:/ { print $2 }'
}

# The file as it is, to show later that nothing replaced it: contents and inode.
remember_file() { cp "$ini" "$work/remembered" && stat -c %i "$ini" >"$work/inode"; }
expect_file_untouched() {
    cmp -s "$ini" "$work/remembered" || fail "$1: the settings file changed"
    [ "$(stat -c %i "$ini")" = "$(cat "$work/inode")" ] || fail "$1: the settings file was written again"
}

expect_clean_exit() {
    [ "$status" -eq 0 ] || fail "$1: exit status $status"
}

# mount_own_tmpfs DIR OPTIONS: a file system of our own at DIR, as root or as root of a user
# namespace of our own (the case runs again there); skips where neither can mount one.
mount_own_tmpfs() {
    mkdir -p "$1"
    if ! mount -t tmpfs -o "$2" tmpfs "$1" 2>/dev/null; then
        if [ -z "${MIRVO_E2E_NAMESPACE:-}" ] && unshare --user --map-root-user --mount true 2>/dev/null; then
            trap - EXIT
            cleanup
            MIRVO_E2E_NAMESPACE=1 exec unshare --user --map-root-user --mount "$0" "$test_case"
        fi
        echo "SKIP: no file system of our own can be mounted here"
        exit 77
    fi
    own_mount=$1
    trap 'umount "$own_mount" 2>/dev/null; cleanup' EXIT
}

case "$test_case" in
kept_between_runs)
    # A first run leaves what its command line chose.
    run_mirvo --windowed=900x500 --scene tree --frames 20
    expect_clean_exit "first run"
    has_program_output "$work/err" && fail "first run: unexpected standard error"
    [ -f "$ini" ] || fail "the first run left no $ini"
    expect_value start scene tree "first run"
    expect_value start window 900x500 "first run"

    # Hand-written additions: a value to start from, one past its slider's end, one that is no
    # number, and a panel this run does not have.
    printf '[panel Stars]\nMinimum Saturation = 0.5\nStar Count = 99999999\nMaximum Radius = lots\n' >>"$ini"
    printf '[panel Gone]\nDepth = 3\n' >>"$ini"

    # The second run starts where the first ended: tree, so Alt+Right shows the triangles; the
    # window at 900x500; the saturation at 0.5, so I makes it 0.55.
    start_mirvo --windowed
    [ "$(window_size)" = 900x500 ] || fail "the second run's window is $(window_size), not the kept 900x500"
    key alt+Right
    key t
    sleep 1
    key i
    # Kept without quitting once it has rested a few seconds.
    sleep 5
    expect_value start scene triangles "while running"
    expect_value "panel Stars" "Minimum Saturation" 0.55 "while running"
    stop_mirvo
    expect_clean_exit "second run"
    expect_value "panel Stars" "Star Count" 50000 "a value past the slider's end"
    expect_value "panel Stars" "Maximum Radius" 75 "a value that is no number"
    expect_value "panel Gone" Depth 3 "a panel this run did not have"
    expect_value start window 900x500 "second run"

    # A run that changes nothing leaves the file alone.
    remember_file
    run_mirvo --windowed --frames 20
    expect_clean_exit "unchanged run"
    expect_file_untouched "a run that changed nothing"

    # --no-settings reads nothing (the default window size) and writes nothing.
    start_mirvo --windowed --no-settings
    [ "$(window_size)" = 1280x720 ] || fail "--no-settings: the window is $(window_size), not the default"
    key alt+Right
    key t
    sleep 1
    key i
    sleep 4
    stop_mirvo
    expect_clean_exit "--no-settings"
    expect_file_untouched "--no-settings"

    # --reset-settings removes the file, and a run that then changes nothing makes no new one.
    run_mirvo --windowed --reset-settings --frames 20
    expect_clean_exit "--reset-settings"
    [ -e "$ini" ] && fail "--reset-settings left $ini"

    # A file linked from a folder of dotfiles is written where it lies, and stays linked.
    mkdir -p "$work/dotfiles"
    printf 'version = 1\n' >"$work/dotfiles/mirvo.ini"
    ln -s "$work/dotfiles/mirvo.ini" "$ini"
    run_mirvo --windowed --scene galaxy --frames 20
    expect_clean_exit "a linked file"
    [ -L "$ini" ] || fail "the link to the settings was replaced by a file"
    grep -q '^scene = galaxy$' "$work/dotfiles/mirvo.ini" || fail "the linked file was not written"
    ;;

unusable_file_left_alone)
    mkdir -p "$(dirname "$ini")"
    check_left_alone() { # what the file is, what the line says
        remember_file
        run_mirvo --windowed --frames 20
        expect_clean_exit "$1"
        [ "$(program_lines "$work/err")" -eq 1 ] || fail "$1: expected one line on standard error"
        grep -qF "ignoring the settings in $ini: $2" "$work/err" || fail "$1: the line is '$(head -1 "$work/err")'"
        expect_file_untouched "$1"
    }
    printf 'version = 1\n[start]\nscene tree\n' >"$ini"
    check_left_alone "a damaged file" "line 3 is not 'name = value'"
    printf 'version = 1\n[start\nscene = tree\n' >"$ini"
    check_left_alone "an unclosed section" "line 2 is not a '[section]'"
    { head -c 3000 /dev/urandom; printf '\0'; } >"$ini"
    check_left_alone "random bytes" "it is not text"
    # Told by its version, even where what follows is nothing this version can read.
    printf 'version = 2\n[start]\nscene = tree\n[panel Stars]\nGlow = 1\n{"a": "new form"}\n' >"$ini"
    check_left_alone "a newer version's file" "a newer Mirvo wrote it (version 2)"

    # Once the person changes something, their change is kept in a file this version reads.
    run_mirvo --windowed --scene triangles --frames 20
    expect_clean_exit "a change over a newer file"
    expect_value start scene triangles "a change over a newer file"
    grep -q '^version = 1$' "$ini" || fail "the new file is not of this version"

    # A settings file that cannot be read (a folder in its place) is one line too.
    rm -f "$ini" && mkdir "$ini"
    run_mirvo --windowed --frames 20
    expect_clean_exit "a folder in the file's place"
    if [ "$(program_lines "$work/err")" -ne 1 ] || ! grep -qF "cannot read it: Is a directory" "$work/err"; then
        fail "a folder in the file's place: $(head -2 "$work/err")"
    fi
    ;;

read_only_config_folder)
    readonly_config="$work/readonly"
    mount_own_tmpfs "$readonly_config" ro,size=64k
    # A change that wants writing, both after resting and at the end: one line, a normal end.
    XDG_CONFIG_HOME="$readonly_config" start_mirvo --windowed --scene tree
    key alt+Right
    sleep 5
    stop_mirvo
    expect_clean_exit "a read-only config folder"
    [ "$(program_lines "$work/err")" -eq 1 ] || fail "a read-only config folder: expected one line"
    grep -qF "the settings are not kept: cannot make the folder $readonly_config/mirvo: Read-only file system" \
        "$work/err" || fail "a read-only config folder: the line is '$(head -1 "$work/err")'"

    # A config folder that does not exist yet is made.
    XDG_CONFIG_HOME="$work/new/config" run_mirvo --windowed --scene tree --frames 20
    expect_clean_exit "a missing config folder"
    grep -q '^scene = tree$' "$work/new/config/mirvo/settings.ini" || fail "nothing kept in a new config folder"
    ;;

full_disk_keeps_the_old_file)
    # A change that finds the disk full: one line, and the settings as they were, whole, with no
    # half-written file beside them.
    disk="$work/disk"
    mount_own_tmpfs "$disk" size=64k
    mkdir -p "$disk/mirvo"
    printf 'version = 1\n[start]\nscene = tree\n' >"$disk/mirvo/settings.ini"
    cp "$disk/mirvo/settings.ini" "$work/before"
    dd if=/dev/zero of="$disk/filler" bs=4k 2>/dev/null
    XDG_CONFIG_HOME="$disk" run_mirvo --windowed --scene triangles --frames 20
    expect_clean_exit "a full disk"
    [ "$(program_lines "$work/err")" -eq 1 ] || fail "a full disk: expected one line"
    grep -qF "the settings are not kept: cannot write in $disk/mirvo: No space left on device" "$work/err" ||
        fail "a full disk: the line is '$(head -1 "$work/err")'"
    cmp -s "$disk/mirvo/settings.ini" "$work/before" || fail "a full disk: the old settings were damaged"
    [ "$(find "$disk/mirvo" -type f | wc -l)" -eq 1 ] || fail "a full disk: a partial file was left: $(ls -a "$disk/mirvo")"
    ;;

*)
    fail "no such case"
    ;;
esac
exit 0
