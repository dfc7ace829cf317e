# Counts a traced Wine server's requests (wineserver -f -d1, read from standard input) per
# process between the benchmark's marks, and prints them per character handled.
#
# The trace prints every request as "TID: name( ... )" and its reply as "TID: name() = ...".
# Threads are tied to processes from the replies of init_first_thread (pid, tid), of new_process
# (the new process's handle in its parent) and of new_thread (in the calling process, or in the
# process that the request's handle names). A mark is a named event that typing_bench creates:
# "qr-bench:STRETCH:begin|end:CHARACTERS:label=pid,label=pid".
#
#   awk -f count-server-requests.awk [-v detail=N] <trace
# detail=N also lists each label's N commonest requests per character.
BEGIN {
    detail += 0
}

# Fields: $1 "TID:", $2 "name(" for a request, "name()" for a reply.
function pid_of(tid) { return (tid in thread_pid) ? thread_pid[tid] : "" }

$2 == "init_first_thread()" && match($0, /pid=[0-9a-f]+, tid=[0-9a-f]+/) {
    split(substr($0, RSTART, RLENGTH), kv, /[=, ]+/)
    thread_pid[kv[4]] = kv[2]
    next
}
$2 == "new_process()" && match($0, /pid=[0-9a-f]+, handle=[0-9a-f]+/) {
    split(substr($0, RSTART, RLENGTH), kv, /[=, ]+/)
    process_handle[pid_of(substr($1, 1, 4)) "/" kv[4]] = kv[2]
    next
}
$2 == "new_thread(" && match($0, /process=[0-9a-f]+/) {
    pending_process[substr($1, 1, 4)] = substr($0, RSTART + 8, RLENGTH - 8)
}
$2 == "new_thread()" && match($0, /tid=[0-9a-f]+/) {
    caller = substr($1, 1, 4)
    handle = pending_process[caller]
    owner = handle == "ffffffff" ? pid_of(caller) : process_handle[pid_of(caller) "/" handle]
    if (owner != "") thread_pid[substr($0, RSTART + 4, RLENGTH - 4)] = owner
    next
}

# A request line (a reply has "()" right after the name).
$1 ~ /^[0-9a-f]+:$/ && $2 ~ /^[a-z_0-9]+\($/ {
    tid = substr($1, 1, length($1) - 1)
    if ($2 == "create_event(" && match($0, /qr-bench:[a-z]+:(begin|end):[0-9]+:[^"]*/)) {
        mark(substr($0, RSTART, RLENGTH))
        next
    }
    if (stretch == "") next
    pid = pid_of(tid)
    label = (pid in label_of) ? label_of[pid] : "other processes"
    requests[stretch, label]++
    if (detail) named[stretch, label, substr($2, 1, length($2) - 1)]++
}

function mark(text,    part, n, i, pair, pairs, pair_count) {
    n = split(text, part, ":")
    if (part[3] == "begin") {
        stretch = part[2]
        stretches[++stretch_count] = stretch
        begin_chars[stretch] = part[4]
        delete label_of
        pair_count = split(part[5], pairs, ",")
        labels[stretch] = ""
        for (i = 1; i <= pair_count; i++) {
            split(pairs[i], pair, "=")
            label_of[pair[2]] = pair[1]
            labels[stretch] = labels[stretch] (labels[stretch] == "" ? "" : ",") pair[1]
        }
        return
    }
    chars[stretch] = part[4] - begin_chars[stretch]
    stretch = ""
}

END {
    for (s = 1; s <= stretch_count; s++) {
        name = stretches[s]
        if (chars[name] <= 0) continue
        n = split(labels[name], names, ",")
        total = 0
        line = ""
        for (i = 1; i <= n; i++) {
            count = requests[name, names[i]] / chars[name]
            total += count
            line = line sprintf("%s %.1f, ", names[i], count)
        }
        together[name] = total
        printf "server requests/char, %s (%d characters): %stogether %.1f; other processes %.1f\n",
            name, chars[name], line, total, requests[name, "other processes"] / chars[name]
        if (!detail) continue
        for (i = 1; i <= n; i++) {
            print_commonest(name, names[i])
        }
    }
    if (together["typing"] > 0 && together["burst"] > 0) {
        printf "server requests/char, typing against the burst: %.2f times\n",
            together["typing"] / together["burst"]
    }
}

function print_commonest(name, label,    key, part, count, k, best, best_count, shown) {
    delete left
    for (key in named) {
        split(key, part, SUBSEP)
        if (part[1] == name && part[2] == label) left[part[3]] = named[key]
    }
    for (shown = 0; shown < detail; shown++) {
        best = ""
        best_count = 0
        for (k in left) {
            if (left[k] > best_count) { best = k; best_count = left[k] }
        }
        if (best == "") break
        printf "    %-9s %-28s %.2f\n", label, best, best_count / chars[name]
        delete left[best]
    }
}
