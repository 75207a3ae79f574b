#!/bin/sh
# Project on the random family's supervisors (n = 10, 15, 20, 30; seeds
# 1..7) and on the line family (n = 8, 9), one process per instance so that
# one that runs away is stopped (LIMIT seconds, default 60) and the others
# still report. One row per instance: family, n, seed, result states,
# processor seconds, peak heap MB of the projection.
#   projectGrid.sh [BENCH_BINARY] [LIMIT]
bin=${1:-build/bench/familiesBench}
limit=${2:-60}
row() {
  out=$(timeout "$limit" "$bin" --only project "$@" 2>/dev/null | grep '^Project')
  if [ -z "$out" ]; then
    echo "$* : did not finish within $limit s"
  else
    echo "$out" | awk -v name="$*" '{ printf "%-14s states %8s  cpu %8s s  peak %8s MB\n", name, $2, $4, $10 }'
  fi
}
for n in 10 15 20 30; do
  for seed in 1 2 3 4 5 6 7; do row random $n $seed; done
done
row line 8 2
row line 9 2
