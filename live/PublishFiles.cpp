#include "live/PublishFiles.h"

#include "core/ResultsDate.h"
#include "core/ResultsSnapshot.h"
#include "live/PublicPage.h"
#include "live/StandingsJson.h"
#include "results/HtmlProtocol.h"

PublishFiles::PublishFiles(const QString &webAddress, const QByteArray &logo, const QLocale &locale)
    : mWebAddress(webAddress)
    , mLogo(logo)
    , mLocale(locale)
{
}

std::vector<PublishFile> PublishFiles::make(const ResultsSnapshot &results, const QDateTime &at)
{
    const QMutexLocker lock(&mMutex);
    const QString date = ResultsDate(at.date(), mLocale);
    // The results page exactly as the window's "Als Webseite" writes it on the same day.
    const HtmlProtocol::Page page{.date = date, .webAddress = mWebAddress, .webLinkText = QStringLiteral("Zeitkontor")};
    std::vector<PublishFile> files;
    files.reserve(4);
    // The JSON first: should an upload break off, the page still finds the newest data.
    files.push_back({.name = QString::fromLatin1(StandingsName), .content = StandingsJson::of(results, date)});
    const bool pagesDue = !mPagesAt || results.state != mPagesState || mPagesAt->secsTo(at) >= PagesEverySeconds;
    if (pagesDue) {
        files.push_back({.name = QString::fromLatin1(PageName), .content = PublicPage::of(results, date, at)});
        files.push_back({.name = QString::fromLatin1(ResultsName), .content = HtmlProtocol::Build(page, results)});
        mPagesMade = std::pair{at, results.state};
    } else {
        mPagesMade.reset();
    }
    if (!mLogoDelivered && !mLogo.isEmpty())
        files.push_back({.name = QString::fromLatin1(LogoName), .content = mLogo});
    return files;
}

bool PublishFiles::logoPending() const
{
    const QMutexLocker lock(&mMutex);
    return !mLogoDelivered && !mLogo.isEmpty();
}

void PublishFiles::delivered()
{
    const QMutexLocker lock(&mMutex);
    mLogoDelivered = true;
    if (mPagesMade) {
        mPagesAt = mPagesMade->first;
        mPagesState = mPagesMade->second;
    }
}

void PublishFiles::resendLogo()
{
    const QMutexLocker lock(&mMutex);
    mLogoDelivered = false;
    mPagesAt.reset();
}

PublishService::FileMaker PublishFiles::maker(std::shared_ptr<PublishFiles> files)
{
    return [files = std::move(files)](const std::shared_ptr<const ResultsSnapshot> &results) {
        return files->make(*results, QDateTime::currentDateTime());
    };
}
