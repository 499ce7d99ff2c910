// The floor for the start-up figures: the least a Qt Quick window of the
// application's size costs in the same environment. One window, no content,
// the same surface format; it runs until it is killed.

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QSurfaceFormat>

#include <cstdio>

int main(int argc, char *argv[])
{
    QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    format.setSamples(4);
    QSurfaceFormat::setDefaultFormat(format);

    QGuiApplication app(argc, argv);
    QQmlApplicationEngine engine;
    engine.loadData("import QtQuick\nWindow { width: 400; height: 660; visible: true }\n");
    auto *window = qobject_cast<QQuickWindow *>(engine.rootObjects().value(0));
    if (!window)
        return 1;
    // The start-up benchmark takes this line as the moment the window shows
    // its content: an empty scene has nothing to draw but its background.
    QObject::connect(
        window, &QQuickWindow::frameSwapped, window, [] { std::fputs("frameSwapped\n", stderr); },
        Qt::ConnectionType(Qt::DirectConnection | Qt::SingleShotConnection));
    return QGuiApplication::exec();
}
