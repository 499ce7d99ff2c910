#include "TestDesktop.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPixmap>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QStyleHints>
#include <QTest>

#include <algorithm>
#include <cstdlib>

namespace {
constexpr int kToolTimeoutMs = 10000;
const QString kXdotool = QStringLiteral("xdotool");
const QString kSwaymsg = QStringLiteral("swaymsg");
const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kItemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString kMenuInterface = QStringLiteral("com.canonical.dbusmenu");
// The blue of the app's shield, as a panel draws the tray icon.
const QColor kIconBlue(0x4C, 0x84, 0xF1);
constexpr int kIconBlueTolerance = 50;
// sway's bar along the bottom of the Wayland screen (session.sh).
constexpr int kSwayBarHeight = 32;
constexpr int kDragSettleMs = 300;
constexpr int kPointerRestMs = 100;

QByteArray output(const QString &program, const QStringList &arguments, int *exitCode = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(kToolTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        if (exitCode)
            *exitCode = -1;
        return {};
    }
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return process.readAllStandardOutput();
}

// Every application window in sway's tree, with its id, title, rectangle and
// whether it is shown on the current workspace.
void swayWindows(const QJsonObject &node, QList<QJsonObject> &found)
{
    if (node.contains(QLatin1String("app_id")))
        found.append(node);
    for (const char *children : {"nodes", "floating_nodes"}) {
        const QJsonArray array = node.value(QLatin1String(children)).toArray();
        for (const QJsonValue &child : array)
            swayWindows(child.toObject(), found);
    }
}

// The next line a helper writes, without its line end.
QByteArray answer(QProcess &process)
{
    while (!process.canReadLine()) {
        if (!process.waitForReadyRead(kToolTimeoutMs))
            return {};
    }
    return process.readLine().trimmed();
}

QList<QJsonObject> swayWindows()
{
    QList<QJsonObject> found;
    swayWindows(QJsonDocument::fromJson(output(kSwaymsg, {QStringLiteral("-t"), QStringLiteral("get_tree")}))
                    .object(),
        found);
    return found;
}

QRect swayRect(const QJsonObject &node)
{
    const QJsonObject rect = node.value(QLatin1String("rect")).toObject();
    return {rect.value(QLatin1String("x")).toInt(), rect.value(QLatin1String("y")).toInt(),
        rect.value(QLatin1String("width")).toInt(), rect.value(QLatin1String("height")).toInt()};
}

QDBusMessage callBus(const QString &service, const QString &path, const QString &interface,
    const QString &method, const QVariantList &arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
    call.setArguments(arguments);
    return QDBusConnection::sessionBus().call(call, QDBus::Block, kToolTimeoutMs);
}

QVariant busProperty(
    const QString &service, const QString &path, const QString &interface, const QString &name)
{
    const QDBusMessage reply = callBus(service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"), {interface, name});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments().constFirst().value<QDBusVariant>().variant();
}

// An array of (width, height, ARGB32 bytes in network order) images.
QMap<int, QImage> pixmapsFrom(const QDBusArgument &argument)
{
    QMap<int, QImage> pixmaps;
    argument.beginArray();
    while (!argument.atEnd()) {
        int width = 0;
        int height = 0;
        QByteArray bytes;
        argument.beginStructure();
        argument >> width >> height >> bytes;
        argument.endStructure();
        if (width <= 0 || height <= 0 || bytes.size() != qsizetype(width) * height * 4)
            continue;
        QImage image(width, height, QImage::Format_ARGB32);
        const auto *data = reinterpret_cast<const uchar *>(bytes.constData());
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const uchar *p = data + (qsizetype(y) * width + x) * 4;
                image.setPixel(x, y, qRgba(p[1], p[2], p[3], p[0]));
            }
        }
        pixmaps.insert(width, image);
    }
    argument.endArray();
    return pixmaps;
}

QRect parseShellGeometry(const QString &text)
{
    int x = 0, y = 0, width = 0, height = 0;
    const QStringList lines = text.split(u'\n', Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        const QString key = line.section(u'=', 0, 0);
        const int value = line.section(u'=', 1).toInt();
        if (key == QLatin1String("X"))
            x = value;
        else if (key == QLatin1String("Y"))
            y = value;
        else if (key == QLatin1String("WIDTH"))
            width = value;
        else if (key == QLatin1String("HEIGHT"))
            height = value;
    }
    return {x, y, width, height};
}

// The windows an xdotool search finds, with their rectangles.
QList<TestDesktop::Window> x11Windows(const QStringList &search)
{
    QList<TestDesktop::Window> found;
    const QStringList ids = TestDesktop::run(kXdotool, search).split(u'\n', Qt::SkipEmptyParts);
    for (const QString &id : ids) {
        const QString shell = TestDesktop::run(
            kXdotool, {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), id});
        found.append({id.trimmed(), parseShellGeometry(shell)});
    }
    return found;
}
} // namespace

TestDesktop::TestDesktop()
{
    const QByteArray kind = qgetenv("E2E_DESKTOP");
    if (kind == "sni")
        m_kind = Kind::Sni;
    else if (kind == "wayland")
        m_kind = Kind::Wayland;
    // The virtual pointer exists before the app starts, so the app sees a
    // pointer on the seat from its first frame on.
    if (m_kind == Kind::Wayland)
        pointer({});
    if (m_kind != Kind::XEmbed && !m_notifications.start())
        qWarning("The notification server could not take its name on the session bus");
}

TestDesktop::~TestDesktop()
{
    if (m_pointer) {
        m_pointer->closeWriteChannel();
        if (!m_pointer->waitForFinished(kToolTimeoutMs))
            m_pointer->kill();
    }
}

QString TestDesktop::run(const QString &program, const QStringList &arguments, int *exitCode)
{
    return QString::fromLocal8Bit(output(program, arguments, exitCode));
}

QList<TestDesktop::Window> TestDesktop::windows(const QString &title) const
{
    if (m_kind == Kind::Wayland) {
        QList<Window> found;
        const QList<QJsonObject> nodes = swayWindows();
        for (const QJsonObject &node : nodes) {
            if (node.value(QLatin1String("name")).toString() == title)
                found.append({QString::number(node.value(QLatin1String("id")).toInteger()), swayRect(node)});
        }
        return found;
    }
    const QString pattern = u'^' + QRegularExpression::escape(title) + u'$';
    return x11Windows({QStringLiteral("search"), QStringLiteral("--name"), pattern});
}

QList<TestDesktop::Window> TestDesktop::viewableWindowsOfClass(const QString &windowClass) const
{
    const QString pattern = u'^' + QRegularExpression::escape(windowClass) + u'$';
    return x11Windows(
        {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--class"), pattern});
}

TestDesktop::Window TestDesktop::window(const QString &title, const QSize &size) const
{
    const QList<Window> candidates = windows(title);
    for (const Window &candidate : candidates) {
        if (candidate.geometry.size() == size)
            return candidate;
    }
    return {};
}

bool TestDesktop::isViewable(const QString &id) const
{
    if (id.isEmpty())
        return false;
    if (m_kind == Kind::Wayland) {
        // A hidden Wayland window has no surface, so it leaves the tree.
        const QList<QJsonObject> nodes = swayWindows();
        return std::any_of(nodes.cbegin(), nodes.cend(), [&](const QJsonObject &node) {
            return QString::number(node.value(QLatin1String("id")).toInteger()) == id
                && node.value(QLatin1String("visible")).toBool();
        });
    }
    return run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), id}).contains(QLatin1String("IsViewable"));
}

QRect TestDesktop::trayPanel() const
{
    if (m_kind == Kind::Wayland)
        return QRect(0, screen().height() - kSwayBarHeight, screen().width(), kSwayBarHeight);
    const QString panelClass
        = m_kind == Kind::Sni ? QStringLiteral("^xfce4-panel$") : QStringLiteral("^trayer$");
    const QStringList ids = run(kXdotool, {QStringLiteral("search"), QStringLiteral("--class"), panelClass})
                                .split(u'\n', Qt::SkipEmptyParts);
    for (const QString &id : ids) {
        const QRect geometry = parseShellGeometry(
            run(kXdotool, {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), id}));
        // Both keep small helper windows beside the bar: trayer's is 32 high,
        // xfce4-panel's as wide as the screen.
        if (m_kind == Kind::XEmbed ? geometry.height() == 32 : geometry.width() == screen().width())
            return geometry;
    }
    return {};
}

QRect TestDesktop::trayIcon() const
{
    const QRect panel = trayPanel();
    // trayer holds the app's icon alone; the panels draw it among their own.
    if (m_kind == Kind::XEmbed || panel.isEmpty())
        return panel;
    // While a notification is fresh the panel may draw an attention icon
    // in its place.
    QRect icon;
    const bool found = QTest::qWaitFor(
        [&] {
            icon = Pixels::bounds(grab(panel), QRect(QPoint(), panel.size()), kIconBlue, kIconBlueTolerance);
            return !icon.isEmpty();
        },
        kToolTimeoutMs);
    return found ? icon.translated(panel.topLeft()) : QRect();
}

TestDesktop::TrayItem TestDesktop::trayItem() const
{
    TrayItem item;
    const QStringList registered = busProperty(kWatcher, QStringLiteral("/StatusNotifierWatcher"), kWatcher,
        QStringLiteral("RegisteredStatusNotifierItems"))
                                       .toStringList();
    if (registered.isEmpty())
        return item;
    // "service/path", or the service alone for the usual path.
    const QString entry = registered.constFirst();
    const qsizetype slash = entry.indexOf(u'/');
    item.service = slash < 0 ? entry : entry.left(slash);
    item.path = slash < 0 ? QStringLiteral("/StatusNotifierItem") : entry.mid(slash);
    const auto property = [&](const char *name) {
        return busProperty(item.service, item.path, kItemInterface, QLatin1String(name));
    };
    item.title = property("Title").toString();
    // (icon name, icon pixmaps, title, description): Qt's tooltip is the title.
    const QVariant toolTip = property("ToolTip");
    if (toolTip.canConvert<QDBusArgument>()) {
        const auto argument = toolTip.value<QDBusArgument>();
        QString iconName;
        argument.beginStructure();
        argument >> iconName;
        pixmapsFrom(argument);
        argument >> item.toolTip;
        argument.endStructure();
    }
    const QVariant pixmaps = property("IconPixmap");
    if (pixmaps.canConvert<QDBusArgument>())
        item.pixmaps = pixmapsFrom(pixmaps.value<QDBusArgument>());
    item.menu = property("Menu").value<QDBusObjectPath>().path();
    return item;
}

QList<TestDesktop::MenuEntry> TestDesktop::trayMenu() const
{
    const TrayItem item = trayItem();
    if (item.service.isEmpty() || item.menu.isEmpty())
        return {};
    callBus(item.service, item.menu, kMenuInterface, QStringLiteral("AboutToShow"), {0});
    // (revision, (id, properties, children)) with each child such a node in a variant.
    const QDBusMessage reply = callBus(
        item.service, item.menu, kMenuInterface, QStringLiteral("GetLayout"), {0, -1, QStringList()});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 2)
        return {};
    QList<MenuEntry> entries;
    const auto root = reply.arguments().at(1).value<QDBusArgument>();
    int id = 0;
    QVariantMap properties;
    root.beginStructure();
    root >> id >> properties;
    root.beginArray();
    while (!root.atEnd()) {
        QDBusVariant child;
        root >> child;
        const auto node = child.variant().value<QDBusArgument>();
        node.beginStructure();
        node >> id >> properties;
        node.endStructure();
        // Absent properties have the protocol's defaults.
        if (properties.value(QStringLiteral("visible"), true).toBool()) {
            entries.append({id, properties.value(QStringLiteral("label")).toString(),
                properties.value(QStringLiteral("enabled"), true).toBool()});
        }
    }
    root.endArray();
    root.endStructure();
    return entries;
}

void TestDesktop::clickTrayMenu(int id) const
{
    const TrayItem item = trayItem();
    callBus(item.service, item.menu, kMenuInterface, QStringLiteral("Event"),
        {id, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(QVariant(0))), 0U});
}

void TestDesktop::activateTray() const
{
    clickTray(1);
}

void TestDesktop::secondaryClickTray() const
{
    if (m_kind != Kind::Sni) {
        clickTray(3);
        return;
    }
    const QPoint icon = trayIcon().center();
    run(kXdotool, {QStringLiteral("mousemove"), QString::number(icon.x()), QString::number(icon.y())});
    const TrayItem item = trayItem();
    callBus(item.service, item.path, kItemInterface, QStringLiteral("ContextMenu"), {icon.x(), icon.y()});
}

void TestDesktop::middleClickTray() const
{
    clickTray(2);
}

// Clicks closer together than the double-click time make a double click,
// which Qt's XEmbed icon reports instead of the second click; a hand that
// means two clicks is that slow.
void TestDesktop::clickTray(int button) const
{
    if (m_trayClicked.isValid()) {
        const qint64 left
            = QGuiApplication::styleHints()->mouseDoubleClickInterval() - m_trayClicked.elapsed();
        if (left > 0)
            QTest::qWait(int(left));
    }
    click(trayIcon().center(), button);
    m_trayClicked.start();
}

QImage TestDesktop::grab(const QRect &area) const
{
    if (m_kind == Kind::Wayland) {
        const QString geometry
            = QStringLiteral("%1,%2 %3x%4").arg(area.x()).arg(area.y()).arg(area.width()).arg(area.height());
        return QImage::fromData(
            output(QStringLiteral("grim"), {QStringLiteral("-g"), geometry, QStringLiteral("-")}))
            .convertToFormat(QImage::Format_RGB32);
    }
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    return screen->grabWindow(0, area.x(), area.y(), area.width(), area.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

void TestDesktop::pointer(const QStringList &commands) const
{
    if (!m_pointer) {
        m_pointer = std::make_unique<QProcess>();
        m_pointer->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_pointer->start(QStringLiteral("python3"),
            {QStringLiteral(E2E_SOURCE_DIR "/wlpointer.py"), QString::number(screen().width()),
                QString::number(screen().height())});
        if (!answer(*m_pointer).startsWith("ready"))
            qWarning("the virtual pointer did not come up");
    }
    for (const QString &command : commands) {
        m_pointer->write(command.toLatin1() + '\n');
        const QByteArray reply = answer(*m_pointer);
        if (!reply.startsWith("ok"))
            qWarning("the virtual pointer did not take \"%s\": %s", qPrintable(command), reply.constData());
    }
}

void TestDesktop::focus(const Window &window) const
{
    if (m_kind == Kind::Wayland)
        run(kSwaymsg, {QStringLiteral("[con_id=%1] focus").arg(window.id)});
    else
        run(kXdotool, {QStringLiteral("windowfocus"), QStringLiteral("--sync"), window.id});
}

bool TestDesktop::hasFocus(const Window &window) const
{
    if (m_kind != Kind::Wayland)
        return !window.id.isEmpty()
            && run(kXdotool, {QStringLiteral("getwindowfocus")}).trimmed() == window.id;
    const QList<QJsonObject> nodes = swayWindows();
    return std::any_of(nodes.cbegin(), nodes.cend(), [&](const QJsonObject &node) {
        return QString::number(node.value(QLatin1String("id")).toInteger()) == window.id
            && node.value(QLatin1String("focused")).toBool();
    });
}

void TestDesktop::click(const QPoint &screenPos, int button) const
{
    if (m_kind == Kind::Wayland) {
        // A press arriving with the pointer's entry into a surface that has
        // just been mapped goes astray in Qt; a hand never is that quick.
        pointer({QStringLiteral("move %1 %2").arg(screenPos.x()).arg(screenPos.y())});
        QTest::qWait(kPointerRestMs);
        pointer({QStringLiteral("down %1").arg(button), QStringLiteral("up %1").arg(button)});
        return;
    }
    run(kXdotool,
        {QStringLiteral("mousemove"), QString::number(screenPos.x()), QString::number(screenPos.y()),
            QStringLiteral("click"), QString::number(button)});
}

void TestDesktop::drag(const QPoint &from, const QPoint &to) const
{
    constexpr int kSteps = 8;
    QStringList moves;
    for (int step = 1; step <= kSteps; ++step) {
        const QPoint at = from + (to - from) * step / kSteps;
        moves.append(QStringLiteral("move %1 %2").arg(at.x()).arg(at.y()));
    }
    if (m_kind == Kind::Wayland) {
        pointer({QStringLiteral("move %1 %2").arg(from.x()).arg(from.y()), QStringLiteral("down 1")});
        // The app answers the press with a move request; the compositor moves
        // the window with the pointer only from then on.
        QTest::qWait(kDragSettleMs);
        pointer(moves + QStringList {QStringLiteral("up 1")});
        return;
    }
    QStringList arguments {QStringLiteral("mousemove"), QString::number(from.x()), QString::number(from.y()),
        QStringLiteral("mousedown"), QStringLiteral("1")};
    for (const QString &move : std::as_const(moves)) {
        arguments
            += QStringList {QStringLiteral("sleep"), QStringLiteral("0.05"), QStringLiteral("mousemove")}
            + move.split(u' ').mid(1);
    }
    run(kXdotool, arguments + QStringList {QStringLiteral("mouseup"), QStringLiteral("1")});
}

void TestDesktop::scroll(const QPoint &screenPos, int steps) const
{
    if (m_kind == Kind::Wayland) {
        qWarning("the virtual pointer has no wheel");
        return;
    }
    // Buttons 4 and 5 are the wheel's up and down notches.
    run(kXdotool,
        {QStringLiteral("mousemove"), QString::number(screenPos.x()), QString::number(screenPos.y()),
            QStringLiteral("click"), QStringLiteral("--repeat"), QString::number(std::abs(steps)),
            QStringLiteral("--delay"), QStringLiteral("30"),
            steps < 0 ? QStringLiteral("4") : QStringLiteral("5")});
}

void TestDesktop::parkPointer() const
{
    // The middle of the right half, clear of every app window, also of the
    // ones sway centres.
    if (m_kind == Kind::Wayland)
        pointer({QStringLiteral("move 1100 300")});
    else
        run(kXdotool, {QStringLiteral("mousemove"), QStringLiteral("900"), QStringLiteral("300")});
}

bool Pixels::near(QRgb pixel, const QColor &colour, int tolerance)
{
    return std::abs(qRed(pixel) - colour.red()) <= tolerance
        && std::abs(qGreen(pixel) - colour.green()) <= tolerance
        && std::abs(qBlue(pixel) - colour.blue()) <= tolerance;
}

int Pixels::count(const QImage &image, const QRect &area, const QColor &colour, int tolerance)
{
    int matches = 0;
    const QRect clipped = area.intersected(image.rect());
    for (int y = clipped.top(); y <= clipped.bottom(); ++y) {
        for (int x = clipped.left(); x <= clipped.right(); ++x) {
            if (near(image.pixel(x, y), colour, tolerance))
                ++matches;
        }
    }
    return matches;
}

QRect Pixels::bounds(const QImage &image, const QRect &area, const QColor &colour, int tolerance)
{
    QRect box;
    const QRect clipped = area.intersected(image.rect());
    for (int y = clipped.top(); y <= clipped.bottom(); ++y) {
        for (int x = clipped.left(); x <= clipped.right(); ++x) {
            if (near(image.pixel(x, y), colour, tolerance))
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

double Pixels::difference(const QImage &a, const QImage &b)
{
    if (a.size() != b.size() || a.isNull())
        return 1.0;
    constexpr int kWobble = 24;
    qint64 differing = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (!near(a.pixel(x, y), QColor::fromRgb(b.pixel(x, y)), kWobble))
                ++differing;
        }
    }
    return double(differing) / (double(a.width()) * a.height());
}
