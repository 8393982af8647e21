#!/usr/bin/env bash
# crawl.sh [PAGES] [PORT] — copies a generated site with gleanery-crawl beside the peer tools and
# prints wall time, CPU time and peak memory of each, the ratios against the best peer, and the
# offline-browsing check of every copy. Needs `scripts/install-deps --bench` and a build in build/.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
pages=${1:-10000}
port=${2:-18080}
kit=${GLEANERY_BENCH_KIT:-$top/../shared/bench}
crawl=${GLEANERY_CRAWL:-$top/build/tools/gleanery-crawl}
work=$(mktemp -d /tmp/gleanery-bench.XXXXXX)
chmod a+rx "$work"  # nginx workers read the site as another user
host=127.0.0.1:$port
url=http://$host/

python3 "$kit/gensite.py" "$work/site" "$pages" "$host" >/dev/null
pidfile=$(bash "$kit/serve.sh" "$work/site" "$port")
trap 'kill $(cat "$pidfile") 2>/dev/null || true' EXIT

bash "$kit/peers.sh" "$url" "$work/peers" | tee "$work/peers.txt"

cat > "$work/job.GCJ" <<JOB
[FileInfo]
SchemaVersion=1
[Start]
JobName=bench
StartingWebAddress=$url
DestinationFolder=$work/gleanery
RewriteLinks=1
FlattenDestinationFolders=0
[LocationRestrictions]
RestrictLocation=2
MaxDistance=-1
[DownloadOptions]
MaxSimultaneousDownloads=4
JOB

t0=$(date +%s.%N)
/usr/bin/time -f "%U %S %M" -o "$work/gleanery.time" "$crawl" --data-folder "$work/data" "$work/job.GCJ" \
  >"$work/gleanery.log" 2>&1 || echo "gleanery-crawl exited with $?"
t1=$(date +%s.%N)
read -r u s m <"$work/gleanery.time"
wall=$(echo "$t1 - $t0" | bc)
cpu=$(echo "$u + $s" | bc)
printf "%-8s wall %7.2f s  cpu %7.2f s  rss %7d KiB  files %d\n" gleanery "$wall" "$cpu" "$m" \
  "$(find "$work/gleanery" -type f | wc -l)"

# Ratios against the peer with the lowest wall time.
read -r bname bwall bcpu brss < <(awk '{print $1, $3, $6, $9}' "$work/peers.txt" | sort -k2 -g | head -1)
printf "vs %s: wall %.2f  cpu %.2f  rss %.2f\n" "$bname" "$(echo "$wall / $bwall" | bc -l)" \
  "$(echo "$cpu / $bcpu" | bc -l)" "$(echo "$m / $brss" | bc -l)"

for copy in "$work/gleanery/127.0.0.1" "$work/peers/wget2/$host" "$work/peers/wget/$host"; do
  [ -d "$copy" ] || continue
  printf "linkcheck %s: " "${copy#"$work"/}"
  python3 "$kit/linkcheck.py" "$copy" "$host" | head -3 || true
done
echo "work folder: $work"
