// Cost of setting Value on the 167 x 25 bar: each assignment runs a complete
// drawing pass into the off-screen image.

#include "WidgetBench.h"
#include "XP_ProgressBar.h"

#include <benchmark/benchmark.h>

#include <QApplication>

namespace {

void BM_SetValue10000(benchmark::State& state) {
    XP_ProgressBar bar;
    bar.resize(167, 25);
    bar.SetHdc();
    bar.SetColor(0x00C000);
    bar.SetShowText(state.range(1) != 0);
    bar.SetScrolling(std::int32_t(state.range(0)));
    QImage tile(8, 8, QImage::Format_RGB32);
    tile.fill(Qt::darkGreen);
    bar.SetImage(tile);
    for (auto _ : state) {
        for (int i = 0; i < 10000; ++i)
            bar.SetValue(i % 101);
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * 10000);
}

BENCHMARK(BM_SetValue10000)
    ->ArgsProduct({benchmark::CreateDenseRange(0, 9, 1), {0, 1}})
    ->ArgNames({"style", "text"})
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return RunWidgetBenchmarks(argc, argv);
}
