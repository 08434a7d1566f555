#include "live/PublicPage.h"

#include "core/ResultColumns.h"
#include "core/ResultsSnapshot.h"
#include "live/PageStyle.h"
#include "live/StandingsJson.h"

#include <QStringList>

namespace PublicPage {
namespace {

// The shared look, with this page's header and its freshness line under it, which turns to
// the accent colour once the data is old.
const QByteArray &style()
{
    static const QByteArray text = QByteArray(PageStyle::Theme)
        + "header{display:flex;flex-wrap:wrap;align-items:baseline;justify-content:space-between;gap:4px 16px;margin-bottom:6px}\n"
        + PageStyle::Heading
        + ".fresh{margin:0 0 10px;color:var(--muted);font-size:.85em;font-variant-numeric:tabular-nums}\n"
          "#stale{margin-left:.6em;color:var(--accent);font-weight:700}\n"
          "body.stale .clock{opacity:.5}\n"
        + PageStyle::Table;
    return text;
}

// Re-reads standings.json beside the page (a relative address, so the page works in any
// folder; the query defeats caches between the host and the viewer). The data's time is the
// host's Last-Modified of the file, its age the host's Date minus that, so a viewer's wrong
// clock does not make fresh data look old; between two reads the age grows by the viewer's
// clock. Texts only ever go in through textContent, so a name cannot turn into markup.
constexpr char ScriptHead[] = R"js(
(function () {
  'use strict';
  var EVERY = %EVERY% * 1000, STALE = %STALE% * 1000;
  var states = {idle: 'vor dem Start', running: 'läuft', ended: 'beendet'};
  function $(id) { return document.getElementById(id); }
  var data = JSON.parse($('standings-data').textContent);
  var stand = Date.parse(document.body.dataset.made);
  var fetchedAt = Date.now(), ageAtFetch = Math.max(0, fetchedAt - stand), lastText = null;
  function two(n) { return (n < 10 ? '0' : '') + n; }
  function timeOf(ms) {
    var d = new Date(ms);
    return two(d.getHours()) + ':' + two(d.getMinutes()) + ':' + two(d.getSeconds());
  }
  function age() { return ageAtFetch + (Date.now() - fetchedAt); }
  // As the program's counter shows it: HH:MM:SS, hours not wrapped.
  function clock(s) {
    var sign = s < 0 ? '-' : '';
    s = Math.abs(s);
    return sign + two(Math.floor(s / 3600)) + ':' + two(Math.floor(s / 60) % 60) + ':' + two(s % 60);
  }
  function tick() {
    var left = data.remainingSeconds - Math.floor(age() / 1000);
    $('remaining').textContent = data.state === 'running' ? clock(Math.max(0, left)) : data.remaining;
    // Only a running race goes on changing: after its end no new data is the normal case.
    var old = data.state === 'running' && age() > STALE;
    $('stand').textContent = 'Stand: ' + timeOf(stand);
    $('stale').textContent = old ? 'Keine neuen Daten seit ' + timeOf(stand) : '';
    $('stale').hidden = !old;
    document.body.classList.toggle('stale', old);
  }
)js";
constexpr char ScriptTail[] = R"js(  function render(d) {
    data = d;
    showStandings(d);
  }
  function read() {
    if (!window.fetch) return;
    fetch('standings.json?t=' + Date.now(), {cache: 'no-store'})
      .then(function (r) {
        if (!r.ok) throw new Error(r.status);
        var modified = Date.parse(r.headers.get('Last-Modified') || ''), served = Date.parse(r.headers.get('Date') || '');
        return r.text().then(function (text) {
          var now = Date.now(), changed = text !== lastText;
          if (!isNaN(modified)) {
            stand = modified;
            ageAtFetch = Math.max(0, (isNaN(served) ? now : served) - modified);
            fetchedAt = now;
          } else if (changed) {
            // A host without Last-Modified: the data is as new as the moment it changed here.
            stand = now;
            ageAtFetch = 0;
            fetchedAt = now;
          }
          if (changed) {
            render(JSON.parse(text));
            lastText = text;
          }
          document.body.dataset.reads = String(Number(document.body.dataset.reads || 0) + 1);
        });
      })
      .catch(function () { document.body.dataset.failed = String(Number(document.body.dataset.failed || 0) + 1); })
      .then(function () { tick(); setTimeout(read, EVERY); });
  }
  render(data);
  tick();
  setInterval(tick, 1000);
  read();
})();
)js";

// The page's own script around the table code both pages share, before its numbers go in.
const QByteArray &scriptText()
{
    static const QByteArray text = QByteArray(ScriptHead) + PageStyle::StandingsScript + ScriptTail;
    return text;
}

QString stateText(SessionState state)
{
    switch (state) {
    case SessionState::Running: return QStringLiteral("läuft");
    case SessionState::Ended: return QStringLiteral("beendet");
    case SessionState::Idle: break;
    }
    return QStringLiteral("vor dem Start");
}

// A text from the interface as element content or attribute value.
void appendText(QString &out, const QString &text)
{
    for (const QChar ch : text) {
        switch (ch.unicode()) {
        case '<': out += u"&lt;"; break;
        case '>': out += u"&gt;"; break;
        case '&': out += u"&amp;"; break;
        case '"': out += u"&quot;"; break;
        case '\'': out += u"&#39;"; break;
        default: out += ch; break;
        }
    }
}

void appendCells(QString &out, const char16_t *tag, const ResultsSnapshot::Cells &cells)
{
    for (const int column : ResultColumns) {
        out += u'<';
        out += QStringView(tag);
        out += u'>';
        appendText(out, cells[column]);
        out += u"</";
        out += QStringView(tag);
        out += u'>';
    }
}

// A row's opening tag, its classes giving its marks: "Ziel", crossed out, "korrigiert".
void appendRowStart(QString &out, const ResultsSnapshot::Row &row)
{
    QStringList classes;
    if (row.finished)
        classes << QStringLiteral("finished");
    if (row.out)
        classes << QStringLiteral("out");
    if (row.corrected)
        classes << QStringLiteral("corrected");
    out += classes.isEmpty() ? QStringLiteral("<tr>") : QStringLiteral("<tr class=\"%1\">").arg(classes.join(u' '));
}

QByteArray script()
{
    QByteArray s = scriptText();
    s.replace("%EVERY%", QByteArray::number(PollSeconds));
    s.replace("%STALE%", QByteArray::number(StaleSeconds));
    return s;
}

} // namespace

QByteArray of(const ResultsSnapshot &results, const QString &date, const QDateTime &madeAt)
{
    const QString made = madeAt.toUTC().toString(Qt::ISODate);
    QString html;
    html.reserve(6144 + qsizetype(results.rows.size()) * 512);
    html += u"<!DOCTYPE html>\n<html lang=\"de\">\n<head>\n<meta charset=\"utf-8\">\n"
            u"<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>";
    appendText(html, results.title);
    html += u"</title>\n<style>";
    html += QString::fromUtf8(style());
    html += u"</style>\n</head>\n<body data-made=\"";
    appendText(html, made);
    html += u"\">\n<header>\n<div>\n<h1 id=\"title\">";
    appendText(html, results.title);
    html += u"</h1>\n<p class=\"meta\"><span id=\"type\">";
    appendText(html, results.sessionType);
    html += u"</span> · <span id=\"date\">";
    appendText(html, date);
    html += u"</span> · <span id=\"state\">";
    html += stateText(results.state);
    html += u"</span></p>\n</div>\n<p class=\"clock\"><span id=\"remaining\">";
    appendText(html, results.remainingText);
    html += u"</span><span id=\"gong\"";
    if (!results.gong)
        html += u" hidden";
    html += u">Gong</span></p>\n</header>\n";
    // Without scripts the line still tells when the page was made.
    html += u"<p class=\"fresh\"><span id=\"stand\">Stand: ";
    appendText(html, madeAt.toLocalTime().toString(QStringLiteral("HH:mm:ss")));
    html += u"</span><span id=\"stale\" hidden></span></p>\n";

    html += u"<div class=\"wrap\">\n<table id=\"standings\">\n<thead><tr>";
    appendCells(html, u"th", results.columnTitles);
    html += u"</tr></thead>\n<tbody>\n";
    for (const ResultsSnapshot::Row &row : results.rows) {
        appendRowStart(html, row);
        appendCells(html, u"td", row.cells);
        html += u"</tr>\n";
    }
    html += u"</tbody>\n</table>\n</div>\n";

    // The standings the page was made from, in the document standings.json holds (without
    // the lap times, which the page does not show). The JSON escapes every '<'.
    QByteArray out = html.toUtf8();
    out += "<script id=\"standings-data\" type=\"application/json\">";
    out += StandingsJson::of(results, date, StandingsJson::Laps::Left);
    out += "</script>\n<script>";
    out += script();
    out += "</script>\n</body>\n</html>\n";
    return out;
}

} // namespace PublicPage
