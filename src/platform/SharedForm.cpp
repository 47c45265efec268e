#include "platform/SharedForm.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace platform {

namespace {
int g_loaded = 0;
bool g_endRun = false;
int g_holds = 0;
std::function<void()> g_endAction;
std::vector<FormBase *> g_forms; // the loaded ones
bool g_ended = false;             // the run has been ended, and no window loaded since

void forget(FormBase *form)
{
    g_forms.erase(std::remove(g_forms.begin(), g_forms.end(), form), g_forms.end());
}

void endRunIfNoWindow()
{
    if (!g_endRun || g_holds > 0)
        return;
    // Later, not now: the unload may sit inside a handler that goes on to show the next window.
    QTimer::singleShot(0, qApp, [] {
        if (g_holds > 0 || FormBase::VisibleCount() > 0)
            return;
        // Nothing the user could see or close is left: a hidden window must not keep the process
        // alive for good.
        const std::vector<FormBase *> hidden = g_forms;
        for (FormBase *form : hidden)
            form->Unload();
        if (g_loaded == 0 && g_holds == 0 && !g_ended) {
            g_ended = true;
            if (g_endAction)
                g_endAction();
            else
                QCoreApplication::quit();
        }
    });
}
} // namespace

FormBase::FormBase(QWidget *self)
    : m_self(self)
{
    ++g_loaded;
    g_forms.push_back(this);
    g_ended = false;
}

FormBase::~FormBase()
{
    if (!m_unloaded) {
        --g_loaded;
        forget(this);
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
    forget(this);
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

void FormBase::SetEndRunAction(std::function<void()> action)
{
    g_endAction = std::move(action);
}

bool FormBase::RunHeld()
{
    return g_holds > 0;
}

void FormBase::UnloadAll()
{
    const std::vector<FormBase *> loaded = g_forms; // each unload takes itself off the list
    for (FormBase *form : loaded)
        form->Unload();
}

int FormBase::LoadedCount()
{
    return g_loaded;
}

int FormBase::VisibleCount()
{
    return int(std::count_if(g_forms.begin(), g_forms.end(), [](const FormBase *f) { return f->m_self->isVisible(); }));
}

} // namespace platform
