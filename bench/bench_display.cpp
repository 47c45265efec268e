// Putting a large photo on a 1920 x 1080 screen: a cold load, fit and scale; the same for the photo
// tagged with a colour profile (Adobe RGB), against the untagged one; the change to a picture that
// was decoded ahead; and, as the baseline, a plain libjpeg-turbo decode of the same file at the
// same DCT scale.

#include "BenchMain.h"

#include "app/basSlides.h"
#include "display/FitGeometry.h"
#include "picture/Requests.h"
#include "display/frmSlides.h"
#include "platform/StretchImage.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include <turbojpeg.h>

#include <cmath>
#include <vector>

namespace {

const QSize kScreen(1920, 1080);

// A 6000 x 4000 photo-like JPEG: smooth colour fields with fine noise, made once.
QString photo()
{
    const QString path = QDir::tempPath() + "/quorvel-bench-6000x4000.jpg";
    if (QFile::exists(path))
        return path;
    QImage image(6000, 4000, QImage::Format_RGB32);
    QRandomGenerator g(99);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int n = int(g.bounded(24));
            const int r = int(128 + 100 * std::sin(x / 700.0) + n) & 255;
            const int gg = int(110 + 90 * std::cos(y / 500.0) + n) & 255;
            const int b = int(140 + 80 * std::sin((x + y) / 900.0) + n) & 255;
            line[x] = qRgb(r, gg, b);
        }
    }
    image.save(path, "JPEG", 90);
    return path;
}

// The same photo tagged as Adobe RGB (an APP2 chunk after SOI); empty without the profile.
QString taggedPhoto()
{
    const QString path = QDir::tempPath() + "/quorvel-bench-6000x4000-adobe.jpg";
    if (QFile::exists(path))
        return path;
    QFile profile("/usr/share/color/icc/colord/AdobeRGB1998.icc"), plain(photo()), out(path);
    if (!profile.open(QIODevice::ReadOnly) || !plain.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
        return QString();
    const QByteArray icc = profile.readAll(), jpeg = plain.readAll();
    QByteArray marker("\xFF\xE2", 2);
    marker.append(char((16 + icc.size()) >> 8)).append(char((16 + icc.size()) & 0xFF));
    marker.append("ICC_PROFILE", 12).append(char(1)).append(char(1)).append(icc);
    out.write(jpeg.left(2) + marker + jpeg.mid(2));
    return path;
}

// The DCT step our reader uses: the smallest n/8 covering the displayed size.
tjscalingfactor dctStep(int width, int height, QSize shown)
{
    const double f = std::min(double(width) / shown.width(), double(height) / shown.height());
    return {std::clamp(int(std::ceil(8.0 / f)), 1, 8), 8};
}

void BM_BaselineTurboJpegDecode(benchmark::State &state)
{
    QFile file(photo());
    file.open(QIODevice::ReadOnly);
    const QByteArray bytes = file.readAll();
    tjhandle tj = tjInitDecompress();
    int w = 0, h = 0, sub = 0, space = 0;
    tjDecompressHeader3(tj, reinterpret_cast<const unsigned char *>(bytes.constData()), bytes.size(), &w, &h, &sub, &space);
    const display::FitRect shown = display::FitInClient(float(w), float(h), float(kScreen.width()), float(kScreen.height()));
    const tjscalingfactor sf = dctStep(w, h, QSize(int(shown.width), int(shown.height)));
    const int sw = TJSCALED(w, sf), sh = TJSCALED(h, sf);
    std::vector<unsigned char> out(size_t(sw) * size_t(sh) * 4);
    for (auto _ : state) {
        // Reading the file is part of it, as it is for the program.
        QFile f(photo());
        f.open(QIODevice::ReadOnly);
        const QByteArray data = f.readAll();
        tjDecompress2(tj, reinterpret_cast<const unsigned char *>(data.constData()), data.size(), out.data(), sw, 0, sh,
                      TJPF_BGRX, 0);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["decoded_w"] = sw;
    tjDestroy(tj);
}

void coldLoadFitScale(benchmark::State &state, const QString &path)
{
    platform::StretchImage shownImage;
    for (auto _ : state) {
        const picture::ShownPicture p = picture::LoadShown({path, kScreen, 15, 15});
        const display::FitRect r = display::FitInClient(float(p.twips.width()), float(p.twips.height()),
                                                        float(kScreen.width() * 15), float(kScreen.height() * 15));
        shownImage.resize(int(r.width / 15), int(r.height / 15));
        shownImage.SetPicture(p.image);
        shownImage.repaint(); // makes the scaled copy the screen gets
        benchmark::DoNotOptimize(p.image.constBits());
    }
}

void BM_ColdLoadFitScale(benchmark::State &state)
{
    coldLoadFitScale(state, photo());
}

void BM_TaggedColdLoadFitScale(benchmark::State &state)
{
    const QString tagged = taggedPhoto();
    if (tagged.isEmpty())
        state.SkipWithError("no Adobe RGB profile (colord-data)");
    coldLoadFitScale(state, tagged);
}

void BM_ChangeWithPictureDecodedAhead(benchmark::State &state)
{
    QTemporaryDir dir;
    QFile::copy(photo(), dir.path() + "/A.jpg");
    QFile::copy(photo(), dir.path() + "/B.jpg");
    basSlides::InitSharedState();
    frmSlides &show = platform::SharedForm<frmSlides>::Get();
    show.Tag = QStringLiteral("Normal");
    basSlides::ScanPictures(dir.path(), false, show.Tag);
    show.show();
    show.ChangePicture(true);
    for (auto _ : state) {
        state.PauseTiming();
        // The picture stays up for seconds: the next one is decoded by then.
        picture::WaitForDecodesAhead();
        state.ResumeTiming();
        show.ChangePicture(false);
        show.imgSlide->repaint();
    }
    platform::SharedForm<frmSlides>::Unload();
}

} // namespace

BENCHMARK(BM_BaselineTurboJpegDecode)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_ColdLoadFitScale)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_TaggedColdLoadFitScale)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_ChangeWithPictureDecodedAhead)->Unit(benchmark::kMillisecond)->Iterations(30);

int main(int argc, char **argv)
{
    QTemporaryDir screenConfig;
    QFile json(screenConfig.path() + "/screen.json");
    json.open(QIODevice::WriteOnly);
    json.write(R"({"screens":[{"name":"BENCH","x":0,"y":0,"width":1920,"height":1080,"logicalDpi":96,"logicalBaseDpi":96,"dpr":1}]})");
    json.close();
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + QFile::encodeName(json.fileName()));
    QApplication application(argc, argv);
    QTemporaryDir config;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
    photo();
    return RunBenchmarksWithRatios(argc, argv,
                                   {{"BM_ColdLoadFitScale/min_time:3.000", "BM_BaselineTurboJpegDecode/min_time:3.000"},
                                    {"BM_TaggedColdLoadFitScale/min_time:3.000", "BM_ColdLoadFitScale/min_time:3.000"},
                                    {"BM_ChangeWithPictureDecodedAhead/iterations:30",
                                     "BM_BaselineTurboJpegDecode/min_time:3.000"}});
}
