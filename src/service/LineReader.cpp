#include "LineReader.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QString>

#include <algorithm>

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
        // A line that comes whole in this chunk is read in place rather than
        // copied through the buffer.
        if (lineFeed >= 0 && m_buffer.isEmpty() && !m_discarding) {
            if (length <= m_maxLineBytes)
                decodeLine(QByteArray::fromRawData(chunk.constData() + pos, length), objects);
            pos = lineFeed + 1;
            continue;
        }
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

bool LineReader::isAscii(const QByteArray &bytes)
{
    return std::all_of(bytes.cbegin(), bytes.cend(), [](char c) { return uchar(c) < 0x80; });
}

void LineReader::reset()
{
    m_buffer.clear();
    m_discarding = false;
}

void LineReader::decodeLine(const QByteArray &line, QList<QJsonObject> &out)
{
    // The JSON parser reads UTF-8 itself and refuses bytes that are not
    // UTF-8, so the usual line goes to it as it is. Only a line it refuses
    // that holds bytes beyond ASCII can read differently as text, which
    // trims Unicode white space and replaces bytes that are not UTF-8; that
    // line gets a second try through the text path.
    const QByteArray bytes = line.trimmed();
    if (bytes.isEmpty())
        return;
    QJsonParseError error;
    QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError && !isAscii(bytes)) {
        const QString text = QString::fromUtf8(line).trimmed();
        if (text.isEmpty())
            return;
        document = QJsonDocument::fromJson(text.toUtf8(), &error);
    }
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return;
    out.append(document.object());
}
