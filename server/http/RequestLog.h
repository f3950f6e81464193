#pragma once

#include <QHash>
#include <QString>

#include <functional>

// The server's log of refused requests. Everything a client sent is cleaned before it is written,
// and a flood of refusals writes a bounded number of bounded lines: the first of each kind at once,
// then one count per kind when its window has passed (the owner calls flush from a timer).
class RequestLog {
public:
    using Sink = std::function<void(const QString &line)>;

    // Repeats of one kind are summed up per windowMs; at most maxKeys kinds are remembered, the
    // rest only counted together.
    explicit RequestLog(Sink sink, qint64 windowMs = 60000, qsizetype maxKeys = 1000);

    // Client text made safe for one log line: controls (C0, DEL, C1, the line and paragraph
    // separators, the bidirectional overrides) and lone surrogates become \xNN or \uNNNN, the
    // backslash \\, and the result is cut at maxLength characters with "…" after it. A cut never
    // splits an escape or a surrogate pair.
    static QString clean(QStringView text, qsizetype maxLength = 200);

    void refused(QStringView method, QStringView path, int status, qint64 nowMs);
    // Writes the counts of the windows that have passed and forgets them.
    void flush(qint64 nowMs);

private:
    struct Window {
        qint64 startMs = 0;
        qint64 repeats = 0;
    };

    bool over(const Window &window, qint64 nowMs) const;
    void write(const QString &line) const;
    void writeOthers();
    void writeRepeats(const QString &line, const Window &window) const;

    Sink m_sink;
    qint64 m_windowMs;
    qsizetype m_maxKeys;
    // Keyed by the line itself: refusals that would read the same are the same.
    QHash<QString, Window> m_windows;
    // Kinds that found no room in m_windows: only counted (repeats holds all of them).
    Window m_others;
};
