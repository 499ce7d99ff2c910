#include "AppSettings.h"
#include "AppWiring.h"
#include "FakeService.h"
#include "PipeClient.h"
#include "UiFixture.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
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
        m_ui = std::make_unique<UiFixture>();
        QVERIFY(m_ui->start());
        QVERIFY(m_ui->waitForItem(u"loginScreen"_s));
        m_ui->clearCommands();
    }
    void cleanup() { m_ui.reset(); }

    void initialLook()
    {
        checkInitialLook();
        QVERIFY(m_ui->commands(u"login_start"_s).isEmpty());
    }

    void signInSendsLoginStartAndWaitsForService()
    {
        QVERIFY(m_ui->click(u"signInButton"_s));
        QVERIFY(m_ui->waitForCommand(u"login_start"_s));
        // Nothing changes until the service answers.
        checkInitialLook();
    }

    void browserOpenedShowsWaitingAndOpensBrowser()
    {
        openBrowser(u"https://login.example/abc?x=1"_s);
        QCOMPARE(m_ui->openedUrls(), QList<QUrl> {QUrl(u"https://login.example/abc?x=1"_s)});
        QCOMPARE(stepState(1), u"done"_s);
        QCOMPARE(stepState(2), u"waiting"_s);
        QCOMPARE(stepState(3), u"todo"_s);
        QVERIFY(!m_ui->item(u"signInButton"_s)->isVisible());

        // A new page replaces the URL and opens the browser again.
        openBrowser(u"https://login.example/second"_s);
        QCOMPARE(m_ui->openedUrls().size(), 2);
        QCOMPARE(
            m_ui->item(u"loginScreen"_s)->property("loginUrl").toString(), u"https://login.example/second"_s);
    }

    void reopenLinkOpensStoredUrl()
    {
        openBrowser(u"https://login.example/reopen"_s);
        QVERIFY(m_ui->click(u"reopenLink"_s));
        QCOMPARE(m_ui->openedUrls().size(), 2);
        QCOMPARE(m_ui->openedUrls().last(), QUrl(u"https://login.example/reopen"_s));
    }

    void linksWithoutUrlDoNothing()
    {
        openBrowser(u"https://login.example/x"_s);
        m_ui->item(u"loginScreen"_s)->setProperty("loginUrl", QString());
        QGuiApplication::clipboard()->setText(u"before"_s);
        QVERIFY(m_ui->click(u"reopenLink"_s));
        QVERIFY(m_ui->click(u"copyLink"_s));
        QCOMPARE(m_ui->openedUrls().size(), 1);
        QCOMPARE(QGuiApplication::clipboard()->text(), u"before"_s);
        QCOMPARE(
            m_ui->text(u"copyLink"_s), m_ui->wiring()->appSettings()->t().value(u"copyLink"_s).toString());
    }

    void copyLinkFillsClipboardAndShowsCopiedForAWhile()
    {
        const QString url = u"https://login.example/copy-me"_s;
        openBrowser(url);
        QGuiApplication::clipboard()->clear();
        const QVariantMap t = m_ui->wiring()->appSettings()->t();

        QElapsedTimer shown;
        QVERIFY(m_ui->click(u"copyLink"_s));
        shown.start();
        QCOMPARE(QGuiApplication::clipboard()->text(), url);
        QCOMPARE(m_ui->text(u"copyLink"_s), t.value(u"copied"_s).toString());
        QTRY_COMPARE_WITH_TIMEOUT(m_ui->text(u"copyLink"_s), t.value(u"copyLink"_s).toString(), 5000);
        // A lower bound only: the label must not drop back early.
        QVERIFY2(shown.elapsed() >= 1300, qPrintable(QString::number(shown.elapsed())));
        // Still in the waiting look, and the screen keeps its URL.
        QVERIFY(m_ui->item(u"waitingBlock"_s)->isVisible());
    }

    void cancelReturnsToInitialLook()
    {
        openBrowser(u"https://login.example/cancel"_s);
        QVERIFY(m_ui->click(u"cancelButton"_s));
        QVERIFY(m_ui->waitForCommand(u"login_cancel"_s));
        checkInitialLook();
        QCOMPARE(m_ui->item(u"loginScreen"_s)->property("loginUrl").toString(), QString());
        QCOMPARE(m_ui->item(u"loginScreen"_s)->property("expiresAt").toString(), QString());
    }

    void loginFailedEndsWaitingSilently()
    {
        // While not waiting nothing changes.
        m_ui->service()->sendLine({{u"type"_s, u"login_failed"_s}, {u"error"_s, u"early"_s}});
        QTRY_VERIFY(m_ui->item(u"signInButton"_s)->isVisible());
        checkInitialLook();

        openBrowser(u"https://login.example/fail"_s);
        m_ui->service()->sendLine({{u"type"_s, u"login_failed"_s}, {u"error"_s, u"denied"_s}});
        QTRY_VERIFY(!m_ui->item(u"waitingBlock"_s)->isVisible());
        checkInitialLook();

        // A second try sends a new request.
        QVERIFY(m_ui->click(u"signInButton"_s));
        QVERIFY(m_ui->waitForCommand(u"login_start"_s));
        QCOMPARE(m_ui->commands(u"login_start"_s).size(), 1);
        QVERIFY(m_ui->commands(u"login_cancel"_s).isEmpty());
    }

    void loginCompleteLeavesSignIn()
    {
        openBrowser(u"https://login.example/done"_s);
        m_ui->service()->sendLine({{u"type"_s, u"login_complete"_s}});
        QVERIFY(m_ui->waitForItem(u"mainScreen"_s));
        QTRY_VERIFY(!m_ui->item(u"loginScreen"_s));
        QVERIFY(m_ui->item(u"tabBar"_s)->isVisible());

        // Signing out again brings a fresh screen in the initial look.
        QVERIFY(m_ui->signOut());
        QVERIFY(m_ui->waitForItem(u"loginScreen"_s));
        checkInitialLook();
    }

private:
    QString stepState(int n) const
    {
        return m_ui->item(u"step"_s + QString::number(n))->property("stepState").toString();
    }

    void checkInitialLook()
    {
        QTRY_VERIFY(m_ui->item(u"signInButton"_s)->isVisible());
        QVERIFY(!m_ui->item(u"waitingBlock"_s)->isVisible());
        QCOMPARE(stepState(1), u"active"_s);
        QCOMPARE(stepState(2), u"todo"_s);
        QCOMPARE(stepState(3), u"todo"_s);
    }

    void openBrowser(const QString &url)
    {
        const qsizetype before = m_ui->openedUrls().size();
        m_ui->service()->sendLine({{u"type"_s, u"browser_opened"_s}, {u"login_url"_s, url},
            {u"expires_at"_s, u"2030-01-01T00:00:00Z"_s}});
        QTRY_COMPARE(m_ui->openedUrls().size(), before + 1);
        QVERIFY(m_ui->waitForItem(u"waitingBlock"_s));
        QCOMPARE(m_ui->item(u"loginScreen"_s)->property("expiresAt").toString(), u"2030-01-01T00:00:00Z"_s);
    }

    std::unique_ptr<UiFixture> m_ui;
};

QTEST_MAIN(TestSignIn)
#include "tst_signin.moc"
