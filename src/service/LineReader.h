#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>

// Splits the byte stream of the control pipe into newline-delimited JSON
// objects. Lines are cut on the line-feed byte and decoded whole, so a
// multi-byte character split between two reads survives; one line is capped
// so a peer that never sends a line feed cannot grow the buffer without end.
class LineReader
{
public:
    // Far above any event the service sends: a long error text or sign-in
    // address must never reach the cap.
    static constexpr qsizetype defaultMaxLineBytes = 1024 * 1024;

    explicit LineReader(qsizetype maxLineBytes = defaultMaxLineBytes);

    // Returns the objects completed by this chunk, in arrival order. Blank
    // lines, invalid JSON and JSON other than an object are skipped. A line
    // longer than the cap is dropped whole and reading resumes after its
    // line feed.
    QList<QJsonObject> feed(const QByteArray &chunk);

    // Forgets any partial line, e.g. when a new connection starts.
    void reset();

    [[nodiscard]] qsizetype bufferedBytes() const { return m_buffer.size(); }

private:
    static bool isAscii(const QByteArray &bytes);
    static void decodeLine(const QByteArray &line, QList<QJsonObject> &out);

    QByteArray m_buffer;
    qsizetype m_maxLineBytes = 0;
    bool m_discarding = false;
};
