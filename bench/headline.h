// The headline figures of the benchmarks: each file fills them in from its finished runs, and
// main prints them after the usual report as `name: value` lines, so that runs can be compared
// line by line.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>

namespace qm {

inline std::map<std::string, double> headline;

void CollectIndexHeadlines(const benchmark::BenchmarkReporter::Run& run);
void CollectSearchHeadlines(const benchmark::BenchmarkReporter::Run& run);
void CollectWindowHeadlines(const benchmark::BenchmarkReporter::Run& run);

}  // namespace qm
