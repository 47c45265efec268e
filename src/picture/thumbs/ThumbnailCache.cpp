#include "picture/thumbs/ThumbnailCache.h"

#include "base/FileSys.h"
#include "picture/thumbs/ThumbnailDecode.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QImageReader>
#include <QMutexLocker>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

namespace picture {

namespace {

// Thumbnails of other programs are read only up to these: a thumbnail is at most 1024 pixels
// long, so anything far beyond is not one.
constexpr qint64 kMaxThumbnailFileBytes = qint64(16) << 20;
constexpr int kMaxThumbnailSide = 2048;

const QByteArray kUriKey = "Thumb::URI";
const QByteArray kMTimeKey = "Thumb::MTime";
const QByteArray kSizeKey = "Thumb::Size";
const QByteArray kWidthKey = "Thumb::Image::Width";
const QByteArray kHeightKey = "Thumb::Image::Height";

const QByteArray &failFolder()
{
    static const QByteArray name = QByteArrayLiteral("fail/quorvel-") + QUORVEL_VERSION;
    return name;
}

struct FileFacts
{
    bool known = false; // false: the time cannot be read, so nothing is stored
    qint64 mtime = 0;
    qint64 size = 0;
};

FileFacts factsOf(const QByteArray &path)
{
    struct stat st {};
    if (::stat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    return {true, qint64(st.st_mtim.tv_sec), qint64(st.st_size)};
}

QByteArray realPath(const QByteArray &path)
{
    char *resolved = ::realpath(path.constData(), nullptr);
    if (!resolved)
        return {};
    QByteArray out(resolved);
    std::free(resolved);
    return out;
}

// The file's folder with every link resolved, and the file's own name: a link to a picture has a
// thumbnail of its own, under the name the folder shows. A thread's last folder is remembered, as
// a view asks for one folder's files.
QByteArray canonicalPath(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
    const QByteArray name = path.mid(slash + 1);
    if (name.isEmpty() || name == "." || name == "..")
        return {};
    thread_local QByteArray lastFolder, lastResolved;
    if (folder != lastFolder) {
        lastResolved = realPath(folder);
        lastFolder = lastResolved.isEmpty() ? QByteArray() : folder;
        if (lastResolved.isEmpty())
            return {};
    }
    return lastResolved.endsWith('/') ? lastResolved + name : lastResolved + '/' + name;
}

std::optional<QByteArray> readSmallFile(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    std::optional<QByteArray> out;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxThumbnailFileBytes) {
        QByteArray bytes(qsizetype(st.st_size), Qt::Uninitialized);
        base::ReadFully(fd, bytes);
        out = std::move(bytes);
    }
    ::close(fd);
    return out;
}

bool matches(const QByteArray &uri, const FileFacts &facts, const QString &uriText, const QString &mtimeText,
             const QString &sizeText)
{
    bool ok = false;
    if (uriText != QLatin1String(uri) || mtimeText.trimmed().toLongLong(&ok) != facts.mtime || !ok)
        return false;
    return sizeText.isEmpty() || (sizeText.trimmed().toLongLong(&ok) == facts.size && ok);
}

struct Cached
{
    QImage image;
    QSize natural;
};

// The thumbnail at `file` when it is one of the file described by `uri` and `facts` as it is now.
std::optional<Cached> readValid(const QByteArray &file, const QByteArray &uri, const FileFacts &facts)
{
    std::optional<QByteArray> bytes = readSmallFile(file);
    if (!bytes)
        return std::nullopt;
    QBuffer buffer(&*bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    const QSize size = reader.size();
    if (size.isEmpty() || size.width() > kMaxThumbnailSide || size.height() > kMaxThumbnailSide)
        return std::nullopt;
    // Writers put the keys before the pixels as a rule: a stale thumbnail is then known undecoded.
    const QString early = reader.text(QString::fromLatin1(kUriKey));
    if (!early.isEmpty()
        && !matches(uri, facts, early, reader.text(QString::fromLatin1(kMTimeKey)), reader.text(QString::fromLatin1(kSizeKey))))
        return std::nullopt;
    Cached out;
    out.image = reader.read();
    const auto text = [&](const QByteArray &key) { return out.image.text(QString::fromLatin1(key)); };
    if (out.image.isNull() || !matches(uri, facts, text(kUriKey), text(kMTimeKey), text(kSizeKey)))
        return std::nullopt;
    out.natural = QSize(text(kWidthKey).toInt(), text(kHeightKey).toInt());
    return out;
}

void appendPng(png_structp png, png_bytep data, png_size_t length)
{
    static_cast<QByteArray *>(png_get_io_ptr(png))->append(reinterpret_cast<const char *>(data), qsizetype(length));
}

void flushPng(png_structp) {}

void pngError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) {}

using Texts = std::vector<std::pair<QByteArray, QByteArray>>;

// libpng's part, kept apart: its errors jump back here, past nothing that needs destroying.
bool writePng(QByteArray *out, int width, int height, png_text *texts, int textCount, png_bytep *rows)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, out, appendPng, flushPng);
    // Thumbnails are written while the user waits; the smaller files of higher levels are not
    // worth their time on pictures this small.
    png_set_compression_level(png, 3);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB_ALPHA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_text(png, info, texts, textCount);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

// An 8-bit RGBA PNG with the texts as plain tEXt chunks ahead of the pixels, where every reader
// finds them. Empty on failure.
QByteArray encodePng(const QImage &picture, const Texts &texts)
{
    QImage image = picture.convertToFormat(QImage::Format_RGBA8888);
    std::vector<png_text> chunks(texts.size());
    for (size_t i = 0; i < texts.size(); ++i) {
        chunks[i].compression = PNG_TEXT_COMPRESSION_NONE;
        chunks[i].key = const_cast<char *>(texts[i].first.constData());
        chunks[i].text = const_cast<char *>(texts[i].second.constData());
        chunks[i].text_length = size_t(texts[i].second.size());
    }
    std::vector<png_bytep> rows(size_t(image.height()));
    for (int y = 0; y < image.height(); ++y)
        rows[size_t(y)] = image.scanLine(y);
    QByteArray out;
    if (image.isNull() || !writePng(&out, image.width(), image.height(), chunks.data(), int(chunks.size()), rows.data()))
        return {};
    return out;
}

// The folder and those missing above it, each readable by its owner only.
bool makeFolders(const QByteArray &path)
{
    if (::mkdir(path.constData(), 0700) == 0 || errno == EEXIST)
        return true;
    if (errno != ENOENT)
        return false;
    const qsizetype slash = path.lastIndexOf('/');
    if (slash <= 0 || !makeFolders(path.left(slash)))
        return false;
    return ::mkdir(path.constData(), 0700) == 0 || errno == EEXIST;
}

bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// Written under a name of its own in the same folder and renamed into place, so that no reader
// ever sees half a thumbnail. Any failure (read-only or full disk) leaves nothing behind.
bool store(const QByteArray &folder, const QByteArray &name, const QByteArray &png)
{
    if (png.isEmpty() || !makeFolders(folder))
        return false;
    static std::atomic<quint64> serial{0};
    const QByteArray target = folder + '/' + name;
    const QByteArray temporary = target + '.' + QByteArray::number(qint64(::getpid())) + '.'
                                 + QByteArray::number(serial++) + ".part";
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return false;
    bool ok = ::fchmod(fd, 0600) == 0 && writeAll(fd, png);
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.constData(), target.constData()) == 0;
    if (!ok)
        ::unlink(temporary.constData());
    return ok;
}

Texts textsFor(const QByteArray &uri, const FileFacts &facts, QSize natural)
{
    Texts texts{{kUriKey, uri}, {kMTimeKey, QByteArray::number(facts.mtime)}, {kSizeKey, QByteArray::number(facts.size)}};
    if (!natural.isEmpty()) {
        texts.emplace_back(kWidthKey, QByteArray::number(natural.width()));
        texts.emplace_back(kHeightKey, QByteArray::number(natural.height()));
    }
    return texts;
}

QImage paintReady(QImage image, int box)
{
    const QSize fit = FitThumbnail(image.size(), box);
    if (fit != image.size())
        image = image.scaled(fit, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QImage::Format wanted = image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    if (!image.isNull() && image.format() != wanted)
        image.convertTo(wanted);
    return image;
}

// Failures that stay until the file changes; a file that cannot be read now may be readable
// later without any change to its time.
bool lastingFailure(PictureProblem problem)
{
    return problem == PictureProblem::NotAPicture || problem == PictureProblem::Damaged
           || problem == PictureProblem::TooLarge;
}

} // namespace

int FlavourPixels(ThumbnailFlavour flavour)
{
    return 128 << int(flavour);
}

QByteArray FlavourFolder(ThumbnailFlavour flavour)
{
    switch (flavour) {
    case ThumbnailFlavour::Normal: return "normal";
    case ThumbnailFlavour::Large: return "large";
    case ThumbnailFlavour::XLarge: return "x-large";
    case ThumbnailFlavour::XXLarge: return "xx-large";
    }
    return "normal";
}

ThumbnailFlavour FlavourFor(int box)
{
    for (ThumbnailFlavour f : {ThumbnailFlavour::Normal, ThumbnailFlavour::Large, ThumbnailFlavour::XLarge})
        if (box <= FlavourPixels(f))
            return f;
    return ThumbnailFlavour::XXLarge;
}

QByteArray ThumbnailUri(const QByteArray &absolutePath)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray uri("file://");
    uri.reserve(7 + absolutePath.size() * 3);
    for (const char c : absolutePath) {
        const auto b = uchar(c);
        if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9')
            || (b != 0 && std::strchr("!$&'()*+,-./:=@_~", c))) {
            uri.append(c);
        } else {
            uri.append('%');
            uri.append(hex[b >> 4]);
            uri.append(hex[b & 15]);
        }
    }
    return uri;
}

QByteArray ThumbnailFileName(const QByteArray &uri)
{
    return QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex() + ".png";
}

ThumbnailCache::ThumbnailCache(const QString &root)
    : m_root(root), m_rootBytes(base::EncodePath(QDir::cleanPath(root)))
{
}

QString ThumbnailCache::DefaultRoot()
{
    QByteArray base = qgetenv("XDG_CACHE_HOME");
    if (!base.startsWith('/')) {
        const QByteArray home = qgetenv("HOME");
        base = (home.isEmpty() ? base::EncodePath(QDir::homePath()) : home) + "/.cache";
    }
    base += "/thumbnails";
    return base::DecodeName(base.constData(), size_t(base.size()));
}

QByteArray ThumbnailCache::canonicalRoot() const
{
    const QMutexLocker lock(&m_lock);
    if (m_canonicalRoot.isEmpty()) {
        const QByteArray resolved = realPath(m_rootBytes);
        if (resolved.isEmpty())
            return m_rootBytes; // not made yet: nothing can lie inside it through a link
        m_canonicalRoot = resolved;
    }
    return m_canonicalRoot;
}

ThumbnailCache::Thumbnail ThumbnailCache::Fetch(const QString &path, int box) const
{
    const ThumbnailFlavour flavour = FlavourFor(box);
    const int pixels = FlavourPixels(flavour);
    box = std::clamp(box, 1, pixels);
    const QByteArray bytes = base::EncodePath(path);
    const FileFacts facts = factsOf(bytes);
    const QByteArray canonical = facts.known ? canonicalPath(bytes) : QByteArray();
    const QByteArray root = canonicalRoot();
    const bool insideCache = canonical.size() > root.size() && canonical.startsWith(root) && canonical[root.size()] == '/';
    const bool keep = !canonical.isEmpty() && !insideCache;
    const QByteArray uri = keep ? ThumbnailUri(canonical) : QByteArray();
    const QByteArray name = keep ? ThumbnailFileName(uri) : QByteArray();
    const auto folderOf = [&](ThumbnailFlavour f) { return m_rootBytes + '/' + FlavourFolder(f); };

    if (keep) {
        if (std::optional<Cached> cached = readValid(folderOf(flavour) + '/' + name, uri, facts))
            return {paintReady(std::move(cached->image), box), Source::Cache, PictureProblem::None};
        if (readValid(m_rootBytes + '/' + failFolder() + '/' + name, uri, facts))
            return {QImage(), Source::KnownFailure, PictureProblem::None};
        for (int f = int(flavour) + 1; f <= int(ThumbnailFlavour::XXLarge); ++f) {
            std::optional<Cached> larger = readValid(folderOf(ThumbnailFlavour(f)) + '/' + name, uri, facts);
            if (!larger)
                continue;
            const QImage image = paintReady(std::move(larger->image), pixels);
            store(folderOf(flavour), name, encodePng(image, textsFor(uri, facts, larger->natural)));
            return {paintReady(image, box), Source::Larger, PictureProblem::None};
        }
    }
    ThumbnailPicture made = DecodeThumbnail(path, pixels);
    if (made.image.isNull()) {
        if (keep && lastingFailure(made.problem)) {
            QImage mark(1, 1, QImage::Format_ARGB32);
            mark.fill(Qt::transparent);
            store(m_rootBytes + '/' + failFolder(), name, encodePng(mark, textsFor(uri, facts, {})));
        }
        return {QImage(), Source::Failed, made.problem};
    }
    if (keep)
        store(folderOf(flavour), name, encodePng(made.image, textsFor(uri, facts, made.natural)));
    return {paintReady(std::move(made.image), box), Source::Picture, PictureProblem::None};
}

} // namespace picture
