#include "app/Replay.h"

#include "core/ResultsDate.h"
#include "core/TickSource.h"
#include "results/HtmlProtocol.h"
#include "results/SpreadsheetExport.h"
#include "session/JournalReader.h"
#include "session/RaceSession.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

namespace Replay {

bool Requested(const QStringList &arguments)
{
    return arguments.contains(QStringLiteral("--replay"));
}

int Run(const QStringList &arguments, const QString &webAddress, QTextStream &err)
{
    QString journal;
    QString html;
    QString xlsx;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &option = arguments[i];
        QString *target = option == QLatin1String("--replay") ? &journal
                        : option == QLatin1String("--html")   ? &html
                        : option == QLatin1String("--xlsx")   ? &xlsx
                                                              : nullptr;
        if (!target || i + 1 >= arguments.size()) {
            err << "usage: " << QFileInfo(arguments.value(0)).fileName() << " --replay JOURNAL [--html FILE] [--xlsx FILE]\n";
            return 2;
        }
        *target = arguments[++i];
    }

    JournalReader reader;
    if (!reader.read(journal)) {
        err << QDir::toNativeSeparators(journal) << ": " << reader.error() << "\n";
        return 2;
    }
    // The journal's own locale: its time texts carry that decimal separator.
    const QLocale locale(reader.header().locale);
    QLocale::setDefault(locale);
    RaceSession session(std::make_unique<ManualTickSource>(std::uint32_t(reader.header().startTick)), locale);
    session.restore(reader.header().rebuildSetup(), std::vector<RaceInput>(reader.inputs().begin(), reader.inputs().end()));
    const std::shared_ptr<const ResultsSnapshot> results = session.snapshot();
    // The date the session was run on, as the live program would have printed it that day.
    const QDate day = QDateTime::fromMSecsSinceEpoch(reader.header().startWallClockMs).date();
    const QString date = ResultsDate(day, locale);

    int status = 0;
    if (!html.isEmpty()) {
        const QString error = HtmlProtocol::WriteResultsPage(html, *results, day, locale, webAddress);
        if (!error.isEmpty()) {
            err << error << "\n";
            status = 1;
        }
    }
    if (!xlsx.isEmpty()) {
        const SpreadsheetExport::Context context{.date = date, .subject = QStringLiteral("Chronolauf v1.8"), .comments = webAddress,
                                                 .workingDir = QDir::currentPath(), .baseName = QString(),
                                                 .now = QDateTime::currentDateTime(), .targetPath = QFileInfo(xlsx).absoluteFilePath()};
        const SpreadsheetExport::Result exported = SpreadsheetExport::ExportSpreadsheet(*results, context);
        if (!exported.notice.isEmpty())
            err << exported.notice << "\n";
        if (!exported.ok()) {
            err << QDir::toNativeSeparators(xlsx) << ": " << exported.error << "\n";
            status = 1;
        }
    }
    return status;
}

} // namespace Replay
