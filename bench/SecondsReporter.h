// The console reporter that also keeps each benchmark's real time per iteration, in seconds
// whatever unit it is printed in, for the ratios a benchmark prints after its runs.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace bench {

class SecondsReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            m_times[run.benchmark_name()] =
                run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> m_times;  // by benchmark name, seconds per iteration
};

}  // namespace bench
