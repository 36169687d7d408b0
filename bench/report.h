// The report: a value that the measures fill, each measure its own section, printed at
// the end in Markdown. Only the figures are printed, each section between the markers
// that name it; the prose around them, which says how each figure is made, is written
// by hand in BENCHMARKS.md, and scripts/bench.sh puts every section in its place there.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "bench/drive.h"

struct Summary {
    int runs;
    double median;
    double min;
    double max;
    double mean;
    double deviation;
};

Summary Summarize(const std::vector<double> &values);

// One size of the chart of the flat descendant listing against its bare enumeration.
struct ChartPoint {
    int windows;
    Summary listing;
    Summary bare;
};

struct Report {
    // Each measure's section, by the name that --only gives it, in the order run.
    std::vector<std::pair<std::string, std::string>> sections;
    // Every target checked, and the measures that missed theirs.
    int targets = 0;
    std::vector<std::string> missed;
    std::vector<ChartPoint> chart;
};

// "PASS" or "MISS" for a measure with a target, counted for the report's summary.
const char *Verdict(Report *report, bool met, const std::string &measure);

std::string Ms(double ms);
std::string MsRange(const Summary &summary);
// 1,000 for 1000.
std::string Thousands(int value);

// The rows of a speed table, and the listings timed for them.
struct SpeedTable {
    std::string rows;
    int listings = 0;
    int paintsPending = 0;
};

// A row of a speed table: the program's runs against the baseline's, paired run by run.
// A target of 0 means the row is reported without one.
void SpeedRow(Report *report, SpeedTable *table, const std::string &measure,
              const char *baselineName, const std::vector<double> &program,
              const std::vector<double> &baseline, double target);
// The same for timed listings, whose cell also gives the median wait for their paint.
void ListingRow(Report *report, SpeedTable *table, const std::string &measure,
                const char *baselineName, const Listings &program,
                const std::vector<double> &baseline, double target);
// The section of a speed table; lead, when given, is a paragraph before the table.
void AddSpeedSection(Report *report, const char *name, const SpeedTable &table,
                     const std::string &lead = "");

// A row of the memory table, growth being its last cell.
std::string MemoryRow(const std::string &point, const MemorySamples &samples,
                      const std::string &growth);
// Growth from the second sample to the last, with its verdict.
std::string Growth(Report *report, const std::string &point, const MemorySamples &samples);
// Up to this much counts as no growth: sixteen pages.
constexpr double MEMORY_NOISE_KIB = 64.0;

void AddSection(Report *report, const char *name, const std::string &text);

// The summary and every section on the standard output; the chart's figures, when
// there are any, in bench-listing.dat beside the program.
void PrintReport(const Report &report, bool quick, double minutes);
