// The host clock. Every window timer goes through it. In real time (a person
// at the screen) timers are the toolkit's timers and time is the wall clock.
// In virtual time (scripts, tests) nothing fires by itself: whoever drives
// the session advances the clock, and the timers due on the way fire in time
// order, each at its due time, as fast as the machine goes. Anything that
// must follow host time (the virtual drive) listens to the advances, so that
// a session in virtual time is deterministic.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <utility>

#include "kx/gui/Gui.h"

class QTimer;

namespace kx {

class KXGUI_API HostClock {
public:
    enum class Mode { Real, Virtual };

    static HostClock& Instance();

    Mode GetMode() const { return m_mode; }
    // Switching the mode drops every timer.
    void SetMode(Mode mode);

    // Host time in seconds since the clock started (or since the mode was set).
    double Now() const;

    // A repeating window timer of `owner`, every `ms` milliseconds (at least
    // 1), replacing one with the same owner and id. The first firing is one
    // period from now.
    void SetTimer(const void* owner, unsigned id, unsigned ms, std::function<void()> fire);
    void KillTimer(const void* owner, unsigned id);
    void KillTimers(const void* owner);
    bool HasTimer(const void* owner, unsigned id) const;
    bool HasTimers() const { return !m_timers.empty(); }

    // Virtual time: the due time of the earliest timer (infinity when none).
    double NextDue() const;
    // Virtual time: advances to `until`, firing each timer due on the way at
    // its due time. After each firing `stop` is asked whether to stop there.
    // A timer whose handler is still running (it opened a modal dialog) is
    // not fired again until the handler returns. Returns the timers fired.
    int AdvanceTo(double until, const std::function<bool()>& stop = {});

    // Called with the new time whenever virtual time moves on (before the
    // timers due then fire). Returns a handle for RemoveListener.
    int AddListener(std::function<void(double now)> listener);
    void RemoveListener(int handle);

private:
    HostClock();
    struct Timer {
        double due = 0.0;
        double period = 0.0;
        unsigned long long order = 0;  // earlier-set timers first at equal due times
        bool running = false;
        std::function<void()> fire;
        std::unique_ptr<QTimer> qtimer;  // real time only
    };
    using Key = std::pair<const void*, unsigned>;
    void MoveTo(double t);

    Mode m_mode = Mode::Real;
    double m_virtualNow = 0.0;
    double m_realStart = 0.0;
    unsigned long long m_order = 0;
    std::map<Key, std::shared_ptr<Timer>> m_timers;
    std::map<int, std::function<void(double)>> m_listeners;
    int m_nextListener = 1;
};

}  // namespace kx
