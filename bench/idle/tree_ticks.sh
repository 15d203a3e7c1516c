#!/bin/sh
# Prints the CPU clock ticks used so far by process $1 and all its
# descendants, read from /proc/<pid>/stat: utime + stime of each, and cutime +
# cstime, the time of children that ended and were waited for, so that a
# helper process ending between two readings does not lower the sum.
# cat reads past a process that ends while the list is read (awk given the
# files itself stops at the first one it cannot open and prints nothing).
root=$1
cat /proc/[0-9]*/stat 2>/dev/null | awk -v root="$root" '
    {
        line = $0
        # The command name may hold blanks: fields count from after ")".
        rest = substr(line, index(line, ")") + 2)
        n = split(rest, f, " ")
        pid = substr(line, 1, index(line, " ") - 1)
        parent[pid] = f[2]
        ticks[pid] = f[12] + f[13] + f[14] + f[15]
    }
    END {
        total = 0
        for (p in ticks) {
            q = p
            for (depth = 0; depth < 64 && q != "" && q != 0; depth++) {
                if (q == root) { total += ticks[p]; break }
                q = parent[q]
            }
        }
        print total
    }'
