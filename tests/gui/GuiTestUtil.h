#pragma once

// What the window tests share: a fresh folder and settings file per test, real pictures on
// disk, starting the program, and letting every window go afterwards.

#include "app/Main.h"
#include "app/Settings.h"
#include "app/SettingsRules.h"
#include "app/basSlides.h"
#include "browser/frmFiles.h"
#include "dialogs/frmMsgBox.h"
#include "dialogs/frmSplash.h"
#include "display/frmSlide.h"
#include "display/frmSlides.h"
#include "forms/ProgramIcon.h"
#include "platform/Screen.h"

#include <QApplication>

#include "TestUtil.h"

#include <QImage>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace guitest {

using platform::SharedForm;

// Windows unloaded by code are destroyed later; this is "later".
inline void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// A plain picture, JPEG for .jpg names, else BMP; the path may hold any bytes (EncodePath).
inline bool writePicture(const QString &path, int w = 60, int h = 40, QColor color = Qt::darkCyan)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(color);
    QDir().mkpath(QFileInfo(path).absolutePath());
    FILE *raw = std::fopen(base::EncodePath(path).constData(), "wb");
    QFile f;
    if (!raw || !f.open(raw, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle))
        return false;
    return image.save(&f, QFileInfo(path).suffix().toLower() == QLatin1String("jpg") ? "JPEG" : "BMP");
}

// The same for a path given as the file system's bytes (names that are not UTF-8).
inline bool writePicture(const QByteArray &b) { return writePicture(base::DecodeName(b.constData(), size_t(b.size()))); }

inline QStringList entries(const platform::FileList *l)
{
    QStringList out;
    for (int i = 0; i < l->ListCount(); ++i)
        out << l->List(i);
    return out;
}

// The program as started with this command line; the browser it shows.
inline frmFiles &start(const QString &commandLine)
{
    basSlides::Main(commandLine);
    frmFiles &browser = SharedForm<frmFiles>::Get();
    if (!QTest::qWaitForWindowExposed(&browser))
        qWarning("browser not exposed");
    return browser;
}

// Base of the test classes: m_root is an empty folder (with the separator) and there is no
// settings file when a test starts; no window may be left when it ends.
class Fixture
{
protected:
    Fixture()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_config.path());
        platform::FormBase::SetEndRunWhenNoWindow(true);
        QApplication::setWindowIcon(forms::ProgramIcon()); // as the program has it
        platform::FormBase::SetEndRunAction([this] { ++m_runsEnded; });
    }
    ~Fixture() { platform::FormBase::SetEndRunAction({}); }
    void freshStart()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_root = base::WithSeparator(m_dir->path());
        QDir(m_config.path()).removeRecursively(); // the settings "file" may be a folder
        QDir().mkpath(m_config.path());
        basSlides::InitSharedState();
    }
    // Ends the run as the user would: Esc ends a show, then the close box of every window still
    // up. Whatever the test did, a loaded window is a visible one (a hidden one would keep the
    // process alive with nothing to close), and closing the last one ends the run.
    void endTheRunLikeAUser()
    {
        flushDeletes();
        QCoreApplication::processEvents();
        flushDeletes();
        QVERIFY2(platform::FormBase::LoadedCount() == 0 || platform::FormBase::VisibleCount() > 0,
                 "windows are loaded, but none is visible");
        m_runsEnded = 0;
        const int loaded = platform::FormBase::LoadedCount();
        if (frmSlides *show = SharedForm<frmSlides>::IfLoaded(); show && show->isVisible())
            QTest::keyClick(show, Qt::Key_Escape);
        flushDeletes();
        for (QWidget *w : std::initializer_list<QWidget *>{SharedForm<frmFiles>::IfLoaded(), SharedForm<frmSlide>::IfLoaded()})
            if (w && w->isVisible())
                w->close();
        if (loaded > 0)
            QTRY_COMPARE(m_runsEnded, 1);
        flushDeletes();
        QCOMPARE(platform::FormBase::LoadedCount(), 0);
    }
    // What a failed test may leave behind goes, so that the next test starts clean.
    static void unloadAll()
    {
        SharedForm<frmSlides>::Unload();
        SharedForm<frmSlide>::Unload();
        SharedForm<frmFiles>::Unload();
        SharedForm<frmSplash>::Unload();
        SharedForm<frmMsgBox>::Unload();
        flushDeletes();
        platform::SetScreenPointer(platform::vbDefault);
    }
    void cleanupRun()
    {
        endTheRunLikeAUser();
        if (QTest::currentTestFailed())
            unloadAll();
        platform::SetScreenPointer(platform::vbDefault); // the run is over: no pointer carries on
    }
    QString settingsFile() const { return m_config.path() + "/Quorvel/Quorvel.conf"; }

    QTemporaryDir m_config;
    int m_runsEnded = 0;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_root;
};

} // namespace guitest

