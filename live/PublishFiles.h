#pragma once

#include "publish/PublishService.h"

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>

#include <atomic>
#include <memory>
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

    // logo: the bytes of the logo file; empty leaves it out (the page shows its alt text).
    PublishFiles(const QString &webAddress, const QByteArray &logo, const QLocale &locale = QLocale());

    // The files of one upload; at: when the results were taken, for the date and "Stand".
    std::vector<PublishFile> make(const ResultsSnapshot &results, const QDateTime &at) const;
    // An upload went through: the logo is on the host and stays out of later sets.
    void delivered() { mLogoDelivered = true; }
    // A new target (or the operator asks): the next sets carry the logo again.
    void resendLogo() { mLogoDelivered = false; }
    bool logoPending() const { return !mLogoDelivered && !mLogo.isEmpty(); }

    // A maker for the publishing service that shares this object's state and takes the
    // current time.
    static PublishService::FileMaker maker(std::shared_ptr<PublishFiles> files);

private:
    QString mWebAddress;
    QByteArray mLogo;
    QLocale mLocale;
    // Set on the GUI thread when an upload went through, read wherever the maker runs.
    std::atomic<bool> mLogoDelivered = false;
};
