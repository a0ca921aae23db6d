#!/usr/bin/env bash
# Shows the server's notification icon in a virtual X session with a system tray (Xvfb + trayer), checks that the
# icon's pixels are in the tray and writes a screenshot of the tray. Exit 0: the icon is there; 77: Xvfb, trayer,
# yad or xwd are missing (the check cannot run here); 1: the icon did not appear.
#   tray_screenshot.sh SERVER VUVEDCTL [OUT.png]
set -euo pipefail
server="$1"
ctl="$2"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
for tool in Xvfb trayer yad xwd xwininfo; do
    command -v "$tool" >/dev/null || { echo "tray check skipped: $tool is not installed" >&2; exit 77; }
done

work="$(mktemp -d /tmp/vuved-tray-XXXXXX)"
out="${3:-$work/tray.png}"
export VUVED_REGISTRY_DIR="$work/registry" XDG_RUNTIME_DIR="$work/run"
unset VUVED_NO_GUI
mkdir -m 700 "$XDG_RUNTIME_DIR"
cleanup() {
    kill $(jobs -p) 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

wait_until() {
    local deadline=$((SECONDS + 60))
    until "$@" >/dev/null 2>&1; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.1
    done
}

# Xvfb picks a free display number and reports it.
exec {display_fd}<> <(:)
Xvfb -displayfd "$display_fd" -screen 0 240x40x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
read -r -t 20 number <&"$display_fd"
export DISPLAY=":$number"
trayer --edge top --align right --widthtype request --height 36 --SetDockType true --transparent false \
    --tint 0xe8e8e8 >"$work/trayer.log" 2>&1 &
wait_until xwininfo -name panel

port="$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
"$ctl" settings set ProxyBasedTranslationPort "$port" >/dev/null
"$ctl" settings set MailServerAddress 127.0.0.1 >/dev/null
"$server" -Startup 2>"$work/server.log" &
# The panel is at the right edge: the icon is in the tray once the idle icon's outline colour is among its pixels.
icon_painted() {
    xwd -root -out "$work/screen.xwd" &&
        found="$(python3 "$here/xwd_to_png.py" "$work/screen.xwd" "$out" 206,0,34,36 3 4a6a9a)" &&
        [ "$found" -gt 0 ]
}
if ! wait_until icon_painted; then
    echo "the notification icon did not appear in the tray" >&2
    exit 1
fi
echo "the notification icon is in the tray${3:+: $3}"
