#include <benchmark/benchmark.h>

#include "snippet/snippet.h"
#include "tests/support/workedexample.h"

namespace {

tamarin::SnippetValues workedExample() {
    return tamarin::example::values();
}

// Long texts, with characters to escape scattered through them.
tamarin::SnippetValues longValues() {
    tamarin::SnippetValues values = workedExample();
    values.gameType = QString("game&type ").repeated(20);
    values.hostName = QString("very-long-host-name.example").repeated(40);
    values.version = QString("1.0 \"beta\" <rc> ").repeated(16);
    values.hostPort = -2147483647;
    values.refreshInterval = 2147483647;
    return values;
}

void benchSnippet(benchmark::State& state, const tamarin::SnippetValues& values) {
    qsizetype characters = 0;
    for (auto _ : state) {
        const QString text = tamarin::snippetText(values);
        characters = text.size();
        benchmark::DoNotOptimize(text.constData());
    }
    state.counters["chars"] = double(characters);
    state.SetBytesProcessed(state.iterations() * characters * qsizetype(sizeof(QChar)));
}

void BM_SnippetWorkedExample(benchmark::State& state) {
    benchSnippet(state, workedExample());
}
void BM_SnippetLongValues(benchmark::State& state) {
    benchSnippet(state, longValues());
}

}  // namespace

BENCHMARK(BM_SnippetWorkedExample);
BENCHMARK(BM_SnippetLongValues);

BENCHMARK_MAIN();
