# Shared by the real-desktop tray tests (run-tray-test, run-route-tray-test): a work folder
# removed at the end with every process the test started, one line per step, waits with a
# time limit, a virtual X server with a real tray host, and the program's windows as
# xdotool sees them (its tray icon, its popover). Sourced, after setting test_name.

readonly kPopoverWidth=440
readonly kTrayHeight=28

work=$(mktemp -d)
started=()
cleanup() {
    local pid
    for pid in "${started[@]}"; do
        kill "$pid" 2>/dev/null
    done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

step() { echo "$test_name: $*"; }
fail() {
    echo "$test_name: program output:"
    sed 's/^/    /' "$work/program.log" 2>/dev/null
    echo "$test_name: failed: $*"
    exit 1
}
skip() {
    echo "$test_name: skipped: $*"
    exit 0
}

# Runs the command until it succeeds, every 0.1 s, for at most $1 seconds.
wait_for() {
    local tries=$(($1 * 10))
    shift
    while ((tries-- > 0)); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

# Fails unless every named tool is installed; skips where Xvfb itself is missing.
require_tools() {
    command -v Xvfb >/dev/null || skip "Xvfb is not installed"
    local tool
    for tool in trayer xdotool xwd xwdtopnm pnmtopng "$@"; do
        command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup installs it)"
    done
}

# A virtual X server of the given size ("1024x600") with trayer at the top of the screen;
# skips where the server cannot start.
start_desktop() {
    Xvfb -displayfd 3 -screen 0 "${1}x24" -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
    xvfb=$!
    started+=("$xvfb")
    xvfb_settled() { [[ -s "$work/display" ]] || ! kill -0 "$xvfb" 2>/dev/null; }
    wait_for 10 xvfb_settled
    [[ -s "$work/display" ]] || skip "Xvfb could not start: $(tail -n 1 "$work/xvfb.log")"
    export DISPLAY=":$(tr -d '[:space:]' <"$work/display")"
    unset WAYLAND_DISPLAY
    trayer --edge top --align right --widthtype request --height "$kTrayHeight" --SetDockType true \
        >"$work/trayer.log" 2>&1 &
    started+=($!)
    wait_for 5 xdotool search --class trayer >/dev/null || fail "the tray host did not come up"
}

# Prints "X Y WIDTH HEIGHT" of a window.
geometry_of() {
    local X Y WIDTH HEIGHT
    eval "$(xdotool getwindowgeometry --shell "$1" 2>/dev/null | grep -E '^(X|Y|WIDTH|HEIGHT)=')"
    echo "${X:-0} ${Y:-0} ${WIDTH:-0} ${HEIGHT:-0}"
}

# The program's ($program) visible windows, one "WINDOW X Y WIDTH HEIGHT" line each.
program_windows() {
    local window
    for window in $(xdotool search --onlyvisible --pid "$program" 2>/dev/null); do
        echo "$window $(geometry_of "$window")"
    done
}
program_ended() { ! kill -0 "$program" 2>/dev/null; }
# A popover is at least as wide as its content; the icon is a small window inside the
# tray (other windows, such as a question the program asks at launch, are neither).
popover_window() { program_windows | awk -v w="$kPopoverWidth" '$4 >= w { print $1; exit }'; }
popover_shown() { [[ -n "$(popover_window)" ]]; }
popover_hidden() { ! popover_shown; }
find_icon() {
    program_ended && fail "the program ended before its tray icon appeared"
    icon=$(program_windows | awk -v w="$kPopoverWidth" -v h="$kTrayHeight" \
        '$4 < w && $3 + $5 <= h { print $1; exit }') && [[ -n "$icon" ]]
}

# Waits for the program's tray icon and reads its place (icon_x, icon_y, icon_width,
# icon_height, and its centre center_x, center_y).
wait_for_icon() {
    icon=""
    wait_for 10 find_icon || fail "no tray icon of the program appeared"
    read -r icon_x icon_y icon_width icon_height <<<"$(geometry_of "$icon")"
    center_x=$((icon_x + icon_width / 2))
    center_y=$((icon_y + icon_height / 2))
}

# Ends the program with SIGTERM, which must end it through its termination path.
terminate_program() {
    kill -TERM "$program"
    wait_for 5 program_ended || fail "SIGTERM did not end the program"
    wait "$program"
    local status=$?
    # Killed by the signal's default action the status would be 143.
    ((status == 0)) || fail "SIGTERM ended the program with status $status"
}

screenshot() { xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng >"$1" 2>/dev/null || fail "no screenshot could be taken"; }
