#include "kx/gui/Clock.h"

#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <limits>
#include <vector>

namespace kx {
namespace {

QElapsedTimer& Wall() {
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer;
}

}  // namespace

HostClock::HostClock() { m_realStart = Wall().nsecsElapsed() * 1e-9; }

HostClock& HostClock::Instance() {
    static HostClock clock;
    return clock;
}

void HostClock::SetMode(Mode mode) {
    m_timers.clear();
    m_mode = mode;
    m_virtualNow = 0.0;
    m_realStart = Wall().nsecsElapsed() * 1e-9;
}

double HostClock::Now() const {
    if (m_mode == Mode::Virtual) return m_virtualNow;
    return Wall().nsecsElapsed() * 1e-9 - m_realStart;
}

void HostClock::SetTimer(const void* owner, unsigned id, unsigned ms, std::function<void()> fire) {
    auto timer = std::make_shared<Timer>();
    timer->period = std::max(1u, ms) * 1e-3;
    timer->due = Now() + timer->period;
    timer->order = m_order++;
    timer->fire = std::move(fire);
    if (m_mode == Mode::Real) {
        timer->qtimer = std::make_unique<QTimer>();
        timer->qtimer->setTimerType(Qt::PreciseTimer);
        timer->qtimer->setInterval(static_cast<int>(std::max(1u, ms)));
        std::weak_ptr<Timer> weak = timer;
        QObject::connect(timer->qtimer.get(), &QTimer::timeout, [weak] {
            const auto t = weak.lock();
            if (!t || t->running) return;
            t->running = true;
            const auto fire = t->fire;  // the handler may kill its own timer
            fire();
            t->running = false;
        });
        timer->qtimer->start();
    }
    m_timers[{owner, id}] = std::move(timer);
}

void HostClock::KillTimer(const void* owner, unsigned id) {
    const auto it = m_timers.find({owner, id});
    if (it == m_timers.end()) return;
    // A timer killed from its own handler is still on the stack: its QTimer
    // is stopped now and freed with the last reference.
    if (it->second->qtimer) it->second->qtimer->stop();
    m_timers.erase(it);
}

void HostClock::KillTimers(const void* owner) {
    for (auto it = m_timers.begin(); it != m_timers.end();) {
        if (it->first.first == owner) {
            if (it->second->qtimer) it->second->qtimer->stop();
            it = m_timers.erase(it);
        } else {
            ++it;
        }
    }
}

bool HostClock::HasTimer(const void* owner, unsigned id) const { return m_timers.count({owner, id}) != 0; }

double HostClock::NextDue() const {
    double due = std::numeric_limits<double>::infinity();
    for (const auto& [key, timer] : m_timers)
        if (!timer->running) due = std::min(due, timer->due);
    return due;
}

void HostClock::MoveTo(double t) {
    if (t <= m_virtualNow) return;
    m_virtualNow = t;
    // A listener may add or remove listeners.
    const auto listeners = m_listeners;
    for (const auto& [handle, listener] : listeners) listener(m_virtualNow);
}

int HostClock::AdvanceTo(double until, const std::function<bool()>& stop) {
    if (m_mode != Mode::Virtual) return 0;
    int fired = 0;
    for (;;) {
        std::shared_ptr<Timer> next;
        for (const auto& [key, timer] : m_timers) {
            if (timer->running || timer->due > until) continue;
            if (!next || timer->due < next->due || (timer->due == next->due && timer->order < next->order))
                next = timer;
        }
        if (!next) break;
        MoveTo(next->due);
        // Rescheduled before it fires, so that a handler that opens a modal
        // dialog leaves a consistent clock to the session inside it.
        next->due = std::max(next->due, m_virtualNow) + next->period;
        next->running = true;
        const auto fire = next->fire;
        fire();
        next->running = false;
        ++fired;
        if (stop && stop()) return fired;
    }
    MoveTo(until);
    return fired;
}

int HostClock::AddListener(std::function<void(double now)> listener) {
    const int handle = m_nextListener++;
    m_listeners[handle] = std::move(listener);
    return handle;
}

void HostClock::RemoveListener(int handle) { m_listeners.erase(handle); }

}  // namespace kx
