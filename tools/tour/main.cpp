// The screenshot tour: runs the app's start-up objects and main document
// against the running service and saves screenshots of the main screens into
// the folder given as the only argument. The statistics database is a
// temporary one seeded with a week of history.

#include "AppStartup.h"
#include "AppWiring.h"
#include "StatsStore.h"
#include "Tour.h"

#include <QApplication>
#include <QDate>
#include <QQmlContext>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <QUuid>

namespace {
void seedHistory(const QString &path)
{
    {
        StatsStore schema(path);
    } // creates the tables
    const QString name = QUuid::createUuid().toString(QUuid::Id128);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (!db.open())
            return;
        QSqlQuery insert(db);
        insert.prepare(
            QStringLiteral("INSERT OR REPLACE INTO days(date, up, down, protected_seconds, speed_sum, "
                           "speed_n, ping_sum, ping_n) VALUES(?, ?, ?, ?, ?, ?, ?, ?)"));
        auto *random = QRandomGenerator::global();
        for (int back = 6; back >= 1; --back) {
            const qint64 down = random->bounded(300, 2400) * 1024LL * 1024;
            const int samples = random->bounded(200, 900);
            insert.addBindValue(QDate::currentDate().addDays(-back).toString(Qt::ISODate));
            insert.addBindValue(down / 9);
            insert.addBindValue(down);
            insert.addBindValue(random->bounded(1800, 5 * 3600));
            insert.addBindValue(samples * double(random->bounded(400, 2200)) * 1024);
            insert.addBindValue(samples);
            insert.addBindValue(samples * random->bounded(18, 45));
            insert.addBindValue(samples);
            insert.exec();
        }
    }
    QSqlDatabase::removeDatabase(name);
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() != 2) {
        QTextStream(stderr) << "usage: vantrelvpn-tour <output folder>" << Qt::endl;
        return 2;
    }
    AppStartup::prepareApplication();
    const QDir outDir(args.at(1));
    if (!outDir.mkpath(QStringLiteral("."))) {
        QTextStream(stderr) << "tour: cannot create " << outDir.path() << Qt::endl;
        return 1;
    }

    QTemporaryDir data;
    AppConfig config;
    config.statsDbPath = data.filePath(QStringLiteral("stats.db"));
    seedHistory(config.statsDbPath);

    AppWiring wiring(config);
    QQmlApplicationEngine engine;
    wiring.publish(engine.rootContext());
    engine.load(QUrl(QStringLiteral("qrc:/qml/main.qml")));
    if (engine.rootObjects().isEmpty())
        return 1;
    QObject *window = engine.rootObjects().constFirst();
    QMetaObject::invokeMethod(window, "showAndRaise");
    wiring.attachWindow(window, nullptr);

    Tour tour(wiring, engine, outDir);
    QObject::connect(&tour, &Tour::finished, &app, &QCoreApplication::exit);
    tour.start();
    return QApplication::exec();
}
