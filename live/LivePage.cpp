#include "live/LivePage.h"

#include "core/HtmlText.h"
#include "core/ResultColumns.h"
#include "core/ResultsSnapshot.h"
#include "live/PageStyle.h"
#include "live/StandingsJson.h"

#include <QByteArrayList>
#include <QCryptographicHash>

namespace LivePage {
namespace {

// The shared look, with this page's header and its dimmed clock while offline.
const QByteArray &style()
{
    static const QByteArray text = QByteArray(PageStyle::Theme)
        + "header{display:flex;flex-wrap:wrap;align-items:baseline;justify-content:space-between;gap:4px 16px;margin-bottom:10px}\n"
        + PageStyle::Heading + "body.offline .clock{opacity:.5}\n" + PageStyle::Table;
    return text;
}

// Keeps the page current: events where the browser has them, otherwise (or once they fail)
// /standings.json every second. The countdown runs on between two updates. Texts only ever
// go in through textContent, so a name cannot turn into markup.
constexpr char ScriptHead[] = R"js(
(function () {
  'use strict';
  var states = {idle: 'vor dem Start', running: 'läuft', ended: 'beendet'};
  var data = JSON.parse(document.getElementById('standings-data').textContent);
  var since = Date.now(), source = null, polling = false;
  function $(id) { return document.getElementById(id); }
  function two(n) { return (n < 10 ? '0' : '') + n; }
  // As the program's counter shows it: HH:MM:SS, hours not wrapped.
  function clock(s) {
    var sign = s < 0 ? '-' : '';
    s = Math.abs(s);
    return sign + two(Math.floor(s / 3600)) + ':' + two(Math.floor(s / 60) % 60) + ':' + two(s % 60);
  }
  function tick() {
    var left = data.remainingSeconds - Math.floor((Date.now() - since) / 1000);
    $('remaining').textContent = data.state === 'running' ? clock(Math.max(0, left)) : data.remaining;
  }
)js";
constexpr char ScriptTail[] = R"js(  function render(d) {
    data = d;
    since = Date.now();
    showStandings(d);
    tick();
  }
  function online(ok) { document.body.classList.toggle('offline', !ok); }
  function poll() {
    if (source) source.close();
    if (polling || !window.fetch) return;
    polling = true;
    document.body.dataset.feed = 'polling';
    (function next() {
      fetch('/standings.json', {cache: 'no-store'})
        .then(function (r) { if (!r.ok) throw new Error(r.status); return r.json(); })
        .then(function (d) { render(d); online(true); }, function () { online(false); })
        .then(function () { setTimeout(next, 1000); });
    })();
  }
  render(data);
  setInterval(tick, 250);
  if (window.EventSource) {
    source = new EventSource('/events');
    source.onopen = function () { document.body.dataset.feed = 'events'; };
    source.onmessage = function (e) { render(JSON.parse(e.data)); online(true); };
    source.onerror = poll;
  } else {
    poll();
  }
})();
)js";

// The page's own script around the table code both pages share.
const QByteArray &script()
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

void appendText(QByteArray &out, const QString &text)
{
    HtmlText::append(out, text, HtmlText::Encoding::Utf8);
}

void appendCells(QByteArray &out, const char *tag, const ResultsSnapshot::Cells &cells)
{
    for (const int column : ResultColumns) {
        out += '<';
        out += tag;
        out += '>';
        appendText(out, cells[column]);
        out += "</";
        out += tag;
        out += '>';
    }
}

// The policy's source for an inline element: the hash of its exact text.
QByteArray hashSource(const char *text)
{
    return "'sha256-" + QCryptographicHash::hash(text, QCryptographicHash::Sha256).toBase64() + '\'';
}

// A row's opening tag, its classes giving its marks: "Ziel", crossed out, "korrigiert".
void appendRowStart(QByteArray &out, const ResultsSnapshot::Row &row)
{
    QByteArrayList classes;
    if (row.finished)
        classes << "finished";
    if (row.out)
        classes << "out";
    if (row.corrected)
        classes << "corrected";
    out += classes.isEmpty() ? QByteArray("<tr>") : "<tr class=\"" + classes.join(' ') + "\">";
}

} // namespace

QByteArray of(const ResultsSnapshot &results, const QString &date)
{
    QByteArray html;
    html.reserve(8192 + qsizetype(results.rows.size()) * 512);
    html += "<!DOCTYPE html>\n<html lang=\"de\">\n<head>\n<meta charset=\"utf-8\">\n"
            "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>";
    appendText(html, results.title);
    html += "</title>\n<style>";
    html += style();
    html += "</style>\n</head>\n<body>\n<header>\n<div>\n<h1 id=\"title\">";
    appendText(html, results.title);
    html += "</h1>\n<p class=\"meta\"><span id=\"type\">";
    appendText(html, results.sessionType);
    html += "</span> · <span id=\"date\">";
    appendText(html, date);
    html += "</span> · <span id=\"state\">";
    appendText(html, stateText(results.state));
    html += "</span></p>\n</div>\n<p class=\"clock\"><span id=\"remaining\">";
    appendText(html, results.remainingText);
    html += "</span><span id=\"gong\"";
    if (!results.gong)
        html += " hidden";
    html += ">Gong</span></p>\n</header>\n";

    html += "<div class=\"wrap\">\n<table id=\"standings\">\n<thead><tr>";
    appendCells(html, "th", results.columnTitles);
    html += "</tr></thead>\n<tbody>\n";
    for (const ResultsSnapshot::Row &row : results.rows) {
        appendRowStart(html, row);
        appendCells(html, "td", row.cells);
        html += "</tr>\n";
    }
    html += "</tbody>\n</table>\n</div>\n";

    // The standings the page was made from, for the script to start from (its countdown
    // needs the seconds). The JSON escapes every '<', so nothing in it can end the element.
    // A data block is never run, so the policy needs no hash for it.
    html += "<script id=\"standings-data\" type=\"application/json\">";
    html += StandingsJson::of(results, date);
    html += "</script>\n<script>";
    html += script();
    html += "</script>\n</body>\n</html>\n";
    return html;
}

const QByteArray &securityPolicy()
{
    // Nothing but the page's own script and style, by their hashes: text that slipped into
    // the page as markup could not run even if the escaping failed.
    static const QByteArray policy = "default-src 'none'; script-src " + hashSource(script().constData()) + "; style-src "
        + hashSource(style().constData()) + "; connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";
    return policy;
}

} // namespace LivePage
