#include "AppSettings.h"
#include "ShadowImageProvider.h"

#include <QFontDatabase>
#include <QLocale>
#include <QQmlContext>
#include <QQmlEngine>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtQuickTest>

#include <memory>

using namespace Qt::StringLiterals;

// Gives every test document the context objects the controls read: the real
// settings object on a throw-away settings file, the bundled fonts and the
// shadow images.
class Setup : public QObject
{
    Q_OBJECT

public slots:
    void applicationAvailable()
    {
        QStandardPaths::setTestModeEnabled(true);
        const QStringList fonts {u":/fonts/SF-Pro-Text-Regular.otf"_s, u":/fonts/SF-Pro-Text-Medium.otf"_s,
            u":/fonts/SF-Pro-Text-Semibold.otf"_s, u":/fonts/SF-Pro-Text-Bold.otf"_s};
        for (const QString &font : fonts)
            QFontDatabase::addApplicationFont(font);
        m_settings
            = std::make_unique<AppSettings>(m_dir.filePath(u"settings.ini"_s), QLocale(QLocale::English));
    }

    // Called once per test file, each with an engine of its own.
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        engine->rootContext()->setContextProperty(u"appSettings"_s, m_settings.get());
        engine->addImageProvider(u"shadow"_s, new ShadowImageProvider);
    }

    void cleanupTestCase() { m_settings.reset(); }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<AppSettings> m_settings;
};

QUICK_TEST_MAIN_WITH_SETUP(controls, Setup)

#include "tst_qml.moc"
