#include "BenchReport.h"

#include <QFile>
#include <QJsonDocument>
#include <QStringList>
#include <QTextStream>

using namespace Qt::StringLiterals;

BenchReport::BenchReport(const QString &name)
    : m_name(name)
{ }

void BenchReport::add(const QString &key, double value, const QString &unit, int decimals)
{
    m_figures.insert(key, value);
    m_lines.append(u"%1  %2 %3"_s.arg(key, -34).arg(value, 0, 'f', decimals).arg(unit));
}

void BenchReport::addText(const QString &key, const QString &value)
{
    m_figures.insert(key, value);
    m_lines.append(u"%1  %2"_s.arg(key, -34).arg(value));
}

bool BenchReport::finish(const QStringList &arguments) const
{
    QTextStream out(stdout);
    out << "== " << m_name << " ==\n";
    for (const QString &line : m_lines)
        out << line << '\n';
    out.flush();

    const qsizetype at = arguments.indexOf(u"--json"_s);
    if (at < 0 || at + 1 >= arguments.size())
        return true;
    // Every program adds its own section to the one results file.
    QFile file(arguments.at(at + 1));
    QJsonObject document;
    if (file.open(QIODevice::ReadOnly))
        document = QJsonDocument::fromJson(file.readAll()).object();
    file.close();
    document.insert(m_name, m_figures);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(QJsonDocument(document).toJson()) > 0;
}
