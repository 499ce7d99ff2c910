#include "SymbolFont.h"

#include <QFontDatabase>

QString SymbolFont::textFamily()
{
    return QStringLiteral("SF Pro Text");
}

QString SymbolFont::choose(const QStringList &installedFamilies)
{
    static const QString candidates[] = {
        QStringLiteral("Segoe UI Symbol"),
        QStringLiteral("Noto Sans Symbols 2"),
        QStringLiteral("DejaVu Sans"),
    };
    for (const QString &candidate : candidates) {
        if (installedFamilies.contains(candidate, Qt::CaseInsensitive))
            return candidate;
    }
    return textFamily();
}

QString SymbolFont::forThisProcess()
{
    static const QString family = choose(QFontDatabase::families());
    return family;
}
