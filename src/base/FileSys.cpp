#include "base/FileSys.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStorageInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace base {

QString WithSeparator(const QString &path)
{
    return path.endsWith(kSeparator) ? path : path + kSeparator;
}

// Names are UTF-8 bytes to the kernel, but any bytes may stand in a name. A byte that is not part
// of valid UTF-8 becomes the lone surrogate U+DC00 + byte and goes back to the same byte, so that
// such a file can still be listed, scanned and deleted as exactly itself.
QByteArray EncodePath(const QString &path)
{
    const bool escaped = std::any_of(path.begin(), path.end(), [](QChar c) { return c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF; });
    if (!escaped)
        return path.toUtf8();
    QByteArray out;
    out.reserve(path.size() * 2);
    QString run;
    const auto flush = [&] {
        out += run.toUtf8();
        run.clear();
    };
    for (QChar c : path) {
        const ushort u = c.unicode();
        if (u >= 0xDC80 && u <= 0xDCFF) {
            flush();
            out += char(u - 0xDC00);
        } else {
            run += c;
        }
    }
    flush();
    return out;
}

QString DecodeName(const char *bytes, size_t length)
{
    // Every name of every folder listed or scanned comes through here: check, don't re-encode.
    const QByteArrayView raw(bytes, qsizetype(length));
    if (raw.isValidUtf8())
        return QString::fromUtf8(raw);
    // Not valid UTF-8: decode the valid stretches, escape every other byte.
    QString text;
    size_t i = 0;
    while (i < length) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        const size_t len = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
        if (len > 0 && i + len <= length) {
            const QByteArray seq = QByteArray::fromRawData(bytes + i, qsizetype(len));
            const QString decoded = QString::fromUtf8(seq);
            if (decoded.toUtf8() == seq && !decoded.contains(QChar::ReplacementCharacter)) {
                text += decoded;
                i += len;
                continue;
            }
        }
        text += QChar(ushort(0xDC00 + b));
        ++i;
    }
    return text;
}

namespace {

// A path with an embedded NUL would name a different file once it reaches the kernel.
bool usablePath(const QString &path)
{
    return !path.isEmpty() && !path.contains(QChar(0));
}

} // namespace

bool ReadFolder(const QByteArray &path, RawFolder &out, bool withSubFolders, const std::function<bool()> &stop)
{
    out = RawFolder();
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat self {};
    if (::fstat(fd, &self) != 0) {
        ::close(fd);
        return false;
    }
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return false;
    }
    out.device = uint64_t(self.st_dev);
    out.inode = uint64_t(self.st_ino);
    bool stopped = false;
    while (const dirent *e = ::readdir(dir)) {
        if (stop && stop()) {
            stopped = true;
            break;
        }
        const char *name = e->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        unsigned char type = e->d_type;
        bool isLink = false;
        if (type == DT_LNK || type == DT_UNKNOWN) {
            // Only here is the entry's own type not enough: ask for what it points to.
            isLink = type == DT_LNK;
            struct stat st {};
            if (::fstatat(fd, name, &st, 0) != 0)
                continue; // a dangling link is neither a file nor a folder
            type = S_ISREG(st.st_mode) ? DT_REG : S_ISDIR(st.st_mode) ? DT_DIR : DT_UNKNOWN;
        }
        if (type == DT_REG)
            out.files.emplace_back(name);
        else if (type == DT_DIR && withSubFolders && name[0] != '.')
            out.subFolders.push_back({name, isLink});
    }
    ::closedir(dir);
    return !stopped;
}

Folder::Folder(const QString &path)
    : m_path(path)
{
    if (m_path.size() > 1 && m_path.endsWith(kSeparator))
        m_path.chop(1);
    m_listed = usablePath(path) && ReadFolder(EncodePath(path), m_raw);
}

QStringList Folder::Files() const
{
    QStringList names;
    names.reserve(qsizetype(m_raw.files.size()));
    for (const std::string &n : m_raw.files)
        names.append(DecodeName(n.data(), n.size()));
    return names;
}

QList<Folder> Folder::SubFolders() const
{
    QList<Folder> folders;
    const QString base = WithSeparator(m_path);
    for (const RawFolder::SubFolder &s : m_raw.subFolders)
        folders.append(Folder(base + DecodeName(s.name.data(), s.name.size())));
    return folders;
}

bool FileSys::DriveExists(const QString &path) const
{
    if (!usablePath(path) || !QDir::isAbsolutePath(path))
        return false;
#ifdef Q_OS_UNIX
    // "/" is always mounted and holds every absolute path; no need to ask each mount.
    return true;
#else
    return !DriveOf(path).isEmpty();
#endif
}

QString FileSys::DriveOf(const QString &path) const
{
    if (!usablePath(path) || !QDir::isAbsolutePath(path))
        return QString();
    const QString clean = QDir::cleanPath(path);
    QString best;
    for (const Volume &v : Volumes()) {
        const QString root = WithSeparator(v.rootPath);
        if ((clean == v.rootPath || WithSeparator(clean).startsWith(root)) && v.rootPath.size() > best.size())
            best = v.rootPath;
    }
    return best;
}

bool FileSys::FolderExists(const QString &path) const
{
    if (!usablePath(path))
        return false;
    struct stat st {};
    return ::stat(EncodePath(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileSys::FileExists(const QString &path) const
{
    if (!usablePath(path))
        return false;
    struct stat st {};
    return ::stat(EncodePath(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

QString CurrentFolder()
{
#ifdef Q_OS_UNIX
    // Qt's own answer would turn a name that is not UTF-8 into replacement characters.
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE || buffer.size() > (size_t(1) << 20))
            return QDir::currentPath();
        buffer.resize(buffer.size() * 2);
    }
    return DecodeName(buffer.data(), std::strlen(buffer.data()));
#else
    return QDir::currentPath();
#endif
}

Folder FileSys::GetFolder(const QString &path) const
{
    return Folder(path);
}

bool DeleteFile(const QString &path)
{
    if (!usablePath(path))
        return false;
    const QByteArray bytes = EncodePath(path);
    struct stat st {};
    if (::lstat(bytes.constData(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)))
        return false;
    // A read-only file, or a file in a read-only folder, is refused like any failed deletion,
    // whoever asks (the superuser too).
    const auto writable = [](const struct stat &s) { return (s.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0; };
    if (S_ISREG(st.st_mode) && (!writable(st) || ::access(bytes.constData(), W_OK) != 0))
        return false;
    const QByteArray folder = EncodePath(QFileInfo(path).absolutePath());
    struct stat dir {};
    if (::stat(folder.constData(), &dir) != 0 || !writable(dir))
        return false;
    return ::unlink(bytes.constData()) == 0;
}

namespace {

bool isPseudoFileSystem(const QByteArray &type)
{
    static const char *const kinds[] = {
        "proc", "sysfs", "cgroup", "cgroup2", "devpts", "devtmpfs", "debugfs", "tracefs",
        "securityfs", "pstore", "bpf", "configfs", "fusectl", "mqueue", "hugetlbfs", "autofs",
        "binfmt_misc", "efivarfs", "rpc_pipefs", "nsfs", "ramfs", "squashfs",
    };
    return std::any_of(std::begin(kinds), std::end(kinds), [&](const char *k) { return type == k; });
}

// A user's own mounts live below /run too: removable media, and the desktop's network shares.
bool isUserMountUnderRun(const QString &root)
{
    if (root.startsWith(QStringLiteral("/run/media/")))
        return true;
    static const QRegularExpression gvfs(QStringLiteral("^/run/user/[0-9]+/gvfs(/|$)"));
    return gvfs.match(root).hasMatch();
}

bool isSystemArea(const QString &root)
{
    for (const char *area : {"/proc", "/sys", "/dev", "/run", "/snap", "/boot/efi"}) {
        const QString a = QString::fromLatin1(area);
        if (root == a || root.startsWith(a + kSeparator))
            return !isUserMountUnderRun(root);
    }
    return false;
}

QList<MountEntry> systemMountTable()
{
    QList<MountEntry> table;
    for (const QStorageInfo &s : QStorageInfo::mountedVolumes())
        table.append({s.rootPath(), s.fileSystemType(), s.device(), s.name(), s.isRoot(), s.isValid()});
    return table;
}

std::function<QList<MountEntry>()> &mountTable()
{
    static std::function<QList<MountEntry>()> table;
    return table;
}

} // namespace

void SetMountTable(std::function<QList<MountEntry>()> table)
{
    mountTable() = std::move(table);
}

QList<Volume> VolumesOf(const QList<MountEntry> &mounts)
{
    QList<Volume> volumes{{QStringLiteral("/"), QString()}};
    for (const MountEntry &s : mounts) {
        if (s.isRoot || s.rootPath == QLatin1String("/")) {
            volumes.first().name = s.name.isEmpty() || s.name == QLatin1String("/") ? QString() : s.name;
            continue;
        }
        const QString &root = s.rootPath;
        if (!s.isValid || isPseudoFileSystem(s.fileSystemType) || isSystemArea(root))
            continue;
        if (s.fileSystemType == "tmpfs" && !root.startsWith(QStringLiteral("/media")) && !root.startsWith(QStringLiteral("/mnt")))
            continue;
        // The same folder mounted twice (bind mounts) shows once.
        if (std::any_of(volumes.begin(), volumes.end(), [&](const Volume &v) { return v.rootPath == root; }))
            continue;
        volumes.append({root, s.name.isEmpty() ? QString::fromUtf8(s.device) : s.name});
    }
    std::sort(volumes.begin() + 1, volumes.end(), [](const Volume &a, const Volume &b) { return a.rootPath < b.rootPath; });
    return volumes;
}

QList<Volume> FileSys::Volumes() const
{
    return VolumesOf(mountTable() ? mountTable()() : systemMountTable());
}

void ReadFully(int fd, QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    bytes.truncate(done);
}

} // namespace base
