// Decoding speed of each frame family through meterlink-cli decode, as a user pipes a capture
// through it: the simulator's scenario frames written to a capture file, decoded to /dev/null.
//
//   bench_decode [FRAMES]   FRAMES per family (default 2 000 000); best of three runs each
#include "decode/FrameEncoders.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

namespace {

double childrenCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Frames per second of wall time and of CPU time, the best of three runs.
struct Speed
{
    double wall = 0.0;
    double cpu = 0.0;
};

Speed decodeSpeed(const QString &cli, const QString &model, const QString &capture, long frames)
{
    Speed best;
    for (int run = 0; run < 3; ++run) {
        QProcess decode;
        decode.setStandardOutputFile(QProcess::nullDevice());
        const double cpuBefore = childrenCpuSeconds();
        QElapsedTimer clock;
        clock.start();
        decode.start(cli, {QStringLiteral("decode"), QStringLiteral("--model"), model, capture});
        if (!decode.waitForFinished(600000) || decode.exitCode() != 0) {
            std::fprintf(stderr, "bench_decode: meterlink-cli decode failed\n");
            std::exit(1);
        }
        const double wall = double(clock.nsecsElapsed()) / 1e9;
        const double cpu = childrenCpuSeconds() - cpuBefore;
        best.wall = std::max(best.wall, double(frames) / wall);
        best.cpu = std::max(best.cpu, double(frames) / std::max(cpu, 1e-6));
    }
    return best;
}

template <typename Encode> bool writeCapture(const QString &fileName, long frames, Encode encode)
{
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray block;
    for (long step = 0; step < frames; ++step) {
        const std::vector<uint8_t> frame = encode(step);
        block.append(reinterpret_cast<const char *>(frame.data()), qsizetype(frame.size()));
        if (block.size() > (1 << 20)) {
            file.write(block);
            block.clear();
        }
    }
    return file.write(block) == block.size();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const long frames = argc >= 2 ? std::max(1L, std::atol(argv[1])) : 2000000L;
    const QString cli = QCoreApplication::applicationDirPath() + QStringLiteral("/../tools/meterlink-cli");
    QTemporaryDir dir;
    const QString or200 = dir.filePath(QStringLiteral("or200.bin"));
    const QString vs500 = dir.filePath(QStringLiteral("vs500.bin"));
    ModelSelectors selectors;
    selectors.set(size_t(ModelSelector::IFOR250));
    if (!writeCapture(or200, frames, [](long step) { return or200ScenarioFrame(step); }) ||
        !writeCapture(vs500, frames, [&](long step) { return vs500ScenarioFrame(step, selectors); })) {
        std::fprintf(stderr, "bench_decode: cannot write the captures in %s\n", qPrintable(dir.path()));
        return 1;
    }
    const Speed a = decodeSpeed(cli, QStringLiteral("IFOR210"), or200, frames);
    const Speed b = decodeSpeed(cli, QStringLiteral("IFOR250"), vs500, frames);
    std::printf(
        "decode: OR200 %.2f M frames/s (%.2f M per CPU second), VS500 %.2f M frames/s (%.2f M per CPU "
        "second)\n",
        a.wall / 1e6, a.cpu / 1e6, b.wall / 1e6, b.cpu / 1e6);
    return 0;
}
