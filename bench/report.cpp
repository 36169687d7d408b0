#include <stdio.h>
#include <algorithm>
#include <cmath>

#include "bench/report.h"

namespace {

// What scripts/bench.sh looks for: a section starts at the line that names it and
// ends at the closing line.
constexpr char SECTION_START[] = "<!-- generated: %s -->\n\n";
constexpr char SECTION_END[] = "\n<!-- /generated -->\n";
constexpr char CHART_FILE[] = "bench-listing.dat";

std::string KiB(double kib)
{
    return Format("%.0f KiB", kib);
}

std::string KiBRange(const std::vector<double> &values)
{
    Summary summary = Summarize(values);
    return KiB(summary.median) + " (" + KiB(summary.min) + " to " + KiB(summary.max) + ")";
}

// Program and baseline runs come in pairs, one right after the other, so the load of
// the machine weighs on both alike: the ratio is the median of the pairs' ratios.
void AddSpeedRow(Report *report, SpeedTable *table, const std::string &measure,
                 const std::string &programCell, const char *baselineName,
                 const std::vector<double> &program, const std::vector<double> &baseline,
                 double target)
{
    std::vector<double> ratios;
    for (size_t i = 0; i < program.size() && i < baseline.size(); ++i)
        ratios.push_back(baseline[i] > 0 ? program[i] / baseline[i] : 0);
    Summary p = Summarize(program);
    Summary b = Summarize(baseline);
    Summary r = Summarize(ratios);
    std::string targetText = target > 0 ? Format("<= %.1fx", target) : "-";
    const char *result = target > 0 ? Verdict(report, r.median <= target, measure) : "report";
    table->rows += Format("| %s | %d | %s | %s: %s | %.2fx (%.2fx to %.2fx) | %s | %s |\n",
                          measure.c_str(), p.runs, programCell.c_str(), baselineName,
                          MsRange(b).c_str(), r.median, r.min, r.max, targetText.c_str(), result);
}

void PrintSection(const char *name, const std::string &text)
{
    printf(SECTION_START, name);
    fputs(text.c_str(), stdout);
    fputs(SECTION_END, stdout);
}

void WriteChart(const std::vector<ChartPoint> &chart)
{
    FILE *file = OpenBeside(CHART_FILE, "w");
    if (file == nullptr)
        Fail("cannot write the chart's figures");
    fprintf(file, "# windows, then median, min and max in ms: Tavrolinde, bare enumeration\n");
    for (const ChartPoint &point : chart)
        fprintf(file, "%d %.3f %.3f %.3f %.3f %.3f %.3f\n", point.windows, point.listing.median,
                point.listing.min, point.listing.max, point.bare.median, point.bare.min,
                point.bare.max);
    fclose(file);
}

} // namespace

Summary Summarize(const std::vector<double> &values)
{
    Summary summary = {};
    summary.runs = static_cast<int>(values.size());
    if (values.empty())
        return summary;
    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    size_t middle = sorted.size() / 2;
    summary.median = sorted.size() % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
    summary.min = sorted.front();
    summary.max = sorted.back();
    double sum = 0;
    for (double value : sorted)
        sum += value;
    summary.mean = sum / sorted.size();
    double squares = 0;
    for (double value : sorted)
        squares += (value - summary.mean) * (value - summary.mean);
    summary.deviation = sorted.size() > 1 ? std::sqrt(squares / (sorted.size() - 1)) : 0;
    return summary;
}

const char *Verdict(Report *report, bool met, const std::string &measure)
{
    ++report->targets;
    if (!met)
        report->missed.push_back(measure);
    return met ? "PASS" : "MISS";
}

std::string Ms(double ms)
{
    if (ms < 1.0 && ms > -1.0)
        return Format("%.3f ms", ms);
    if (ms < 10.0 && ms > -10.0)
        return Format("%.2f ms", ms);
    return Format("%.1f ms", ms);
}

std::string MsRange(const Summary &summary)
{
    return Ms(summary.median) + " (" + Ms(summary.min) + " to " + Ms(summary.max) + ")";
}

std::string Thousands(int value)
{
    return value >= 1000 ? Format("%d,%03d", value / 1000, value % 1000) : Format("%d", value);
}

void SpeedRow(Report *report, SpeedTable *table, const std::string &measure,
              const char *baselineName, const std::vector<double> &program,
              const std::vector<double> &baseline, double target)
{
    AddSpeedRow(report, table, measure, MsRange(Summarize(program)), baselineName, program,
                baseline, target);
}

void ListingRow(Report *report, SpeedTable *table, const std::string &measure,
                const char *baselineName, const Listings &program,
                const std::vector<double> &baseline, double target)
{
    std::string cell =
        MsRange(Summarize(program.ms)) + "; paint " + Ms(Summarize(program.paint).median);
    AddSpeedRow(report, table, measure, cell, baselineName, program.ms, baseline, target);
    table->listings += static_cast<int>(program.ms.size());
    table->paintsPending += program.paintsPending;
}

void AddSpeedSection(Report *report, const char *name, const SpeedTable &table,
                     const std::string &lead)
{
    std::string text = lead.empty() ? "" : lead + "\n\n";
    text += "| Measure | Runs | Figure | Baseline | Ratio | Target | Result |\n"
            "|---|---|---|---|---|---|---|\n" +
            table.rows;
    if (table.listings > 0)
        text += Format("\nTimed listings: %d; with a paint still pending after the wait for it: "
                       "%d.\n",
                       table.listings, table.paintsPending);
    AddSection(report, name, text);
}

std::string MemoryRow(const std::string &point, const MemorySamples &samples,
                      const std::string &growth)
{
    return Format("| %s | %d | %s | %s | %s |\n", point.c_str(),
                  static_cast<int>(samples.workingSet.size()), KiBRange(samples.workingSet).c_str(),
                  KiBRange(samples.pagefile).c_str(), growth.c_str());
}

// The first sample is left out: the first large listing grows the heap once, to a size
// that later ones reuse.
std::string Growth(Report *report, const std::string &point, const MemorySamples &samples)
{
    if (samples.workingSet.size() < 2)
        return "-";
    double set = samples.workingSet.back() - samples.workingSet[1];
    double file = samples.pagefile.back() - samples.pagefile[1];
    bool grew = set > MEMORY_NOISE_KIB || file > MEMORY_NOISE_KIB;
    return Format("%+.0f KiB / %+.0f KiB: %s", set, file,
                  Verdict(report, !grew, "memory growth: " + point));
}

void AddSection(Report *report, const char *name, const std::string &text)
{
    report->sections.emplace_back(name, text);
}

void PrintReport(const Report &report, bool quick, double minutes)
{
    std::string summary =
        Format("Mode: %s. The benchmark ran for %.1f min.\n\n", quick ? "quick" : "full", minutes);
    summary += Format("Targets met: %d of %d.",
                      report.targets - static_cast<int>(report.missed.size()), report.targets);
    for (size_t i = 0; i < report.missed.size(); ++i)
        summary += (i == 0 ? " Missed: " : "; ") + report.missed[i];
    summary += report.missed.empty() ? "\n" : ".\n";
    PrintSection("summary", summary);
    for (const auto &section : report.sections)
        PrintSection(section.first.c_str(), section.second);
    if (!report.chart.empty())
        WriteChart(report.chart);
}
