#pragma once

#include <QFont>
#include <QRawFont>
#include <QStringView>

#include <array>

class QPainter;
class QRect;

// Draws a time (digits, ":", ",", ".", "-" and spaces) exactly as QPainter::drawText would,
// from glyphs and advances looked up once for the font instead of shaping the text on every
// call: the running times are drawn a hundred times a second. Texts with other characters, and
// fonts whose time characters are kerned, are left to drawText.
class TimeTextPainter
{
public:
    explicit TimeTextPainter(const QFont &font);

    bool canDraw(QStringView text) const;
    // The same pixels as painter.drawText(rect, alignment, text), for a text canDraw accepts,
    // aligned left or right (not centred).
    void draw(QPainter &painter, const QRect &rect, Qt::Alignment alignment, QStringView text) const;
    // The room the text takes, as drawText lays it out.
    qreal advance(QStringView text) const;

private:
    static constexpr char16_t Characters[] = u"0123456789:,.- ";
    static constexpr int Table = 128;

    QRawFont mRawFont;
    bool mUsable = false;
    std::array<quint32, Table> mGlyphs{};
    std::array<qreal, Table> mAdvances{};
    std::array<bool, Table> mKnown{};
    qreal mAscent = 0;
    qreal mDescent = 0;
};
