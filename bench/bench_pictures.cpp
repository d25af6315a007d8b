// The window's pictures along a fixed run of frames, for comparing two builds pixel by pixel: a
// change meant to make painting cheaper must leave every picture as it was.
//
//   bench_pictures OUTDIR [--model NAME] [--rows R]
//
// Feeds the frames the live benchmark feeds, at the meter's pace, with a fixed clock for the
// recorded times, and after chosen frames writes two pictures: what the window's backing store holds
// (what the screen shows, built up by the partial repaints) as NNN-shown.png, and the window painted
// afresh as NNN-fresh.png. The grid is also scrolled up and back. Two builds agree when `cmp` finds
// every file equal; within one build, shown and fresh should agree too.
#include "LiveFrames.h"
#include "SavedRows.h"
#include "app/ReadingGrid.h"
#include "app/VS500F.h"
#include "recorder/Recorder.h"
#include "store/ReadingTableModel.h"

#include <QApplication>
#include <QBackingStore>
#include <QDir>
#include <QEventLoop>
#include <QImage>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <set>

namespace {

void settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool save(TFCOMM &w, const QString &folder, int step)
{
    settle(120);
    const QString stem = QDir(folder).filePath(QStringLiteral("%1").arg(step, 3, 10, QLatin1Char('0')));
    QPaintDevice *device = w.backingStore() ? w.backingStore()->paintDevice() : nullptr;
    bool ok = true;
    if (device && device->devType() == QInternal::Image)
        ok = static_cast<QImage *>(device)->save(stem + QStringLiteral("-shown.png"));
    return w.grab().toImage().save(stem + QStringLiteral("-fresh.png")) && ok;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("METERLINK_NO_SOUND", "1");
    const char *usage = "usage: bench_pictures OUTDIR [--model NAME] [--rows R]\n"
                        "  writes the window's pictures along a fixed run of frames into OUTDIR\n";
    QString out;
    std::string model;
    long rows = 0;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(usage, stdout);
            return 0;
        } else if (std::strcmp(argv[i], "--model") == 0 && hasValue) {
            model = argv[++i];
        } else if (std::strcmp(argv[i], "--rows") == 0 && hasValue) {
            rows = std::atol(argv[++i]);
        } else if (argv[i][0] != '-' && out.isEmpty()) {
            out = QString::fromLocal8Bit(argv[i]);
        } else {
            out.clear();
            break;
        }
    }
    if (out.isEmpty() || rows < 0 || !QDir().mkpath(out)) {
        std::fputs(usage, stderr);
        return 2;
    }
    QApplication app(argc, argv);
    QTemporaryDir dir;
    TFCOMM w;
    w.setWorkingFolder(dir.path());
    w.setBitmapPath(dir.filePath(QStringLiteral("databmp.bmp")));
    w.setMessageHook([](QMessageBox::Icon, const QString &text) {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    });
    if (!model.empty()) {
        ModelSelector chosen = ModelSelector::Count;
        if (!modelSelectorFromName(model, &chosen)) {
            std::fprintf(stderr, "bench_pictures: no model %s\n", model.c_str());
            return 2;
        }
        for (int i = 0; i < kModelSelectorCount; ++i)
            w.IFSelectors[size_t(i)]->setChecked(ModelSelector(i) == chosen);
    }
    w.FormCreate();
    long frame = 0;
    w.recorder().setClock([&frame] { return int32_t(12 * 3600000 + frame * 59); });
    fillSavedRows(*w.readingTable(), rows);
    w.readingModel()->flushPendingRows();
    w.show();
    settle(500);

    const std::set<long> shots = {1, 2, 3, 5, 17, 50, 52, 90, 130, 180, 239};
    int step = 0;
    bool ok = save(w, out, step++);
    const auto feed = [&](long count) {
        for (long n = 0; n < count; ++n, ++frame) {
            const std::vector<uint8_t> bytes = liveframes::frameFor(w, double(frame) / 17.0, frame);
            const auto *data = reinterpret_cast<const char *>(bytes.data());
            if (w.boundFamily() == DecoderFamily::VS500)
                w.HVS500RData(w.COMM2, data, qint32(bytes.size()));
            else
                w.HOR200RData(w.COMM2, data, qint32(bytes.size()));
            settle(59);
            if (shots.count(frame + 1))
                ok = save(w, out, step++) && ok;
        }
    };
    feed(240);
    // Scrolled away from the end, new rows must not move what is shown; back at the end they show.
    QScrollBar *bar = w.DBGrid1->verticalScrollBar();
    bar->setValue(bar->maximum() / 2);
    ok = save(w, out, step++) && ok;
    feed(10);
    ok = save(w, out, step++) && ok;
    bar->setValue(bar->maximum());
    feed(5);
    ok = save(w, out, step++) && ok;
    std::printf("bench_pictures: %d steps written to %s\n", step, qPrintable(out));
    return ok ? 0 : 1;
}
