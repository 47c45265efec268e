// The program under bad folders, odd names, deep and large trees and broken settings: it keeps
// working, shows what it can, and deletes nothing but the chosen file.

#include "app/Main.h"
#include "app/Settings.h"
#include "app/SettingsRules.h"
#include "app/basSlides.h"
#include "browser/frmFiles.h"
#include "display/frmSlide.h"
#include "display/frmSlides.h"
#include "platform/Screen.h"

#include "GuiTestUtil.h"
#include "TestUtil.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <memory>

#include <sys/wait.h>
#include <unistd.h>

using guitest::entries;
using guitest::flushDeletes;
using guitest::writePicture;
using platform::SharedForm;

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void pictureDeletedBeforeItsTurn();
    void linkLoopUnderTheShowFolder();
    void oddNames();
    void nameThatIsNotUtf8();
    void deepTree();
    void hundredThousandFiles();
    void garbageInEverySetting();
    void settingsFileIsAFolder();
    void settingsWrittenByTwoProgramsAtOnce();

private:
    frmFiles &start(const QString &folder);
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_root;
    QTemporaryDir m_config;
};

void TestFaults::initTestCase()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_config.path());
}

void TestFaults::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_root = platform::WithSeparator(m_dir->path());
    QDir(m_config.path()).removeRecursively();
    QDir().mkpath(m_config.path());
}

void TestFaults::cleanup()
{
    SharedForm<frmSlides>::Unload();
    SharedForm<frmSlide>::Unload();
    SharedForm<frmFiles>::Unload();
    flushDeletes();
    platform::SetScreenPointer(platform::vbDefault);
    QCOMPARE(platform::FormBase::LoadedCount(), 0);
}

frmFiles &TestFaults::start(const QString &folder)
{
    basSlides::Main(folder);
    return SharedForm<frmFiles>::Get();
}

void TestFaults::pictureDeletedBeforeItsTurn()
{
    for (const char *f : {"A.bmp", "B.bmp", "C.bmp"})
        QVERIFY(writePicture(m_root + QString::fromLatin1(f)));
    frmFiles &browser = start(m_dir->path());
    browser.mnuSlideS->trigger();
    frmSlides &show = SharedForm<frmSlides>::Get();
    QCOMPARE(show.Ahead().Pending(), m_root + "B.bmp"); // already being decoded ahead
    QVERIFY(QFile::remove(m_root + "B.bmp"));
    QTest::keyRelease(&show, Qt::Key_Space);
    QCOMPARE(basSlides::PictureCount, 2); // dropped at its turn, decoded or not
    QCOMPARE(show.picSlide.Tag, m_root + "C.bmp");
}

void TestFaults::linkLoopUnderTheShowFolder()
{
    QVERIFY(writePicture(m_root + "a.bmp"));
    QVERIFY(writePicture(m_root + "sub/b.bmp"));
    QVERIFY(QFile::link(m_dir->path(), m_root + "sub/loop"));
    QVERIFY(QFile::link(m_root + "sub", m_root + "again"));
    frmFiles &browser = start(m_dir->path());
    browser.mnuSubShow->trigger();
    QElapsedTimer t;
    t.start();
    browser.mnuRandom->trigger();
    QVERIFY(t.elapsed() < 5000);
    QCOMPARE(basSlides::PictureCount, 2);
}

void TestFaults::oddNames()
{
    const QStringList names{"with space.bmp", "quote\"s'.bmp", "hash#1.bmp", "100%.bmp", "new\nline.bmp",
                            "back\\slash.bmp", "-dash.bmp", "*.bmp"};
    for (const QString &n : names)
        QVERIFY2(writePicture(m_root + n), qPrintable(n));
    QVERIFY(testutil::writeFile(m_root + "keep.txt"));
    frmFiles &browser = start(m_dir->path());
    QCOMPARE(browser.lstFiles->ListCount(), names.size());
    for (int i = 0; i < browser.lstFiles->ListCount(); ++i) {
        browser.lstFiles->SetListIndex(i);
        frmSlide &viewer = SharedForm<frmSlide>::Get();
        QCOMPARE(viewer.windowTitle(), m_root + browser.lstFiles->List(i));
        QVERIFY2(viewer.imgSlide->isVisible(), qPrintable(browser.lstFiles->List(i))); // loaded
    }
    // Deleting every one of them, one at a time, takes exactly those files.
    while (browser.lstFiles->ListCount() > 0) {
        browser.lstFiles->SetListIndex(0);
        browser.mnuDelete->trigger();
    }
    QCOMPARE(QDir(m_root).entryList(QDir::Files | QDir::Hidden), QStringList{"keep.txt"});
}

void TestFaults::nameThatIsNotUtf8()
{
    const QByteArray root = QFile::encodeName(m_dir->path());
    QVERIFY(writePicture(root + "/bad\xff\xfe.bmp"));
    QVERIFY(writePicture(root + "/bad\xef\xbf\xbd\xef\xbf\xbd.bmp")); // what a lossy decoding would name it
    QVERIFY(writePicture(root + "/good.bmp"));
    frmFiles &browser = start(m_dir->path());
    QCOMPARE(browser.lstFiles->ListCount(), 3);
    int odd = -1;
    for (int i = 0; i < 3; ++i)
        if (platform::EncodePath(browser.lstFiles->List(i)).endsWith("\xff\xfe.bmp"))
            odd = i;
    QVERIFY(odd >= 0);
    browser.lstFiles->SetListIndex(odd);
    QVERIFY(SharedForm<frmSlide>::Get().imgSlide->isVisible()); // shown like any other
    browser.mnuDelete->trigger();
    QVERIFY(::access((root + "/bad\xff\xfe.bmp").constData(), F_OK) != 0);
    QVERIFY(::access((root + "/bad\xef\xbf\xbd\xef\xbf\xbd.bmp").constData(), F_OK) == 0);
    QVERIFY(::access((root + "/good.bmp").constData(), F_OK) == 0);
    QCOMPARE(browser.lstFiles->ListCount(), 2);
}

void TestFaults::deepTree()
{
    QString folder = m_dir->path();
    for (int level = 0; level < 30; ++level) {
        folder += QStringLiteral("/level%1").arg(level);
        QVERIFY(writePicture(folder + QStringLiteral("/p%1.bmp").arg(level)));
    }
    frmFiles &browser = start(m_dir->path());
    browser.mnuSubShow->trigger();
    browser.mnuSlideS->trigger();
    QCOMPARE(basSlides::PictureCount, 30);
    SharedForm<frmSlides>::Unload();
    flushDeletes();
    frmFiles &again = start(folder);
    QCOMPARE(again.dirFiles->Path(), folder);
    QCOMPARE(again.lstFiles->ListCount(), 1);
}

void TestFaults::hundredThousandFiles()
{
    const QByteArray root = QFile::encodeName(m_dir->path());
    for (int i = 0; i < 100000; ++i) {
        FILE *f = std::fopen((root + "/f" + QByteArray::number(i) + (i % 2 ? ".jpg" : ".txt")).constData(), "w");
        QVERIFY(f);
        std::fclose(f);
    }
    QElapsedTimer t;
    t.start();
    frmFiles &browser = start(m_dir->path());
    QCoreApplication::processEvents();
    QCOMPARE(browser.lstFiles->ListCount(), 50000);
    browser.mnuShowAll->trigger();
    QCoreApplication::processEvents();
    QCOMPARE(browser.lstFiles->ListCount(), 100000);
    QVERIFY2(t.elapsed() < 20000, qPrintable(QString::number(t.elapsed())));
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestFaults::garbageInEverySetting()
{
    for (const QString &key : {settings::kPathName, settings::kWindowPosition, settings::kIncludeSubDirs, settings::kTimeDelay})
        settings::Save(key, QStringLiteral("\x01garbage,,-\xff\"=[x]"));
    QVERIFY(writePicture(m_root + "a.bmp"));
    basSlides::Main(QString()); // the saved folder is garbage: a folder that is not there
    frmFiles &browser = SharedForm<frmFiles>::Get();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QVERIFY(screen.contains(browser.frameGeometry().topLeft()));
    QVERIFY(!browser.mnuSubShow->isChecked());
    QCOMPARE(browser.lstFiles->ListCount(), 0);
    browser.dirFiles->SetPath(m_dir->path());
    browser.mnuSlideS->trigger();
    QCOMPARE(int(SharedForm<frmSlides>::Get().TimeDelay), 0); // no number: no automatic change
}

void TestFaults::settingsFileIsAFolder()
{
    QVERIFY(QDir().mkpath(m_config.path() + "/Quorvel/Quorvel.conf"));
    QVERIFY(writePicture(m_root + "a.bmp"));
    frmFiles &browser = start(m_dir->path());
    QCOMPARE(browser.lstFiles->ListCount(), 1);
    browser.mnuExit->trigger(); // saving fails quietly
    flushDeletes();
    QVERIFY(QFileInfo(m_config.path() + "/Quorvel/Quorvel.conf").isDir());
}

void TestFaults::settingsWrittenByTwoProgramsAtOnce()
{
    settings::Save(settings::kTimeDelay, QStringLiteral("5"));
    const pid_t child = ::fork();
    if (child == 0) {
        for (int i = 0; i < 200; ++i)
            settings::Save(settings::kTimeDelay, QString::number(2 + i % 9));
        settings::Save(settings::kTimeDelay, QStringLiteral("7"));
        ::_exit(0);
    }
    for (int i = 0; i < 200; ++i)
        settings::Save(settings::kWindowPosition, QStringLiteral("%1,2,3,4").arg(i));
    int status = 0;
    ::waitpid(child, &status, 0);
    QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    // Read afresh from the file, as the next run would.
    QSettings file(m_config.path() + "/Quorvel/Quorvel.conf", QSettings::IniFormat);
    QCOMPARE(file.status(), QSettings::NoError);
    QCOMPARE(file.value("Settings/TimeDelay").toString(), QStringLiteral("7"));
    const QVariant position = file.value("Settings/WindowPosition");
    QCOMPARE(position.toString(), QStringLiteral("199,2,3,4"));
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
