#pragma once

#include <QString>
#include <QStringList>

// The font families of the interface: the bundled text family and a system font with
// the symbol glyphs (tab icons, dial and button symbols) the text family lacks.
class SymbolFont
{
public:
    // The family of the fonts bundled in the resources.
    [[nodiscard]] static QString textFamily();
    // The first candidate present in installedFamilies (letter case ignored), spelled as
    // in the candidate list; the text family if there is none.
    [[nodiscard]] static QString choose(const QStringList &installedFamilies);
    // choose() over the system's families, decided on the first call and kept thereafter.
    [[nodiscard]] static QString forThisProcess();
};
