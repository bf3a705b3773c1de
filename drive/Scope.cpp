#include "drive/Scope.h"

#include <algorithm>
#include <cmath>

namespace vdrive {
namespace {

// A record at the slow loop has at least this many points (or all that
// the record may hold); a shorter time base samples the fast loop.
constexpr int kMinSlowPoints = 100;

int CeilCount(double x) { return static_cast<int>(std::ceil(x - 1e-9)); }

}  // namespace

ScopeTiming ChooseScopeTiming(double timeBase, int maxPoints, double fastPeriod, double slowPeriod) {
    ScopeTiming timing;
    maxPoints = std::max(2, maxPoints);
    if (!(timeBase > 0.0) || !std::isfinite(timeBase)) timeBase = slowPeriod * maxPoints;
    const double wanted = timeBase / slowPeriod;
    timing.fastLoop = wanted < std::min(kMinSlowPoints, maxPoints) && fastPeriod > 0.0;
    const double base = timing.fastLoop ? fastPeriod : slowPeriod;
    const int samples = std::max(1, CeilCount(timeBase / base));
    timing.every = std::max(1, (samples + maxPoints - 1) / maxPoints);
    timing.period = base * timing.every;
    timing.points = std::clamp(CeilCount(timeBase / timing.period), 2, maxPoints);
    return timing;
}

int ScopeWords(int type) { return type == 3 || type == 4 || type == 5 ? 2 : 1; }

bool Scope::Start(double fastPeriod, double slowPeriod) {
    m_running = false;
    m_messages.clear();
    if (!m_isArmed) return false;
    m_isArmed = false;
    m_settings = m_armed;
    if (m_settings.channels.size() > kMaxScopeChannels) m_settings.channels.resize(kMaxScopeChannels);
    m_timing = ChooseScopeTiming(m_settings.timeBase, m_settings.maxPoints, fastPeriod, slowPeriod);
    m_wordsPerPoint = 0;
    for (const ScopeChannel& channel : m_settings.channels) m_wordsPerPoint += ScopeWords(channel.type);
    m_pointsPerFrame =
        std::max(1, (kMaxFramePayloadWords - kFrameHeaderWords) / std::max(1, m_wordsPerPoint));
    const int pct = std::clamp(m_settings.pretrigger, 0, 100);
    m_preWanted = std::clamp((m_timing.points * pct + 50) / 100, 0, m_timing.points - 1);
    m_countdown = 0;
    m_history.clear();
    m_havePrevious = false;
    m_recording = false;
    m_unsent.clear();
    m_sequence = 0;
    m_record = 0;
    m_running = true;
    return true;
}

void Scope::Stop() {
    if (!m_running) return;
    Emit(false, true);
    m_running = false;
    m_recording = false;
}

bool Scope::Crossed(std::int64_t trigger) const {
    if (!m_havePrevious) return false;
    const std::int64_t level = m_settings.level;
    return m_settings.rising ? (m_previous < level && trigger >= level)
                             : (m_previous > level && trigger <= level);
}

void Scope::BeginRecord(int pretriggerPoints) {
    m_recording = true;
    m_recordPoints = 0;
    m_triggerPoint = pretriggerPoints;
    m_frameFirst = 0;
    m_unsent.clear();
}

void Scope::Sample(const std::int64_t* values, std::int64_t trigger) {
    if (!m_running) return;
    if (m_countdown-- > 0) return;
    m_countdown = m_timing.every - 1;
    const std::size_t channels = m_settings.channels.size();
    std::vector<std::int64_t> point(values, values + channels);

    if (!m_recording) {
        const bool atOnce = !m_settings.triggered || m_settings.mode == ScopeMode::FreeRun;
        if (atOnce || Crossed(trigger)) {
            BeginRecord(atOnce ? 0 : static_cast<int>(m_history.size()));
            for (const auto& old : m_history) {
                m_unsent.insert(m_unsent.end(), old.begin(), old.end());
                ++m_recordPoints;
            }
            m_history.clear();
        } else {
            m_history.push_back(std::move(point));
            while (static_cast<int>(m_history.size()) > m_preWanted) m_history.pop_front();
        }
    }
    m_previous = trigger;
    m_havePrevious = true;
    if (!m_recording) return;

    m_unsent.insert(m_unsent.end(), point.begin(), point.end());
    ++m_recordPoints;
    const bool recordEnd = m_recordPoints >= m_timing.points;
    const int unsentPoints = m_recordPoints - m_frameFirst;
    if (!recordEnd && unsentPoints < m_pointsPerFrame) return;
    const bool single = m_settings.mode == ScopeMode::SingleShot && m_settings.triggered;
    Emit(recordEnd, recordEnd && single);
    if (!recordEnd) return;
    m_recording = false;
    ++m_record;
    if (single) m_running = false;
}

void Scope::Append(std::vector<std::uint16_t>& out, const std::int64_t* point) const {
    for (std::size_t c = 0; c < m_settings.channels.size(); ++c) {
        const auto raw = static_cast<std::uint64_t>(point[c]);
        out.push_back(static_cast<std::uint16_t>(raw & 0xFFFFu));
        if (ScopeWords(m_settings.channels[c].type) == 2)
            out.push_back(static_cast<std::uint16_t>((raw >> 16) & 0xFFFFu));
    }
}

void Scope::Emit(bool recordEnd, bool stopped) {
    const std::size_t channels = m_settings.channels.size();
    // Frames never split a point; the points go out in frames of at most
    // m_pointsPerFrame.
    const int total = m_recording ? m_recordPoints - m_frameFirst : 0;
    int sent = 0;
    do {
        const int count = std::min(m_pointsPerFrame, total - sent);
        const bool last = sent + count >= total;
        std::vector<std::uint16_t> message;
        message.reserve(
            static_cast<std::size_t>(kMessageHeaderWords + kFrameHeaderWords + count * m_wordsPerPoint));
        message.resize(kMessageHeaderWords + kFrameHeaderWords, 0);
        std::uint16_t* header = message.data() + kMessageHeaderWords;
        const auto ns =
            static_cast<std::uint32_t>(std::min(std::llround(m_timing.period * 1e9), 0xFFFFFFFFll));
        header[kFrameSequence] = m_sequence++;
        header[kFrameRecord] = m_record;
        header[kFrameFirstPoint] = static_cast<std::uint16_t>(m_recording ? m_frameFirst + sent : 0);
        header[kFramePointCount] = static_cast<std::uint16_t>(count);
        header[kFrameRecordPoints] = static_cast<std::uint16_t>(m_timing.points);
        header[kFrameTriggerPoint] = static_cast<std::uint16_t>(m_recording ? m_triggerPoint : 0);
        header[kFrameFlags] = static_cast<std::uint16_t>((last && recordEnd ? kFrameRecordEnd : 0) |
                                                         (last && stopped ? kFrameScopeStopped : 0));
        header[kFrameChannels] = static_cast<std::uint16_t>(channels);
        header[kFramePeriodLow] = static_cast<std::uint16_t>(ns & 0xFFFFu);
        header[kFramePeriodHigh] = static_cast<std::uint16_t>(ns >> 16);
        for (int k = 0; k < count; ++k)
            Append(message, m_unsent.data() + static_cast<std::size_t>(sent + k) * channels);
        message[0] = static_cast<std::uint16_t>(message.size() - kMessageHeaderWords);
        message[1] = 0;
        message[2] = kScopeFrameCode;
        m_messages.push_back(std::move(message));
        while (m_messages.size() > kMaxPendingMessages) m_messages.pop_front();
        sent += count;
    } while (sent < total);
    m_frameFirst += total;
    m_unsent.clear();
}

std::vector<std::vector<std::uint16_t>> Scope::Take() {
    std::vector<std::vector<std::uint16_t>> out(std::make_move_iterator(m_messages.begin()),
                                                std::make_move_iterator(m_messages.end()));
    m_messages.clear();
    return out;
}

}  // namespace vdrive
