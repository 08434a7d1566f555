// The yardsticks for the window's refresh cost, measured by benchmarks/refresh_cpu side by side
// with the program:
//   refresh_baseline            a plain QTableView of 20 x 12 texts whose one column is
//                               rewritten every 10 ms, as a running-time column would be;
//   refresh_baseline --minimal  about the least any widget can do at that rate: the twenty
//                               hundredths (two digits each, laid out once) repainted every
//                               10 ms in one small area, nothing else: the floor that a repaint
//                               and the window system's round trip for it set.
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QPainter>
#include <QStandardItemModel>
#include <QTableView>
#include <QStaticText>
#include <QTimer>

#include <array>

namespace {

constexpr int Rows = 20;
constexpr int Columns = 12;
constexpr int Running = 5;

// The running time of a row as the grid writes it.
QString timeText(qint64 ms)
{
    return QStringLiteral("%1:%2,%3")
        .arg(ms / 60000)
        .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms / 10 % 100, 2, 10, QLatin1Char('0'));
}

class MinimalTimes final : public QWidget
{
public:
    explicit MinimalTimes(const QElapsedTimer &clock) : mClock(clock)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
        // Only the hundredths change from one tick to the next: their hundred texts, laid out once.
        for (int h = 0; h < 100; ++h)
            mHundredths[h] = QStaticText(QStringLiteral("%1").arg(h, 2, 10, QLatin1Char('0')));
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(Area, Qt::white);
        for (int r = 0; r < Rows; ++r)
            painter.drawStaticText(Area.x() + 2, Area.y() + r * 23 + 3, mHundredths[(mClock.elapsed() + r * 1370) / 10 % 100]);
    }

public:
    static constexpr QRect Area{450, 20, 22, Rows * 23};

private:
    const QElapsedTimer &mClock;
    std::array<QStaticText, 100> mHundredths;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QElapsedTimer clock;
    clock.start();
    QTimer refresh;
    refresh.setTimerType(Qt::PreciseTimer);

    if (app.arguments().contains(QStringLiteral("--minimal"))) {
        MinimalTimes widget(clock);
        widget.resize(1024, 600);
        widget.setWindowTitle(QStringLiteral("refresh-minimal"));
        widget.show();
        QObject::connect(&refresh, &QTimer::timeout, &widget, [&widget] { widget.update(MinimalTimes::Area); });
        refresh.start(10);
        return app.exec();
    }

    QStandardItemModel model(Rows, Columns);
    for (int r = 0; r < Rows; ++r)
        for (int c = 0; c < Columns; ++c)
            model.setItem(r, c, new QStandardItem(c == Running ? QString() : QStringLiteral("%1.%2").arg(r).arg(c)));
    QTableView view;
    view.setModel(&model);
    view.verticalHeader()->hide();
    view.resize(1024, 600);
    view.setWindowTitle(QStringLiteral("refresh-baseline"));
    view.show();
    QObject::connect(&refresh, &QTimer::timeout, &view, [&] {
        for (int r = 0; r < Rows; ++r)
            model.item(r, Running)->setText(timeText(clock.elapsed() + r * 1370));
    });
    refresh.start(10);
    return app.exec();
}
