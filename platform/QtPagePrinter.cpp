#include "platform/QtPagePrinter.h"

#include <QFile>
#include <QPrintDialog>
#include <QPrinter>
#include <QTextDocument>
#include <QThread>

#include <memory>

void QtPagePrinter::print(QWidget *parent, const QString &htmlFile)
{
    QFile file(htmlFile);
    if (!file.open(QIODevice::ReadOnly))
        return;
    // The page is written as Latin-1 with references for everything else.
    const QString html = QString::fromLatin1(file.readAll());

    auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
    printer->setDocName(QStringLiteral("Chronolauf"));
    QPrintDialog dialog(printer.get(), parent);
    if (dialog.exec() != QDialog::Accepted)
        return;

    // Laying out and spooling run off the GUI thread, so the race clock never waits for them.
    QThread *worker = QThread::create([printer, html] {
        QTextDocument document;
        document.setHtml(html);
        document.print(printer.get());
    });
    QObject::connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start();
}
