#pragma once

#include "publish/PublishService.h"

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QMutex>
#include <QString>

#include "core/Controls.h"

#include <memory>
#include <optional>
#include <utility>
#include <vector>

struct ResultsSnapshot;

// Makes the files that go to the web host from one set of results: the standings page, the
// standings as the LAN server serves them, the results page as "Als Webseite" writes it, and
// the logo that page shows, which never changes and so goes up only until it arrived once.
class PublishFiles
{
public:
    static constexpr const char *PageName = "index.html";
    static constexpr const char *StandingsName = "standings.json";
    static constexpr const char *ResultsName = "ergebnis.html";
    // The name the results page refers to.
    static constexpr const char *LogoName = "Logo.jpg";
    // The standings go up with every upload; the two pages, which a viewer's browser reads
    // once (the page then follows the standings itself), at most this often, and whenever the
    // session started or ended since they last went up. So an hour stays under 10 MB.
    static constexpr int PagesEverySeconds = 300;

    // logo: the bytes of the logo file; empty leaves it out (the page shows its alt text).
    PublishFiles(const QString &webAddress, const QByteArray &logo, const QLocale &locale = QLocale());

    // The files of one upload; at: when the results were taken, for the date and "Stand".
    std::vector<PublishFile> make(const ResultsSnapshot &results, const QDateTime &at);
    // An upload went through: the logo is on the host and stays out of later sets, and the
    // pages of the latest set are there.
    void delivered();
    // A new target (or the operator asks): the next set carries the logo and the pages again.
    void resendLogo();
    bool logoPending() const;

    // A maker for the publishing service that shares this object's state and takes the
    // current time.
    static PublishService::FileMaker maker(std::shared_ptr<PublishFiles> files);

private:
    QString mWebAddress;
    QByteArray mLogo;
    QLocale mLocale;
    // The maker runs on the publishing thread, deliveries are told on the GUI thread.
    mutable QMutex mMutex;
    bool mLogoDelivered = false;
    // When the pages last arrived and the session state they showed; none: not yet.
    std::optional<QDateTime> mPagesAt;
    SessionState mPagesState = SessionState::Idle;
    // The pages of the latest set, until an upload went through.
    std::optional<std::pair<QDateTime, SessionState>> mPagesMade;
};
