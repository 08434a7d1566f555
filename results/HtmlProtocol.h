#pragma once

#include <QByteArray>
#include <QString>

class QDate;
class QLocale;

struct ResultsSnapshot;

// The results page: title, session type, date, logo reference, the standings in the grid's
// shown order and, when laps were corrected, the corrections in effect, as an 8-bit page with
// CR LF line ends.
namespace HtmlProtocol {

// What the page shows beside the results.
struct Page
{
    QString date;
    QString webAddress;
    QString webLinkText;
};

// Texts from the interface are escaped ('<', '>', '&', '"'), and characters outside
// Latin-1 become numeric character references, so every name shows as written.
QByteArray Build(const Page &page, const ResultsSnapshot &results);

// What became of writing the page.
struct WriteResult
{
    enum class Status { Written, CannotOpen, WriteFailed };
    Status status = Status::Written;
    QString error; // the system's text for a failed write
    bool ok() const { return status == Status::Written; }
};

// Writes the page to fileName (replacing an older one only when the new one is complete).
WriteResult WriteHtmlProtocol(const QString &fileName, const Page &page, const ResultsSnapshot &results);

// The results page of a session run on day, its date in locale's form: the one way both the
// window and --replay write it. Empty when written, else the message for the operator, naming
// the file and the reason.
QString WriteResultsPage(const QString &fileName, const ResultsSnapshot &results, const QDate &day, const QLocale &locale,
                         const QString &webAddress);

} // namespace HtmlProtocol
