#include <cstdio>
#include <vector>

#include "headline.h"

namespace qm {
namespace {

// Collects the headline figures from the finished runs while the console report goes on.
class HeadlineReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      CollectIndexHeadlines(run);
      CollectSearchHeadlines(run);
      CollectWindowHeadlines(run);
    }
  }
};

}  // namespace
}  // namespace qm

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  qm::HeadlineReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  // Unsuffixed names are the 5-million figures, the ones the targets are set for.
  struct Line {
    const char* name;
    const char* key;
    const char* format;
  };
  const Line lines[] = {
      {"parse_records_per_s", "parse_records_per_s_5m", "%.0f"},
      {"build_5m_seconds", "build_5m_seconds", "%.3f"},
      {"bytes_per_record", "bytes_per_record_5m", "%.1f"},
      {"mean_name_units", "mean_name_units_5m", "%.2f"},
      {"bytes_per_record_20u", "bytes_per_record_20u", "%.1f"},
      {"mean_name_units_20u", "mean_name_units_20u", "%.2f"},
      {"buildpath_per_s", "buildpath_per_s_5m", "%.0f"},
      {"parse_records_per_s_1m", "parse_records_per_s_1m", "%.0f"},
      {"build_1m_seconds", "build_1m_seconds", "%.3f"},
      {"bytes_per_record_1m", "bytes_per_record_1m", "%.1f"},
      {"buildpath_per_s_1m", "buildpath_per_s_1m", "%.0f"},
      {"journal_entries_per_s", "journal_entries_per_s", "%.0f"},
      {"name_pass_rare3_ms", "name_pass_rare3_ms", "%.1f"},
      {"name_pass_rare3_1t_ms", "name_pass_rare3_1t_ms", "%.1f"},
      {"name_pass_common1_ms", "name_pass_common1_ms", "%.1f"},
      {"name_pass_long12_ms", "name_pass_long12_ms", "%.1f"},
      {"stream_floor_ms", "stream_floor_ms", "%.1f"},
      {"rare3_over_floor", "rare3_over_floor", "%.2f"},
      {"sort_name_1m_s", "sort_name_1m_s", "%.3f"},
      {"sort_path_1m_s", "sort_path_1m_s", "%.3f"},
      {"filter_view_1m_ms", "filter_view_1m_ms", "%.1f"},
      {"summary_pass_ms", "summary_pass_ms", "%.1f"},
      {"summary_pass_documents_ms", "summary_pass_documents_ms", "%.1f"},
      {"sort_stop_ms", "sort_stop_ms", "%.1f"},
      {"content_mb_per_s", "content_mb_per_s", "%.0f"},
      {"ui_search_done_ms", "ui_search_done_ms", "%.3f"},
      {"ui_paint_rows_us", "ui_paint_rows_us", "%.1f"},
      {"recent_100_found_ms", "recent_100_found_ms", "%.2f"},
      {"recent_100_gone_ms", "recent_100_gone_ms", "%.2f"},
  };
  // The one-thread pass against the one-thread floor.
  if (qm::headline.count("name_pass_rare3_1t_ms") && qm::headline.count("stream_floor_ms")) {
    qm::headline["rare3_over_floor"] =
        qm::headline["name_pass_rare3_1t_ms"] / qm::headline["stream_floor_ms"];
  }
  std::printf("\n");
  for (const Line& line : lines) {
    auto it = qm::headline.find(line.key);
    if (it == qm::headline.end()) continue;
    std::printf("%s: ", line.name);
    std::printf(line.format, it->second);
    std::printf("\n");
  }
  return 0;
}
