#!/bin/sh
# The benchmark of a whole validation run at scale, in one command:
#   bench/run/run.sh [BUILD]            (BUILD: the build folder, default "build")
#
# For deliveries of 100,000, 1,000,000 and 5,000,000 risks (and a fifth as
# many claims) made by tolk-gerar, in two orders of the risks' tickets (long
# ascending runs, tolk-gerar's default, and random order, as real deliveries
# may come), it times the complete tolk-critica run
# (median of 3, with the peak resident memory of its process and the peak of
# its own memory, the resident memory less the file pages it maps) and each stage
# of the run (bench_critica), beside two references measured in the same run
# over the same files: a plain sequential read and a scan written by hand.
# It prints one table per order with the goals beside the figures and
# writes, in BUILD/bench-run/ (the random order's files end in -aleatoria):
#   table.csv       the printed table
#   raw.csv         one row of medians per delivery, as bench_critica writes it
#   growth.csv      each delivery above 1,000,000 risks: the median ratio of
#                   its run to the 1,000,000 run, the two timed back to back
#   bench-run.png   time per stage against the number of records, log-log
#                   (needs gnuplot; make bench-run installs it)
# The deliveries stay in BUILD/bench-run/<risks>/ (<risks>-aleatoria/) and
# are reused by the next run; 5,000,000 risks take about 400 MB there, and
# the index another 200 MB.
#
# Environment: TOLK_BENCH_SIZES replaces the list of risk counts,
# TOLK_BENCH_ORDERS the orders ("crescente aleatoria"), TOLK_BENCH_RUNS the
# number of runs (3), TOLK_BENCH_PNG the plot's path.
set -eu

BUILD=${1:-build}
BIN=$BUILD/bin
OUT=$BUILD/bench-run
SIZES=${TOLK_BENCH_SIZES:-"100000 1000000 5000000"}
ORDERS=${TOLK_BENCH_ORDERS:-"crescente aleatoria"}
RUNS=${TOLK_BENCH_RUNS:-3}
PNG=${TOLK_BENCH_PNG:-$OUT/bench-run.png}

for exe in tolk-gerar tolk-critica bench_critica tabelas.dbf anexos.dbf DadosOrb.DBF; do
  if [ ! -e "$BIN/$exe" ]; then
    echo "bench-run: $BIN/$exe is missing: build first (make build)" >&2
    exit 1
  fi
done
mkdir -p "$OUT/prog"

# Room for the largest delivery of each order: about 80 bytes a risk for
# the two tables, 41 for the index, and as much again to spare.
largest=0
for n in $SIZES; do [ "$n" -gt "$largest" ] && largest=$n; done
orders=0
for order in $ORDERS; do orders=$((orders + 1)); done
need_kb=$((largest * 250 / 1024 * orders))
free_kb=$(df -Pk "$OUT" | awk 'NR == 2 { print $4 }')
if [ "$free_kb" -lt "$need_kb" ]; then
  echo "bench-run: $OUT has $((free_kb / 1024)) MB free; $largest risks need about $((need_kb / 1024)) MB" >&2
  exit 1
fi

# The program folder: the shipped dictionary and figures; the run writes
# bilhete.ntx here.
for f in tabelas.dbf anexos.dbf DadosOrb.DBF; do cp "$BIN/$f" "$OUT/prog/$f"; done

# The deliveries of one order of the tickets, timed, and their table.
#   bench_order ORDER SUFFIX TITLE TIME_GOAL RATIO_GOAL
bench_order() {
order=$1 sfx=$2 title=$3 time_goal=$4 ratio_goal=$5
RAW=$OUT/raw$sfx.csv
rm -f "$RAW"
for n in $SIZES; do
  dir=$OUT/$n$sfx
  claims=$((n / 5))
  stamp="tolk-gerar --registros $n --sinistros $claims --semente 1"
  [ "$order" = crescente ] || stamp="$stamp --ordem $order"
  if [ ! -f "$dir/riscos.dbf" ] || [ ! -f "$dir/sinistros.dbf" ] || [ "$(cat "$dir/stamp" 2>/dev/null)" != "$stamp" ]; then
    echo "== generating $n risks and $claims claims, tickets: $title"
    mkdir -p "$dir"
    rm -f "$dir/stamp"
    "$BIN/tolk-gerar" --registros "$n" --sinistros "$claims" --semente 1 --ordem "$order" --saida "$dir" > /dev/null
    echo "$stamp" > "$dir/stamp"
  fi
  # Written data still on its way to the disk would compete with the runs.
  sync
  echo "== timing $n risks and $claims claims, tickets: $title"
  "$BIN/bench_critica" --riscos "$dir/riscos.dbf" --sinistros "$dir/sinistros.dbf" --pasta "$OUT/prog/" \
    --runs "$RUNS" --critica "$BIN/tolk-critica" --csv "$RAW" > "$dir/bench.txt"
done

# The growth from 1,000,000 risks to each larger delivery, round by round:
# a round runs the two deliveries back to back, so that a drift of the
# machine's speed touches both, and the table shows the median of the
# rounds' ratios (one line per delivery in growth.csv).
elapsed_us() {
  s=$(date +%s%N)
  "$BIN/tolk-critica" --riscos "$OUT/$1$sfx/riscos.dbf" --sinistros "$OUT/$1$sfx/sinistros.dbf" --pasta "$OUT/prog/" \
    --agora "2026-12-08 12:00:00" > /dev/null 2>&1
  e=$(date +%s%N)
  echo $(((e - s) / 1000))
}
median() { printf '%s\n' "$@" | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
GROWTH=$OUT/growth$sfx.csv
: > "$GROWTH"
case " $SIZES " in
  *" 1000000 "*)
    for n in $SIZES; do
      [ "$n" -le 1000000 ] && continue
      echo "== growth from 1000000 to $n risks, round by round, tickets: $title"
      ratios=""
      i=0
      while [ "$i" -lt "$RUNS" ]; do
        a=$(elapsed_us 1000000)
        b=$(elapsed_us "$n")
        ratios="$ratios $(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.4f", b / a }')"
        i=$((i + 1))
      done
      echo "   ratios of the rounds:$ratios"
      # shellcheck disable=SC2086
      echo "$n,$(median $ratios)" >> "$GROWTH"
    done
    ;;
esac

# The table: one column per delivery, the goals on the right. Stage times are
# medians of in-process runs; the complete run is the tolk-critica process.
echo
echo "tickets: $title"
awk -F, -v table="$OUT/table$sfx.csv" -v gfile="$GROWTH" -v tgoal="$time_goal" -v rgoal="$ratio_goal" '
  BEGIN { while ((getline line < gfile) > 0) { split(line, f, ","); g[f[1]] = f[2] } }
  NR == 1 { next }
  {
    n++
    for (c = 1; c <= NF; c++) v[n, c] = $c
    risks[n] = $1
  }
  function row(label, c, fmt, goal,   k, line, csv) {
    line = sprintf("%-36s", label); csv = "\"" label "\""
    for (k = 1; k <= n; k++) {
      line = line sprintf(fmt, v[k, c]); csv = csv "," sprintf("%.4f", v[k, c])
    }
    print line "   " goal; print csv ",\"" goal "\"" > table
  }
  function derived(label, vals, fmt, goal,   k, line, csv) {
    line = sprintf("%-36s", label); csv = "\"" label "\""
    for (k = 1; k <= n; k++) { line = line sprintf(fmt, vals[k]); csv = csv "," sprintf("%.4f", vals[k]) }
    print line "   " goal; print csv ",\"" goal "\"" > table
  }
  END {
    if (n == 0) exit 1
    head = sprintf("%-36s", "risks (claims: a fifth)"); csv = "\"stage\""
    for (k = 1; k <= n; k++) { head = head sprintf("%12d", risks[k]); csv = csv "," risks[k] }
    print head "   goal"; print csv ",\"goal\"" > table
    print "seconds, medians of the runs"
    row("plain read of both files (ref.)", 3, "%12.4f", "")
    row("hand-written scan (ref.)", 4, "%12.4f", "")
    row("dictionary and structure checks", 5, "%12.4f", "")
    row("record rules, risks", 6, "%12.4f", "")
    row("record rules, claims", 7, "%12.4f", "")
    row("cross-check: wait for the index", 8, "%12.4f", "")
    row("cross-check: seeks", 9, "%12.4f", "")
    row("reconciliation, shown", 10, "%12.4f", "")
    row("complete run (tolk-critica)", 13, "%12.4f", "<= " tgoal " s at 1,000,000")
    # Each round compares the run with references taken just before it.
    for (k = 1; k <= n; k++) ratio[k] = v[k, 16]
    derived("  / (plain read + hand scan), rounds", ratio, "%12.1f", "<= " rgoal " at 1,000,000")
    one = 0
    for (k = 1; k <= n; k++) if (risks[k] == 1000000) one = k
    for (k = 1; k <= n; k++) growth[k] = (risks[k] in g) ? g[risks[k]] : (one ? v[k, 13] / v[one, 13] : 0)
    derived("  / the 1,000,000 run, rounds", growth, "%12.2f", "<= 5.5 at 5,000,000")
    for (k = 1; k <= n; k++) {
      mb[k] = v[k, 14] / 1024; ntx[k] = v[k, 15] / 1048576; rest[k] = mb[k] - ntx[k]; own[k] = v[k, 17] / 1024
    }
    derived("peak own memory (MB)", own, "%12.1f", "independent of the records")
    derived("peak resident memory (MB)", mb, "%12.1f", "")
    derived("  of which bilhete.ntx, mapped (MB)", ntx, "%12.1f", "page cache")
    derived("  the rest (MB)", rest, "%12.1f", "")

    print ""
    if (one) {
      t = v[one, 13]; r = ratio[one]
      printf "goal: complete run over 1,000,000 risks at most %s s: %.3f s, %s\n", tgoal, t, (t <= tgoal + 0 ? "met" : "NOT met")
      printf "goal: within %sx of plain read + hand scan: %.1fx, %s\n", rgoal, r, (r <= rgoal + 0 ? "met" : "NOT met")
      for (k = 1; k <= n; k++) if (risks[k] == 5000000)
        printf "goal: 5,000,000 within 5.5x of 1,000,000: %.2fx, %s\n", growth[k], (growth[k] <= 5.5 ? "met" : "NOT met")
    }
    if (n > 1) {
      # Own memory: what the process holds itself. The pages of bilhete.ntx
      # it maps belong to the page cache, which keeps or drops them as it needs.
      d = own[n] - own[1]; dr = rest[n] - rest[1]
      printf "goal: peak memory independent of the records: own memory %+.1f MB from %d to %d risks", d, risks[1], risks[n]
      printf " (resident less the mapped index: %+.1f MB), %s\n", dr, (d <= 16 ? "met" : "NOT met")
    }
  }' "$RAW"
echo
echo "table: $OUT/table$sfx.csv   figures: $RAW"
}

for order in $ORDERS; do
  case $order in
    crescente) bench_order crescente "" "long ascending runs" 1.5 10 ;;
    aleatoria) bench_order aleatoria -aleatoria "random order" 0.6 6 ;;
    *)
      echo "bench-run: unknown order $order (crescente, aleatoria)" >&2
      exit 1
      ;;
  esac
done

if ! command -v gnuplot > /dev/null 2>&1; then
  echo "bench-run: gnuplot is not installed (make bench-run installs it): no plot" >&2
  exit 0
fi
mkdir -p "$(dirname "$PNG")"
# The stages of the first order's deliveries; the complete run and the
# wait for the index of the random order beside them when it was timed.
first=$OUT/raw.csv
[ -f "$first" ] || first=$OUT/raw-aleatoria.csv
random=""
if [ -f "$OUT/raw-aleatoria.csv" ] && [ "$first" != "$OUT/raw-aleatoria.csv" ]; then
  random=", \"$OUT/raw-aleatoria.csv\" every ::1 using 1:13 with linespoints lw 2 dt 4 title \"complete run, random order\", \"\" every ::1 using 1:8 with linespoints dt 4 title \"wait for the index, random order\""
fi
gnuplot <<EOF
set terminal pngcairo size 900,600 font "sans,10"
set output "$PNG"
set datafile separator ","
set logscale xy
set format x "%.0s%c"
set xlabel "risks (claims: a fifth as many)"
set ylabel "seconds (median)"
set title "tolk-critica: time per stage against the delivery size"
set key top left
set grid
plot "$first" every ::1 using 1:13 with linespoints lw 2 title "complete run", \
     "" every ::1 using 1:6 with linespoints title "record rules, risks", \
     "" every ::1 using 1:7 with linespoints title "record rules, claims", \
     "" every ::1 using 1:8 with linespoints title "wait for the index", \
     "" every ::1 using 1:9 with linespoints title "seeks", \
     "" every ::1 using 1:10 with linespoints title "reconciliation, shown", \
     "" every ::1 using 1:5 with linespoints title "dictionary and structure", \
     "" every ::1 using 1:(\$3+\$4) with lines dt 2 lw 2 title "plain read + hand scan (ref.)", \
     "" every ::1 using 1:(10*(\$3+\$4)) with lines dt 3 title "10x the reference"$random
EOF
echo "plot: $PNG"
