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

std::vector<PublishFile> PublishFiles::make(const ResultsSnapshot &results, const QDateTime &at) const
{
    const QString date = ResultsDate(at.date(), mLocale);
    // The results page exactly as the window's "Als Webseite" writes it on the same day.
    const HtmlProtocol::Page page{.date = date, .webAddress = mWebAddress, .webLinkText = QStringLiteral("Zeitkontor")};
    std::vector<PublishFile> files;
    files.reserve(4);
    // The JSON first: should an upload break off, the page still finds the newest data.
    files.push_back({.name = QString::fromLatin1(StandingsName), .content = StandingsJson::of(results, date)});
    files.push_back({.name = QString::fromLatin1(PageName), .content = PublicPage::of(results, date, at)});
    files.push_back({.name = QString::fromLatin1(ResultsName), .content = HtmlProtocol::Build(page, results)});
    if (logoPending())
        files.push_back({.name = QString::fromLatin1(LogoName), .content = mLogo});
    return files;
}

PublishService::FileMaker PublishFiles::maker(std::shared_ptr<PublishFiles> files)
{
    return [files = std::move(files)](const std::shared_ptr<const ResultsSnapshot> &results) {
        return files->make(*results, QDateTime::currentDateTime());
    };
}
