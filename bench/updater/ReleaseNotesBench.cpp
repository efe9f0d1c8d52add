// Release notes: converting 62 KB of hostile notes (16,000 nested list markers, then 15,000 lazy
// continuation lines) against md4c parsing the same bytes with callbacks that do nothing, the
// baseline. The conversion should cost a small multiple of the parse, not grow with depth times
// lines.

#include "NativeAppUpdater/NativeReleaseNotes.h"

#include <QByteArray>
#include <QString>

#include <benchmark/benchmark.h>
#include <md4c.h>

namespace {

QString hostileNotes(int serial)
{
    QString notes = QStringLiteral("- ").repeated(16'000) + QStringLiteral("x\n") + QStringLiteral("y\n").repeated(15'000);
    // Each round differs, so the converter's memory of the last notes does not answer.
    return notes + QString::number(serial);
}

void Md4cParseOnly(benchmark::State &state)
{
    const QByteArray utf8 = hostileNotes(0).toUtf8();
    MD_PARSER parser{};
    parser.flags = MD_FLAG_NOHTML | MD_FLAG_STRIKETHROUGH | MD_FLAG_TABLES;
    parser.enter_block = [](MD_BLOCKTYPE, void *, void *) { return 0; };
    parser.leave_block = [](MD_BLOCKTYPE, void *, void *) { return 0; };
    parser.enter_span = [](MD_SPANTYPE, void *, void *) { return 0; };
    parser.leave_span = [](MD_SPANTYPE, void *, void *) { return 0; };
    parser.text = [](MD_TEXTTYPE, const MD_CHAR *, MD_SIZE, void *) { return 0; };
    for (auto _ : state)
        benchmark::DoNotOptimize(md_parse(utf8.constData(), MD_SIZE(utf8.size()), &parser, nullptr));
}
BENCHMARK(Md4cParseOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

void ConvertHostileNotes(benchmark::State &state)
{
    int serial = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QString notes = hostileNotes(++serial);
        state.ResumeTiming();
        benchmark::DoNotOptimize(NativeAppUpdater::nativeReleaseNotes(notes).runs.size());
    }
}
BENCHMARK(ConvertHostileNotes)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
