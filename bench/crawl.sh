#!/usr/bin/env bash
# crawl.sh [PAGES] [PORT] — copies a generated site with gleanery-crawl beside the peer tools and
# prints wall time, CPU time and peak memory of each (wget only with GLEANERY_BENCH_WGET=1), the
# ratios against the best peer, and the
# offline-browsing check of every copy. Needs `scripts/install-deps --bench` and a build in build/.
# The tools take turns over GLEANERY_BENCH_ROUNDS rounds (default 3), the order swapped every
# round, and medians are compared: on some file systems a run pays for files the run before it
# deleted, so a single run in a fixed order favours whoever goes first.
#
# crawl.sh --site DIR [PORT] — the same for a real site: serves DIR with nginx, copies it with
# gleanery-crawl and with wget2 (four threads, `-r -l inf -k -p`), both kept to that server, and
# compares the best of GLEANERY_BENCH_ROUNDS alternating rounds (default 2) of each.
#
# crawl.sh --latency [SEED] [PORT] — the same against the kit's latency.py site (answers after
# 80-300 ms, some after 3 s, like a far server), gleanery-crawl and wget2 with four connections
# each, medians of GLEANERY_BENCH_ROUNDS alternating rounds (default 3).
#
# crawl.sh --update DIR [PORT] — what an update run with nothing changed costs against a fresh copy
# of a real site: each round makes a fresh copy and then updates it (UpdateOldFiles on); medians of
# GLEANERY_BENCH_ROUNDS rounds (default 3). GLEANERY_BASE_CRAWL names a second runner (an earlier
# build) measured in the same rounds, the two taking turns to go first. Prints the files each update
# replaced (a new inode or time counts) and, with GLEANERY_BENCH_STRACE=1, the file-status calls
# (stat, lstat, access and the like) per file of one more update run under strace.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
site=
latency=
update=
if [ "${1:-}" = "--update" ]; then
  update=1
  site=$(realpath "${2:?crawl.sh --update DIR [PORT]}")
  shift 2
  pages=0
  port=${1:-18083}
  rounds=${GLEANERY_BENCH_ROUNDS:-3}
elif [ "${1:-}" = "--latency" ]; then
  latency=${2:-7}
  shift $(( $# >= 2 ? 2 : 1 ))
  pages=0
  port=${1:-18082}
  rounds=${GLEANERY_BENCH_ROUNDS:-3}
elif [ "${1:-}" = "--site" ]; then
  site=$(realpath "${2:?crawl.sh --site DIR [PORT]}")
  shift 2
  pages=0
  port=${1:-18081}
  rounds=${GLEANERY_BENCH_ROUNDS:-2}
else
  pages=${1:-10000}
  port=${2:-18080}
  rounds=${GLEANERY_BENCH_ROUNDS:-3}
fi
kit=${GLEANERY_BENCH_KIT:-$top/../shared/bench}
[ -d "$kit" ] || kit=$top/../../shared/bench  # from a worktree
crawl=${GLEANERY_CRAWL:-$top/build/tools/gleanery-crawl}
work=$(mktemp -d /tmp/gleanery-bench.XXXXXX)
chmod a+rx "$work"  # nginx workers read the site as another user
host=127.0.0.1:$port
url=http://$host/

if [ -n "$latency" ]; then
  real=0
  python3 "$kit/latency.py" "$port" "$latency" &
  server=$!
  trap 'kill $server 2>/dev/null || true' EXIT
  until curl -s -o /dev/null "$url"; do sleep 0.2; done
else
  if [ -z "$site" ]; then
    python3 "$kit/gensite.py" "$work/site" "$pages" "$host" >/dev/null
    site=$work/site
    real=0
  else
    real=1
  fi
  pidfile=$(bash "$kit/serve.sh" "$site" "$port")
  trap 'kill $(cat "$pidfile") 2>/dev/null || true' EXIT
fi

run_gleanery() {  # round
  local dest=$work/gleanery-$1
  cat > "$work/job-$1.GCJ" <<JOB
[FileInfo]
SchemaVersion=1
[Start]
JobName=bench
StartingWebAddress=$url
DestinationFolder=$dest
RewriteLinks=1
FlattenDestinationFolders=0
[LocationRestrictions]
RestrictLocation=2
MaxDistance=-1
[Hostnames]
Hosts=$([ "$real" = 1 ] && echo 127.0.0.1)
HostsPurpose=$([ "$real" = 1 ] && echo 1 || echo 3)
[DownloadOptions]
MaxSimultaneousDownloads=4
JOB
  local t0 t1 u s m
  t0=$(date +%s.%N)
  /usr/bin/time -f "%U %S %M" -o "$work/gleanery-$1.time" "$crawl" --data-folder "$work/data-$1" \
    "$work/job-$1.GCJ" >"$work/gleanery-$1.log" 2>&1 || echo "gleanery-crawl exited with $?"
  t1=$(date +%s.%N)
  read -r u s m < <(tail -n 1 "$work/gleanery-$1.time")
  printf "%-8s wall %7.2f s  cpu %7.2f s  rss %7d KiB  files %d\n" gleanery "$(echo "$t1 - $t0" | bc)" \
    "$(echo "$u + $s" | bc)" "$m" "$(find "$dest" -type f | wc -l)" | tee -a "$work/results.txt"
}

run_peers() {  # round
  # wget (one connection) takes minutes on the generated site: only with GLEANERY_BENCH_WGET=1.
  if [ "$real" = 1 ] || [ -n "$latency" ] || [ -z "${GLEANERY_BENCH_WGET:-}" ]; then run_wget2 "$1"; return; fi
  bash "$kit/peers.sh" "$url" "$work/peers-$1" | tee -a "$work/results.txt"
}

run_wget2() {  # round; wget2 alone, as peers.sh runs it (it stays on the server by itself)
  local dest=$work/peers-$1/wget2 t0 t1 u s m
  mkdir -p "$dest"
  t0=$(date +%s.%N)
  /usr/bin/time -f "%U %S %M" -o "$work/wget2-$1.time" wget2 -q --max-threads=4 -r -l inf -k -p -e robots=off \
    -P "$dest" "$url" >"$work/wget2-$1.log" 2>&1 || true
  t1=$(date +%s.%N)
  read -r u s m < <(tail -n 1 "$work/wget2-$1.time")  # a failed request adds a line before it
  printf "%-8s wall %7.2f s  cpu %7.2f s  rss %7d KiB  files %d\n" wget2 "$(echo "$t1 - $t0" | bc)" \
    "$(echo "$u + $s" | bc)" "$m" "$(find "$dest" -type f | wc -l)" | tee -a "$work/results.txt"
}

if [ -n "$update" ]; then
  update_round() {  # runner name round
    local dest=$work/$2-$3
    mkdir -p "$dest"
    python3 "$kit/jobfile.py" "$work/job-$2-$3.GCJ" "$url" "$dest" Hostnames.Hosts=127.0.0.1 \
      Hostnames.HostsPurpose=1 DownloadOptions.UpdateOldFiles=1
    local kind t0 t1 u s m
    for kind in fresh update; do
      [ "$kind" = update ] && (cd "$dest" && find . -type f -printf '%P %i %T@\n' | sort) > "$work/before-$2-$3"
      t0=$(date +%s.%N)
      /usr/bin/time -f "%U %S %M" -o "$work/$2-$3.time" "$1" --data-folder "$work/data-$2-$3" \
        "$work/job-$2-$3.GCJ" >"$work/$2-$3-$kind.log" 2>&1 || echo "$2 exited with $?"
      t1=$(date +%s.%N)
      read -r u s m < <(tail -n 1 "$work/$2-$3.time")
      printf "%-8s %-6s wall %7.2f s  cpu %7.2f s  rss %7d KiB  files %d\n" "$2" "$kind" "$(echo "$t1 - $t0" | bc)" \
        "$(echo "$u + $s" | bc)" "$m" "$(find "$dest" -type f | wc -l)" | tee -a "$work/results.txt"
    done
    (cd "$dest" && find . -type f -printf '%P %i %T@\n' | sort) > "$work/after-$2-$3"
    comm -13 "$work/before-$2-$3" "$work/after-$2-$3" | cut -d' ' -f1 > "$work/replaced-$2-$3"
    echo "$2 update replaced $(wc -l < "$work/replaced-$2-$3") files: $(head -n 3 "$work/replaced-$2-$3" | tr '\n' ' ')"
  }
  runners=("gleanery $crawl")
  [ -n "${GLEANERY_BASE_CRAWL:-}" ] && runners+=("base $GLEANERY_BASE_CRAWL")
  for round in $(seq "$rounds"); do
    echo "round $round"
    order=("${runners[@]}")
    if [ $((round % 2)) -eq 0 ] && [ ${#runners[@]} -eq 2 ]; then order=("${runners[1]}" "${runners[0]}"); fi
    for r in "${order[@]}"; do update_round "${r#* }" "${r%% *}" "$round"; done
    rm -rf "$work"/gleanery-"$round" "$work"/base-"$round"
  done
  python3 - "$work/results.txt" <<'PY'
import statistics, sys
runs = {}
for line in open(sys.argv[1]):
    f = line.split()
    runs.setdefault((f[0], f[1]), []).append((float(f[3]), float(f[6])))
for name in dict.fromkeys(k[0] for k in runs):
    fresh, upd = ([statistics.median(c) for c in zip(*runs[(name, k)])] for k in ("fresh", "update"))
    print(f"median {name:<8} fresh wall {fresh[0]:6.2f} s cpu {fresh[1]:6.2f} s | update wall {upd[0]:6.2f} s "
          f"cpu {upd[1]:6.2f} s | update/fresh wall {upd[0] / fresh[0]:.2f} cpu {upd[1] / fresh[1]:.2f}")
PY
  if [ -n "${GLEANERY_BENCH_STRACE:-}" ]; then
    for r in "${runners[@]}"; do
      name=${r%% *} dest=$work/strace-${r%% *}
      mkdir -p "$dest"
      python3 "$kit/jobfile.py" "$work/job-strace.GCJ" "$url" "$dest" Hostnames.Hosts=127.0.0.1 \
        Hostnames.HostsPurpose=1 DownloadOptions.UpdateOldFiles=1
      "${r#* }" --data-folder "$work/data-strace" "$work/job-strace.GCJ" >/dev/null 2>&1 || true
      strace -f -c -o "$work/strace-$name.txt" -e trace=newfstatat,statx,stat,lstat,fstat,access,faccessat,faccessat2 "${r#* }" \
        --data-folder "$work/data-strace" "$work/job-strace.GCJ" >/dev/null 2>&1 || true
      files=$(find "$dest" -type f | wc -l)
      calls=$(awk '$NF == "total" { print $4 }' "$work/strace-$name.txt")
      echo "$name unchanged update: $calls file-status calls for $files files ($(echo "scale=1; $calls / $files" | bc) per file)"
      rm -rf "$dest"
    done
  fi
  echo "work folder: $work"
  exit 0
fi

for round in $(seq "$rounds"); do
  echo "round $round"
  if [ $((round % 2)) -eq 1 ]; then run_gleanery "$round"; run_peers "$round"; else run_peers "$round"; run_gleanery "$round"; fi
done

# Medians (real sites: the best) of each tool, and the ratios against the peer with the lowest
# wall time.
python3 - "$work/results.txt" "$real" <<'PY'
import statistics, sys
pick, word = (min, "best") if sys.argv[2] == "1" else (statistics.median, "median")
runs = {}
for line in open(sys.argv[1]):
    f = line.split()
    runs.setdefault(f[0], []).append((float(f[2]), float(f[5]), float(f[8])))
med = {name: [pick(column) for column in zip(*rows)] for name, rows in runs.items()}
for name, (wall, cpu, rss) in med.items():
    print(f"{word:<6} {name:<8} wall {wall:7.2f} s  cpu {cpu:7.2f} s  rss {rss:9.0f} KiB  ({len(runs[name])} runs)")
peers = {name: m for name, m in med.items() if name != "gleanery"}
if "gleanery" in med and peers:
    best = min(peers, key=lambda name: peers[name][0])
    g, b = med["gleanery"], peers[best]
    print(f"vs {best}: wall {g[0] / b[0]:.2f}  cpu {g[1] / b[1]:.2f}  rss {g[2] / b[2]:.2f}")
PY

for copy in "$work/gleanery-$rounds/127.0.0.1" "$work/peers-$rounds/wget2/$host" "$work/peers-$rounds/wget/$host"; do
  [ -d "$copy" ] || continue
  printf "linkcheck %s: " "${copy#"$work"/}"
  python3 "$kit/linkcheck.py" "$copy" "$host" | head -3 || true
done
echo "work folder: $work"
