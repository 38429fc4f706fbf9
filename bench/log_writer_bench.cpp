// Lines per second of the agent's log writer with a flush per line, from one and from
// four threads, beside spdlog writing the same lines to a file with flush_on(trace).
// Both write into a fresh temporary folder that is removed at the end.
#include <benchmark/benchmark.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "agent/log_writer.h"
#include "agent/object_lock.h"

namespace fs = std::filesystem;

namespace {

// A message of typical length for the agent's log.
constexpr const char kPayload[] = "RotateSpecificLogs : File copied from C:\\Agent\\logs\\app2.log to C:\\Agent\\logs\\app3.log";

std::shared_ptr<spdlog::logger> gv_spdlog;

void BM_AgentLogWriter(benchmark::State& state) {
  const int thread = state.thread_index();
  std::int64_t line = 0;
  for (auto _ : state) {
    LogInfo("%s %d %lld\n", kPayload, thread, static_cast<long long>(line++));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AgentLogWriter)->Threads(1)->Threads(4)->UseRealTime();

void BM_Spdlog(benchmark::State& state) {
  const int thread = state.thread_index();
  std::int64_t line = 0;
  for (auto _ : state) {
    gv_spdlog->info("{} {} {}", kPayload, thread, line++);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Spdlog)->Threads(1)->Threads(4)->UseRealTime();

fs::path MakeFolder() {
  std::mt19937 seeded(20240305u ^ static_cast<unsigned>(std::random_device{}()));
  fs::path folder = fs::temp_directory_path() / ("log-writer-bench-" + std::to_string(seeded()));
  fs::create_directories(folder);
  return folder;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  const fs::path folder = MakeFolder();
  InitMutex();
  InitLogSettings();
  SetLogSettings("agent.log", folder.string().c_str(), 1);
  if (!OpenLogFile(2)) return 1;

  gv_spdlog = spdlog::basic_logger_mt("bench", (folder / "spdlog.log").string(), true);
  // The same prefix as the agent's lines: time with milliseconds, thread id, level tag.
  gv_spdlog->set_pattern("[ %Y-%m-%d %H:%M:%S:%e ] [ %t ] [%^%l%$] %v");
  gv_spdlog->flush_on(spdlog::level::trace);

  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  // Every contended wait of the object lock adds 10; a waiter sleeps counter / 1000 ms.
  std::fprintf(stderr, "object lock wait counter after the run: %d\n", GetLockWaitTime());

  CloseLogFile();
  FreeLogSettings();
  CloseMutex();
  gv_spdlog.reset();
  spdlog::drop_all();
  fs::remove_all(folder);
  return 0;
}
