#pragma once

#include <QWidget>

#include <functional>

class QCloseEvent;

namespace platform {

// What every window of the program has: loaded on first use (Form_Load), unloaded by code or by
// the user's close (Form_QueryUnload may refuse the user's close; Form_Unload runs, then the
// window is destroyed), and made afresh from its design on the next use.
class FormBase
{
public:
    explicit FormBase(QWidget *self);
    virtual ~FormBase();

    virtual void Form_Load() {}
    // unloadMode 0: the user closes the window (close box, Alt+F4); 1: code unloads it.
    virtual void Form_QueryUnload(bool &cancel, int unloadMode) { Q_UNUSED(cancel); Q_UNUSED(unloadMode); }
    virtual void Form_Unload() {}

    // Unloads the window by code: Form_Unload runs, the window goes and is destroyed later.
    void Unload();
    bool IsUnloaded() const { return m_unloaded; }

    // For the window's closeEvent: asks Form_QueryUnload and unloads, or refuses the close.
    void HandleClose(QCloseEvent *event);

    // The run ends when, after an unload, no window of the program is visible: the windows still
    // loaded but hidden (a show that never started, a hidden viewer) are unloaded, and the run
    // ends (QCoreApplication::quit, or the action given; tests count the ends).
    static void SetEndRunWhenNoWindow(bool on);
    static void SetEndRunAction(std::function<void()> action);
    static int LoadedCount();
    static int VisibleCount();
    // Unloads every loaded window, hidden ones included.
    static void UnloadAll();

    // While one is alive, the run goes on even when no window is loaded (a hand-over from one
    // window to the next that lets events run in between).
    class HoldRun
    {
    public:
        HoldRun();
        ~HoldRun();
        HoldRun(const HoldRun &) = delete;
        HoldRun &operator=(const HoldRun &) = delete;
    };
    static bool RunHeld();

protected:
    QWidget *formWidget() const { return m_self; }

private:
    template <class T>
    friend class SharedForm;
    QWidget *m_self;
    std::function<void()> m_detach;
    bool m_unloaded = false;
};

// The one shared instance of window class T.
template <class T>
class SharedForm
{
public:
    static T &Get()
    {
        if (!s_instance) {
            s_instance = new T;
            s_instance->m_detach = [] { s_instance = nullptr; };
            s_instance->Form_Load();
        }
        return *s_instance;
    }
    static bool IsLoaded() { return s_instance != nullptr; }
    static T *IfLoaded() { return s_instance; }
    static void Unload()
    {
        if (s_instance)
            s_instance->Unload();
    }

private:
    static inline T *s_instance = nullptr;
};

} // namespace platform
