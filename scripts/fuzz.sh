#!/usr/bin/env bash
# Fuzzes one target for a while and folds what it learned into the committed corpus.
#   bash scripts/fuzz.sh open|conversion [SECONDS] [JOBS]
# Builds the `fuzz` preset (clang with libFuzzer, ASan and UBSan), runs the target with the
# committed corpus plus seeds (examples, the W3C suite beside the checkout), then merges the new
# inputs into fuzz/corpus/TARGET. Findings (crash-*, leak-*, timeout-*, oom-*) land in
# build/fuzz/findings/TARGET; each one belongs in the regression tests.
set -euo pipefail
cd "$(dirname "$0")/.."

target=${1:?usage: fuzz.sh open|conversion [SECONDS] [JOBS]}
seconds=${2:-600}
jobs=${3:-1}

bash scripts/install-deps.sh
if ! command -v clang++ >/dev/null; then
    apt-get install -y -qq --no-install-recommends clang libclang-rt-dev >/dev/null ||
        apt-get install -y -qq --no-install-recommends clang >/dev/null
fi
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)" --target "fuzz-$target"

work=build/fuzz/work/$target
findings=build/fuzz/findings/$target
mkdir -p "$work" "$findings"
seeds=()
if [[ $target == open && -d ../shared/testdata ]]; then
    seeds+=(../shared/testdata)
fi

echo "fuzzing $target for ${seconds}s with $jobs job(s)"
parallel=()
if ((jobs > 1)); then
    # libFuzzer writes each job's log to fuzz-N.log in the working folder: keep them in build/.
    parallel=(-jobs="$jobs" -workers="$jobs")
fi
status=0
(cd build/fuzz && fuzz/"fuzz-$target" "../../$work" "../../fuzz/corpus/$target" \
    "${seeds[@]/#/../../}" -dict=../../fuzz/layout.dict -timeout=2 -rss_limit_mb=1024 \
    -max_len=65536 -max_total_time="$seconds" "${parallel[@]}" \
    -artifact_prefix="../../$findings/" -print_final_stats=1) || status=$?

# Keep the corpus small: only inputs that add coverage go back into the repository.
build/fuzz/fuzz/"fuzz-$target" -merge=1 -rss_limit_mb=1024 "fuzz/corpus/$target" "$work" \
    >/dev/null 2>&1 || true
echo "corpus: $(ls "fuzz/corpus/$target" | wc -l) inputs; findings: $(ls "$findings" | wc -l)"
exit $status
