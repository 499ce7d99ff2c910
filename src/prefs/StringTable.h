#pragma once

#include <QString>
#include <QVariantMap>

// The interface texts in English and Russian. Both dictionaries are built together on
// first use and live until the process ends; readers get implicitly shared copies.
class StringTable
{
public:
    [[nodiscard]] static const QVariantMap &english();
    [[nodiscard]] static const QVariantMap &russian();
    // The Russian dictionary for exactly "ru", the English one for anything else.
    [[nodiscard]] static const QVariantMap &forLanguage(const QString &language);
    // The texts kept beside the interface table (accessibility names, service notices),
    // chosen by the same rule.
    [[nodiscard]] static const QVariantMap &extraTextsForLanguage(const QString &language);
};
