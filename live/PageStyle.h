#pragma once

// The look (and the table code) the two standings pages share, the LAN page and the public page on the web host, so
// that a viewer finds the same table at the track and at home. Each page puts its own rules
// for the header and its status line between these pieces.
namespace PageStyle {

// Colours for light and dark screens, the font, the page's margins.
inline constexpr char Theme[] = R"css(
:root{color-scheme:light dark;--bg:#f4f4f4;--fg:#1a1a1a;--card:#fff;--zebra:#eef1f5;--head:#2f4a6d;--muted:#666;--accent:#c62828;--done:#2e7d32}
@media (prefers-color-scheme:dark){:root{--bg:#121417;--fg:#e8e8e8;--card:#1c1f24;--zebra:#252a31;--head:#3b5a82;--muted:#9aa;--accent:#ff6b6b;--done:#388e3c}}
*{box-sizing:border-box}
body{margin:0;padding:12px;background:var(--bg);color:var(--fg);font:18px/1.35 system-ui,-apple-system,"Segoe UI",Roboto,Arial,sans-serif}
)css";

// The title, the session line and the countdown.
inline constexpr char Heading[] = R"css(h1{margin:0;font-size:1.5em;overflow-wrap:anywhere}
.meta{margin:0;color:var(--muted)}
.clock{margin:0;font-size:2em;font-weight:700;font-variant-numeric:tabular-nums;white-space:nowrap}
#gong{margin-left:.4em;padding:.1em .4em;border-radius:.3em;background:var(--accent);color:#fff;font-size:.5em;vertical-align:middle}
)css";

// Phones first: large type, the table scrolls sideways rather than shrinking the text, the
// name column takes the free width. Numbers line up in tabular figures. Marks are text, not
// symbols, so that they show without an emoji font; "korrigiert" stays quiet beside the name,
// a hint that the laps were put right, not an alarm.
inline constexpr char Table[] = R"css(.wrap{overflow-x:auto;background:var(--card);border-radius:8px;box-shadow:0 1px 3px rgba(0,0,0,.2)}
table{width:100%;border-collapse:collapse;font-variant-numeric:tabular-nums}
th,td{padding:.45em .55em;text-align:right;white-space:nowrap}
th{position:sticky;top:0;background:var(--head);color:#fff;font-weight:600}
th:nth-child(3),td:nth-child(3){text-align:left;white-space:normal;min-width:8em;width:100%}
tbody tr:nth-child(even){background:var(--zebra)}
tr.finished td:first-child::after{content:"Ziel";margin-left:.35em;padding:0 .3em;border-radius:.25em;background:var(--done);color:#fff;font-size:.7em;vertical-align:middle}
tr.out{opacity:.45}
tr.out td:nth-child(3){text-decoration:line-through}
tr.corrected td:nth-child(3)::after{content:"korrigiert";margin-left:.5em;padding:0 .3em;border:1px solid var(--muted);border-radius:.25em;color:var(--muted);font-size:.7em;vertical-align:middle;white-space:nowrap}
@media (max-width:600px){body{padding:6px;font-size:16px}th,td{padding:.4em .35em}}
)css";

// Script both pages share: the heading and the table filled from the standings document.
// Texts only ever go in through textContent, so a name cannot turn into markup.
inline constexpr char StandingsScript[] = R"js(  function cells(tr, tag, texts) {
    texts.forEach(function (text) {
      var cell = document.createElement(tag);
      cell.textContent = text;
      tr.appendChild(cell);
    });
  }
  function showStandings(d) {
    var $ = function (id) { return document.getElementById(id); };
    $('title').textContent = d.title;
    document.title = d.title;
    $('type').textContent = d.type;
    $('date').textContent = d.date;
    $('state').textContent = states[d.state] || d.state;
    $('gong').hidden = !d.gong;
    var table = $('standings'), head = document.createElement('tr'), body = document.createElement('tbody');
    cells(head, 'th', d.columns);
    table.tHead.replaceChild(head, table.tHead.rows[0]);
    d.rows.forEach(function (row) {
      var tr = document.createElement('tr');
      if (row.finished) tr.classList.add('finished');
      if (row.out) tr.classList.add('out');
      if (row.corrected) tr.classList.add('corrected');
      cells(tr, 'td', row.cells);
      body.appendChild(tr);
    });
    table.replaceChild(body, table.tBodies[0]);
  }
)js";

} // namespace PageStyle
