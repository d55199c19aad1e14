# A timeline picture (SVG) of a family run: one lane per service in the order of the profile
# table, one bar per job from the job list that tools/job_log.awk prints (report=jobs):
#
#   awk -f tools/timeline.awk [-v from=<ms>] [-v to=<ms>] [-v stop=<ms>] [-v title=<text>] \
#       profiles.tsv jobs.tsv >timeline.svg
#
# profiles.tsv has one line per service: short name, service name, task (tab-separated).
# Times are the job log's milliseconds: the time axis runs from `from` to `to` (default: from the
# first job to the last end), `stop` marks the stop request with a dashed line. Bars are green
# for a job that succeeded, red for one that failed, grey for one that never ended (drawn to the
# end). Below the lanes, a strip shows in orange when more than one job ran at a time.

BEGIN {
    FS = "\t"
    label_width = 240; plot_width = 1000; lane_height = 26; bar_height = 16
    top = 48; axis_height = 34
    if (title == "") title = "Jobs of the family, one lane per service"
}

FNR == NR {
    lanes++
    lane_of[$3] = lanes
    label[lanes] = $1 " (" $3 ")"
    next
}

{
    count++
    task[count] = $1; begin[count] = $3 + 0; finish[count] = $4; result[count] = $6
    if (first == "" || begin[count] < first) first = begin[count]
    if (begin[count] > last) last = begin[count]
    if ($4 != "-" && $4 + 0 > last) last = $4 + 0
}

function x(ms) { return label_width + (ms - origin) * scale }

function legend(left, colour, text) {
    printf "<rect x=\"%d\" y=\"%d\" width=\"12\" height=\"12\" fill=\"%s\"/>" \
           "<text x=\"%d\" y=\"%d\">%s</text>\n", left, legend_y - 10, colour, left + 16,
           legend_y, text
}

function escape(text) {
    gsub(/&/, "\\&amp;", text); gsub(/</, "\\&lt;", text); gsub(/>/, "\\&gt;", text)
    return text
}

# A step of 1, 2 or 5 times a power of ten that gives some eight ticks over `span` ms.
function tick_step(span,    step) {
    step = 1
    while (span / step > 12) {
        if (span / (step * 2) <= 12) return step * 2
        if (span / (step * 5) <= 12) return step * 5
        step *= 10
    }
    return step
}

END {
    origin = (from != "") ? from + 0 : first
    if (stop != "" && stop + 0 > last) last = stop + 0
    if (to != "" && to + 0 > last) last = to + 0
    span = last - origin
    if (span <= 0) span = 1
    scale = plot_width / span
    strip_y = top + lanes * lane_height + 6
    height = strip_y + lane_height + axis_height + 20
    width = label_width + plot_width + 20

    printf "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" " \
           "viewBox=\"0 0 %d %d\" font-family=\"sans-serif\" font-size=\"12\">\n",
           width, height, width, height
    printf "<rect width=\"100%%\" height=\"100%%\" fill=\"white\"/>\n"
    printf "<text x=\"%d\" y=\"24\" font-size=\"15\" font-weight=\"bold\">%s</text>\n",
           label_width, escape(title)
    legend_y = strip_y + lane_height + 30
    legend(label_width, "#3a9a5b", "job that succeeded")
    legend(label_width + 150, "#d1495b", "job that failed")
    legend(label_width + 280, "#9e9e9e", "job that never ended")
    legend(label_width + 440, "#f28e2b", "more than one job at once")

    for (i = 1; i <= lanes; i++) {
        y = top + (i - 1) * lane_height
        if (i % 2 == 0) {
            printf "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"#f3f3f3\"/>\n",
                   label_width, y, plot_width, lane_height
        }
        printf "<text x=\"%d\" y=\"%d\" text-anchor=\"end\">%s</text>\n",
               label_width - 8, y + lane_height / 2 + 4, escape(label[i])
    }

    step = tick_step(span / 1000) * 1000
    for (t = 0; t <= span; t += step) {
        printf "<line x1=\"%.1f\" y1=\"%d\" x2=\"%.1f\" y2=\"%d\" stroke=\"#cccccc\"/>\n",
               x(origin + t), top, x(origin + t), strip_y + lane_height
        printf "<text x=\"%.1f\" y=\"%d\" text-anchor=\"middle\">%g s</text>\n",
               x(origin + t), strip_y + lane_height + 16, t / 1000
    }

    for (j = 1; j <= count; j++) {
        if (!(task[j] in lane_of)) continue
        y = top + (lane_of[task[j]] - 1) * lane_height + (lane_height - bar_height) / 2
        end = (finish[j] == "-") ? last : finish[j] + 0
        if (finish[j] == "-") colour = "#9e9e9e"
        else colour = (result[j] == "0x00000000") ? "#3a9a5b" : "#d1495b"
        bar = (end - begin[j]) * scale
        if (bar < 1) bar = 1
        printf "<rect x=\"%.2f\" y=\"%d\" width=\"%.2f\" height=\"%d\" fill=\"%s\">" \
               "<title>%s: %.0f ms</title></rect>\n",
               x(begin[j]), y, bar, bar_height, colour, escape(task[j]), end - begin[j]
    }

    # Where more than one job ran: a job (in the order they began) that began before an earlier
    # one ended runs beside it until the first of the two ends.
    printf "<text x=\"%d\" y=\"%d\" text-anchor=\"end\" fill=\"#555555\">%s</text>\n",
           label_width - 8, strip_y + lane_height / 2 + 4, "more than one at once"
    latest_end = ""
    for (j = 1; j <= count; j++) {
        end = (finish[j] == "-") ? last : finish[j] + 0
        if (latest_end != "" && begin[j] < latest_end) {
            until = (end < latest_end) ? end : latest_end
            printf "<rect x=\"%.2f\" y=\"%d\" width=\"%.2f\" height=\"%d\" fill=\"#f28e2b\"/>\n",
                   x(begin[j]), strip_y + (lane_height - bar_height) / 2,
                   (until - begin[j]) * scale, bar_height
        }
        if (latest_end == "" || end > latest_end) latest_end = end
    }

    if (stop != "") {
        printf "<line x1=\"%.1f\" y1=\"%d\" x2=\"%.1f\" y2=\"%d\" stroke=\"#333333\" " \
               "stroke-dasharray=\"5,4\"/>\n", x(stop), top - 6, x(stop), strip_y + lane_height
        printf "<text x=\"%.1f\" y=\"%d\" text-anchor=\"end\" fill=\"#333333\">%s</text>\n",
               x(stop) - 4, top - 8, "stop requested"
    }
    printf "</svg>\n"
}
