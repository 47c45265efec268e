#include "base/FileSys.h"

#include "TestUtil.h"

#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <fcntl.h>

Q_DECLARE_METATYPE(base::MountEntry)

class TestFileSys : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void folderAndDriveExist_data();
    void folderAndDriveExist();
    void filesAndSubFolders();
    void volumes();
    void volumesOfMountTable_data();
    void volumesOfMountTable();
    void namesThatAreNotUtf8_data();
    void namesThatAreNotUtf8();
    void deleteTouchesOnlyThatFile();
    void readOnlyIsNeverDeleted_data();
    void readOnlyIsNeverDeleted();

private:
    QTemporaryDir m_dir;
    QString m_root;
    base::FileSys m_fs;
};

void TestFileSys::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_root = base::WithSeparator(m_dir.path());
    QVERIFY(testutil::writeFile(m_root + "file.jpg"));
    QVERIFY(QDir().mkpath(m_root + "folder"));
    QVERIFY(QFile::link(m_root + "folder", m_root + "folder-link"));
}

void TestFileSys::folderAndDriveExist_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("folder");
    QTest::addColumn<bool>("drive");
    QTest::newRow("folder") << m_root + "folder/" << true << true;
    QTest::newRow("link to folder") << m_root + "folder-link" << true << true;
    QTest::newRow("file") << m_root + "file.jpg" << false << true;
    QTest::newRow("embedded NUL") << m_root + "folder" + QChar(0) + "x" << false << false;
    QTest::newRow("relative") << "pictures/" << false << false;
    QTest::newRow("empty") << "" << false << false;
}

void TestFileSys::folderAndDriveExist()
{
    QFETCH(QString, path);
    QFETCH(bool, folder);
    QFETCH(bool, drive);
    QCOMPARE(m_fs.FolderExists(path), folder);
    QCOMPARE(m_fs.DriveExists(path), drive);
}

void TestFileSys::filesAndSubFolders()
{
    // Beside the file, folder and link that initTestCase made.
    for (const char *f : {"a.jpg", ".hidden.gif", "sub/inner.bmp", ".dotfolder/x.jpg"})
        QVERIFY(testutil::writeFile(m_root + QString::fromLatin1(f)));
    QVERIFY(QFile::link(m_root + "a.jpg", m_root + "link.jpg"));
    QVERIFY(QFile::link(QStringLiteral("/dev/null"), m_root + "device.jpg"));
    QVERIFY(QFile::link(m_root + "sub", m_root + "sublink"));
    QVERIFY(::mkfifo(QFile::encodeName(m_root + "pipe.jpg").constData(), 0644) == 0);

    const base::Folder f = m_fs.GetFolder(m_root);
    QStringList files = f.Files();
    files.sort();
    // A pipe or device would block or never end for whoever opened it as a picture: only
    // regular files (and links to them).
    QCOMPARE(files, (QStringList{".hidden.gif", "a.jpg", "file.jpg", "link.jpg"}));
    QStringList subs;
    for (const base::Folder &s : f.SubFolders())
        subs << s.Path();
    subs.sort();
    // No hidden folder.
    QCOMPARE(subs, (QStringList{m_root + "folder", m_root + "folder-link", m_root + "sub", m_root + "sublink"}));
    QVERIFY(!m_fs.GetFolder(m_root + "missing").IsListed());
}

void TestFileSys::volumes()
{
    const QList<base::Volume> volumes = m_fs.Volumes();
    QCOMPARE(volumes.value(0).rootPath, QStringLiteral("/"));
    for (const base::Volume &v : volumes)
        for (const char *pseudo : {"/proc", "/sys", "/dev"})
            QVERIFY2(!v.rootPath.startsWith(QString::fromLatin1(pseudo)), qPrintable(v.rootPath));
    QVERIFY(m_root.startsWith(base::WithSeparator(m_fs.DriveOf(m_root))));
}

void TestFileSys::volumesOfMountTable_data()
{
    using base::MountEntry;
    QTest::addColumn<MountEntry>("mount");
    QTest::addColumn<QString>("listedAs"); // "" when left out
    const auto m = [](const char *root, const char *type, const char *device = "/dev/sdb1", const char *name = "") {
        return MountEntry{QString::fromUtf8(root), type, device, QString::fromUtf8(name), false, true};
    };
    QTest::newRow("removable medium") << m("/run/media/ann/USB", "vfat", "/dev/sdb1", "USB") << "/run/media/ann/USB|USB";
    QTest::newRow("network share") << m("/run/user/1000/gvfs", "fuse.gvfsd-fuse", "gvfsd-fuse") << "/run/user/1000/gvfs|gvfsd-fuse";
    QTest::newRow("mount below a share") << m("/run/user/1000/gvfs/smb", "fuse.x") << "/run/user/1000/gvfs/smb|/dev/sdb1";
    QTest::newRow("user's runtime folder") << m("/run/user/1000", "tmpfs", "tmpfs") << "";
    QTest::newRow("not a share folder") << m("/run/user/1000/gvfsx", "fuse.x") << "";
    QTest::newRow("system area under /run") << m("/run/lock", "ext4") << "";
    QTest::newRow("disk in /mnt") << m("/mnt/data", "ext4") << "/mnt/data|/dev/sdb1";
    QTest::newRow("memory disk in /media") << m("/media/ram", "tmpfs", "tmpfs") << "/media/ram|tmpfs";
    QTest::newRow("memory disk elsewhere") << m("/tmp", "tmpfs", "tmpfs") << "";
    QTest::newRow("kernel file system") << m("/home/proc", "proc", "proc") << "";
    QTest::newRow("invalid") << MountEntry{"/mnt/gone", "ext4", "/dev/sdc", "", false, false} << "";
}

void TestFileSys::volumesOfMountTable()
{
    QFETCH(base::MountEntry, mount);
    QFETCH(QString, listedAs);
    const base::MountEntry root{"/", "ext4", "/dev/sda1", "", true, true};
    const QList<base::Volume> volumes = base::VolumesOf({root, mount, mount}); // bind-mounted twice
    QCOMPARE(volumes.value(0).rootPath, QStringLiteral("/"));
    QStringList listed;
    for (const base::Volume &v : volumes.mid(1))
        listed << v.rootPath + u'|' + v.name;
    QCOMPARE(listed, listedAs.isEmpty() ? QStringList() : QStringList{listedAs});

    // The drive of a path follows the injected table.
    base::SetMountTable([&] { return QList<base::MountEntry>{root, mount}; });
    const QString drive = m_fs.DriveOf(mount.rootPath + "/a/b");
    base::SetMountTable({});
    QCOMPARE(drive, listedAs.isEmpty() ? QStringLiteral("/") : mount.rootPath);
}

void TestFileSys::namesThatAreNotUtf8_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("escaped");
    QTest::newRow("UTF-8") << QByteArray("K\xc3\xb6ln \xe2\x82\xac.jpg") << false;
    QTest::newRow("Latin-1 byte") << QByteArray("K\xf6" "ln.jpg") << true;
    QTest::newRow("overlong slash") << QByteArray("a\xc0\xaf" "b.bmp") << true;
    QTest::newRow("encoded surrogate") << QByteArray("s\xed\xa0\x80.jpg") << true;
    QTest::newRow("cut sequence at the end") << QByteArray("cut.jpg\xe2\x82") << true;
    QTest::newRow("replacement character itself") << QByteArray("r\xef\xbf\xbd.jpg") << false;
}

void TestFileSys::namesThatAreNotUtf8()
{
    QFETCH(QByteArray, name);
    QFETCH(bool, escaped);
    // Every name comes back to exactly its own bytes, so the file it names is the file touched.
    const QString text = base::DecodeName(name.constData(), size_t(name.size()));
    QCOMPARE(base::EncodePath(text), name);
    QCOMPARE(text.toUtf8() != name, escaped);

    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.path()) + "/" + name;
    QVERIFY(::close(::creat(path.constData(), 0600)) == 0);
    QVERIFY(m_fs.GetFolder(dir.path()).Files().contains(text));
    QVERIFY(base::DeleteFile(base::WithSeparator(dir.path()) + text));
    QVERIFY(::access(path.constData(), F_OK) != 0);
}

void TestFileSys::deleteTouchesOnlyThatFile()
{
    QTemporaryDir dir;
    const QString root = base::WithSeparator(dir.path());
    for (const char *f : {"target.jpg", "other.jpg", "folder.jpg/inside"})
        QVERIFY(testutil::writeFile(root + QString::fromLatin1(f)));
    QVERIFY(QFile::link(root + "other.jpg", root + "link.jpg"));
    QVERIFY(!base::DeleteFile(root + "folder.jpg")); // not a file
    QVERIFY(!base::DeleteFile(root + "missing.jpg"));
    QVERIFY(!base::DeleteFile(QString()));
    QVERIFY(base::DeleteFile(root + "link.jpg"));   // the link goes, not what it points to
    QVERIFY(base::DeleteFile(root + "target.jpg"));
    QCOMPARE(QDir(root).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name),
             (QStringList{"folder.jpg", "other.jpg"}));
}

void TestFileSys::readOnlyIsNeverDeleted_data()
{
    // Whoever runs the program (the superuser too): a file without write permission, or in a
    // folder without it, is refused like any failed deletion.
    QTest::addColumn<int>("fileMode");
    QTest::addColumn<int>("folderMode");
    QTest::addColumn<bool>("deleted");
    QTest::newRow("writable") << 0644 << 0755 << true;
    QTest::newRow("owner may write only") << 0200 << 0755 << true;
    QTest::newRow("read-only file") << 0444 << 0755 << false;
    QTest::newRow("no permission at all") << 0000 << 0755 << false;
    QTest::newRow("read-only folder") << 0644 << 0555 << false;
}

void TestFileSys::readOnlyIsNeverDeleted()
{
    QFETCH(int, fileMode);
    QFETCH(int, folderMode);
    QFETCH(bool, deleted);
    QTemporaryDir dir;
    const QString folder = dir.filePath("f");
    const QString path = folder + "/b.bmp";
    QVERIFY(testutil::writeFile(path));
    QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(fileMode)) == 0);
    QVERIFY(::chmod(QFile::encodeName(folder).constData(), mode_t(folderMode)) == 0);
    QCOMPARE(base::DeleteFile(path), deleted);
    QCOMPARE(QFileInfo::exists(path), !deleted);
    ::chmod(QFile::encodeName(folder).constData(), 0755); // so that the folder can go
}

QTEST_GUILESS_MAIN(TestFileSys)
#include "tst_filesys.moc"
