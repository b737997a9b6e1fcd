#!/usr/bin/env bash
# One movie spread over a Slurm cluster and joined is the movie one machine makes: starts a
# one-node cluster of its own (munged, slurmctld, slurmd, a generated slurm.conf in a temporary
# folder), submits a render of generated key frames in 4 tasks with "zoomreel-cli submit", waits
# for the join and compares the joined movie with a render on this machine of the same settings:
# the same frames, each with the same checksum. Every daemon it started is stopped by process
# id, also when a step fails.
#
#   slurm_test.sh ZOOMREEL-CLI
#
# Installs Debian's Slurm and MUNGE packages when they are missing and it may. Exits 77
# (skipped) only when the cluster cannot start at all; with ZR_SLURM_REQUIRED=1 (continuous
# integration) that is a failure too.
set -uo pipefail
cli=$(realpath "${1:?usage: slurm_test.sh ZOOMREEL-CLI}")
packages=(slurmctld slurmd slurm-client munge)
tasks=4

fail() {
    echo "FAIL: $*"
    exit 1
}

skip() {
    if [ "${ZR_SLURM_REQUIRED:-0}" = 1 ]; then
        fail "Slurm cannot start here, and this run must not skip: $*"
    fi
    echo "SKIP: Slurm cannot start here: $*"
    exit 77
}

have_commands() {
    local command
    for command in munged slurmctld slurmd sbatch squeue scontrol sinfo scancel; do
        PATH=$PATH:/usr/sbin:/sbin command -v "$command" >/dev/null || return 1
    done
}

if ! have_commands; then
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo -n)
    echo "slurm test: installing ${packages[*]}"
    if ! { DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq \
        --no-install-recommends "${packages[@]}" >/dev/null 2>&1 || have_commands; }; then
        skip "${packages[*]} are not installed and cannot be (tools/setup.sh installs them)"
    fi
    have_commands || skip "${packages[*]} installed, but their commands are missing"
fi
export PATH=$PATH:/usr/sbin:/sbin
command -v ffmpeg >/dev/null || fail "ffmpeg is missing (tools/setup.sh installs it)"

work=$(mktemp -d /tmp/zr-slurm.XXXXXX)
chmod 755 "$work"
started=()

stop_daemons() {
    if [ -f "$work/slurm.conf" ] && [ -n "${SLURM_CONF:-}" ]; then
        scancel --quiet --user="$(id -un)" --name=zoomreel-render,zoomreel-join 2>/dev/null
    fi
    local pid pidfile tries
    for pidfile in "$work/slurmd.pid" "$work/slurmctld.pid" "$work/munge/munged.pid"; do
        [ -s "$pidfile" ] || continue
        pid=$(cat "$pidfile")
        kill "$pid" 2>/dev/null || continue
        for tries in $(seq 50); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$pid" 2>/dev/null
    done
}

finish() {
    local status=$?
    stop_daemons
    if [ "$status" -ne 0 ] && [ "$status" -ne 77 ] && [ -d "$work/log" ]; then
        echo "--- the end of the cluster's logs"
        tail -n 15 "$work"/log/*.log "$work"/movie/slurm/*.log 2>/dev/null
    fi
    rm -rf "$work"
    exit "$status"
}
trap finish EXIT
trap 'exit 1' INT TERM

# Two ports nobody listens on.
port_free() {
    ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}
for tries in $(seq 50); do
    ctld_port=$((20000 + RANDOM % 30000))
    node_port=$((ctld_port + 1))
    port_free "$ctld_port" && port_free "$node_port" && break
done

mkdir -p "$work"/{state,spool,log,munge}
chmod 755 "$work/munge"
head -c 1024 /dev/urandom >"$work/munge/munge.key"
chmod 400 "$work/munge/munge.key"
munged --key-file="$work/munge/munge.key" --socket="$work/munge/munge.sock" \
    --pid-file="$work/munge/munged.pid" --log-file="$work/log/munged.log" \
    --seed-file="$work/munge/seed" >"$work/log/munged.out" 2>&1 ||
    skip "munged does not start: $(tail -n 3 "$work/log/munged.out" "$work/log/munged.log" 2>/dev/null)"

node=$(hostname -s)
user=$(id -un)
cat >"$work/slurm.conf" <<EOF
ClusterName=zrtest
SlurmctldHost=$node
SlurmctldPort=$ctld_port
SlurmdPort=$node_port
AuthType=auth/munge
AuthInfo=socket=$work/munge/munge.sock
CredType=cred/munge
SlurmUser=$user
SlurmdUser=$user
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/log/slurmctld.log
SlurmdLogFile=$work/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SchedulerType=sched/backfill
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
ReturnToService=2
MpiDefault=none
SwitchType=switch/none
MinJobAge=600
NodeName=$node CPUs=$(nproc) RealMemory=1000 State=UNKNOWN
PartitionName=main Nodes=$node Default=YES MaxTime=INFINITE State=UP
EOF
export SLURM_CONF=$work/slurm.conf
slurmctld -f "$SLURM_CONF" -i >"$work/log/slurmctld.out" 2>&1 ||
    skip "slurmctld does not start: $(tail -n 3 "$work/log/slurmctld.out")"
slurmd -f "$SLURM_CONF" >"$work/log/slurmd.out" 2>&1 ||
    skip "slurmd does not start: $(tail -n 3 "$work/log/slurmd.out")"
state=
for tries in $(seq 60); do
    state=$(sinfo -h -n "$node" -o %t 2>/dev/null)
    [ "$state" = idle ] && break
    sleep 0.5
done
[ "$state" = idle ] ||
    skip "the node does not come up (state \"$state\"): $(tail -n 3 "$work"/log/slurm*.log)"

# The movie: colour cycling and rotation, split into files of 4 frames.
movie=$work/movie
alone=$work/alone
"$cli" make-keyframes "$movie" --count 4 --size 96x54 >/dev/null || fail "make-keyframes failed"
cp -r "$movie" "$alone"
settings=(--set $'SPEED=0\t9' --set $'CYCLE=0\t3' --set $'ROTATE=0\t0\n3\t2' --set FPM=4
    --set SZT=0)
files=$("$cli" plan "$movie" "${settings[@]}" | awk -F'\t' '$1 == "# movie files" { print $2 }')
[ "${files:-0}" -ge 8 ] || fail "the test movie has ${files:-no} files, not at least 8"

started_at=$(date +%s%N)
"$cli" submit "$movie" --slurm --tasks "$tasks" --cpus-per-task 1 "${settings[@]}" \
    >"$work/submit.out" 2>&1 || fail "submit failed: $(cat "$work/submit.out")"
join_job=$(awk '$1 == "join:" { sub(",", "", $3); print $3 }' "$work/submit.out")
[ -n "$join_job" ] || fail "submit named no join job: $(cat "$work/submit.out")"
join_state=
for tries in $(seq 600); do
    join_state=$(scontrol show job "$join_job" 2>/dev/null |
        sed -n 's/.*JobState=\([A-Z_]*\).*/\1/p')
    case "$join_state" in
        COMPLETED | FAILED | CANCELLED | TIMEOUT | NODE_FAIL | OUT_OF_MEMORY) break ;;
    esac
    sleep 0.5
done
cluster_ms=$((($(date +%s%N) - started_at) / 1000000))
[ "$join_state" = COMPLETED ] || fail "the join job $join_job ended $join_state"

started_at=$(date +%s%N)
"$cli" render "$alone" "${settings[@]}" >"$work/alone.out" 2>&1 ||
    fail "the render on this machine failed: $(tail -n 5 "$work/alone.out")"
alone_ms=$((($(date +%s%N) - started_at) / 1000000))

# The frames' checksums in order: of the joined movie, and of this machine's files one after
# the other.
checksums() {
    ffmpeg -v error -f concat -safe 0 -i "$1" -map 0:v -f framemd5 - | awk -F', *' '!/^#/ { print $6 }'
}
ls "$movie"/film_joined.avi >/dev/null || fail "the join wrote no film_joined.avi"
echo "file '$movie/film_joined.avi'" >"$work/joined.list"
for file in $(cd "$alone" && ls film*.avi | sort); do
    echo "file '$alone/$file'"
done >"$work/alone.list"
[ "$(wc -l <"$work/alone.list")" -eq "$files" ] || fail "this machine's render wrote \
$(wc -l <"$work/alone.list") files, not $files"
checksums "$work/joined.list" >"$work/joined.md5"
checksums "$work/alone.list" >"$work/alone.md5"
joined_frames=$(wc -l <"$work/joined.md5")
alone_frames=$(wc -l <"$work/alone.md5")
[ "$joined_frames" -gt 0 ] || fail "the joined movie holds no frame"
[ "$joined_frames" -eq "$alone_frames" ] ||
    fail "the joined movie holds $joined_frames frames, this machine's $alone_frames"
diff -q "$work/joined.md5" "$work/alone.md5" >/dev/null ||
    fail "frames differ: $(diff "$work/joined.md5" "$work/alone.md5" | head -n 4)"
echo "slurm test: $files files in $tasks tasks joined into $joined_frames frames, the same as" \
    "this machine's; the cluster took $cluster_ms ms from submit to the joined movie," \
    "this machine $alone_ms ms"
