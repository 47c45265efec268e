#include "platform/SharedForm.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QTimer>

namespace platform {

namespace {
int g_loaded = 0;
bool g_endRun = false;
int g_holds = 0;

void endRunIfNoWindow()
{
    if (!g_endRun || g_loaded > 0 || g_holds > 0)
        return;
    // Later, not now: the last unload may sit inside a handler that goes on for a moment.
    QTimer::singleShot(0, qApp, [] {
        if (g_loaded == 0 && g_holds == 0)
            QCoreApplication::quit();
    });
}
} // namespace

FormBase::FormBase(QWidget *self)
    : m_self(self)
{
    ++g_loaded;
}

FormBase::~FormBase()
{
    if (!m_unloaded) {
        --g_loaded;
        if (m_detach)
            m_detach();
    }
}

void FormBase::Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    // Form_Unload still reads this window's own state; only afterwards does a reference to the
    // window make a fresh one.
    Form_Unload();
    if (m_detach)
        m_detach();
    --g_loaded;
    m_self->hide();
    // Later, not now: the unload may run inside one of this window's own handlers.
    m_self->deleteLater();
    endRunIfNoWindow();
}

void FormBase::HandleClose(QCloseEvent *event)
{
    event->ignore(); // the window goes through Unload, never through Qt's own close
    if (m_unloaded)
        return;
    bool cancel = false;
    Form_QueryUnload(cancel, 0);
    if (!cancel)
        Unload();
}

void FormBase::SetEndRunWhenNoWindow(bool on)
{
    g_endRun = on;
}

FormBase::HoldRun::HoldRun()
{
    ++g_holds;
}

FormBase::HoldRun::~HoldRun()
{
    --g_holds;
    endRunIfNoWindow();
}

int FormBase::LoadedCount()
{
    return g_loaded;
}

} // namespace platform
