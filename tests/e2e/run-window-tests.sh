#!/usr/bin/env bash
# Runs the window tests: quillmarsh.exe under Wine on a virtual X display (Xvfb), driven from
# outside by quillmarsh-window-driver.exe in the same Wine prefix. Builds nothing.
#
#   tests/e2e/run-window-tests.sh [--exe EXE] [--driver EXE] [--demo EXE] [SCENARIO...]
#
# Defaults: build/windows/quillmarsh.exe, build/windows/quillmarsh-window-driver.exe and
# build/windows/quillmarsh-demo.exe (the demo writes the 1,000,000-entry drive image; a native
# build/native-release/quillmarsh-demo works as well). Scenarios: basic hidden zh actions tray
# speed (all by default; see the driver). Uses a Wine prefix of its own in build/e2e/prefix,
# starts Xvfb on a free display, saves screenshots of interesting states in build/e2e-shots/,
# stops the Wine server and Xvfb it started, and ends with "N passed, M failed" (exit status 1
# on a failure).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

exe=$root/build/windows/quillmarsh.exe
driver=$root/build/windows/quillmarsh-window-driver.exe
demo=$root/build/windows/quillmarsh-demo.exe
scenarios=()
while (($#)); do
  case "$1" in
    --exe) exe=$2; shift 2 ;;
    --driver) driver=$2; shift 2 ;;
    --demo) demo=$2; shift 2 ;;
    -h | --help) sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "run-window-tests: unknown option $1" >&2; exit 2 ;;
    *) scenarios+=("$1"); shift ;;
  esac
done

passed=0
failed=0
finish() {
  echo "${passed} passed, ${failed} failed"
  ((failed == 0))
  exit
}
for file in "$exe" "$driver" "$demo"; do
  if [[ ! -f $file ]]; then
    echo "not ok - window tests: $file is missing (build it first)"
    failed=$((failed + 1))
  fi
done
((failed == 0)) || finish

# Wine state of these tests only: never the unit tests' prefix, never the user's home.
export E2E_ROOT=$root/build/e2e
export WINEPREFIX=$E2E_ROOT/prefix
export E2E_HOME=$E2E_ROOT/home
export LC_ALL=C.UTF-8 # non-ASCII arguments reach the program intact
shots=$root/build/e2e-shots
work=$E2E_ROOT/work
mkdir -p "$E2E_ROOT" "$shots"
rm -f "$shots"/*.png
rm -rf "$work"
# shellcheck source=wine-e2e.sh
source "$here/wine-e2e.sh"

# The prefix's Recycle Bin: Wine's shell moves a file there only when both folders exist;
# emptied for each run, so what the tests find there is what this run put there.
trash=$XDG_DATA_HOME/Trash
rm -rf "$trash"
mkdir -p "$trash/files" "$trash/info"

# A Linux path as the Windows programs see it (Z: is the root).
winpath() { printf 'Z:%s' "${1//\//\\}"; }

started=0
stop() { if ((started)); then e2e_stop; fi; }
trap stop EXIT
t0=$SECONDS
e2e_start
started=1
# The first Wine program starts Wine's services, which keep the output streams they inherit.
"$WINE" cmd.exe /c exit 0 </dev/null >/dev/null 2>&1

# The large drive image, made again only when the demo is newer than it.
big=$E2E_ROOT/drive-1m.img
if [[ ! -s $big || $demo -nt $big ]]; then
  t=$SECONDS
  if [[ $demo == *.exe ]]; then
    "$WINE" "$demo" --entries 1000000 --changes 2000 --write-image "$(winpath "$big")" >/dev/null
  else
    "$demo" --entries 1000000 --changes 2000 --write-image "$big" >/dev/null
  fi
  e2e_log "1,000,000-entry image written in $((SECONDS - t)) s"
fi

# The driver's lines pass through; "# shot NAME" asks for a screenshot of the X screen.
summary_seen=0
driver_status=none
while IFS= read -r line; do
  line=${line%$'\r'}
  case "$line" in
    '# shot '*)
      name=${line#'# shot '}
      import -window root "$shots/$name.tmp.png" 2>/dev/null && mv "$shots/$name.tmp.png" "$shots/$name.png"
      echo "# screenshot build/e2e-shots/$name.png"
      continue
      ;;
    'driver-exit '*)
      # Wine's services inherit the stream and keep it open: the driver's end is this line.
      driver_status=${line#driver-exit }
      break
      ;;
    'ok - '*) passed=$((passed + 1)) ;;
    'not ok - '*) failed=$((failed + 1)) ;;
  esac
  if [[ $line =~ ^[0-9]+\ passed,\ [0-9]+\ failed$ ]]; then
    summary_seen=1
    echo "# driver: $line"
  else
    echo "$line"
  fi
done < <(timeout -k 10 420 "$WINE" "$driver" --program "$(winpath "$exe")" --work "$(winpath "$work")" \
  --shots "$(winpath "$shots")" --big-image "$(winpath "$big")" --trash "$(winpath "$trash")" \
  "${scenarios[@]}" 2>&1
  echo "driver-exit $?")
# (The driver's exit status comes last, from the same stream.)
e2e_log "window tests took $((SECONDS - t0)) s"
if ((!summary_seen)); then
  echo "not ok - window tests: the driver ended without its summary (exit status $driver_status)"
  failed=$((failed + 1))
elif [[ $driver_status != 0 ]] && ((failed == 0)); then
  echo "not ok - window tests: the driver's exit status is $driver_status"
  failed=$((failed + 1))
fi
finish
