#!/usr/bin/env bash
# One PNG of each panel of TarnPilot, taken from the real window under a
# virtual display. Builds nothing: it runs the TarnPilot of an existing
# build (build/dev unless named; build it first with cmake --build).
#
# Usage: scripts/screenshots.sh [BUILD_DIR [OUT_DIR [SCALE]]]
#   OUT_DIR  where the PNGs go (docs/screenshots)
#   SCALE    QT_SCALE_FACTOR for the run (1); 1.5 or 2 show the window as a
#            high-density screen does
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/dev}" 2>/dev/null && pwd || true)
out=${2:-$root/docs/screenshots}
scale=${3:-1}
program=$build/TarnPilot
if [ -z "$build" ] || [ ! -x "$program" ]; then
  echo "No TarnPilot in ${1:-$root/build/dev}: build it first, e.g." >&2
  echo "  cmake -S . -B build/dev -G Ninja -DTARN_BUILD_ZANBIT32=OFF && cmake --build build/dev" >&2
  exit 1
fi
"$root/scripts/ensure-packages.sh" shots
mkdir -p "$out"
out=$(cd "$out" && pwd)

# The settings file beside the program chooses the demonstration edition,
# so that nothing is written to a serial line.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$program" "$work/TarnPilot"
printf '[Tarn]\r\nSerial Port=1\r\nTransport=Demo\r\n' >"$work/TarnApp.ini"

cat >"$work/shoot.sh" <<'INNER'
#!/usr/bin/env bash
set -euo pipefail
work=$1 out=$2 scale=$3
QT_SCALE_FACTOR=$scale LC_ALL=C.UTF-8 "$work/TarnPilot" &
pid=$!
trap 'kill $pid 2>/dev/null; wait $pid 2>/dev/null || true' EXIT
wid=$(xdotool search --sync --onlyvisible --name 'Corvane Tarn' | head -n1)
xdotool windowfocus --sync "$wid"
sleep 3   # the start-up pause of 2 s, then the first panel
shot() {  # shot NAME KEYS...: the keys typed, then the picture taken
  local name=$1; shift
  for key in "$@"; do xdotool key --window "$wid" "$key"; sleep 0.2; done
  sleep 0.5
  import -window "$wid" -strip "png:$out/$name.png"
  echo "$out/$name.png"
}
shot amplitude ctrl+1
shot fast-rise ctrl+2 1 Return
shot frequency ctrl+3 1 2 period 5 h
shot period ctrl+4 2 m
shot setup ctrl+5
INNER
chmod +x "$work/shoot.sh"
xvfb-run -a -s "-screen 0 1280x1024x24" "$work/shoot.sh" "$work" "$out" "$scale"
