#!/bin/sh
# run_fuzz.sh <fuzzer> <xsamples> <corpus folder> [seconds]
# Seeds the corpus with our writer's files (none when <xsamples> is -), then
# fuzzes for a fixed time; the crash inputs land in <name>_artifacts beside a
# corpus called <name>_corpus.
# Fails when the fuzzer finds a crash, a leak, a hang or runaway memory.
set -eu
fuzzer=$1
samples=$2
corpus=$3
seconds=${4:-60}
mkdir -p "$corpus"
[ "$samples" = - ] || "$samples" "$corpus"
artifacts=${corpus%_corpus}_artifacts
mkdir -p "$artifacts"
# Mutations work on whole seeds from the start (-len_control=0: no slow growth
# from short inputs), and no seed is cut short.
largest=$(find "$corpus" -type f -exec stat -c %s {} + | sort -n | tail -1)
max_len=65536
[ "${largest:-0}" -gt "$max_len" ] && max_len=$largest
exec "$fuzzer" -max_total_time="$seconds" -max_len="$max_len" -len_control=0 -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus"
