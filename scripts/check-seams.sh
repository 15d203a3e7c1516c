#!/usr/bin/env bash
# The seams of the source tree, checked on every test run: system and X11
# headers only in the Linux platform, and no Qt in net/, base/ or the
# platform's interface headers. Prints each offending line; fails on any.
set -uo pipefail
cd "$(dirname "$0")/.."
status=0
mapfile -t seamed < <(find src -name '*.h' -o -name '*.cpp' | grep -v '^src/platform/linux/' | sort)
grep -nE '#include <(unistd|fcntl|csignal|signal|poll|spawn|pwd|grp|dirent|netdb|arpa/|netinet/|xcb/|X11/|sys/)' \
  "${seamed[@]}" && status=1
mapfile -t qtfree < <(find src/net src/base src/platform -maxdepth 1 -name '*.h' -o -name '*.cpp' | sort)
grep -nE '#include <Q' "${qtfree[@]}" && status=1
[ $status = 0 ] || echo "check-seams: the lines above reach past a seam" >&2
exit $status
