#include "platform/PrintWorker.h"

#include <QFile>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTextDocument>

void PrintWorker::print(const QString &htmlFile)
{
    // Read first: a page that cannot be read is worth reporting whether or not a printer is there.
    QFile file(htmlFile);
    if (!file.open(QIODevice::ReadOnly)) {
        emit failed(QStringLiteral("Die Seite konnte nicht gelesen werden: %1").arg(htmlFile));
        return;
    }
    // The page is written as Latin-1 with references for everything else.
    const QString html = QString::fromLatin1(file.readAll());

    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) {
        emit noPrinter();
        return;
    }

    QPrinter printer(info, QPrinter::HighResolution);
    printer.setDocName(QStringLiteral("Chronolauf"));
    QTextDocument document;
    document.setHtml(html);
    document.print(&printer);
    if (!printer.isValid() || printer.printerState() == QPrinter::Error) {
        emit failed(QStringLiteral("Die Seite konnte nicht auf %1 gedruckt werden.").arg(info.printerName()));
        return;
    }
    emit printed(info.printerName());
}
