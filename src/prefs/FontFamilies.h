#pragma once

#include <QString>
#include <QStringList>

// The font families of the interface: the bundled text family, and a system font for the
// single symbol glyphs (tab icons, dial and button symbols) that the text family lacks.
class FontFamilies
{
public:
    // The family of the font files bundled in the resources.
    [[nodiscard]] static QString text();
    // The first symbol-font candidate in installed, matched without regard to letter case
    // and spelled as in the candidate list; the text family if none is installed.
    [[nodiscard]] static QString chooseSymbol(const QStringList &installed);
    // chooseSymbol() over the system's families, decided on the first call and then kept.
    [[nodiscard]] static QString symbol();
};
