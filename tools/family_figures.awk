# Figures of a family run, per service in the order of the profile table, from the job list that
# tools/job_log.awk prints (report=jobs):
#
#   awk -f tools/family_figures.awk profiles.tsv jobs.tsv
#
# profiles.tsv has one line per service: short name, service name, task (tab-separated).
# Prints per service the jobs begun, how many failed (a result other than 0x00000000), and the
# pauses between two of its jobs (average and longest, in ms); then the jobs that began while
# another job ran and the most jobs that ran at once. A job that never ended (its host died)
# counts as running to the end of the log.

BEGIN { FS = "\t" }

FNR == NR {
    order[++services] = $3
    short[$3] = $1
    next
}

{
    task = $1; begin = $3; end = ($4 == "-") ? "" : $4
    jobs[task]++
    if (end != "" && $6 != "0x00000000") failed[task]++
    if (task in last_end && last_end[task] != "") {
        pause = begin - last_end[task]
        pauses[task] += pause; pause_count[task]++
        if (pause > longest[task]) longest[task] = pause
    }
    last_end[task] = end

    # The jobs still running when this one began.
    running = 0
    for (j in active) {
        if (active[j] != "" && active[j] <= begin) delete active[j]
        else running++
    }
    if (running > 0) overlapping++
    if (running + 1 > most) most = running + 1
    active[NR] = end
}

END {
    printf "   %-9s %-24s %5s %7s %14s %14s\n", "service", "task", "jobs", "failed",
           "average pause", "longest pause"
    for (i = 1; i <= services; i++) {
        task = order[i]
        average = pause_count[task] ? sprintf("%.0f ms", pauses[task] / pause_count[task]) : "-"
        longest_text = pause_count[task] ? sprintf("%.0f ms", longest[task]) : "-"
        printf "   %-9s %-24s %5d %7d %14s %14s\n", short[task], task, jobs[task], failed[task],
               average, longest_text
    }
    printf "   jobs that began while another ran: %d; most at once: %d\n", overlapping, most
}
