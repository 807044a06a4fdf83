// The main of a benchmark that needs a Qt application (App: QGuiApplication for painting,
// ui::Application for dialogs): headless unless a platform is named, numbers in the C locale,
// then Google Benchmark's run; after, when given, runs once the benchmarks are done.
#pragma once

#include <benchmark/benchmark.h>

#include <clocale>
#include <cstdlib>

namespace bench {

template <class App>
int RunQtBenchmarks(int argc, char** argv, void (*after)() = nullptr) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  int qtArgc = 1;  // the benchmark's own switches are not Qt's
  App app(qtArgc, argv);
  std::setlocale(LC_NUMERIC, "C");
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (after) after();
  return 0;
}

}  // namespace bench
