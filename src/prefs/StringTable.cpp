#include "StringTable.h"

namespace {

struct Entry
{
    const char16_t *key;
    const char16_t *english;
    const char16_t *russian;
};

// One row per key keeps the two dictionaries on the same key set.
const Entry kEntries[] = {
    {u"loginTitle", u"Welcome to VantrelVPN", u"Добро пожаловать в VantrelVPN"},
    {u"loginSubtitle", u"Sign in to continue", u"Войдите, чтобы продолжить"},
    {u"expiresIn", u"Expires in", u"Истекает через"},
    {u"waitingBrowser", u"Waiting for browser sign-in…", u"Ожидание входа через браузер…"},
    {u"signIn", u"Sign in", u"Войти"},
    {u"cancel", u"Cancel", u"Отмена"},
    {u"tryAgain", u"Try again", u"Повторить"},
    {u"statusProtected", u"Protected", u"Защищено"},
    {u"statusConnecting", u"Connecting…", u"Подключение…"},
    {u"statusReconnecting", u"Reconnecting", u"Переподключение"},
    {u"statusNotConnected", u"Not connected", u"Не подключено"},
    {u"transportTls", u"WireGuard · games available", u"WireGuard · игры доступны"},
    {u"connect", u"Connect", u"Подключить"},
    {u"disconnect", u"Disconnect", u"Отключить"},
    {u"pleaseWait", u"Please wait…", u"Подождите…"},
    {u"session", u"Session", u"Сеанс"},
    {u"speed", u"Speed", u"Скорость"},
    {u"traffic", u"Traffic", u"Трафик"},
    {u"server", u"Server", u"Сервер"},
    {u"settings", u"Settings", u"Настройки"},
    {u"killSwitch", u"Kill switch", u"Аварийное отключение"},
    {u"killSwitchNever", u"Off — no blocking", u"Отключено — без блокировки"},
    {u"killSwitchOnConnect", u"On — blocks when VPN drops", u"Включено — блокирует при обрыве VPN"},
    {u"killSwitchAlways", u"Always — blocks without VPN too", u"Всегда — блокирует и без VPN"},
    {u"ksOff", u"Off", u"Выкл."},
    {u"ksOn", u"On", u"Вкл."},
    {u"ksAlways", u"Always", u"Всегда"},
    {u"darkTheme", u"Dark theme", u"Тёмная тема"},
    {u"darkOn", u"Dark mode is on", u"Тёмная тема включена"},
    {u"darkOff", u"Light mode is on", u"Светлая тема включена"},
    {u"startWithWindows", u"Start with Windows", u"Запуск вместе с Windows"},
    {u"startWithWindowsDesc", u"Launch VantrelVPN at sign-in", u"Запускать VantrelVPN при входе в систему"},
    {u"whitelist", u"Split Tunnel", u"Split Tunnel"},
    {u"whitelistDesc", u"Route Russian sites directly; tunnel everything else",
        u"Российские сайты — напрямую, остальное — через VPN"},
    {u"games", u"Gaming mode", u"Игровой режим"},
    {u"gamesDesc",
        u"Route games and launchers directly, bypassing the VPN. Turn off if a game is unavailable from "
        u"Russia",
        u"Игры и лаунчеры — напрямую, в обход VPN. Отключите, если игра недоступна из России"},
    {u"transport", u"Protocol", u"Протокол"},
    {u"transportWireguard", u"WireGuard", u"WireGuard"},
    {u"transportReality", u"Reality", u"Reality"},
    {u"transportDesc", u"WireGuard = for games and work, Reality = more secure",
        u"WireGuard = для игр и работы, Reality = более защищённый"},
    {u"language", u"Language", u"Язык"},
    {u"daemon", u"Daemon", u"Служба"},
    {u"logOut", u"Log out", u"Выйти"},
    {u"connectionFailed", u"Connection failed", u"Сбой подключения"},
    {u"errorDefault", u"All transports were exhausted. Check your internet connection and try again.",
        u"Испробованы все протоколы. Проверьте подключение к интернету и попробуйте снова."},
    {u"trayOpen", u"Open VantrelVPN", u"Открыть VantrelVPN"},
    {u"quit", u"Quit", u"Выход"},
    {u"notifyConnected", u"Connected", u"Подключено"},
    {u"notifyReconnecting", u"Connection lost — reconnecting…", u"Соединение потеряно — переподключение…"},
    {u"notifyFailed", u"Connection failed", u"Сбой подключения"},
    {u"saveDiag", u"Save diagnostic report", u"Сохранить диагностический отчёт"},
    {u"saveDiagDesc", u"Saves a diagnostic zip to your Desktop",
        u"Сохраняет ZIP-архив с диагностикой на рабочий стол"},
    {u"saveDiagDone", u"Saved to Desktop", u"Сохранено на рабочем столе"},
    {u"updateAvailable", u"Update available", u"Доступно обновление"},
    {u"installUpdate", u"Update", u"Обновить"},
    {u"installing", u"Installing…", u"Установка…"},
    {u"downloading", u"Downloading", u"Загрузка"},
    {u"updateReadyText", u"Update downloaded — restart to apply",
        u"Обновление загружено — перезапустите, чтобы применить"},
    {u"restartNow", u"Restart", u"Перезапустить"},
    {u"tabHome", u"Home", u"Главная"},
    {u"tabStats", u"Statistics", u"Статистика"},
    {u"tabSettings", u"Settings", u"Настройки"},
    {u"clickToConnect", u"click to connect", u"нажмите, чтобы подключиться"},
    {u"clickToCancel", u"click to cancel", u"нажмите, чтобы отменить"},
    {u"ipAddress", u"IP address", u"IP-адрес"},
    {u"autoChip", u"auto", u"авто"},
    {u"statsSubtitle", u"Last 7 days", u"Последние 7 дней"},
    {u"weekTraffic", u"Weekly traffic", u"Трафик за неделю"},
    {u"protectedTime", u"Protected", u"Под защитой"},
    {u"avgSpeed", u"Average speed", u"Средняя скорость"},
    {u"avgPing", u"Average ping", u"Средний пинг"},
    {u"perWeek", u"this week", u"за неделю"},
    {u"downloadDir", u"↓ download", u"↓ загрузка"},
    {u"toServer", u"to server", u"до сервера"},
    {u"trafficByDay", u"Traffic by day", u"Трафик по дням"},
    {u"noStats", u"History will appear after your first connection",
        u"История появится после первого подключения"},
    {u"groupProtection", u"Protection", u"Защита"},
    {u"groupTraffic", u"Traffic", u"Трафик"},
    {u"groupApp", u"Application", u"Приложение"},
    {u"groupMaintenance", u"Maintenance", u"Обслуживание"},
    {u"killSwitchDesc", u"Blocks internet if the VPN tunnel drops",
        u"Блокирует интернет при обрыве VPN-туннеля"},
    {u"ksOnConnect", u"On connect", u"При подключении"},
    {u"protoDescWg", u"WireGuard — for games and work", u"WireGuard — для игр и работы"},
    {u"protoDescReality", u"Reality — more secure", u"Reality — более защищённый"},
    {u"splitTunnel", u"Split tunneling", u"Split tunneling"},
    {u"account", u"Account", u"Аккаунт"},
    {u"diagTitle", u"Support report", u"Отчёт для поддержки"},
    {u"diagSubtitle", u"Logs without personal data", u"Логи без личных данных"},
    {u"save", u"Save", u"Сохранить"},
    {u"clientWord", u"client", u"клиент"},
    {u"updReadyTitle", u"Ready to install", u"Готово к установке"},
    {u"updReadyDesc", u"The app will restart and update itself", u"Приложение перезапустится и обновится"},
    {u"updInstallingDesc", u"It takes under a minute", u"Это займёт меньше минуты"},
    {u"loginWelcome", u"Welcome", u"Добро пожаловать"},
    {u"loginSub", u"Sign-in happens in your browser — secure, no passwords in the app",
        u"Вход выполняется в браузере — безопасно, без паролей в приложении"},
    {u"loginStep1", u"Click “Sign in via browser”", u"Нажмите «Войти через браузер»"},
    {u"loginStep2", u"Confirm sign-in on the opened page", u"Подтвердите вход на открывшейся странице"},
    {u"loginStep3", u"Return to the app — sign-in completes automatically",
        u"Вернитесь в приложение — вход завершится автоматически"},
    {u"signInBrowser", u"Sign in via browser", u"Войти через браузер"},
    {u"waitingConfirm", u"Waiting for browser confirmation…", u"Ожидание подтверждения в браузере…"},
    {u"finishOnPage", u"Complete sign-in on the opened page", u"Завершите вход на открывшейся странице"},
    {u"reopenPage", u"Open the page again", u"Открыть страницу ещё раз"},
    {u"copyLink", u"Copy link", u"Копировать ссылку"},
    {u"copied", u"Copied", u"Скопировано"},
};

// Texts beyond the interface table above: names and descriptions that only assistive
// technology reads, and notices the table has no key for. Same rules as the table.
const Entry kExtraTextEntries[] = {
    {u"minimize", u"Minimize", u"Свернуть"},
    {u"close", u"Close", u"Закрыть"},
    // Screen-reader names: the theme button says what it does, the hidden
    // address says that it is hidden and how to reveal it.
    {u"themeToLight", u"Switch to light theme", u"Включить светлую тему"},
    {u"themeToDark", u"Switch to dark theme", u"Включить тёмную тему"},
    {u"addressHidden", u"IP address hidden", u"IP-адрес скрыт"},
    {u"pressToShow", u"Press to show", u"Нажмите, чтобы показать"},
    {u"pressToHide", u"Press to hide", u"Нажмите, чтобы скрыть"},
    // What pressing the dial does, read after its state.
    {u"pressToConnect", u"Press to connect", u"Нажмите, чтобы подключиться"},
    {u"pressToCancel", u"Press to cancel", u"Нажмите, чтобы отменить"},
    {u"pressToDisconnect", u"Press to disconnect", u"Нажмите, чтобы отключиться"},
    // The service notice, the reason sign-in waits and the tray tooltip without a service.
    {u"serviceConnecting", u"Connecting to the VantrelVPN service…", u"Подключение к службе VantrelVPN…"},
    {u"serviceNotRunning", u"The VantrelVPN service is not running", u"Служба VantrelVPN не запущена"},
    {u"serviceNoAccess", u"No access to the VantrelVPN service", u"Нет доступа к службе VantrelVPN"},
    {u"serviceClosed", u"The VantrelVPN service closed the connection",
        u"Служба VantrelVPN закрыла соединение"},
    // %1: the token file.
    {u"serviceClosedHelp",
        u"The service may have refused the access token from %1. Check that you can read that file, or "
        u"restart the service, then try again.",
        u"Возможно, служба не приняла токен доступа из файла %1. Проверьте, что этот файл доступен вам для "
        u"чтения, или перезапустите службу, затем повторите попытку."},
    {u"serviceNeeded", u"Needs the VantrelVPN service, which cannot be reached",
        u"Нужна служба VantrelVPN, а она недоступна"},
    {u"trayServiceNotRunning", u"service not running", u"служба не запущена"},
    {u"trayServiceNoAccess", u"no access to the service", u"нет доступа к службе"},
    {u"trayServiceClosed", u"the service closed the connection", u"служба закрыла соединение"},
    // The close button's tooltip and description: the way to quit without a tray.
    {u"closeTip", u"Close (Ctrl+Q quits)", u"Закрыть (Ctrl+Q — выход)"},
    {u"quitShortcut", u"Ctrl+Q quits VantrelVPN", u"Ctrl+Q — выход из VantrelVPN"},
    // The settings switch that connects the tunnel once at each start.
    {u"connectOnStart", u"Connect when VantrelVPN starts", u"Подключаться при запуске VantrelVPN"},
    // What the screen reader is told as it happens, beside the states named in the table above.
    {u"announceReconnecting", u"Reconnecting, attempt %1", u"Переподключение, попытка %1"},
    {u"announceSignedIn", u"Signed in", u"Вход выполнен"},
    {u"announceSignedOut", u"Signed out", u"Выход выполнен"},
    {u"announceServiceLost", u"Lost the connection to the VantrelVPN service",
        u"Связь со службой VantrelVPN потеряна"},
    {u"announceServiceBack", u"Connected to the VantrelVPN service",
        u"Связь со службой VantrelVPN установлена"},
    {u"announceNoAccess",
        u"No access to the VantrelVPN service. Add your user to the vantrelvpn group, then sign in to the "
        u"desktop again",
        u"Нет доступа к службе VantrelVPN. Добавьте пользователя в группу vantrelvpn, затем перезайдите в "
        u"систему"},
};

struct Dictionaries
{
    QVariantMap english;
    QVariantMap russian;
};

template<std::size_t N> Dictionaries build(const Entry (&entries)[N])
{
    Dictionaries d;
    for (const Entry &e : entries) {
        const QString key = QString::fromUtf16(e.key);
        d.english.insert(key, QString::fromUtf16(e.english));
        d.russian.insert(key, QString::fromUtf16(e.russian));
    }
    return d;
}

// A function-local static is initialised exactly once, even with concurrent readers.
const Dictionaries &dictionaries()
{
    static const Dictionaries d = build(kEntries);
    return d;
}

const Dictionaries &extraTextDictionaries()
{
    static const Dictionaries d = build(kExtraTextEntries);
    return d;
}

} // namespace

const QVariantMap &StringTable::english()
{
    return dictionaries().english;
}

const QVariantMap &StringTable::russian()
{
    return dictionaries().russian;
}

const QVariantMap &StringTable::forLanguage(const QString &language)
{
    return language == u"ru" ? russian() : english();
}

const QVariantMap &StringTable::extraTextsForLanguage(const QString &language)
{
    return language == u"ru" ? extraTextDictionaries().russian : extraTextDictionaries().english;
}
