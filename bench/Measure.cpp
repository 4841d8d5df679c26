#include "Measure.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

double timeOnce(const std::function<void()> &function)
{
    const auto begin = Clock::now();
    function();
    const auto end = Clock::now();
    return std::chrono::duration<double, std::milli>(end - begin).count();
}

} // namespace

std::string formatMs(double ms)
{
    char text[32];
    if (ms < 10)
        std::snprintf(text, sizeof text, "%10.2f us", ms * 1000);
    else
        std::snprintf(text, sizeof text, "%10.2f ms", ms);
    return text;
}

Measurement summarize(std::string name, std::vector<double> timesMs)
{
    Measurement result;
    result.name = std::move(name);
    if (timesMs.empty())
        return result;
    std::sort(timesMs.begin(), timesMs.end());

    const std::size_t n = timesMs.size();
    result.runs = static_cast<int>(n);
    result.medianMs = n % 2 == 1 ? timesMs[n / 2] : (timesMs[n / 2 - 1] + timesMs[n / 2]) / 2;
    result.minMs = timesMs.front();
    result.p90Ms = timesMs[std::min(n - 1, static_cast<std::size_t>(std::ceil(0.9 * static_cast<double>(n))) - 1)];
    return result;
}

Measurement measure(std::string name, int repetitions, const std::function<void()> &function)
{
    function();

    std::vector<double> times;
    times.reserve(static_cast<std::size_t>(std::max(repetitions, 1)));
    for (int i = 0; i < std::max(repetitions, 1); ++i)
        times.push_back(timeOnce(function));
    return summarize(std::move(name), std::move(times));
}

Measurement measureFor(std::string name, double minimumSeconds, int minimumRuns,
                       const std::function<void()> &function)
{
    function();
    const double once = std::max(timeOnce(function), 1e-6);
    const double wanted = std::ceil(minimumSeconds * 1000 / once);
    const int repetitions = static_cast<int>(std::clamp(wanted, static_cast<double>(minimumRuns), 1e6));
    return measure(std::move(name), repetitions, function);
}

std::vector<Measurement> measureInTurns(const std::vector<Turn> &turns, int rounds)
{
    std::vector<std::vector<double>> times(turns.size());
    for (int round = 0; round <= std::max(rounds, 1); ++round) {
        for (std::size_t i = 0; i < turns.size(); ++i) {
            if (turns[i].prepare)
                turns[i].prepare();
            const double ms = timeOnce(turns[i].run);
            if (round > 0)
                times[i].push_back(ms);
        }
    }
    std::vector<Measurement> rows;
    for (std::size_t i = 0; i < turns.size(); ++i)
        rows.push_back(summarize(turns[i].name, std::move(times[i])));
    return rows;
}

void printTable(const std::vector<Measurement> &rows)
{
    int nameWidth = 28;
    for (const Measurement &row : rows)
        nameWidth = std::max(nameWidth, static_cast<int>(row.name.size()));
    std::printf("%-*s %7s %13s %13s %13s\n", nameWidth, "row", "runs", "median", "min", "p90");
    for (const Measurement &row : rows)
        std::printf("%-*s %7d %13s %13s %13s\n", nameWidth, row.name.c_str(), row.runs,
                    formatMs(row.medianMs).c_str(), formatMs(row.minMs).c_str(), formatMs(row.p90Ms).c_str());
}

std::string loadAverage()
{
    std::ifstream file("/proc/loadavg");
    std::string one, five, fifteen;
    if (!(file >> one >> five >> fifteen))
        return "unknown";
    return one + " " + five + " " + fifteen;
}

double peakResidentMiB()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmHWM:") {
            double kB = -1;
            status >> kB;
            return kB < 0 ? -1 : kB / 1024;
        }
        status.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
    return -1;
}

const char *verdict(bool met)
{
    return met ? "met" : "MISSED";
}
