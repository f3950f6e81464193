#include "RequestLog.h"

#include <QList>

#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

bool needsEscape(char32_t c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == 0x2028 || c == 0x2029
        || (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069);
}

} // namespace

RequestLog::RequestLog(Sink sink, qint64 windowMs, qsizetype maxKeys)
    : m_sink(std::move(sink))
    , m_windowMs(std::max<qint64>(1, windowMs))
    , m_maxKeys(std::max<qsizetype>(0, maxKeys))
{
}

QString RequestLog::clean(QStringView text, qsizetype maxLength)
{
    maxLength = std::max<qsizetype>(0, maxLength);
    QString out;
    out.reserve(std::min(text.size(), maxLength) + 1);
    for (qsizetype i = 0; i < text.size();) {
        // One piece at a time (a character, a pair, an escape), so a cut falls between pieces.
        const char16_t unit = text[i].unicode();
        const bool pair
            = QChar::isHighSurrogate(unit) && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        const bool escape = !pair && (QChar::isSurrogate(unit) || needsEscape(unit));
        const qsizetype used = pair ? 2 : 1;
        const qsizetype width = escape ? (unit <= 0xff ? 4 : 6) : unit == u'\\' ? 2 : used;
        if (out.size() + width > maxLength)
            return out + u'…';
        if (escape) {
            out += unit <= 0xff ? u"\\x"_s : u"\\u"_s;
            out += QString::number(unit, 16).toUpper().rightJustified(width - 2, u'0');
        } else if (unit == u'\\') {
            out += u"\\\\"_s;
        } else {
            out += text.sliced(i, used);
        }
        i += used;
    }
    return out;
}

void RequestLog::refused(QStringView method, QStringView path, int status, qint64 nowMs)
{
    const QString line = u"request error: "_s + clean(method) + u' ' + clean(path) + u" -> "_s
        + QString::number(status);
    const auto found = m_windows.find(line);
    if (found != m_windows.end()) {
        if (!over(*found, nowMs)) {
            ++found->repeats;
            return;
        }
        // Its window passed before the owner flushed: close it here and start the next one.
        writeRepeats(line, *found);
        *found = { nowMs, 0 };
        write(line);
        return;
    }
    if (m_windows.size() >= m_maxKeys) {
        if (m_others.repeats > 0 && over(m_others, nowMs))
            writeOthers();
        if (m_others.repeats++ == 0)
            m_others.startMs = nowMs;
        return;
    }
    m_windows.insert(line, { nowMs, 0 });
    write(line);
}

void RequestLog::flush(qint64 nowMs)
{
    // Oldest first, so that the log reads in order.
    QList<std::pair<qint64, QString>> passed;
    for (auto it = m_windows.cbegin(); it != m_windows.cend(); ++it) {
        if (over(it.value(), nowMs))
            passed.append({ it->startMs, it.key() });
    }
    std::sort(passed.begin(), passed.end());
    for (const auto &[startMs, line] : std::as_const(passed)) {
        writeRepeats(line, m_windows.value(line));
        m_windows.remove(line);
    }
    if (m_others.repeats > 0 && over(m_others, nowMs))
        writeOthers();
}

bool RequestLog::over(const Window &window, qint64 nowMs) const
{
    // A window that seems to start in the future means the clock went back: end it rather than
    // hold its key (and the room it takes) until the clock catches up.
    return nowMs < window.startMs
        || quint64(nowMs) - quint64(window.startMs) >= quint64(m_windowMs);
}

void RequestLog::write(const QString &line) const
{
    if (m_sink)
        m_sink(line);
}

void RequestLog::writeOthers()
{
    write(u"request error: %1 other refused requests in the last %2 s"_s.arg(m_others.repeats)
              .arg(m_windowMs / 1000.0));
    m_others = {};
}

void RequestLog::writeRepeats(const QString &line, const Window &window) const
{
    if (window.repeats > 0) {
        write(line
            + u" repeated %1 more times in the last %2 s"_s.arg(window.repeats)
                  .arg(m_windowMs / 1000.0));
    }
}
