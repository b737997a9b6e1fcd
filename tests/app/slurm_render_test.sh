#!/usr/bin/env bash
# One movie spread over a Slurm cluster and joined is the movie one machine makes: starts a
# one-node cluster of its own (munged, slurmctld, slurmd, a generated slurm.conf in a temporary
# folder) and submits renders of generated key frames with "zoomreel-cli submit":
# - a movie with a soundtrack and its files in a subfolder, in 4 tasks with a prologue: the
#   joined movie equals a render on this machine frame for frame and in sound;
# - the same with a task cancelled: the join is cancelled, the command submit prints for a
#   failure (--resume) makes the missing files and joins the same movie;
# - a task told to end with SIGTERM, as at its time limit: it exits 143 keeping its complete
#   files, and --resume completes the same movie.
# Every daemon it started is stopped by process id, also when a step fails.
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
        tail -n 15 "$work"/log/*.log "$work"/*/slurm/*.log 2>/dev/null
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

job_state() {
    scontrol show job "$1" 2>/dev/null | sed -n 's/.*JobState=\([A-Z_]*\).*/\1/p' | head -n 1
}

# Waits until job $1 has ended (or, with $2, reached that state) and prints its state.
wait_job() {
    local state= tries
    for tries in $(seq 1200); do
        state=$(job_state "$1")
        [ -n "${2:-}" ] && [ "$state" = "$2" ] && break
        case "$state" in
            COMPLETED | FAILED | CANCELLED | TIMEOUT | NODE_FAIL | OUT_OF_MEMORY | DEADLINE) break ;;
        esac
        sleep 0.25
    done
    echo "$state"
}

# Waits until no task of job array $1 is pending or running.
wait_array() {
    local tries
    for tries in $(seq 1200); do
        [ -z "$(squeue -h -r -j "$1" 2>/dev/null)" ] && return 0
        sleep 0.25
    done
    return 1
}

# The checksums of a movie's frames and of its sound, decoded.
digests() {
    ffmpeg -v error -i "$1" -map 0:v -f framemd5 - | awk -F', *' '!/^#/ { print $6 }'
    ffmpeg -v error -i "$1" -map '0:a?' -f md5 -
}

# The key frames of a movie with a soundtrack, its movie files going into a subfolder:
# colour cycling and rotation, split into files of 4 frames, losslessly coded.
movie=$work/movie
"$cli" make-keyframes "$movie" --count 4 --size 96x54 >/dev/null || fail "make-keyframes failed"
ffmpeg -v error -f lavfi -i "sine=frequency=440:duration=4" "$movie/tone.wav" ||
    fail "ffmpeg made no soundtrack"
mkdir "$movie/out"
cp -r "$movie" "$work/again"
cp -r "$movie" "$work/alone"
settings=(--set $'SPEED=0\t9' --set $'CYCLE=0\t3' --set $'ROTATE=0\t0\n3\t2' --set SZT=0
    --set MOVIEFILE=out/film.mkv --set SOUND=tone.wav --codec ffv1)
files=$("$cli" plan "$movie" "${settings[@]}" --set FPM=4 |
    awk -F'\t' '$1 == "# movie files" { print $2 }')
[ "${files:-0}" -ge 8 ] || fail "the test movie has ${files:-no} files, not at least 8"

# This machine's movie: one file.
started_at=$(date +%s%N)
"$cli" render "$work/alone" "${settings[@]}" --set FPM=0 >"$work/alone.out" 2>&1 ||
    fail "the render on this machine failed: $(tail -n 5 "$work/alone.out")"
alone_ms=$((($(date +%s%N) - started_at) / 1000000))
digests "$work/alone/out/film.mkv" >"$work/alone.md5"
alone_frames=$(($(wc -l <"$work/alone.md5") - 1))
[ "$alone_frames" -gt 0 ] || fail "this machine's movie holds no frame"

# The prologue runs in every task and in the join, in the folder of the key frames; task 1 of
# the second submit waits in it to be cancelled.
{
    echo "echo \"\${SLURM_JOB_ID:-} \$PWD\" >>$(printf %q "$work/prologue.log")"
    echo "if [ \"\${SLURM_ARRAY_TASK_ID:-}\" = 1 ] && [ \"\$PWD\" = $(printf %q "$work/again") ] &&"
    echo "    [ ! -e $(printf %q "$work/released") ]; then sleep 300; fi"
} >"$work/prologue.sh"
submit_args=(--slurm --tasks "$tasks" --cpus-per-task 1 --prologue prologue.sh
    --sbatch-option=--comment=zoomreel-test "${settings[@]}" --set FPM=4)

# Submitted, joined and the same as this machine's movie, frame for frame and in sound; the
# paths given relative to the submitting folder and the key frame folder are found.
started_at=$(date +%s%N)
(cd "$work" && "$cli" submit movie "${submit_args[@]}") >"$work/submit.out" 2>&1 ||
    fail "submit failed: $(cat "$work/submit.out")"
join_job=$(awk '$1 == "join:" { sub(",", "", $3); print $3 }' "$work/submit.out")
[ -n "$join_job" ] || fail "submit named no join job: $(cat "$work/submit.out")"
grep -qx "movie: $movie/out/film_joined.mkv" "$work/submit.out" ||
    fail "submit names another movie: $(cat "$work/submit.out")"
join_state=$(wait_job "$join_job")
cluster_ms=$((($(date +%s%N) - started_at) / 1000000))
[ "$join_state" = COMPLETED ] || fail "the join job $join_job ended $join_state"
digests "$movie/out/film_joined.mkv" >"$work/joined.md5"
cmp -s "$work/joined.md5" "$work/alone.md5" ||
    fail "the joined movie differs from this machine's: $(diff "$work/joined.md5" \
"$work/alone.md5" | head -n 4)"
[ "$(grep -c " $movie\$" "$work/prologue.log")" -eq $((tasks + 1)) ] ||
    fail "the prologue did not run once in every task and the join: $(cat "$work/prologue.log")"
echo "slurm test: $files files in $tasks tasks joined into $alone_frames frames with their" \
    "sound, the same as this machine's; the cluster took $cluster_ms ms from submit to the" \
    "joined movie, this machine $alone_ms ms"

# A task cancelled: its join is cancelled with it, and the command submit printed for a failure
# makes the missing files and joins them.
(cd "$work" && "$cli" submit again "${submit_args[@]}") >"$work/again.out" 2>&1 ||
    fail "submit failed: $(cat "$work/again.out")"
render_job=$(awk '$1 == "render:" { sub(",", "", $4); print $4 }' "$work/again.out")
join_job=$(awk '$1 == "join:" { sub(",", "", $3); print $3 }' "$work/again.out")
[ "$(wait_job "${render_job}_1" RUNNING)" = RUNNING ] || fail "task 1 of $render_job never ran"
recovery=$(sed -n 's/^after a failure: //p' "$work/again.out")
[ -n "$recovery" ] || fail "submit printed no command for a failure: $(cat "$work/again.out")"
# While tasks of the render are at work, a resume would make their files twice: refused.
if eval "$recovery" >"$work/early.out" 2>&1; then
    fail "a resume while the render is at work was not refused: $(cat "$work/early.out")"
fi
grep -q "of this render is still" "$work/early.out" ||
    fail "the early resume said: $(cat "$work/early.out")"
scancel "${render_job}_1" || fail "scancel ${render_job}_1 failed"
wait_array "$render_job" || fail "the tasks of $render_job do not end"
join_state=$(wait_job "$join_job")
[ "$join_state" = CANCELLED ] || fail "the join after a cancelled task ended $join_state"
touch "$work/released"
eval "$recovery" >"$work/resume.out" 2>&1 || fail "the recovery failed: $(cat "$work/resume.out")"
grep -q "^render: job array [0-9]*, tasks 1 " "$work/resume.out" ||
    fail "the recovery did not submit task 1 alone: $(cat "$work/resume.out")"
join_job=$(awk '$1 == "join:" { sub(",", "", $3); print $3 }' "$work/resume.out")
join_state=$(wait_job "$join_job")
[ "$join_state" = COMPLETED ] || fail "the join after the recovery ended $join_state"
digests "$work/again/out/film_joined.mkv" >"$work/again.md5"
cmp -s "$work/again.md5" "$work/alone.md5" || fail "the recovered movie differs from this machine's"
echo "slurm test: a cancelled task was made again by the recovery, and the movie joined"

# A task told to end (SIGTERM, as at its time limit) finishes the file it is writing and fails
# with 143; --resume completes the movie. Larger frames, so that the signal finds it at work.
stopped=$work/stopped
"$cli" make-keyframes "$stopped" --count 4 --size 320x180 --iterations 300 >/dev/null ||
    fail "make-keyframes failed"
cp -r "$stopped" "$work/stopped_alone"
long=(--set $'SPEED=0\t60' --set $'CYCLE=0\t3' --set SZT=0 --set MOVIEFILE=long.mkv --codec ffv1)
"$cli" render "$work/stopped_alone" "${long[@]}" --set FPM=0 >/dev/null 2>&1 ||
    fail "the long render on this machine failed"
digests "$work/stopped_alone/long.mkv" >"$work/long_alone.md5"
"$cli" submit "$stopped" --slurm --tasks 1 "${long[@]}" --set FPM=40 >"$work/stopped.out" 2>&1 ||
    fail "submit failed: $(cat "$work/stopped.out")"
render_job=$(awk '$1 == "render:" { sub(",", "", $4); print $4 }' "$work/stopped.out")
for tries in $(seq 600); do
    [ -e "$stopped/long.mkv" ] && break
    sleep 0.05
done
scancel --batch --signal=TERM "$render_job" || fail "scancel --signal=TERM failed"
wait_array "$render_job" || fail "the task of $render_job does not end"
log=$(cat "$stopped"/slurm/render-*.log)
exit_code=$(scontrol show job "$render_job" | sed -n 's/.*ExitCode=\([0-9:]*\).*/\1/p' | head -n 1)
[ "$exit_code" = 143:0 ] || fail "the task told to end ended with $exit_code, not 143: $log"
grep -q "stopped after" <<<"$log" || fail "the task did not stop in order: $log"
"$cli" submit "$stopped" --slurm --tasks 1 "${long[@]}" --set FPM=40 --resume \
    >"$work/stopped_resume.out" 2>&1 || fail "the resume failed: $(cat "$work/stopped_resume.out")"
join_job=$(awk '$1 == "join:" { sub(",", "", $3); print $3 }' "$work/stopped_resume.out")
join_state=$(wait_job "$join_job")
[ "$join_state" = COMPLETED ] || fail "the join after the resume ended $join_state"
digests "$stopped/film_joined.mkv" >"$work/long_joined.md5"
cmp -s "$work/long_joined.md5" "$work/long_alone.md5" ||
    fail "the movie completed after SIGTERM differs from this machine's"
echo "slurm test: a task told to end exited 143 keeping its complete files, and the resume" \
    "completed the movie; the task said: $(grep "stopped after" <<<"$log" | head -n 1)"
