#include "results/HtmlProtocol.h"

#include "core/CorrectionText.h"
#include "core/HtmlText.h"
#include "core/ResultColumns.h"
#include "core/ResultsDate.h"
#include "core/ResultsSnapshot.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>

namespace HtmlProtocol {
namespace {

// The page has always been Latin-1: what it cannot hold goes out as character references.
void appendText(QByteArray &out, const QString &text)
{
    HtmlText::append(out, text, HtmlText::Encoding::Latin1);
}

void line(QByteArray &out, const char *text)
{
    out += text;
    out += "\r\n";
}

// The corrections in effect, in a table framed like the standings' so that the browser's
// striping and width script treat it the same; at the page's end, so that a page without
// corrections stays as it always was.
void corrections(QByteArray &out, const ResultsSnapshot &results)
{
    line(out, "<br>");
    line(out, "<p><font face=\"Arial\" size=3><b>Korrekturen</b></font></p>");
    line(out, "<table border=1 class=\"Table-courier\" cellpadding=4 cellspacing=0>");
    line(out, "<tr bgcolor=#CCCCCC>");
    for (const QString &title : CorrectionText::ColumnTitles()) {
        out += "<th>";
        appendText(out, title);
        line(out, "</th>");
    }
    line(out, "</tr>");
    for (const Correction &correction : results.corrections) {
        out += "<tr>";
        for (const QString &cell : CorrectionText::cells(correction, results.decimalSeparator)) {
            out += "<td>";
            appendText(out, cell);
            out += "</td>";
        }
        line(out, "</tr>");
    }
    line(out, "</TABLE>");
}

} // namespace

QByteArray Build(const Page &page, const ResultsSnapshot &results)
{
    QByteArray out;
    out.reserve(4096 + (results.rows.size() + results.corrections.size()) * 256);
    line(out, "<HTML>");
    line(out, "<HEAD>");
    line(out, "<TITLE>Title Chronolauf / Chronolauf, Laufen, Schwimmen, Fahrradfahren, Mountainbike</TITLE>");
    line(out, "<META name=keywords content=\"Chronolauf / Chronolauf, Laufen, Schwimmen, Fahrradfahren, Mountainbike\">");
    line(out, "<META name=description content=\"Chronolauf / Chronolauf, Laufen, Schwimmen, Fahrradfahren, Mountainbike\">");
    line(out, "<META http-equiv=Content-Type content=\"text/html; charset=iso-8859-1\">");
    line(out, "<STYLE type=text/css>");
    line(out, "body {font-family: Arial, Helvetica, sans-serif; font-size: 12px; background-color: #F4F4F4; text-align: center}");
    line(out, "\ttable {font-family: Verdana, Arial, Helvetica, sans-serif; font-size: 12px; width: 649px; background-color: #FFFFFF}");
    line(out, "\tth {background-color: #999999; color: #FFFFFF; border: solid; border-width: 0px 1px 1px; border-color: #F4F4F4 #F4F4F4 #999999}");
    line(out, "\ttd {  border: #F4F4F4 solid; vertical-align: top; border-width: 0px 1px 0px 0px}");
    line(out, "\t.KPACKA { background-color:#EEEEEE }");
    line(out, "</STYLE>");
    line(out, "<script type=\"text/javascript\">");
    line(out, "function PA3MEP()");
    line(out, "{");
    line(out, " for(i = 0; i < document.getElementsByTagName(\"table\").length; i++)");
    line(out, "   document.getElementsByTagName(\"table\")[i].width = \"\";");
    line(out, "}");
    line(out, "function CBET_CTPOKI()");
    line(out, "{");
    line(out, " for(var i = 0; i < document.getElementsByTagName(\"tr\").length; i++)");
    line(out, "   if(i % 2 != 0)");
    line(out, "   {");
    line(out, "\t document.getElementsByTagName(\"tr\")[i].className = \"KPACKA\";");
    line(out, "   }");
    line(out, "}");
    line(out, "</script>");
    line(out, "</HEAD>");
    line(out, "<BODY onLoad=\"javascript: PA3MEP(); CBET_CTPOKI()\">");
    line(out, "<table width=649 cellspacing=0 cellpadding=0 border=0 height=85>");
    line(out, "  <tr>");
    line(out, "\t<td width=499>");
    out += "\t  <p><font face=\"Arial\" size=5>";
    appendText(out, results.title);
    line(out, "</font></p> ");
    out += "\t  <div><font face=\"Arial\" size=3><b>";
    appendText(out, results.sessionType);
    line(out, "<br>");
    out += "\t\t";
    appendText(out, page.date);
    line(out, "</b></font></div>");
    line(out, "\t</td>");
    line(out, "\t<td> <img src=\"Logo.jpg\" width=150 height=85 alt=\"Logo.jpg 150 x 85 px\" border=\"0\">");
    line(out, "\t</td>");
    line(out, "  </tr>");
    line(out, "</table>");
    line(out, "<br>");
    line(out, "<table border=1 class=\"Table-courier\" cellpadding=4 cellspacing=0>");
    line(out, "<!--  <colgroup align=\"right\"> <col bgcolor=\"#c0c0c0\"> <col> <col align=left> <col bgcolor=#DFFFDF>");
    line(out, "<col bgcolor=#DFFFDF> <col bgcolor=\"#FFFFCC\"> <col bgcolor=#FFCC99> <col bgcolor=#d2d2ff>");
    line(out, "</colgroup>  -->");
    line(out, "<colgroup align=\"right\"> <col> <col> <col align=left> <col> <col> <col> <col>");
    line(out, "<col> </colgroup>");
    line(out, "<tr bgcolor=#CCCCCC>");
    for (const int column : ResultColumns) {
        out += "<th>";
        appendText(out, results.columnTitles[column]);
        line(out, "</th>");
    }
    line(out, "</tr>");
    for (const ResultsSnapshot::Row &row : results.rows) {
        out += "<tr>";
        for (const int column : ResultColumns) {
            out += "<td>";
            appendText(out, row.cells[column]);
            out += "</td>";
        }
        line(out, "</tr>");
    }
    line(out, "</TABLE>");
    out += "<p align=right><a href=\"";
    appendText(out, page.webAddress);
    out += "\">";
    appendText(out, page.webLinkText);
    line(out, "</a></p>");
    if (!results.corrections.empty())
        corrections(out, results);
    line(out, "</body></html>");
    return out;
}

WriteResult WriteHtmlProtocol(const QString &fileName, const Page &page, const ResultsSnapshot &results)
{
    QSaveFile file(fileName);
    if (QFileInfo(fileName).isDir() || !file.open(QIODevice::WriteOnly))
        return {WriteResult::Status::CannotOpen, file.errorString()};
    const QByteArray bytes = Build(page, results);
    if (file.write(bytes) != bytes.size() || !file.commit())
        return {WriteResult::Status::WriteFailed, file.errorString()};
    return {};
}

QString WriteResultsPage(const QString &fileName, const ResultsSnapshot &results, const QDate &day, const QLocale &locale,
                         const QString &webAddress)
{
    const Page page{.date = ResultsDate(day, locale), .webAddress = webAddress, .webLinkText = QStringLiteral("Zeitkontor")};
    const WriteResult written = WriteHtmlProtocol(fileName, page, results);
    if (written.ok())
        return {};
    const QString reason = written.error.isEmpty() ? QStringLiteral("kann nicht geschrieben werden") : written.error;
    return QStringLiteral("Ergebnisseite nicht geschrieben: %1 (%2)").arg(QDir::toNativeSeparators(fileName), reason);
}

} // namespace HtmlProtocol
