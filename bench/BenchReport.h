#pragma once

#include <QJsonObject>
#include <QString>

// Collects the figures of one benchmark program, prints them as aligned
// lines and, when asked on the command line ("--json <file>"), also stores
// them as the program's section of a JSON results file that the other
// benchmark programs add their sections to.
class BenchReport
{
public:
    explicit BenchReport(const QString &name);

    // Adds a figure under a key (lower snake case) with its unit for the
    // printed line; the JSON holds the bare number.
    void add(const QString &key, double value, const QString &unit, int decimals = 1);
    void addText(const QString &key, const QString &value);

    // Prints every figure to standard output; adds them to the JSON file
    // named after "--json" in arguments, if any. Returns false when that
    // file cannot be written.
    bool finish(const QStringList &arguments) const;

private:
    QString m_name;
    QJsonObject m_figures;
    QStringList m_lines;
};
