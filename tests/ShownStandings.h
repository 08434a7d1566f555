#pragma once

#include "core/ResultColumns.h"
#include "core/ResultsSnapshot.h"

#include <QString>
#include <QStringList>

// The standings table of the public page, as the results are and as a browser shows them.

// The table's rows as the page shows them: the result columns' texts joined by '|'.
inline QString rowsOf(const ResultsSnapshot &results)
{
    QStringList rows;
    for (const ResultsSnapshot::Row &row : results.rows) {
        QStringList cells;
        for (const int column : ResultColumns)
            cells << row.cells[column];
        rows << cells.join(u'|');
    }
    return rows.join(u'\n');
}

// The same, read from the page in the browser.
inline const QString ShownRows = QStringLiteral("[...document.querySelectorAll('#standings tbody tr')]"
                                         ".map(r => [...r.cells].map(c => c.textContent).join('|')).join('\\n')");
