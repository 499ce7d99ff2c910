#include "AppSettings.h"
#include "AppWiring.h"
#include "UiFixture.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QQuickItem>
#include <QRegularExpression>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

// The browser sign-in flow through the real client and the fake service.
class TestSignIn : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QTest::failOnWarning(QRegularExpression(u"^(qrc|file):"_s));
        m_ui = std::make_unique<UiFixture>();
        QVERIFY(m_ui->start(true));
        QVERIFY(m_ui->waitForItem(u"loginScreen"_s));
        checkInitialLook();
    }
    void cleanup() { m_ui.reset(); }

    void browserFlowAndCancel()
    {
        QVERIFY(m_ui->click(u"signInButton"_s));
        QVERIFY(m_ui->flushCommands());
        QCOMPARE(m_ui->commands(), QStringList {u"login_start"_s});
        // Nothing changes until the service answers.
        checkInitialLook();

        openBrowser(u"https://login.example/abc?x=1"_s);
        QCOMPARE(m_ui->openedUrls(), QList<QUrl> {QUrl(u"https://login.example/abc?x=1"_s)});
        QCOMPARE(stepStates(), QStringList({u"done"_s, u"waiting"_s, u"todo"_s}));
        QVERIFY(!m_ui->item(u"signInButton"_s)->isVisible());

        // A new page replaces the URL; the link opens the latest one again.
        openBrowser(u"https://login.example/second"_s);
        QVERIFY(m_ui->click(u"reopenLink"_s));
        QCOMPARE(m_ui->openedUrls().size(), 3);
        QCOMPARE(m_ui->openedUrls().last(), QUrl(u"https://login.example/second"_s));

        QVERIFY(m_ui->click(u"cancelButton"_s));
        QVERIFY(m_ui->flushCommands());
        QCOMPARE(m_ui->commands(), QStringList({u"login_start"_s, u"login_cancel"_s}));
        checkInitialLook();
        QCOMPARE(m_ui->text(u"loginScreen"_s, "loginUrl"), QString());
        QCOMPARE(m_ui->text(u"loginScreen"_s, "expiresAt"), QString());
    }

    void copyLink()
    {
        const QVariantMap t = m_ui->wiring()->appSettings()->t();
        const QString url = u"https://login.example/copy-me"_s;
        openBrowser(url);
        QGuiApplication::clipboard()->clear();

        QElapsedTimer shown;
        QVERIFY(m_ui->click(u"copyLink"_s));
        shown.start();
        QCOMPARE(QGuiApplication::clipboard()->text(), url);
        QCOMPARE(m_ui->text(u"copyLink"_s), t.value(u"copied"_s).toString());
        QTRY_COMPARE_WITH_TIMEOUT(m_ui->text(u"copyLink"_s), t.value(u"copyLink"_s).toString(), 5000);
        // A lower bound only: the label must not drop back early.
        QVERIFY2(shown.elapsed() >= 1300, qPrintable(QString::number(shown.elapsed())));
        QVERIFY(m_ui->item(u"waitingBlock"_s)->isVisible());

        // Without a URL neither link claims to do anything.
        m_ui->item(u"loginScreen"_s)->setProperty("loginUrl", QString());
        QGuiApplication::clipboard()->setText(u"before"_s);
        QVERIFY(m_ui->click(u"reopenLink"_s));
        QVERIFY(m_ui->click(u"copyLink"_s));
        QCOMPARE(m_ui->openedUrls().size(), 1);
        QCOMPARE(QGuiApplication::clipboard()->text(), u"before"_s);
        QCOMPARE(m_ui->text(u"copyLink"_s), t.value(u"copyLink"_s).toString());
    }

    void loginFailedEndsWaitingSilently()
    {
        // While not waiting nothing changes.
        m_ui->sendEvent({{u"type"_s, u"login_failed"_s}, {u"error"_s, u"early"_s}});
        QVERIFY(m_ui->sync());
        checkInitialLook();

        openBrowser(u"https://login.example/fail"_s);
        m_ui->sendEvent({{u"type"_s, u"login_failed"_s}, {u"error"_s, u"denied"_s}});
        QTRY_VERIFY(!m_ui->item(u"waitingBlock"_s)->isVisible());
        checkInitialLook();

        // A second try sends a new request, and no cancel for the first.
        QVERIFY(m_ui->click(u"signInButton"_s));
        QVERIFY(m_ui->flushCommands());
        QCOMPARE(m_ui->commands(), QStringList {u"login_start"_s});
    }

    void loginCompleteLeavesSignIn()
    {
        openBrowser(u"https://login.example/done"_s);
        m_ui->sendEvent({{u"type"_s, u"login_complete"_s}});
        QVERIFY(m_ui->waitForItem(u"mainScreen"_s));
        QTRY_VERIFY(!m_ui->item(u"loginScreen"_s));

        // Signing out again brings a fresh screen in the initial look.
        QVERIFY(m_ui->signOut());
        QVERIFY(m_ui->waitForItem(u"loginScreen"_s));
        checkInitialLook();
    }

private:
    QStringList stepStates() const
    {
        QStringList states;
        for (int n = 1; n <= 3; ++n)
            states.append(m_ui->text(u"step%1"_s.arg(n), "stepState"));
        return states;
    }

    void checkInitialLook()
    {
        QTRY_VERIFY(m_ui->item(u"signInButton"_s)->isVisible());
        QVERIFY(!m_ui->item(u"waitingBlock"_s)->isVisible());
        QCOMPARE(stepStates(), QStringList({u"active"_s, u"todo"_s, u"todo"_s}));
    }

    void openBrowser(const QString &url)
    {
        const qsizetype before = m_ui->openedUrls().size();
        m_ui->sendEvent({{u"type"_s, u"browser_opened"_s}, {u"login_url"_s, url},
            {u"expires_at"_s, u"2030-01-01T00:00:00Z"_s}});
        QTRY_COMPARE(m_ui->openedUrls().size(), before + 1);
        QVERIFY(m_ui->waitForItem(u"waitingBlock"_s));
        QCOMPARE(m_ui->text(u"loginScreen"_s, "loginUrl"), url);
        QCOMPARE(m_ui->text(u"loginScreen"_s, "expiresAt"), u"2030-01-01T00:00:00Z"_s);
    }

    std::unique_ptr<UiFixture> m_ui;
};

QTEST_MAIN(TestSignIn)
#include "tst_signin.moc"
