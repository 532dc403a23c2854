#!/bin/bash
# wine-e2e.sh - our test library for driving a Win32 .exe under Wine 8 + Xvfb (Debian 12):
# a prefix of the test's own (virtual desktop, CJK fonts from cjk-fonts-wqy.reg beside this file),
# Xvfb on a free display, screenshots, and xdotool helpers. Adapted from the team's shared Wine
# notes (shared/wine/wine-e2e.sh).
#
#   source wine-e2e.sh           # use the e2e_* functions from your own test script
# Needs wine64, xvfb, imagemagick (import) and x11-utils; xdotool only for the e2e_* input helpers.
#
# Mode (E2E_MODE): vd (default) = Wine virtual desktop set in the prefix registry, no WM needed;
#                  openbox       = real WM (apt-get install openbox); bare = no WM (works, but each
#                  hide/close of a top-level window stalls ~2 s and new windows do not get X focus).
set -u
E2E_ROOT=${E2E_ROOT:-${TMPDIR:-/tmp}/quillmarsh-e2e}
E2E_MODE=${E2E_MODE:-vd}
E2E_SIZE=${E2E_SIZE:-1280x800}
export WINEPREFIX=${WINEPREFIX:-$E2E_ROOT/e2e-prefix}
export WINEARCH=win64 WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"   # no Mono/Gecko dialogs, no menu files
export HOME=${E2E_HOME:-$E2E_ROOT/home} XDG_DATA_HOME=${E2E_HOME:-$E2E_ROOT/home}/.local/share
WINE=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver
RECIPE_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

_ms() { date +%s%3N; }
e2e_log() { echo "[e2e $(date +%T.%3N)] $*" >&2; }

# One-time prefix setup (~12 s): wineboot, virtual desktop, CJK fonts, .txt association, XDG trash dirs.
e2e_prefix() {
  [ -f "$WINEPREFIX/system.reg" ] && return 0
  local t=$(_ms); mkdir -p "$HOME" "$XDG_DATA_HOME/Trash/files" "$XDG_DATA_HOME/Trash/info"
  DISPLAY= $WINE wineboot -i >/dev/null 2>&1; $WINESERVER -w
  local r="$WINEPREFIX/e2e.reg"
  { printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]\n"Desktop"="Default"\n\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]\n"Default"="%s"\n\n' "$E2E_SIZE"
    printf '[HKEY_CLASSES_ROOT\\.txt]\n@="txtfile"\n\n'; } > "$r"
  [ "$E2E_MODE" = vd ] || sed -i '/Explorer\]/,/^$/d;/Desktops\]/,/^$/d' "$r"
  DISPLAY= $WINE regedit /S "$r"
  [ -f "$RECIPE_DIR/cjk-fonts-wqy.reg" ] && DISPLAY= $WINE regedit /S "$RECIPE_DIR/cjk-fonts-wqy.reg"
  # fonts-wine (if installed): Marlett draws the caption buttons. Not Tahoma: its bold face hides CJK captions.
  for f in /usr/share/wine/fonts/*.ttf; do case $f in *tahoma*) ;; *) cp "$f" "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null;; esac; done
  $WINESERVER -w; e2e_log "prefix created in $(( $(_ms)-t )) ms"
}

# Start Xvfb on a free display (+ openbox in that mode) and a persistent wineserver (warm starts).
e2e_start() {
  local t=$(_ms) fifo; fifo=$(mktemp -u); mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 "${E2E_SIZE}x24" -nolisten tcp 3>"$fifo" >/dev/null 2>&1 & E2E_XVFB=$!
  read -r E2E_DNUM < "$fifo"; rm -f "$fifo"; export DISPLAY=:$E2E_DNUM
  if [ "$E2E_MODE" = openbox ]; then openbox --sm-disable >/dev/null 2>&1 & E2E_WM=$!; sleep 0.5; fi
  e2e_prefix; $WINESERVER -p   # keep the server (and services) up between launches
  e2e_log "Xvfb $DISPLAY ready ($E2E_MODE) in $(( $(_ms)-t )) ms"
}

# Launch an exe in the background; sets E2E_PID.
e2e_launch() { E2E_T0=$(_ms); $WINE "$@" >>"$E2E_ROOT/e2e-wine.out" 2>&1 & E2E_PID=$!; }

# Wait for a visible window whose title matches an (extended) regex; echo its X id.
e2e_wait_window() { # regex [timeout_s]
  local w; w=$(timeout "${2:-30}" xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -1)
  [ -n "$w" ] || { e2e_log "no window matching '$1'"; return 1; }
  e2e_log "window '$1' = $w after $(( $(_ms)-E2E_T0 )) ms"; echo "$w"
}
e2e_gone() { # regex [timeout_s]: wait until no visible window matches
  local end=$(( $(_ms) + ${2:-10}*1000 ))
  while xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; do [ "$(_ms)" -lt $end ] || return 1; sleep 0.05; done
}
e2e_title() { xdotool getwindowname "$1"; }                 # UTF-8, CJK works
e2e_focus() { xdotool windowfocus --sync "$1"; }            # works in every mode (windowactivate needs a WM)
e2e_key() { xdotool key --delay 30 "$@"; }                  # goes to the X focus window
e2e_type() { # text; the first non-ASCII char typed in a fresh session is dropped, so prime once
  if [ -z "${E2E_PRIMED:-}" ] && LC_ALL=C grep -q '[^ -~]' <<<"$1"; then xdotool type 'é'; xdotool key BackSpace; E2E_PRIMED=1; fi
  xdotool type --delay 30 "$1"
}
# Client origin of top-level X window $1 in screen coordinates. In vd mode the X window includes
# the Wine-drawn frame; E2E_FRAME is the client offset (4,23 for WS_OVERLAPPEDWINDOW, default theme).
# (xdotool getwindowgeometry doubles the position of windows inside the virtual desktop; xwininfo is right.)
e2e_origin() {
  local x y dx=0 dy=0; [ "$E2E_MODE" = vd ] && IFS=, read -r dx dy <<<"${E2E_FRAME:-4,23}"
  x=$(xwininfo -id "$1" | awk '/Absolute upper-left X/{print $4}'); y=$(xwininfo -id "$1" | awk '/Absolute upper-left Y/{print $4}')
  echo $(( x+dx )) $(( y+dy ))
}
e2e_click_screen() { xdotool mousemove --sync "$1" "$2" click ${4:+--repeat $4 --delay 80} "${3:-1}"; } # x y [button] [n]
e2e_click_client() { local o; o=($(e2e_origin "$1")); e2e_click_screen $(( o[0]+$2 )) $(( o[1]+$3 )) "${4:-1}" ${5:-}; }
e2e_wheel() { local b=5; [ "$1" -lt 0 ] && b=4; xdotool click --repeat "${1#-}" --delay 50 $b; } # n>0: down, at pointer
e2e_drag() { # x0 y0 x1 y1 (screen), in 10 steps so the app sees several WM_MOUSEMOVE
  xdotool mousemove --sync "$1" "$2" mousedown 1; local i
  for i in 1 2 3 4 5 6 7 8 9 10; do xdotool mousemove $(( $1+($3-$1)*i/10 )) $(( $2+($4-$2)*i/10 )); sleep 0.03; done
  xdotool mouseup 1
}
# Screenshot: use ImageMagick import; `xwd -root` shows Wine popup menus as black boxes.
e2e_shot() { import -window root "$1"; }

# Wait for the launched process to exit (after you told the app to quit); returns 1 on timeout.
e2e_wait_exit() { local end=$(( $(_ms) + ${1:-10}*1000 ))
  while kill -0 "$E2E_PID" 2>/dev/null; do [ "$(_ms)" -lt $end ] || { e2e_log "app still running"; return 1; }; sleep 0.05; done
  wait "$E2E_PID" 2>/dev/null; local rc=$?; e2e_log "app exited rc=$rc $(( $(_ms)-E2E_T0 )) ms after launch"; return $rc; }

e2e_stop() {
  local t=$(_ms)
  $WINESERVER -k 2>/dev/null; $WINESERVER -w 2>/dev/null
  [ -n "${E2E_WM:-}" ] && kill "$E2E_WM" 2>/dev/null
  [ -n "${E2E_XVFB:-}" ] && kill "$E2E_XVFB" 2>/dev/null && wait "$E2E_XVFB" 2>/dev/null
  e2e_log "stopped in $(( $(_ms)-t )) ms"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  case "${1:-}" in
    *) sed -n '2,12p' "$0"; exit 2 ;;
  esac
fi
