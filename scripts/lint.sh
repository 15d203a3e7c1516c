#!/usr/bin/env bash
# The project's own checks beside the compiler's: clang-format's layout and
# the commit subjects, the seams (scripts/check-seams.sh) and clang-tidy with
# .clang-tidy over the program's sources, using the compile commands of a
# build (default: build).
#   scripts/lint.sh [build-dir]        all of them
#   scripts/lint.sh format             layout and subjects only (CI runs it first)
#   scripts/lint.sh tidy [build-dir]   clang-tidy only
#   FIX=1 scripts/lint.sh ...          reformat in place first
# A missing tool, a file the analyzer cannot read and every finding fail.
set -euo pipefail
cd "$(dirname "$0")/.."
what=all
case "${1:-}" in format | tidy) what=$1; shift ;; esac
BUILD=${1:-build}
for tool in clang-format clang-tidy; do
  command -v "$tool" >/dev/null || { echo "lint: $tool is not installed (scripts/deps.sh test)" >&2; exit 1; }
done
status=0

if [ "$what" != tidy ]; then
  mapfile -t files < <(git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h')
  [ "${FIX:-0}" = 1 ] && clang-format -i "${files[@]}"
  clang-format --dry-run --Werror "${files[@]}" || status=1

  # Commit subjects fit in 72 characters, for every commit after the one
  # below; the history before it was written without the rule and stays.
  rule_from=29f21b159de028cfbad7053fc5075b5e799e8a18
  if ! git cat-file -e "$rule_from^{commit}" 2>/dev/null; then
    echo "lint: commit $rule_from is not in this clone's history (git fetch --unshallow)" >&2
    status=1
  else
    # Characters, not bytes: the subjects are UTF-8.
    while IFS= read -r line; do
      subject=${line#* }
      if [ "$(LC_ALL=C.UTF-8 bash -c 'echo ${#1}' sh "$subject")" -gt 72 ]; then
        echo "lint: commit subject over 72 characters: $line" >&2
        status=1
      fi
    done < <(git log --format='%h %s' "$rule_from..HEAD")
  fi
fi
if [ "$what" = all ]; then
  scripts/check-seams.sh || status=1
fi

if [ "$what" != format ]; then
  # Generated sources (moc, the packed skin, the version header) must exist.
  if [ ! -f "$BUILD/compile_commands.json" ]; then
    cmake -S . -B "$BUILD" >/dev/null
  fi
  cmake --build "$BUILD" -j"$(nproc)" >/dev/null
  mapfile -t sources < <(git ls-files 'src/*.cpp')
  logs=$(mktemp -d)
  trap 'rm -rf "$logs"' EXIT
  # One analyzer per core, each file's report kept apart so none interleave.
  printf '%s\n' "${sources[@]}" | xargs -P "$(nproc)" -I{} sh -c \
    'clang-tidy -p "$1" --quiet "$2" >"$3/$(echo "$2" | tr / _).log" 2>&1 || echo "$2" >>"$3/failed"' \
    sh "$BUILD" {} "$logs"
  if [ -f "$logs/failed" ]; then
    echo "lint: clang-tidy could not analyse:" >&2
    while read -r f; do cat "$logs/$(echo "$f" | tr / _).log" >&2; done <"$logs/failed"
    status=1
  fi
  # A finding placed in a system header is the analyzer not knowing Qt's
  # parent-owns-child rule (a widget made with new and a parent "leaks"); one
  # in the meta-object code moc writes for a class declared in a source file
  # (included at that file's end) is the toolkit's, not ours.
  if cat "$logs"/*.log | grep -E '^[^ ]+:[0-9]+:[0-9]+: (warning|error):' | grep -v -E '^/usr/|_autogen/include/[^/]+\.moc:'; then
    echo "lint: clang-tidy's findings above" >&2
    status=1
  fi
  echo "lint: clang-tidy read ${#sources[@]} sources"
fi
exit $status
