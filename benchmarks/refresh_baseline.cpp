// The yardstick for the window's refresh cost: a plain QTableView of 20 x 12 texts whose one
// column is rewritten every 10 ms, as a running-time column would be, with nothing else going
// on. benchmarks/refresh_cpu measures it side by side with the program.
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QStandardItemModel>
#include <QTableView>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    constexpr int Rows = 20;
    constexpr int Columns = 12;
    constexpr int Running = 5;
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

    QElapsedTimer clock;
    clock.start();
    QTimer refresh;
    refresh.setTimerType(Qt::PreciseTimer);
    QObject::connect(&refresh, &QTimer::timeout, &view, [&] {
        const qint64 ms = clock.elapsed();
        for (int r = 0; r < Rows; ++r) {
            const qint64 t = ms + r * 1370;
            model.item(r, Running)->setText(QStringLiteral("%1:%2,%3")
                                                .arg(t / 60000)
                                                .arg(t / 1000 % 60, 2, 10, QLatin1Char('0'))
                                                .arg(t / 10 % 100, 2, 10, QLatin1Char('0')));
        }
    });
    refresh.start(10);
    return app.exec();
}
