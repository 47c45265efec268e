#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace base {

// Folder paths end in this separator wherever the program speaks of "a folder path".
inline constexpr QChar kSeparator = u'/';

// Reads from the open file `fd` until `bytes` is full or the file ends (it may have shrunk
// meanwhile), going on after interruptions; `bytes` is cut to what was read.
void ReadFully(int fd, QByteArray &bytes);

// Appends the separator unless the text already ends in it.
QString WithSeparator(const QString &path);

struct Volume
{
    QString rootPath; // "/" or a mount point, without a trailing separator except "/"
    QString name;     // the volume's label or device, for the drive list
};

// One line of the system's mount table.
struct MountEntry
{
    QString rootPath;
    QByteArray fileSystemType;
    QByteArray device;
    QString name;       // the volume's label, if any
    bool isRoot = false;
    bool isValid = true;
};

// The volumes a user would recognise among the mounts: "/" first, then the others in path order.
// Kernel pseudo file systems and system areas are left out; removable media under /run/media and
// the desktop's network mounts under /run/user/<uid>/gvfs are kept.
QList<Volume> VolumesOf(const QList<MountEntry> &mounts);

// Where the mount table comes from (the system's, by default); a test may put in its own, and an
// empty function restores the system's.
void SetMountTable(std::function<QList<MountEntry>()> table);

// One pass over a directory, in the kernel's bytes. Files are entries that are regular files,
// or links to them; sub-folders are folders or links to folders whose names do not start with
// "." (hidden folders are left out of lists and scans).
struct RawFolder
{
    struct SubFolder
    {
        std::string name;
        bool isLink = false;
    };
    uint64_t device = 0;
    uint64_t inode = 0;
    std::vector<std::string> files;
    std::vector<SubFolder> subFolders;
};

// False when the folder cannot be opened or listed; `out` is then empty. `stop`, when given, is
// asked before each entry: a folder of very many entries, or one on a slow share, gives up
// within one entry (false, `out` holding what was read).
bool ReadFolder(const QByteArray &path, RawFolder &out, bool withSubFolders = true,
                const std::function<bool()> &stop = {});

class Folder
{
public:
    Folder() = default;
    explicit Folder(const QString &path);

    QString Path() const { return m_path; } // full path, no trailing separator except the root
    QStringList Files() const;              // each file's Name, in the directory's order
    qsizetype FileCount() const { return qsizetype(m_raw.files.size()); }
    QList<Folder> SubFolders() const;       // each one's Path
    bool IsListed() const { return m_listed; }

private:
    QString m_path;
    RawFolder m_raw;
    bool m_listed = false;
};

// What the program asks about drives, folders and files. Every question answers for any text.
class FileSys
{
public:
    // True when the path is absolute and a mounted volume holds it.
    bool DriveExists(const QString &path) const;
    // The root of the volume that holds the path (longest mounted prefix), or "" when none.
    QString DriveOf(const QString &path) const;
    bool FolderExists(const QString &path) const;
    bool FileExists(const QString &path) const; // a file, or a link to one
    Folder GetFolder(const QString &path) const;
    // VolumesOf the mount table.
    QList<Volume> Volumes() const;
};

// Removes the file for good. False, with nothing changed, when it cannot be removed: it is gone,
// it is not a plain file, it is read-only (no write permission bit, even for the superuser), or
// its folder cannot be written.
bool DeleteFile(const QString &path);

// The working folder, in the file system's bytes (DecodeName).
QString CurrentFolder();

// Conversions between the program's paths and the file system's bytes.
QByteArray EncodePath(const QString &path);
QString DecodeName(const char *bytes, size_t length);

} // namespace base
