# Reads the sample job handler's job log (format in sample_handler/job_log_writer.h) into jobs:
# one job per begin line, closed by the next end line of the same process and task.
#
#   awk -f tools/job_log.awk [-v report=jobs|summary] jobs.log
#
# report=jobs (the default) prints one tab-separated line per job, in the order they began:
#   task  pid  begin_ms  end_ms  duration_ms  hr
# with "-" for the end, duration and result of a job that never ended.
# report=summary prints, per task in the order of their first job:
#   task  begun  ended  failed  average_ms  first_line  last_line
# where failed counts the jobs that ended with a result other than 0x00000000 and the two
# lines are the task's first and last lines of the log as written.

function field(name,    i) {
    for (i = 2; i <= NF; i++) {
        if (index($i, name "=") == 1) return substr($i, length(name) + 2)
    }
    return ""
}

BEGIN {
    OFS = "\t"
    if (report == "") report = "jobs"
}

{ sub(/\r$/, "") }

$1 != "begin" && $1 != "end" { next }

{
    task = field("task"); pid = field("pid"); t = field("t")
    if (task == "" || pid == "" || t == "") next
}

$1 == "begin" {
    if (!(task in first_line)) { first_line[task] = $0; tasks[++task_count] = task }
    last_line[task] = $0
    jobs++
    job_task[jobs] = task; job_pid[jobs] = pid; job_begin[jobs] = t
    open_job[pid] = jobs
    begun[task]++
    next
}

$1 == "end" {
    job = open_job[pid]
    if (job == "" || job_task[job] != task) next  # an end without its begin
    delete open_job[pid]
    last_line[task] = $0
    job_end[job] = t; job_hr[job] = field("hr")
    ended[task]++
    busy[task] += t - job_begin[job]
    if (job_hr[job] != "0x00000000") failed[task]++
}

END {
    if (report == "summary") {
        for (i = 1; i <= task_count; i++) {
            task = tasks[i]
            average = ended[task] ? busy[task] / ended[task] : 0
            print task, begun[task] + 0, ended[task] + 0, failed[task] + 0,
                  sprintf("%.1f", average), first_line[task], last_line[task]
        }
        exit
    }
    for (job = 1; job <= jobs; job++) {
        if (job in job_end) {
            print job_task[job], job_pid[job], job_begin[job], job_end[job],
                  sprintf("%.3f", job_end[job] - job_begin[job]), job_hr[job]
        } else {
            print job_task[job], job_pid[job], job_begin[job], "-", "-", "-"
        }
    }
}
