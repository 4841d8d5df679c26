#pragma once

// Timing rows for the speed table. Every row runs its function once untimed
// (buffers get their size and their pages, caches warm up), then times each
// further run on its own with std::chrono::steady_clock and keeps the median.

#include <functional>
#include <string>
#include <vector>

struct Measurement
{
    std::string name;
    int runs = 0;
    double medianMs = 0;
    double minMs = 0;
    double p90Ms = 0;   // 90th percentile: a tail figure that ignores the odd preemption
};

// The median, minimum and 90th percentile of times taken elsewhere (in
// milliseconds), for runs that cannot be timed by calling a function: a
// figure the program shows itself, or a run that needs work in between.
Measurement summarize(std::string name, std::vector<double> timesMs);

// One warm-up run, then `repetitions` timed runs.
Measurement measure(std::string name, int repetitions, const std::function<void()> &function);

// As measure(), with as many runs as fill about `minimumSeconds` (at least
// `minimumRuns`), judged from one timed run after the warm-up.
Measurement measureFor(std::string name, double minimumSeconds, int minimumRuns,
                       const std::function<void()> &function);

// Work that takes turns with other work, so that all of it sees the same
// machine: `prepare` (may be empty) runs untimed right before each timed run
// of `run`.
struct Turn
{
    std::string name;
    std::function<void()> run;
    std::function<void()> prepare = {};
};

// One untimed round, then `rounds` rounds in which every turn runs once, in
// the order given; a row per turn.
std::vector<Measurement> measureInTurns(const std::vector<Turn> &turns, int rounds);

// A time for the table: microseconds below 10 ms, milliseconds above.
std::string formatMs(double ms);

// Prints the rows; figures below 10 ms are shown in microseconds.
void printTable(const std::vector<Measurement> &rows);

// The process's peak resident memory in MiB (VmHWM); -1 where it cannot be read.
double peakResidentMiB();

// "met" or "MISSED", for a target's summary line.
const char *verdict(bool met);

// The machine's load averages (1, 5 and 15 minutes), for the table's header.
std::string loadAverage();
