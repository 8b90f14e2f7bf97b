#!/usr/bin/env bash
# Installs what is missing, builds, starts the source simulator with a few sources on two
# lines, points COM1 and COM2 of the program's settings at it, and starts the program.
# With --mqtt a local MQTT broker is started too, and the program publishes to it and takes
# commands from it; without it the program opens no network socket.
set -euo pipefail
cd "$(dirname "$0")/.."
MQTT=0
for arg in "$@"; do
    case "$arg" in
        --mqtt) MQTT=1 ;;
        -h|--help) echo "usage: $0 [--mqtt]"; exit 0 ;;
        *) echo "demo.sh: unknown option '$arg' (usage: $0 [--mqtt])" >&2; exit 2 ;;
    esac
done
./scripts/deps.sh
./scripts/build.sh
ROOT="$PWD"
RUN="$ROOT/demo-run"
mkdir -p "$RUN"
SIM="$ROOT/build/tools/ardemo-sim"
APPDIR="$ROOT/build/app"
INI="$APPDIR/ardemo.INI"

# Line A: a source that can stabilise, a noisy one (its noise shrinks to the tolerance once
# stabilisation is on), one that cannot stabilise, and one that never answers. Line B: a
# source already at 100 V with its output on, and one to run a program on.
echo "== simulator: line A (COM1) sources 1, 5, 12 and 20 (silent); line B (COM2) sources 0, 3"
"$SIM" --log "$RUN/frames.log" \
    --line "$RUN/COM1" \
        --source addr=1,type=ZDR300-S,serial=4711,u=0,tol=2,slew=40 \
        --source addr=5,type=ZDR300-S,serial=4712,u=12,tol=1,out=1,slew=40,noise=3 \
        --source addr=12,type=ZDR150,serial=815,u=0,slew=25 \
        --source addr=20,type=ZDR300-S,serial=4714,silent \
    --line "$RUN/COM2" \
        --source addr=0,type=ZDR600-S,serial=90210,u=100,out=1,tol=5,slew=60 \
        --source addr=3,type=ZDR300-S,serial=4713,u=0,slew=80 \
    > "$RUN/sim.out" 2>&1 &
SIM_PID=$!
BROKER_PID=""
stop_helpers() {
    kill "$SIM_PID" 2>/dev/null || true
    [ -z "$BROKER_PID" ] || kill "$BROKER_PID" 2>/dev/null || true
}
trap stop_helpers EXIT
for _ in $(seq 50); do grep -q '^ready' "$RUN/sim.out" 2>/dev/null && break; sleep 0.1; done
cat "$RUN/sim.out"
if ! grep -q '^ready' "$RUN/sim.out"; then
    echo "demo.sh: the simulator did not start" >&2
    exit 1
fi
# A voltage program to open in the program editor.
[ -f "$RUN/ramp.prg" ] || cp "$ROOT/docs/guide/examples/en/ramp.prg" "$RUN/ramp.prg"

# With --mqtt, a broker of our own on the loopback only, unless something already listens
# on port 1883: that broker is used then (Debian's mosquitto service, as installed, takes
# anonymous clients on the loopback too).
PREFIX="ardemo/$(hostname)"
if [ "$MQTT" = 1 ]; then
    if python3 -c '
import socket, sys
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
try:
    s.bind(("127.0.0.1", 1883))
except OSError:
    sys.exit(1)'; then
        echo "== MQTT broker: mosquitto on 127.0.0.1:1883 (its log: $RUN/mosquitto.log)"
        printf '%s\n' "listener 1883 127.0.0.1" "allow_anonymous true" > "$RUN/mosquitto.conf"
        "$(command -v mosquitto || echo /usr/sbin/mosquitto)" -c "$RUN/mosquitto.conf" \
            > "$RUN/mosquitto.log" 2>&1 &
        BROKER_PID=$!
        for _ in $(seq 50); do
            (exec 3<>/dev/tcp/127.0.0.1/1883) 2>/dev/null && break
            kill -0 "$BROKER_PID" 2>/dev/null || break
            sleep 0.1
        done
        if ! (exec 3<>/dev/tcp/127.0.0.1/1883) 2>/dev/null; then
            cat "$RUN/mosquitto.log" >&2
            echo "demo.sh: the MQTT broker did not start" >&2
            exit 1
        fi
    else
        echo "== MQTT broker: port 1883 is taken; using the broker already running there"
    fi
fi

# The program's settings file keeps everything else it holds; only the "Ports" section
# is (re)written to point at the simulator, and an "MQTT" section is dropped, then written
# again with --mqtt only (so the plain demo opens no socket). The first time (no "Sources"
# section yet) the six sources are put in as connected at the end of a run, so the program
# starts with them; afterwards the program keeps that section itself.
WHAT="[Ports] COM1, COM2 -> simulator; [Sources] the first time"
[ "$MQTT" = 0 ] || WHAT="$WHAT; [MQTT] -> 127.0.0.1:1883, commands taken"
echo "== settings: $INI ($WHAT)"
touch "$INI"
python3 - "$INI" "$RUN" "$MQTT" <<'PY'
import sys
ini, run, mqtt = sys.argv[1], sys.argv[2], sys.argv[3] == '1'
data = open(ini, 'rb').read().decode('cp1250', 'replace').splitlines()
out, skip = [], False
for line in data:
    s = line.strip()
    if s.startswith('['):
        skip = s.lower() in ('[ports]', '[mqtt]')
    if not skip:
        out.append(line)
out += ['[Ports]', f'COM1={run}/COM1', f'COM2={run}/COM2']
if not any(l.strip().lower() == '[sources]' for l in data):
    # slot = line, port, address, colour, ticked in the chart
    out += ['[Sources]',
            'Slot1=A,1,1,#FF0000,1', 'Slot2=A,1,5,#0000FF,1', 'Slot3=A,1,12,#00FF00,0',
            'Slot4=A,1,20,#FFFF00,0', 'Slot5=B,2,0,#00FFFF,0', 'Slot6=B,2,3,#008000,1']
if mqtt:
    out += ['[MQTT]', 'Host=127.0.0.1', 'Port=1883', 'AllowControl=1']
open(ini, 'wb').write(('\r\n'.join(out) + '\r\n').encode('cp1250'))
PY

cat <<EOF
== starting ardemo (working folder $RUN)
   The six sources come back connected (line A on 'Com 01': addresses 1, 5, 12, 20; line B
   on 'Com 02': 0, 3). Address 20 never answers ('NEKOMUNIKUJE'). Remove one with its
   panel's cross and add it again with 'Připoj' (Add).
   Recordings and chart exports land in $RUN; a program to open: $RUN/ramp.prg
EOF
if [ "$MQTT" = 1 ]; then
    cat <<EOF
   MQTT: the top bar shows 'MQTT: připojeno' (connected). In another terminal, watch it:
       mosquitto_sub -h 127.0.0.1 -v -t '$PREFIX/#'
   and switch the output of slot 1 (line A, address 1) on:
       mosquitto_pub -h 127.0.0.1 -t '$PREFIX/source/1/set' -m '{"out": true}'
EOF
fi
cd "$RUN"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "   (no display found: running under a virtual X server)"
    xvfb-run -a -s "-screen 0 1280x900x24" "$APPDIR/ardemo"
else
    "$APPDIR/ardemo"
fi
