#include "LineReader.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QString>

LineReader::LineReader(qsizetype maxLineBytes)
    : m_maxLineBytes(maxLineBytes)
{ }

QList<QJsonObject> LineReader::feed(const QByteArray &chunk)
{
    QList<QJsonObject> objects;
    qsizetype pos = 0;
    while (pos < chunk.size()) {
        const qsizetype lineFeed = chunk.indexOf('\n', pos);
        const qsizetype end = lineFeed < 0 ? chunk.size() : lineFeed;
        const qsizetype length = end - pos;
        if (!m_discarding) {
            if (m_buffer.size() + length > m_maxLineBytes) {
                m_buffer.clear();
                m_discarding = true;
            } else {
                m_buffer.append(chunk.constData() + pos, length);
            }
        }
        if (lineFeed < 0)
            break;
        if (!m_discarding)
            decodeLine(m_buffer, objects);
        m_buffer.clear();
        m_discarding = false;
        pos = lineFeed + 1;
    }
    return objects;
}

void LineReader::reset()
{
    m_buffer.clear();
    m_discarding = false;
}

void LineReader::decodeLine(const QByteArray &line, QList<QJsonObject> &out)
{
    const QString text = QString::fromUtf8(line).trimmed();
    if (text.isEmpty())
        return;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return;
    out.append(document.object());
}
