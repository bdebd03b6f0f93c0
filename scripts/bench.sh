#!/usr/bin/env bash
# Benchmark: generates large inputs, runs every program on them and prints,
# per program and input, the whole-process wall time, the peak memory and the
# ratio of the time to a baseline run on the same file in the same round
# (md5sum of a plain file, `gzip -dc > /dev/null` of a compressed one), so that
# load from elsewhere on the machine affects both alike. Times are medians.
#
#   scripts/bench.sh [-s MB[,MB...]] [-n runs] [-b build-dir] [-w work-dir] [-k] [kind...]
#
#   -s  input sizes in MB (10^6 bytes), default 100; with two sizes a table of
#       how the time grows from the first to the second follows
#   -n  runs per program and input (median taken), default 3
#   -b  build directory (configured if missing, the needed targets built),
#       default build
#   -w  directory for the inputs and outputs, default a temporary one,
#       removed at the end unless -k is given
#   kind...  only these input kinds (default all kinds below)
set -euo pipefail
cd "$(dirname "$0")/.."

sizes=100 runs=3 build=build work="" keep=0
while getopts "s:n:b:w:kh" opt; do
  case $opt in
    s) sizes=$OPTARG ;;
    n) runs=$OPTARG ;;
    b) build=$OPTARG ;;
    w) work=$OPTARG ;;
    k) keep=1 ;;
    *) sed -n '2,/^set /{/^set /d;s/^# \{0,1\}//;p}' "$0"; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
only=" $* "

# The inputs: one line per kind of input of bench/make_inputs.cpp, then
# "gz" when a gzip-compressed copy is measured too ("-" for captures, which
# the converters read as they are stored), then the programs run on it, each
# with its options (the input name comes last).
kinds=() compress=() programs=()
bench() {
  local kind=$1 gz=$2
  shift 2
  if [ "$only" != "  " ] && [[ $only != *" $kind "* ]]; then return; fi
  kinds+=("$kind") compress+=("$gz")
  local IFS=';'
  programs+=("$*")
}
bench sega gz quorvel glimber kadrel ulvane
bench dual gz halvik "trelwin -d22" quorvel
bench opl3 gz "trelwin -32"
bench dro - sprandle
bench imf - yorvath
bench raw - wrengle
bench rfpcm gz pelmora
bench blocks gz vinsko
bench dac gz tresmo

[ ${#kinds[@]} -gt 0 ] || { echo "bench.sh: no such input kind:$only" >&2; exit 2; }

# Build what is needed.
targets=(make_inputs measure)
for p in "${programs[@]}"; do
  IFS=';' read -ra list <<<"$p"
  for cmd in "${list[@]}"; do targets+=("${cmd%% *}"); done
done
if [ ! -f "$build/CMakeCache.txt" ]; then
  . scripts/deps.sh
  cmake -S . -B "$build" $(cmake_generator) -DTUNDREL_TESTS=OFF >/dev/null
fi
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target $(printf '%s\n' "${targets[@]}" | sort -u) >/dev/null
bin=$(cd "$build/bin" && pwd) helpers=$(cd "$build/bench" && pwd)

if [ -z "$work" ]; then
  work=$(mktemp -d "${TMPDIR:-/tmp}/tundrel-bench.XXXXXX")
  [ $keep = 1 ] || trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$work"
work=$(cd "$work" && pwd)

calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Removes what a program wrote beside its input.
clean_outputs() {
  local f
  for f in "$work"/*; do
    case " $keep_files " in *" $f "*) ;; *) rm -f "$f" ;; esac
  done
}

# measure_pair <file> <baseline command> -- <program command...>
# Runs the baseline and the program alternately; prints the medians:
# "base_seconds program_seconds peak_kib exit_status".
measure_pair() {
  local file=$1 base=$2
  shift 3
  local bt=() pt=() pm=() st=0 i r
  for ((i = 0; i < runs; i++)); do
    r=$("$helpers/measure" /dev/null "$work/err.txt" $base "$file")
    bt+=("${r%% *}")
    r=$(cd "$work" && "$helpers/measure" /dev/null "$work/err.txt" "$@" "$file")
    read -r t m s <<<"$r"
    pt+=("$t") pm+=("$m")
    if [ "$s" != 0 ]; then st=$s; cp "$work/err.txt" "$work/last_error.txt" 2>/dev/null || true; fi
    clean_outputs
  done
  echo "$(printf '%s\n' "${bt[@]}" | median) $(printf '%s\n' "${pt[@]}" | median)" \
       "$(printf '%s\n' "${pm[@]}" | median) $st"
}

declare -A seconds
IFS=',' read -ra size_list <<<"$sizes"
for mb in "${size_list[@]}"; do
  echo
  echo "Inputs of $mb MB, median of $runs runs (ratio: time against the baseline on the same file;"
  echo "memory: peak resident set against the decompressed input)"
  printf '%-14s %-9s %9s %9s %9s %7s %9s %7s %s\n' program input "size MB" "base s" "time s" ratio "peak MB" memory exit
  for ((k = 0; k < ${#kinds[@]}; k++)); do
    kind=${kinds[$k]}
    ext=$(awk -v k="$kind" '$1 == k { print $2 }' <<<"$("$helpers/make_inputs" --list)")
    [ -n "$ext" ] || { echo "bench.sh: make_inputs knows no kind $kind" >&2; exit 1; }
    rm -f "$work"/*
    plain="$work/$kind.$ext"
    "$helpers/make_inputs" "$kind" $((mb * 1000000)) "$plain"
    files=("$plain") keep_files="$plain"
    if [ "${compress[$k]}" = gz ]; then
      gzip -9 -c "$plain" >"$work/$kind.${ext:0:2}z"
      files+=("$work/$kind.${ext:0:2}z") keep_files+=" $work/$kind.${ext:0:2}z"
    fi
    size=$(stat -c %s "$plain")
    IFS=';' read -ra list <<<"${programs[$k]}"
    for cmd in "${list[@]}"; do
      read -ra argv <<<"$cmd"
      argv[0]="$bin/${argv[0]}"
      for f in "${files[@]}"; do
        if [ "$f" = "$plain" ]; then base="md5sum" label="$kind.$ext"; else base="gzip -dc" label=${f##*/}; fi
        read -r bt pt pk st <<<"$(measure_pair "$f" "$base" -- "${argv[@]}")"
        seconds["$mb $cmd $label"]=$pt
        printf '%-14s %-9s %9.1f %9.3f %9.3f %6.2fx %9.1f %6.2fx %s\n' "$cmd" "$label" \
          "$(calc "$size / 1000000")" "$bt" "$pt" "$(calc "$pt / $bt")" \
          "$(calc "$pk / 1024")" "$(calc "$pk * 1024 / $size")" \
          "$([ "$st" = 0 ] && echo ok || echo "FAILED ($st): $(head -c 200 "$work/last_error.txt" 2>/dev/null)")"
      done
    done
  done
done

if [ ${#size_list[@]} -ge 2 ]; then
  a=${size_list[0]} b=${size_list[1]}
  echo
  echo "Growth of the time from $a MB to $b MB inputs ($(calc "$b / $a" | sed "s/0*$//;s/\.$//")x the size)"
  for key in "${!seconds[@]}"; do
    [[ $key == "$a "* ]] || continue
    rest=${key#"$a "}
    [ -n "${seconds["$b $rest"]:-}" ] || continue
    printf '%-30s %6.2fx\n' "$rest" "$(calc "${seconds["$b $rest"]} / ${seconds[$key]}")"
  done | sort
fi
