#include "picture/Colour.h"
#include "picture/PictureLoader.h"
#include "picture/Requests.h"

#include "HostilePictures.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <lcms2.h>
#include <QtEndian>

using HostilePictures::jpegWithProfile;
using HostilePictures::pngWithProfile;

namespace {

const QString kProfiles = QStringLiteral("/usr/share/color/icc/colord/");
const QRgb kRed = qRgb(200, 40, 40), kRedSwapped = qRgb(40, 200, 40);

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, 100);
    return bytes;
}

QImage solid(QRgb colour, QImage::Format format = QImage::Format_RGB32)
{
    QImage image(48, 32, format);
    image.fill(QColor::fromRgba(colour));
    return image;
}

void putLe(QByteArray &out, quint32 v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(char((v >> (8 * i)) & 0xFF));
}

// A 24-bit BMP with a V5 header embedding `profile` after the pixels.
QByteArray bmpV5(const QImage &image, const QByteArray &profile)
{
    const int stride = (image.width() * 3 + 3) & ~3;
    QByteArray pixels;
    for (int y = image.height() - 1; y >= 0; --y) {
        QByteArray row;
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            row.append(char(qBlue(p))).append(char(qGreen(p))).append(char(qRed(p)));
        }
        pixels.append(row.leftJustified(stride, '\0'));
    }
    QByteArray v5;
    for (quint32 v : {124u, quint32(image.width()), quint32(image.height())})
        putLe(v5, v, 4);
    putLe(v5, 1, 2);
    putLe(v5, 24, 2);
    putLe(v5, 0, 4);
    putLe(v5, quint32(pixels.size()), 4);
    v5.append(QByteArray(8 * 4, '\0'));         // resolution, colours, masks
    putLe(v5, 0x4D424544, 4);                   // embedded profile
    v5.append(QByteArray(36 + 12, '\0'));       // end points, gamma
    putLe(v5, 4, 4);                            // intent
    putLe(v5, quint32(124 + pixels.size()), 4); // profile offset, from this header
    putLe(v5, quint32(profile.size()), 4);
    putLe(v5, 0, 4);
    QByteArray file("BM");
    putLe(file, quint32(14 + v5.size() + pixels.size() + profile.size()), 4);
    putLe(file, 0, 4);
    putLe(file, 14 + 124, 4);
    return file + v5 + pixels + profile;
}

// An icon of one PNG entry.
QByteArray iconOfPng(const QByteArray &png, QSize size)
{
    QByteArray file;
    putLe(file, 0, 2);
    putLe(file, 1, 2);
    putLe(file, 1, 2);
    file.append(char(size.width())).append(char(size.height())).append('\0').append('\0');
    putLe(file, 1, 2);
    putLe(file, 32, 2);
    putLe(file, quint32(png.size()), 4);
    putLe(file, 6 + 16, 4);
    return file + png;
}

QRgb centre(const QImage &image)
{
    return image.convertToFormat(QImage::Format_ARGB32).pixel(image.width() / 2, image.height() / 2);
}

bool near(QRgb a, QRgb b, int tolerance)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance
           && std::abs(qBlue(a) - qBlue(b)) <= tolerance && std::abs(qAlpha(a) - qAlpha(b)) <= tolerance;
}

QString rgba(QRgb c)
{
    return QStringLiteral("(%1, %2, %3, %4)").arg(qRed(c)).arg(qGreen(c)).arg(qBlue(c)).arg(qAlpha(c));
}

} // namespace

class tst_colour : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QByteArray m_adobe, m_swapped;

    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
            return QString();
        return path;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_adobe = fileBytes(kProfiles + "AdobeRGB1998.icc");
        m_swapped = fileBytes(kProfiles + "SwappedRedAndGreen.icc");
        if (m_adobe.isEmpty() || m_swapped.isEmpty())
            QSKIP("Debian's colord-data profiles are not installed");
    }

    // Our own tables for a pair of matrix-shaper profiles give exactly what lcms2 gives.
    void sameAsTheColourEngine_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::newRow("adobe to srgb") << "AdobeRGB1998.icc" << "";
        QTest::newRow("prophoto to srgb") << "ProPhotoRGB.icc" << "";
        QTest::newRow("swapped to srgb") << "SwappedRedAndGreen.icc" << "";
        QTest::newRow("srgb to wide gamut") << "" << "WideGamutRGB.icc";
        QTest::newRow("adobe to prophoto") << "AdobeRGB1998.icc" << "ProPhotoRGB.icc";
    }

    void sameAsTheColourEngine()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        const QByteArray source = from.isEmpty() ? QByteArray() : fileBytes(kProfiles + from);
        const QByteArray target = to.isEmpty() ? QByteArray() : fileBytes(kProfiles + to);
        QImage image(256, 256, QImage::Format_RGB32);
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x)
                image.setPixel(x, y, qRgb(x, y, (x * 7 + y * 13) & 255));
        const QImage original = image.copy();
        QImage ours = image;
        QCOMPARE(picture::ConvertToDisplay(ours, source, target), QString());
        QVERIFY(ours != original);
        const auto open = [](const QByteArray &p) {
            return p.isEmpty() ? cmsCreate_sRGBProfile() : cmsOpenProfileFromMem(p.constData(), cmsUInt32Number(p.size()));
        };
        cmsHPROFILE in = open(source), out = open(target);
        cmsHTRANSFORM engine = cmsCreateTransform(in, TYPE_BGRA_8, out, TYPE_BGRA_8, INTENT_PERCEPTUAL, 0);
        QVERIFY(engine);
        for (int y = 0; y < 256; ++y)
            cmsDoTransform(engine, image.scanLine(y), image.scanLine(y), 256);
        cmsDeleteTransform(engine);
        cmsCloseProfile(in);
        cmsCloseProfile(out);
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x)
                QVERIFY2(ours.pixel(x, y) == image.pixel(x, y), qPrintable(rgba(ours.pixel(x, y)) + " against " + rgba(image.pixel(x, y))));
    }

    // What a picture shows as, from its own profile to the display's.
    void converted_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("display");
        QTest::addColumn<QRgb>("shown");
        QTest::addColumn<bool>("noted");
        const QByteArray jpeg = encoded(solid(kRed), "JPEG"), png = encoded(solid(kRed), "PNG");
        const int third = int(m_swapped.size() / 3 + 1);
        QByteArray repeated = jpegWithProfile(jpeg, m_swapped, third);
        repeated[repeated.indexOf("ICC_PROFILE", repeated.indexOf("ICC_PROFILE") + 1) + 12] = 1;
        const QByteArray translucent = encoded(solid(qRgba(200, 40, 40, 128), QImage::Format_ARGB32), "PNG");

        QTest::newRow("jpeg adobe rgb") << "a.jpg" << jpegWithProfile(jpeg, m_adobe) << QByteArray()
                                        << qRgb(233, 35, 35) << false;
        QTest::newRow("jpeg, three chunks last first")
            << "b.jpg" << jpegWithProfile(jpeg, m_swapped, third, true) << QByteArray() << kRedSwapped << false;
        QTest::newRow("jpeg, a chunk repeated") << "c.jpg" << repeated << QByteArray() << kRed << true;
        QTest::newRow("png") << "d.png" << pngWithProfile(png, m_swapped) << QByteArray() << kRedSwapped << false;
        QTest::newRow("png with alpha")
            << "e.png" << pngWithProfile(translucent, m_swapped) << QByteArray() << qRgba(40, 200, 40, 128) << false;
        QTest::newRow("png under .jpg") << "f.jpg" << pngWithProfile(png, m_swapped) << QByteArray() << kRedSwapped << false;
        QTest::newRow("bmp v5") << "g.bmp" << bmpV5(solid(kRed), m_swapped) << QByteArray() << kRedSwapped << false;
        QTest::newRow("icon of png")
            << "h.ico" << iconOfPng(pngWithProfile(png, m_swapped), {48, 32}) << QByteArray() << kRedSwapped << false;
        QTest::newRow("untagged, display swapped") << "i.png" << png << m_swapped << kRedSwapped << false;
        QTest::newRow("tagged as the display") << "j.png" << pngWithProfile(png, m_swapped) << m_swapped << kRed << false;
        QTest::newRow("adobe rgb, display profile broken")
            << "k.jpg" << jpegWithProfile(jpeg, m_adobe) << m_adobe.left(200) << qRgb(233, 35, 35) << true;
    }

    void converted()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, display);
        QFETCH(QRgb, shown);
        QFETCH(bool, noted);
        const picture::LoadedImage loaded = picture::LoadPicture(write(name, file), {}, {}, display);
        QVERIFY(!loaded.image.isNull());
        QVERIFY2(near(centre(loaded.image), shown, 3), qPrintable(rgba(centre(loaded.image)) + " for " + rgba(shown)));
        QCOMPARE(!loaded.colourNote.isEmpty(), noted);
    }

    // An untagged picture on an sRGB display: the pixels as decoded, no transform made.
    void untaggedUntouched()
    {
        QImage photo(300, 200, QImage::Format_RGB32);
        for (int y = 0; y < photo.height(); ++y)
            for (int x = 0; x < photo.width(); ++x)
                photo.setPixel(x, y, qRgb(x % 256, (y * 3) % 256, (x ^ y) % 256));
        const QString path = write("untagged.jpg", encoded(photo, "JPEG"));
        const int made = picture::TransformsMade();
        const QImage shown = picture::DecodePicture(path);
        QCOMPARE(picture::TransformsMade(), made);
        QCOMPARE(shown, QImage(path).convertToFormat(QImage::Format_RGB32));
    }

    // A picture decoded ahead for one display profile is not handed to a request for another.
    void aheadKeyedByProfile()
    {
        const QString path = write("ahead.png", encoded(solid(kRed), "PNG"));
        picture::DecodeAhead({path, {640, 480}, 15, 15, true, {}});
        picture::WaitForDecodesAhead();
        const picture::ShownPicture shown = picture::Decode({path, {640, 480}, 15, 15, true, m_swapped}).result();
        QVERIFY(near(centre(shown.image), kRedSwapped, 3));
        picture::FinishDecodes();
    }

    // Profiles built to hurt: ignored (or their harmful part left out) quickly, as a picture's and
    // as the display's.
    void hostileProfiles_data()
    {
        QTest::addColumn<QByteArray>("profile");
        QTest::addColumn<bool>("usable");
        for (const HostilePictures::NamedProfile &p : HostilePictures::hostileProfiles())
            QTest::newRow(p.name) << p.bytes << p.usable;
    }

    void hostileProfiles()
    {
        QFETCH(QByteArray, profile);
        QFETCH(bool, usable);
        const QByteArray png = encoded(solid(kRed), "PNG");
        const QString tagged = write("hostile.png", pngWithProfile(png, profile)), plain = write("plain.png", png);
        QElapsedTimer clock;
        clock.start();
        const picture::LoadedImage asPicture = picture::LoadPicture(tagged, {});
        const picture::LoadedImage asDisplay = picture::LoadPicture(plain, {}, {}, profile);
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        for (const picture::LoadedImage &loaded : {asPicture, asDisplay}) {
            QVERIFY(near(centre(loaded.image), usable ? kRedSwapped : kRed, 3));
            QCOMPARE(loaded.colourNote.isEmpty(), usable);
        }
        if (QByteArray(QTest::currentDataTag()) == "clut-100MB") { // refused by the cap, not by luck
            QVERIFY2(asPicture.colourNote.contains("too large"), qPrintable(asPicture.colourNote));
            QVERIFY2(asDisplay.colourNote.contains("too large"), qPrintable(asDisplay.colourNote));
        }
    }

    // Real files whose profiles come in several chunks, some of them wrongly numbered.
    void corpusChunks_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("usable");
        QTest::addColumn<QByteArray>("joined"); // what the chunks hold, when not a real profile
        const QString root = QStringLiteral(QUORVEL_PICTURE_CORPUS_DIR "/jpeg/");
        if (!QDir(root).exists())
            QSKIP("no corpus");
        QByteArray counting;
        for (int i = 1; i <= 254; ++i)
            counting.append(char(i));
        QTest::newRow("in order") << root + "pillow/icc_profile_big.jpg" << true << QByteArray();
        // 254 chunks of one byte each, its own number, in shuffled order.
        QTest::newRow("out of order") << root + "jpeg-decoder/icc/icc_chunk_order.jpeg" << true << counting;
        for (const char *bad : {"icc_missing_chunk", "icc_chunk_count_mismatch", "icc_chunk_double_seq_no", "icc_chunk_seq_no_0"})
            QTest::newRow(bad) << root + "jpeg-decoder/icc/" + bad + ".jpeg" << false << QByteArray();
    }

    void corpusChunks()
    {
        QFETCH(QString, path);
        QFETCH(bool, usable);
        QFETCH(QByteArray, joined);
        const QByteArray bytes = fileBytes(path);
        if (bytes.isEmpty())
            QSKIP("not in the corpus");
        const picture::EmbeddedProfile embedded = picture::JpegProfile(bytes);
        QCOMPARE(embedded.problem.isEmpty(), usable);
        QCOMPARE(embedded.profile.isEmpty(), !usable);
        if (!joined.isEmpty())
            QCOMPARE(embedded.profile, joined);
        else if (usable)
            QVERIFY2(picture::ProfileProblem(embedded.profile).isEmpty(), qPrintable(picture::ProfileProblem(embedded.profile)));
    }
};

QTEST_GUILESS_MAIN(tst_colour)
#include "tst_colour.moc"
