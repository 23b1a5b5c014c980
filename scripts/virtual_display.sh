# Sourced by the scripts and tests that start the program on a virtual display.

# Starts a virtual X display in the folder $1 (screen $2, 1024x768x24 when not given). The server picks
# a free display number itself and writes it, so displays started side by side never meet; its log is
# $1/xvfb.log. Sets xvfb_pid and tallyfox_display (":N"); returns 1 when no display could start.
tallyfox_start_display() {
    local folder=$1 screen=${2:-1024x768x24}
    Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp 3>"$folder/display" >"$folder/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [ -s "$folder/display" ] && break
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.1
    done
    [ -s "$folder/display" ] || return 1
    tallyfox_display=":$(head -n1 "$folder/display")"
}
