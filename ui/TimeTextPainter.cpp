#include "ui/TimeTextPainter.h"

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPainter>
#include <QTextLayout>

#include <cmath>

TimeTextPainter::TimeTextPainter(const QFont &font)
    : mRawFont(QRawFont::fromFont(font))
{
    const QFontMetricsF metrics(font);
    mAscent = metrics.ascent();
    mDescent = metrics.descent();
    if (!mRawFont.isValid())
        return;
    // Glyphs and advances as the text layout shapes them, one character at a time.
    for (const char16_t c : Characters) {
        if (c == 0)
            continue;
        QTextLayout layout(QString(QChar(c)), font);
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        const QList<QGlyphRun> runs = layout.glyphRuns();
        if (runs.size() != 1 || runs[0].glyphIndexes().size() != 1)
            return;
        mGlyphs[c] = runs[0].glyphIndexes()[0];
        mAdvances[c] = layout.lineAt(0).horizontalAdvance();
        mKnown[c] = true;
    }
    // Usable when every pair of them lays out as its two characters do alone: no kerning and
    // no substitution, so a shaped time is the characters side by side.
    for (const char16_t a : Characters) {
        for (const char16_t b : Characters) {
            if (a == 0 || b == 0)
                continue;
            QTextLayout layout(QString(QChar(a)) + QChar(b), font);
            layout.beginLayout();
            layout.createLine();
            layout.endLayout();
            const QList<QGlyphRun> runs = layout.glyphRuns();
            if (runs.size() != 1 || runs[0].glyphIndexes() != QList<quint32>{mGlyphs[a], mGlyphs[b]}
                || layout.lineAt(0).horizontalAdvance() != mAdvances[a] + mAdvances[b])
                return;
        }
    }
    mUsable = true;
}

bool TimeTextPainter::canDraw(QStringView text) const
{
    if (!mUsable || text.isEmpty())
        return false;
    for (const QChar c : text)
        if (c.unicode() >= Table || !mKnown[c.unicode()])
            return false;
    return true;
}

qreal TimeTextPainter::advance(QStringView text) const
{
    qreal width = 0;
    for (const QChar c : text)
        width += mAdvances[c.unicode()];
    return width;
}

void TimeTextPainter::draw(QPainter &painter, const QRect &rect, Qt::Alignment alignment, QStringView text) const
{
    // Where drawText puts a single line: aligned in the rectangle by its advance, vertically
    // by its ascent and descent, the baseline an ascent below the line's top.
    const qreal width = advance(text);
    const QRectF r(rect);
    qreal x = 0;
    if (alignment & Qt::AlignRight)
        x = r.width() - width;
    qreal y = 0;
    if (alignment & Qt::AlignBottom)
        y = r.height() - (mAscent + mDescent);
    else if (alignment & Qt::AlignVCenter)
        y = (r.height() - (mAscent + mDescent)) / 2;

    QList<quint32> glyphs;
    QList<QPointF> positions;
    glyphs.reserve(text.size());
    positions.reserve(text.size());
    qreal pen = 0;
    for (const QChar c : text) {
        glyphs.append(mGlyphs[c.unicode()]);
        positions.append(QPointF(pen, 0));
        pen += mAdvances[c.unicode()];
    }
    QGlyphRun run;
    run.setRawFont(mRawFont);
    run.setGlyphIndexes(glyphs);
    run.setPositions(positions);
    // A line that does not fit is clipped to the rectangle, as drawText clips it.
    const bool clip = !r.contains(QRectF(r.x() + x, r.y() + y, width, mAscent + mDescent));
    if (clip) {
        painter.save();
        painter.setClipRect(r, Qt::IntersectClip);
    }
    painter.drawGlyphRun(QPointF(r.x() + x, r.y() + y + mAscent), run);
    if (clip)
        painter.restore();
}
