#include "platform/FileSys.h"

#include "TestUtil.h"

#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

#include <sys/stat.h>
#include <unistd.h>

using platform::FileSys;

class TestFileSys : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void folderExists_data();
    void folderExists();
    void driveExists_data();
    void driveExists();
    void filesAndSubFolders();
    void volumes();
    void namesThatAreNotUtf8_data();
    void namesThatAreNotUtf8();
    void deleteTouchesOnlyThatFile();

private:
    QTemporaryDir m_dir;
    QString m_root;
    FileSys m_fs;
};

void TestFileSys::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_root = platform::WithSeparator(m_dir.path());
    QVERIFY(testutil::writeFile(m_root + "file.jpg"));
    QVERIFY(QDir().mkpath(m_root + "folder"));
    QVERIFY(QFile::link(m_root + "folder", m_root + "folder-link"));
}

void TestFileSys::folderExists_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("exists");
    QTest::newRow("folder") << "folder" << true;
    QTest::newRow("with separator") << "folder/" << true;
    QTest::newRow("link to folder") << "folder-link" << true;
    QTest::newRow("file") << "file.jpg" << false;
    QTest::newRow("missing") << "missing" << false;
    QTest::newRow("root") << "/" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("embedded NUL") << QStringLiteral("folder") + QChar(0) + "x" << false;
}

void TestFileSys::folderExists()
{
    QFETCH(QString, path);
    QFETCH(bool, exists);
    const QString full = path.isEmpty() || path.startsWith(u'/') ? path : m_root + path;
    QCOMPARE(m_fs.FolderExists(full), exists);
}

void TestFileSys::driveExists_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("exists");
    QTest::newRow("root") << "/" << true;
    QTest::newRow("absolute, missing folder") << "/no/such/folder/" << true;
    QTest::newRow("relative") << "pictures/" << false;
    QTest::newRow("quoted") << "\"/tmp\"/" << false;
    QTest::newRow("empty") << "" << false;
}

void TestFileSys::driveExists()
{
    QFETCH(QString, path);
    QFETCH(bool, exists);
    QCOMPARE(m_fs.DriveExists(path), exists);
    QCOMPARE(!m_fs.DriveOf(path).isEmpty(), exists);
}

void TestFileSys::filesAndSubFolders()
{
    QTemporaryDir dir;
    const QString root = platform::WithSeparator(dir.path());
    for (const char *f : {"a.jpg", ".hidden.gif", "sub/inner.bmp", ".dotfolder/x.jpg"})
        QVERIFY(testutil::writeFile(root + QString::fromLatin1(f)));
    QVERIFY(QFile::link(root + "a.jpg", root + "link.jpg"));
    QVERIFY(QFile::link(root + "nowhere", root + "dangling.jpg"));
    QVERIFY(QFile::link(root + "sub", root + "sublink"));
    QVERIFY(::mkfifo(QFile::encodeName(root + "pipe.jpg").constData(), 0644) == 0);

    const platform::Folder f = m_fs.GetFolder(root);
    QVERIFY(f.IsListed());
    QCOMPARE(f.Path(), dir.path());
    QStringList files = f.Files();
    files.sort();
    // A pipe would block whoever opened it as a picture: only regular files (and links to them).
    QCOMPARE(files, (QStringList{".hidden.gif", "a.jpg", "link.jpg"}));
    QCOMPARE(f.FileCount(), 3);
    QStringList subs;
    for (const platform::Folder &s : f.SubFolders())
        subs << s.Path();
    subs.sort();
    QCOMPARE(subs, (QStringList{root + "sub", root + "sublink"}));

    QVERIFY(!m_fs.GetFolder(root + "missing").IsListed());
    QCOMPARE(m_fs.GetFolder(root + "missing").Files(), QStringList());
    QCOMPARE(m_fs.GetFolder(QStringLiteral("/")).Path(), QStringLiteral("/"));
}

void TestFileSys::volumes()
{
    const QList<platform::Volume> volumes = m_fs.Volumes();
    QVERIFY(!volumes.isEmpty());
    QCOMPARE(volumes.first().rootPath, QStringLiteral("/"));
    for (const platform::Volume &v : volumes) {
        for (const char *pseudo : {"/proc", "/sys", "/dev"})
            QVERIFY2(!v.rootPath.startsWith(QString::fromLatin1(pseudo)), qPrintable(v.rootPath));
    }
    QVERIFY(m_root.startsWith(platform::WithSeparator(m_fs.DriveOf(m_root))));
}

void TestFileSys::namesThatAreNotUtf8_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("escaped");
    QTest::newRow("plain") << QByteArray("plain.jpg") << false;
    QTest::newRow("UTF-8") << QByteArray("K\xc3\xb6ln \xe2\x82\xac.jpg") << false;
    QTest::newRow("Latin-1 byte") << QByteArray("K\xf6" "ln.jpg") << true;
    QTest::newRow("lone continuation bytes") << QByteArray("\x80\xbf.gif") << true;
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
    const QString text = platform::DecodeName(name.constData(), size_t(name.size()));
    QCOMPARE(platform::EncodePath(text), name);
    QCOMPARE(text.toUtf8() != name, escaped);

    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.path()) + "/" + name;
    QVERIFY(testutil::writeFile(QString::fromUtf8(QFile::encodeName(dir.path())) + "/placeholder"));
    FILE *raw = std::fopen(path.constData(), "w");
    QVERIFY(raw);
    std::fclose(raw);
    const QStringList files = m_fs.GetFolder(dir.path()).Files();
    QVERIFY(files.contains(text));
    QVERIFY(platform::DeleteFile(platform::WithSeparator(dir.path()) + text));
    QVERIFY(::access(path.constData(), F_OK) != 0);
    QVERIFY(QFile::exists(dir.path() + "/placeholder"));
}

void TestFileSys::deleteTouchesOnlyThatFile()
{
    QTemporaryDir dir;
    const QString root = platform::WithSeparator(dir.path());
    QVERIFY(testutil::writeFile(root + "target.jpg"));
    QVERIFY(testutil::writeFile(root + "other.jpg"));
    QVERIFY(QDir().mkpath(root + "folder.jpg"));
    QVERIFY(QFile::link(root + "other.jpg", root + "link.jpg"));
    QVERIFY(!platform::DeleteFile(root + "folder.jpg")); // not a file
    QVERIFY(!platform::DeleteFile(root + "missing.jpg"));
    QVERIFY(!platform::DeleteFile(QString()));
    QVERIFY(platform::DeleteFile(root + "link.jpg"));   // the link goes, not what it points to
    QVERIFY(QFile::exists(root + "other.jpg"));
    QVERIFY(platform::DeleteFile(root + "target.jpg"));
    QStringList left = QDir(root).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
    QCOMPARE(left, (QStringList{"folder.jpg", "other.jpg"}));
}

QTEST_GUILESS_MAIN(TestFileSys)
#include "tst_filesys.moc"
