// The floor for the start-up figures: the least a Qt Quick window of the
// application's size costs in the same environment. One window, no content,
// the same surface format; it runs until it is killed.

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QSurfaceFormat>

int main(int argc, char *argv[])
{
    QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    format.setSamples(4);
    QSurfaceFormat::setDefaultFormat(format);

    QGuiApplication app(argc, argv);
    QQmlApplicationEngine engine;
    engine.loadData("import QtQuick\nWindow { width: 400; height: 660; visible: true }\n");
    if (engine.rootObjects().isEmpty())
        return 1;
    return QGuiApplication::exec();
}
