// The main of every Google Benchmark program here: the heap set as the
// programs set it, then the benchmarks.
#include "ProgramHeap.h"

#include <benchmark/benchmark.h>

int main(int argc, char** argv)
{
    kelvark::SetHeapForReading(); // as kelvark and kelvark-cli do
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
