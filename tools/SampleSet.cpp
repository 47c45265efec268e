#include "SampleSet.h"

#include "ColorQuantizer.h"
#include "GifWriter.h"
#include "IconWriter.h"
#include "SampleScenes.h"
#include "WmfScenes.h"

#include <QBuffer>
#include <QImageWriter>

namespace {

QByteArray encoded(const QImage &image, const char *format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (quality >= 0)
        writer.setQuality(quality);
    if (image.isNull() || !writer.write(image))
        return {};
    return bytes;
}

QByteArray jpeg(const QImage &image)
{
    return encoded(image, "jpeg", 85);
}

QByteArray bmp(const QImage &image)
{
    return encoded(image, "bmp");
}

QByteArray gif(const QList<QImage> &frames, int delay, ColorQuantizer::Dither dither)
{
    if (frames.isEmpty())
        return {};
    GifWriter writer(frames.first().size());
    for (const QImage &frame : frames) {
        if (!writer.addFrame(ColorQuantizer::toIndexed(frame, 256, dither), delay))
            return {};
    }
    return writer.encode();
}

QByteArray icon(IconWriter::Kind kind, const QList<QImage> &images, QPoint hotSpot = {})
{
    IconWriter writer;
    for (const QImage &image : images) {
        // The customary form: PNG for 256x256 icon entries, DIBs for the rest.
        const bool png = kind == IconWriter::Kind::Icon && image.width() == 256 && images.size() > 3;
        if (!writer.addImage(image, png ? IconWriter::Storage::Png : IconWriter::Storage::Dib, hotSpot))
            return {};
    }
    return writer.encode(kind);
}

QByteArray text(const char *content)
{
    return QByteArray(content);
}

} // namespace

QList<SampleSet::Entry> SampleSet::entries()
{
    using S = SampleScenes;
    using Kind = IconWriter::Kind;
    const auto fs = ColorQuantizer::Dither::FloydSteinberg;
    const auto none = ColorQuantizer::Dither::None;

    QList<Entry> list{
        {"Sunset.JPG", [] { return jpeg(S::sunset({800, 600})); }},
        {"Alpine Panorama.jpg", [] { return jpeg(S::alpinePanorama({2600, 1500})); }},
        {"Lighthouse.jpeg", [] { return jpeg(S::lighthouse({600, 1800})); }},
        {"Aurora.jpeg", [] { return jpeg(S::aurora({1280, 720})); }},
        {"Bloom.jpg", [] { return jpeg(S::bloom({480, 640})); }},
        {"Tiny Sunset.jpg", [] { return jpeg(S::sunset({64, 48})); }},
        {"Tiles.Bmp", [] { return bmp(S::truchetTiles({640, 480})); }},
        {"Color Wheel.bmp", [] { return bmp(S::colorWheel({512, 512})); }},
        {"Bauhaus.BMP", [] { return bmp(S::bauhaus({300, 500})); }},
        {"Tiny Bauhaus.bmp", [] { return bmp(S::bauhaus({64, 48})); }},
        {"Balloons.gif", [=] { return gif({S::balloons({640, 480})}, 0, fs); }},
        {"Spinner.gif", [=] {
             return gif({S::spinnerFrame({200, 200}, 0), S::spinnerFrame({200, 200}, 1), S::spinnerFrame({200, 200}, 2)},
                        30, none);
         }},
        {"Star Sticker.gif", [=] { return gif({S::sticker({256, 256})}, 0, none); }},
        {"Pixel House.GIF", [=] { return gif({S::pixelHouse({96, 64})}, 0, none); }},
        {"Compass.ico", [] {
             return icon(Kind::Icon, {S::compassIcon(16), S::compassIcon(32), S::compassIcon(48), S::compassIcon(256)});
         }},
        {"Star.ico", [] { return icon(Kind::Icon, {S::starIcon(48)}); }},
        {"App.ICO", [] { return icon(Kind::Icon, {S::appIcon(16), S::appIcon(32)}); }},
        {"Arrow.cur", [] { return icon(Kind::Cursor, {S::arrowCursor(32)}, {1, 1}); }},
        {"Crosshair.cur", [] { return icon(Kind::Cursor, {S::crosshairCursor(48)}, {24, 24}); }},
        {"Countryside.wmf", [] { return WmfScenes::countryside(); }},
        {"Rocket.wmf", [] { return WmfScenes::rocket(); }},
        {"Geometry No Header.wmf", [] { return WmfScenes::geometry(); }},
        {"not-a-picture.jpg", [] {
             return text("This file is called .jpg but holds plain text, so no picture can be read from it.\n"
                         "A picture browser should list it and report that it cannot be shown.\n");
         }},
        {"readme.txt", [] {
             return text("Sample pictures for trying the browser and the full-screen show.\n\n"
                         "Every kind the program reads is here (BMP, JPEG, GIF, ICO, CUR, WMF) in several sizes\n"
                         "and shapes, with more in the More folder and the folder inside it. not-a-picture.jpg\n"
                         "is deliberately not a picture, and this file and catalogue.csv are not pictures at all.\n"
                         "All of them are drawn by the make_samples tool and may be copied freely.\n");
         }},

        {"More/Night City.jpg", [] { return jpeg(S::nightCity({640, 480})); }},
        {"More/Bubbles.bmp", [] { return bmp(S::bubbles({640, 480})); }},
        {"More/Retro Sunset 8-bit.bmp", [=] { return bmp(ColorQuantizer::toIndexed(S::sunset({320, 240}), 256, fs)); }},
        {"More/Mosaic.gif", [=] { return gif({S::mosaic({320, 240})}, 0, none); }},
        {"More/Leaf.ico", [] { return icon(Kind::Icon, {S::leafIcon(32), S::leafIcon(64), S::leafIcon(256)}); }},
        {"More/Pencil.CUR", [] { return icon(Kind::Cursor, {S::pencilCursor(32)}, {1, 30}); }},
        {"More/Mandala.WMF", [] { return WmfScenes::mandala(); }},

        {"More/Deeper/Dunes.JPEG", [] { return jpeg(S::dunes({1000, 500})); }},
        {"More/Deeper/Tiny Dunes.gif", [=] { return gif({S::dunes({64, 48})}, 0, fs); }},
    };

    QByteArray catalogue("path\n");
    for (const Entry &entry : list)
        catalogue += entry.path.toUtf8() + '\n';
    list.append({"catalogue.csv", [catalogue] { return catalogue; }});
    return list;
}
