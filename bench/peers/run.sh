#!/usr/bin/env bash
# Вербалон against GoldenDict on the same four Debian dictd dictionaries (mueller7-dict,
# dict-freedict-eng-rus, dict-de-en's english-german, dict-gcide), in one run:
#
#   ours: import and install of the four one after another, the tool's start-up (loading the
#         index), 30 look-ups through the tool, the window's start to its first page of words
#         and 20 article pages in the window (window_bench over the same folder), and the real
#         program's launch to its first page under xvfb-run;
#   peer: GoldenDict's first start, which builds its indexes, and its warm start, under
#         xvfb-run, without network (its own network features off, and a network namespace of
#         its own when unshare can make one), full-text indexing off.
#
# Then one table: each of our figures, the peer's figure for the same work where there is one,
# and ours divided by the peer's.
#
#   bench/peers/run.sh [BUILD_DIR]     (default: build; a Release build gives the real figures)
#
# Run by hand, not by the test command. Needs the four dictionary packages; without goldendict,
# xvfb-run and xdotool (apt-get install goldendict xvfb xdotool) the peer's columns read "peer
# not installed". Timings on a loaded machine are noisy: every figure is the median of REPEAT
# runs (default 3).
set -euo pipefail
# A failure inside $(...) ends the run too, not just its subshell.
shopt -s inherit_errexit
cd "$(dirname "$0")/../.."
build=${1:-build}
repeat=${REPEAT:-3}
tool=$build/bin/vrbx-tool
window_bench=$build/bench/window_bench
source bench/real_dicts.sh
# Words of all four kinds of dictionary: English headwords, a few German and Russian ones.
lookups=(be go house water run light make time hand eye word good head give take
  day world stone dog love Haus Wasser gut Hand Zeit дом вода слово рука время)

for program in "$build/bin/vrbx" "$tool" "$window_bench"; do
  if [ ! -x "$program" ]; then
    echo "$program is missing: build it first (cmake --build $build --target vrbx vrbx-tool window_bench)"
    exit 1
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The tool's look-up cache of the scratch folder goes with it, not into the user's own cache.
export XDG_CACHE_HOME=$work/cache

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
median() { tr ' ' '\n' | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# Seconds that one run of a command takes, its output thrown away.
timed() {
  local start
  start=$(now)
  "$@" >/dev/null 2>"$work/err" || {
    cat "$work/err" >&2
    exit 1
  }
  elapsed "$start" "$(now)"
}

# --- ours ---------------------------------------------------------------------------------
# A fresh application folder, the four imported and installed into it one after another.
install_four() {
  local app=$1 total=0 seconds
  rm -rf "$app"
  mkdir -p "$app/data"
  cp "$build/resources/vrbx.pde" "$app/vrbx.pde"
  for name in "${sources[@]}"; do
    seconds=$(timed "$tool" --app "$app" import "$dictd/$name.index")
    total=$(awk -v a="$total" -v b="$seconds" 'BEGIN { print a + b }')
    seconds=$(timed "$tool" --app "$app" install "$name.brd")
    total=$(awk -v a="$total" -v b="$seconds" 'BEGIN { print a + b }')
  done
  echo "$total"
}

app=$work/app
install_runs=()
for ((r = 0; r < repeat; ++r)); do
  install_runs+=("$(install_four "$app")")
done
ours_install=$(echo "${install_runs[@]}" | median)

# The tool's start-up: opening the packages and reading the index, then one page.
startup_runs=()
for ((r = 0; r < repeat; ++r)); do
  startup_runs+=("$(timed "$tool" --app "$app" show "${lookups[0]}")")
done
ours_startup=$(echo "${startup_runs[@]}" | median)

lookup_runs=()
for ((r = 0; r < repeat; ++r)); do
  start=$(now)
  for word in "${lookups[@]}"; do
    "$tool" --app "$app" show "$word" >/dev/null 2>&1 || true
  done
  lookup_runs+=("$(elapsed "$start" "$(now)")")
done
ours_lookups=$(echo "${lookup_runs[@]}" | median)

# The window over the same folder: its start to the first page of words, and 20 article pages.
VERBALON_BENCH_APP=$app QT_QPA_PLATFORM=offscreen "$window_bench" \
  --benchmark_filter='BM_StartToFirstPage|BM_TwentyArticlePages' \
  --benchmark_repetitions="$repeat" --benchmark_report_aggregates_only=true \
  --benchmark_format=csv >"$work/window.csv" 2>"$work/err" || {
  cat "$work/err" >&2
  exit 1
}
# The median's real time, in seconds, of one benchmark of the CSV (its time unit in column 5).
window_median() {
  awk -F, -v name="\"$1/" 'index($1, name) == 1 && $1 ~ /_median"$/ {
    scale = $5 == "ms" ? 1e-3 : ($5 == "us" ? 1e-6 : ($5 == "ns" ? 1e-9 : 1))
    printf "%.3f", $3 * scale
  }' "$work/window.csv"
}
ours_window=$(window_median BM_StartToFirstPage)
ours_pages=$(window_median BM_TwentyArticlePages)

# Inside an X server: window_start.sh LIMIT LOG READY COMMAND... starts COMMAND, its output into
# LOG, and prints the seconds until the shell condition READY holds (it may use $pid and
# visible_names, the names of the program's visible windows); it fails when the program ends
# first or LIMIT seconds pass.
cat >"$work/window_start.sh" <<'EOF'
limit=$1 log=$2 ready=$3
shift 3
visible_names() {
  for w in $(xdotool search --onlyvisible --pid "$pid" 2>/dev/null); do
    xdotool getwindowname "$w" 2>/dev/null
  done
}
start=$(date +%s.%N)
"$@" >"$log" 2>&1 &
pid=$!
deadline=$(($(date +%s) + limit))
until eval "$ready"; do
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "$* ended before its window showed; its output:" >&2
    cat "$log" >&2
    exit 1
  fi
  if [ "$(date +%s)" -gt "$deadline" ]; then
    echo "$* showed no window within $limit s" >&2
    kill "$pid"
    exit 1
  fi
  sleep 0.01
done
awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.3f\n", b - a }'
kill "$pid"
wait "$pid" 2>/dev/null || true
EOF

# The real program's launch under xvfb-run, measured from outside as the peer's start is: from
# the process's start until its main window is mapped and the splash window, which closes once
# the first page of words is shown, is gone. The program reads the folder it lives in.
ours_launch="xvfb-run or xdotool missing"
if command -v xvfb-run >/dev/null && command -v xdotool >/dev/null; then
  cp "$build/bin/vrbx" "$app/vrbx"
  # Both windows' names: "Вербалон - ..." for the main window, the program's own for the splash.
  first_page='names=$(visible_names); grep -q "^Вербалон" <<<"$names" && ! grep -qx vrbx <<<"$names"'
  launch_runs=()
  for ((r = 0; r < repeat; ++r)); do
    launch_runs+=("$(xvfb-run -a bash "$work/window_start.sh" 60 "$work/ours_log" "$first_page" \
      "$app/vrbx" 2>"$work/err" | tail -1)")
  done
  ours_launch=$(echo "${launch_runs[@]}" | median)
fi

# --- peer ---------------------------------------------------------------------------------
peer_first="peer not installed"
peer_warm="peer not installed"
if command -v goldendict >/dev/null && command -v xvfb-run >/dev/null &&
  command -v xdotool >/dev/null; then
  # Only the four, not whatever else lies in /usr/share/dictd.
  mkdir -p "$work/peerdicts"
  for name in "${sources[@]}"; do
    ln -s "$dictd/$name.index" "$dictd/$name.dict.dz" "$work/peerdicts/"
  done
  # Goldendict maps its main window, named just "GoldenDict", only once its dictionaries are
  # loaded, after building any missing index behind its "Initializing" window, so the index is
  # complete by then.
  peer_ready="xdotool search --onlyvisible --name '^GoldenDict$' >/dev/null 2>&1"
  peer_start() {
    in_x "$work/window_start.sh" 900 "$1/log" "$peer_ready" env HOME="$1" goldendict | tail -1
  }
  # A start without any configuration writes goldendict's default one and begins indexing its
  # default sources; the configuration is all this start is for, so it ends as soon as the file
  # is complete.
  cat >"$work/peer_config.sh" <<'EOF'
home=$1
config=$home/.config/goldendict/config
HOME=$home goldendict >"$home/log" 2>&1 &
pid=$!
until [ -s "$config" ] && tail -1 "$config" | grep -q '</config>'; do
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "goldendict wrote no configuration; its output:" >&2
    cat "$home/log" >&2
    exit 1
  fi
  sleep 0.05
done
kill "$pid"
wait "$pid" 2>/dev/null || true
EOF
  isolate=()
  if unshare -n true 2>/dev/null; then isolate=(unshare -n); fi
  in_x() {
    # Without the tool's cache folder: goldendict keeps its indexes under XDG_CACHE_HOME too.
    env -u XDG_CACHE_HOME "${isolate[@]}" xvfb-run -a bash "$@" 2>>"$work/err" || {
      cat "$work/err" >&2
      exit 1
    }
  }
  mkdir -p "$work/peer_scratch"
  in_x "$work/peer_config.sh" "$work/peer_scratch"
  # The default configuration pointed at the four, with the network features (sites, the
  # release check, content from other sites) and full-text indexing off.
  peer_config() {
    mkdir -p "$1/.config/goldendict"
    DICTS=$work/peerdicts perl -0p \
      -e 's|<paths>.*?</paths>|<paths><path recursive="0">$ENV{DICTS}</path></paths>|s;' \
      -e 's|(<fullTextSearch>.*?<enabled>)1(</enabled>)|${1}0$2|s;' \
      -e 's|enabled="1"|enabled="0"|g;' \
      -e 's|<checkForNewReleases>1<|<checkForNewReleases>0<|;' \
      -e 's|<disallowContentFromOtherSites>0<|<disallowContentFromOtherSites>1<|;' \
      "$work/peer_scratch/.config/goldendict/config" >"$1/.config/goldendict/config"
    if ! perl -0ne 'exit(/<fullTextSearch>.*?<enabled>0<\/enabled>/s ? 0 : 1)' \
      "$1/.config/goldendict/config"; then
      echo "could not turn goldendict's full-text indexing off in its configuration" >&2
      exit 1
    fi
  }
  # One index file per dictionary, none empty: what a finished first start leaves.
  peer_indexed() {
    local folder=$1/.cache/goldendict/index
    [ "$(find "$folder" -maxdepth 1 -type f -size +0 2>/dev/null | wc -l)" -ge "${#sources[@]}" ]
  }
  first_runs=()
  warm_runs=()
  for ((r = 0; r < repeat; ++r)); do
    rm -rf "$work/peer_home"
    peer_config "$work/peer_home"
    seconds=$(peer_start "$work/peer_home")
    first_runs+=("$seconds")
    if ! peer_indexed "$work/peer_home"; then
      echo "goldendict's first start left no index of the four in $work/peer_home/.cache" >&2
      exit 1
    fi
    seconds=$(peer_start "$work/peer_home")
    warm_runs+=("$seconds")
  done
  peer_first=$(echo "${first_runs[@]}" | median)
  peer_warm=$(echo "${warm_runs[@]}" | median)
fi

# --- table --------------------------------------------------------------------------------
ratio() {
  case $2 in
    *[!0-9.]* | "") echo "-" ;;
    *) awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }' ;;
  esac
}
row() { printf '%-50s %10s  %-22s %7s\n' "$1" "$2" "$3" "$(ratio "$2" "$3")"; }
echo "medians of $repeat runs, seconds; ratio = ours / peer"
printf '%-50s %10s  %-22s %7s\n' "" "ours" "goldendict" "ratio"
row "import + install of the four (peer: first start)" "$ours_install" "$peer_first"
row "tool start-up (index loaded, one page)" "$ours_startup" "-"
row "30 look-ups through the tool" "$ours_lookups" "-"
row "window start to first page, in process" "$ours_window" "-"
row "launch to first page (peer: warm start)" "$ours_launch" "$peer_warm"
row "20 article pages in the window" "$ours_pages" "-"
