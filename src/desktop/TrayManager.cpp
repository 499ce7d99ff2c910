#include "TrayManager.h"

#include <QAction>
#include <QColor>
#include <QCursor>
#include <QGuiApplication>
#include <QIcon>
#include <QImageReader>
#include <QMenu>
#include <QPainter>
#include <QPixmap>

namespace {

// The designed 32 px icon, and the same drawing at twice the size for
// panels at a device pixel ratio of 2.
constexpr int IconSize = 32;
constexpr int IconScales[] = {1, 2};
const QRect DotRect(19, 19, 11, 11);
constexpr int MessageMilliseconds = 4000;

// Fixed on purpose: the dot must read the same in the light and dark theme.
QColor dotColour(const QString &state)
{
    if (state == u"connected")
        return QColor(0x34, 0xC9, 0x8E);
    if (state == u"connecting" || state == u"reconnecting")
        return QColor(0xE8, 0xB3, 0x4B);
    if (state == u"failed")
        return QColor(0xE5, 0x54, 0x4B);
    return QColor(0x99, 0xA0, 0xAC);
}

// The artwork at `size`, aspect kept: rendered from its vector source, or,
// where Qt's SVG image plugin is missing, scaled from the bitmap.
QImage artwork(int size)
{
    QImageReader vector(QStringLiteral(":/icon.svg"));
    if (vector.canRead()) {
        vector.setScaledSize(vector.size().scaled(size, size, Qt::KeepAspectRatio));
        const QImage image = vector.read();
        if (!image.isNull())
            return image;
    }
    const QImage bitmap(QStringLiteral(":/icon.png"));
    return bitmap.isNull() ? bitmap
                           : bitmap.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

} // namespace

TrayManager::TrayManager(Environment environment, QObject *parent)
    : QObject(parent)
    , m_environment(std::move(environment))
    , m_tray(new QSystemTrayIcon(this))
    , m_menu(std::make_unique<QMenu>())
{
    if (!m_environment.iconGeometry)
        m_environment.iconGeometry = [this] { return m_tray->geometry(); };
    if (!m_environment.cursorPos)
        m_environment.cursorPos = [] { return QCursor::pos(); };
    if (!m_environment.systemTrayAvailable)
        m_environment.systemTrayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    if (!m_environment.showMessage) {
        m_environment.showMessage
            = [this](const QString &title, const QString &message, QSystemTrayIcon::MessageIcon icon,
                  int msecs) { m_tray->showMessage(title, message, icon, msecs); };
    }

    m_statusLine = m_menu->addAction(QString());
    m_statusLine->setEnabled(false);
    m_mainAction = m_menu->addAction(QString());
    m_mainAction->setEnabled(false);
    connect(m_mainAction, &QAction::triggered, this, &TrayManager::mainActionRequested);
    m_openAction = m_menu->addAction(QString());
    connect(m_openAction, &QAction::triggered, this, &TrayManager::showRequested);
    m_quitAction = m_menu->addAction(QString());
    connect(m_quitAction, &QAction::triggered, this, &TrayManager::quitRequested);
    // Before the icon shows: a panel reads an item's menu when the item appears.
    m_tray->setContextMenu(m_menu.get());

    connect(m_tray, &QSystemTrayIcon::activated, this, &TrayManager::onActivated);
    redraw();
    // X11 watches for a tray host that starts after us, so the icon is always
    // shown there; elsewhere Qt warns when asked to show an icon without a
    // tray, and with none there is nothing to show it in.
    if (QSystemTrayIcon::isSystemTrayAvailable() || QGuiApplication::platformName() == u"xcb")
        m_tray->setVisible(true);
}

// The icon goes first: the menu it exports belongs to the QMenu.
TrayManager::~TrayManager()
{
    delete m_tray;
}

void TrayManager::setVersion(const QString &v)
{
    if (v == m_version)
        return;
    m_version = v;
    redraw();
    emit versionChanged();
}

void TrayManager::setVpnState(const QString &state)
{
    if (state == m_state)
        return;
    m_state = state;
    redraw();
}

void TrayManager::setServiceNote(const QString &note)
{
    if (note == m_serviceNote)
        return;
    m_serviceNote = note;
    redraw();
    updateStatusLine();
}

void TrayManager::setStatusText(const QString &text)
{
    if (text == m_statusText)
        return;
    m_statusText = text;
    updateStatusLine();
    emit statusTextChanged();
}

void TrayManager::setMainAction(const QString &text, bool enabled)
{
    if (text == m_mainActionText && enabled == m_mainActionEnabled)
        return;
    m_mainActionText = text;
    m_mainActionEnabled = enabled;
    m_mainAction->setText(text);
    m_mainAction->setEnabled(enabled);
    emit mainActionChanged();
}

void TrayManager::setMenuTexts(const QString &openText, const QString &quitText)
{
    m_openAction->setText(openText);
    m_quitAction->setText(quitText);
}

void TrayManager::notify(const QString &title, const QString &message)
{
    m_environment.showMessage(title, message, QSystemTrayIcon::Information, MessageMilliseconds);
}

void TrayManager::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Context:
        // Under XEmbed Qt has just shown the menu for this click. The popup is
        // for panels that send the click instead of showing the menu.
        if (m_menu->isVisible())
            break;
        Q_FALLTHROUGH();
    case QSystemTrayIcon::Trigger: {
        const QRect geometry = m_environment.iconGeometry();
        if (geometry.isValid()) {
            // Summed in 64 bits so icons near the coordinate limits do not overflow.
            const auto centre = static_cast<int>((qint64(geometry.left()) + geometry.right()) / 2);
            emit popupRequested(centre, geometry.top());
        } else {
            const QPoint cursor = m_environment.cursorPos();
            emit popupRequested(cursor.x(), cursor.y());
        }
        break;
    }
    case QSystemTrayIcon::MiddleClick:
        emit toggleWindowRequested();
        break;
    default:
        break;
    }
}

void TrayManager::redraw()
{
    QIcon icon;
    for (const int scale : IconScales) {
        const int size = IconSize * scale;
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        // A missing image leaves the dot alone, which still shows the state.
        painter.drawImage(0, 0, artwork(size));
        painter.setPen(Qt::NoPen);
        painter.setBrush(dotColour(m_state));
        painter.drawEllipse(QRect(DotRect.topLeft() * scale, DotRect.size() * scale));
        painter.end();
        icon.addPixmap(pixmap);
    }
    m_tray->setIcon(icon);

    const QString base = m_version.isEmpty() ? QStringLiteral("VantrelVPN")
                                             : QStringLiteral("VantrelVPN v%1").arg(m_version);
    m_tray->setToolTip(
        QStringLiteral("%1 — %2").arg(base, m_serviceNote.isEmpty() ? m_state : m_serviceNote));
}

// Like the tooltip, the menu's first line tells of the service while it cannot be reached.
void TrayManager::updateStatusLine()
{
    m_statusLine->setText(m_serviceNote.isEmpty() ? m_statusText : m_serviceNote);
}
