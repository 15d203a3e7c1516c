#!/usr/bin/env bash
# The seams of the source tree, checked on every test run: system and X11
# headers only in the Linux platform, no Qt in net/, base/ or the platform's
# interface headers, and of all library targets only the program's (zx_app)
# links the Linux platform (zx_platform_linux), directly or through another
# library. Prints each offending line or link; fails on any.
#   scripts/check-seams.sh            the sources and a fresh configure's link graph
#   scripts/check-seams.sh --graph F  the link graph of `cmake --graphviz=F`
set -uo pipefail
cd "$(dirname "$0")/.."
status=0

if [ "${1:-}" != --graph ]; then
  mapfile -t seamed < <(find src -name '*.h' -o -name '*.cpp' | grep -v '^src/platform/linux/' | sort)
  grep -nE '#include <(unistd|fcntl|csignal|signal|poll|spawn|pwd|grp|dirent|netdb|arpa/|netinet/|xcb/|X11/|sys/)' \
    "${seamed[@]}" && status=1
  mapfile -t qtfree < <(find src/net src/base src/platform -maxdepth 1 -name '*.h' -o -name '*.cpp' | sort)
  grep -nE '#include <Q' "${qtfree[@]}" && status=1
fi

# The Linux transport reports socket failures as errno values; the numbers of
# the socket failure messages users see are made only where the message is.
grep -rnE '\b(1000[1-9]|100[1-9][0-9]|1100[1-4])\b' src/platform/linux/ && status=1

# The platform interface says what the program wants in its own and Linux's
# terms: no word of the old desktop API (pointer, capture, input desktop, URL
# cache, working set, window handles, message boxes, file mappings, shell,
# filter strings "Name|*.ext").
if [ "${1:-}" != --graph ]; then
  grep -nE 'GetCursorPos|GetCapture|GuiThread|Desktop|UrlCache|WorkingSet|HWND|HANDLE|WPARAM|LPARAM|Msg(Answer|Buttons|Icon)|MessageBox|WindowHandle|MapView|OpenMutex|Shell(Open|Execute)|BrowseForFolder|\|\*\.' \
    src/platform/platform.h && { echo "check-seams: platform.h speaks the old desktop API" >&2; status=1; }
fi

# The link graph: configured afresh (tests and benchmarks included) unless given.
graph=${2:-}
if [ -z "$graph" ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  graph=$work/zx.dot
  if ! cmake -S . -B "$work" -DZX_TESTS=ON -DZX_BENCH=ON --graphviz="$graph" >"$work/configure.log" 2>&1; then
    cat "$work/configure.log" >&2
    echo "check-seams: cannot configure the project to read its link graph" >&2
    exit 1
  fi
fi
[ -s "$graph" ] || { echo "check-seams: no link graph in $graph" >&2; exit 1; }
# Node lines:  "node3" [ label = "zx_bar", shape = octagon ];  (egg: an executable)
# Edge lines:  "node3" -> "node7" ...  // zx_bar -> zx_platform_linux
awk '
  /\[ *label = / {
    match($0, /label = "[^"]*"/); name = substr($0, RSTART + 9, RLENGTH - 10)
    match($0, /shape = [a-z]*/); shape = substr($0, RSTART + 8, RLENGTH - 8)
    library[name] = (shape != "egg")
  }
  / -> .*\/\/ / {
    split(substr($0, index($0, "// ") + 3), e, " -> ")
    links[e[1]] = links[e[1]] " " e[2]
  }
  function reaches(from, path,    n, i, to, next_) {
    if (seen[from]++) return ""
    n = split(links[from], to, " ")
    for (i = 1; i <= n; i++) {
      if (to[i] == "zx_platform_linux") return path " -> " to[i]
      if (library[to[i]] && (next_ = reaches(to[i], path " -> " to[i])) != "") return next_
    }
    return ""
  }
  END {
    bad = 0
    for (name in library) {
      if (!library[name] || name == "zx_app" || name == "zx_platform_linux") continue
      delete seen
      if ((via = reaches(name, name)) != "") { print "links the Linux platform: " via; bad = 1 }
    }
    exit bad
  }' "$graph" || status=1

[ $status = 0 ] || echo "check-seams: the lines above reach past a seam" >&2
exit $status
