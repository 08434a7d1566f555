#include "HeadlessBrowser.h"

#include "core/TickSource.h"
#include "live/LiveService.h"
#include "session/RaceSession.h"

#include <QSignalSpy>
#include <QTest>

// The live page in a real browser, served by the program's own live service from a running
// race: it shows the standings, follows a booking by itself, and marks a corrected row.
class TestLiveBrowser : public QObject
{
    Q_OBJECT

    using Kind = RaceInput::Kind;

private slots:
    void pageFollowsTheRace()
    {
        if (!HeadlessBrowser::available())
            QSKIP("Chromium is not installed (Debian package chromium)");
        auto clock = std::make_unique<ManualTickSource>();
        ManualTickSource &ticks = *clock;
        RaceSession session(std::move(clock), QLocale(QLocale::German, QLocale::Germany));
        session.submit({.kind = Kind::TitleEdited, .text = QStringLiteral("Nacht & <Nebel>")});
        session.submit({.kind = Kind::CarCountChanged, .value = 3});
        ticks.set(1000);
        session.submit({.kind = Kind::StartCommand});
        ticks.set(61000);
        session.submit({.kind = Kind::Assign, .value = 2});

        LiveService live(session);
        QSignalSpy started(&live, &LiveService::started);
        live.start(0);
        QTRY_COMPARE(started.count(), 1);
        QVERIFY(live.address().startsWith(QStringLiteral("http://")));

        HeadlessBrowser browser;
        QVERIFY(browser.open(QStringLiteral("http://127.0.0.1:%1/").arg(live.port())));
        const QString rows = QStringLiteral("[...document.querySelectorAll('#standings tbody tr')]"
                                            ".map(r => [...r.cells].map(c => c.textContent).join('|')).join('\\n')");
        const auto shown = [&] {
            QTest::qWait(50);
            return browser.evaluate(rows);
        };
        QTRY_VERIFY_WITH_TIMEOUT(shown().startsWith(QStringLiteral("1.|||1|1:00,00|")), 20000);
        QCOMPARE(browser.evaluate(QStringLiteral("document.getElementById('title').textContent")),
                 QStringLiteral("Nacht & <Nebel>"));
        // The policy is in force: the page's own style applies, an inline script that is not
        // the page's own does not run.
        QCOMPARE(browser.evaluate(QStringLiteral("getComputedStyle(document.querySelector('.clock')).fontWeight")),
                 QStringLiteral("700"));
        QCOMPARE(browser.evaluate(QStringLiteral(
                     "(() => { const s = document.createElement('script'); s.textContent = 'window.injected = 1';"
                     " document.body.appendChild(s); return String(window.injected); })()")),
                 QStringLiteral("undefined"));
        // Wait until the page listens for changes, then book: it must follow within a second.
        QTRY_VERIFY_WITH_TIMEOUT(browser.evaluate(QStringLiteral("document.body.dataset.feed || ''"))
                                     == QStringLiteral("events"), 10000);
        ticks.set(62000);
        session.submit({.kind = Kind::Assign, .value = 3});
        ticks.set(120000);
        session.submit({.kind = Kind::Assign, .value = 3});
        // Participant 3 leads on two laps; participant 2 is second on one.
        QTRY_VERIFY_WITH_TIMEOUT(shown().startsWith(QStringLiteral("1.|||2|1:59,00|")), 1000);
        QVERIFY(shown().contains(QStringLiteral("\n2.|||1|1:00,00|")));

        // A correction marks the row it changed, and that row only: 3's second pass struck.
        const QString marks = QStringLiteral(
            "[...document.querySelectorAll('#standings tbody tr')].map(r => r.cells[3].textContent + ':'"
            " + getComputedStyle(r.cells[2], '::after').content).join(' ')");
        QCOMPARE(browser.evaluate(marks), QStringLiteral("2:none 1:none :none"));
        session.submit({.kind = Kind::StrikePass, .text = QStringLiteral("doppelt erfasst"),
                        .pass = session.core().lapBook().passes(3)[1].id, .operatorName = QStringLiteral("Anna")});
        QTRY_COMPARE_WITH_TIMEOUT(browser.evaluate(marks), QStringLiteral("1:none 1:\"korrigiert\" :none"), 1000);
    }
};

QTEST_GUILESS_MAIN(TestLiveBrowser)
#include "testlivebrowser.moc"
