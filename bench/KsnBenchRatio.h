// A main for the benchmark programs that measure a job against a reference in
// the same run: after the usual table it prints, for every benchmark whose
// name starts with a given prefix, its time over the reference's time and the
// machine's load average at the end of the run. With --benchmark_repetitions
// the medians are compared.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

struct TKsnBenchRatio {
    std::string Prefix;      // the benchmarks measured ("BM_ResolveLayers")
    std::string Reference;   // the full name of the reference run
};

class TKsnRatioReporter : public benchmark::ConsoleReporter {
public:
    // Colours only on a terminal, so that piped output stays plain text.
    TKsnRatioReporter() : ConsoleReporter(isatty(fileno(stdout)) ? OO_Defaults : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Aggregate && !median) continue;
            const std::string name = run.run_name.str();
            if (median || !Medians.count(name)) Times[name] = run.GetAdjustedRealTime() * Scale(run.time_unit);
            if (median) Medians[name] = true;
        }
    }

    std::map<std::string, double> Times;   // milliseconds

private:
    static double Scale(benchmark::TimeUnit unit)
    {
        switch (unit) {
        case benchmark::kNanosecond: return 1e-6;
        case benchmark::kMicrosecond: return 1e-3;
        case benchmark::kMillisecond: return 1.0;
        case benchmark::kSecond: return 1e3;
        }
        return 1.0;
    }
    std::map<std::string, bool> Medians;
};

inline int KsnBenchMainWithRatios(int argc, char** argv, const std::vector<TKsnBenchRatio>& ratios)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    TKsnRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    double load[3] = {0, 0, 0};
    const int loads = getloadavg(load, 3);
    std::printf("\n%-60s %12s %12s %8s\n", "job", "ours (ms)", "ref (ms)", "ratio");
    for (const TKsnBenchRatio& ratio : ratios) {
        const auto reference = reporter.Times.find(ratio.Reference);
        if (reference == reporter.Times.end()) continue;
        for (const auto& [name, ms] : reporter.Times) {
            if (name.rfind(ratio.Prefix, 0) != 0 || name == ratio.Reference) continue;
            std::printf("%-60s %12.2f %12.2f %7.2fx   (reference: %s)\n", name.c_str(), ms, reference->second,
                        ms / reference->second, ratio.Reference.c_str());
        }
    }
    if (loads == 3) std::printf("load average at the end: %.2f %.2f %.2f\n", load[0], load[1], load[2]);
    return 0;
}
