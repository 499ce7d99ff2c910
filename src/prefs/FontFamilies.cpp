#include "FontFamilies.h"

#include <QFontDatabase>

QString FontFamilies::text()
{
    return QStringLiteral("SF Pro Text");
}

QString FontFamilies::chooseSymbol(const QStringList &installed)
{
    static const QString candidates[] = {
        QStringLiteral("Segoe UI Symbol"),
        QStringLiteral("Noto Sans Symbols 2"),
        QStringLiteral("DejaVu Sans"),
    };
    for (const QString &candidate : candidates) {
        if (installed.contains(candidate, Qt::CaseInsensitive))
            return candidate;
    }
    return text();
}

QString FontFamilies::symbol()
{
    static const QString family = chooseSymbol(QFontDatabase::families());
    return family;
}
