#include "platform/QtPagePrinter.h"

#include <QDir>
#include <QFile>
#include <QPrinterInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono_literals;

// Feeds a page through a named pipe from a thread of its own, so a test decides how long the
// printing thread's read lasts: it waits for the reader, holds the page back until released
// (or five seconds have passed), then writes it a moment later and closes.
class PipeFeeder
{
public:
    explicit PipeFeeder(const QString &path)
        : mPath(QFile::encodeName(path))
    {
        mkfifo(mPath.constData(), 0600);
        mThread = std::thread([this] { feed(); });
    }
    ~PipeFeeder()
    {
        released = true;
        mThread.join();
    }
    bool waitForReader() const
    {
        for (int i = 0; i < 500 && !opened; ++i)
            std::this_thread::sleep_for(10ms);
        return opened;
    }

    std::atomic<bool> opened{false};              // the printing thread has the pipe open
    std::atomic<bool> released{false};            // the test lets the page through
    std::atomic<bool> releasedBeforeWrite{false}; // the test got control back while the read was pending
    std::atomic<bool> written{false};             // the page is through; the pipe closes right after

private:
    void feed()
    {
        int fd = -1;
        for (int i = 0; i < 500 && fd < 0; ++i) {
            fd = ::open(mPath.constData(), O_WRONLY | O_NONBLOCK);
            if (fd < 0)
                std::this_thread::sleep_for(10ms);
        }
        if (fd < 0)
            return;
        opened = true;
        for (int i = 0; i < 500 && !released; ++i)
            std::this_thread::sleep_for(10ms);
        releasedBeforeWrite = released.load();
        std::this_thread::sleep_for(100ms);
        static const char page[] = "<html><body><p>Platz 1</p></body></html>";
        [[maybe_unused]] const auto n = ::write(fd, page, sizeof page - 1);
        // Marked before the close: the reader cannot finish before it sees the end of the pipe.
        written = true;
        ::close(fd);
    }

    QByteArray mPath;
    std::thread mThread;
};

// Printing without a dialog: every answer comes later, on the caller's thread, and the
// printing thread ends with the printer.
class TestPagePrinter : public QObject
{
    Q_OBJECT

    QTemporaryDir mDir;

    QString path(const char *name) const { return mDir.filePath(QString::fromLatin1(name)); }

    // The printing threads alive in this process, as the system lists them.
    static int printingThreads()
    {
        int count = 0;
        const QDir tasks(QStringLiteral("/proc/self/task"));
        for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile comm(tasks.filePath(task + QStringLiteral("/comm")));
            if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "PagePrinter")
                ++count;
        }
        return count;
    }

private slots:
    void initTestCase()
    {
        if (!QPrinterInfo::defaultPrinter().isNull())
            QSKIP("a default printer is set up here; these tests would print on it");
        QFile page(path("page.html"));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write("<html><body><p>J\xfcrgen Wei\xdf</p></body></html>\r\n");
    }

    void answersLater_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("noPrinters");
        QTest::addColumn<QString>("failure");
        QTest::newRow("written page") << path("page.html") << 1 << QString();
        QTest::newRow("missing page") << path("missing.html") << 0
                                      << "Die Seite konnte nicht gelesen werden: " + path("missing.html");
    }

    void answersLater()
    {
        QFETCH(QString, file);
        QtPagePrinter printer;
        QSignalSpy printed(&printer, &PagePrinter::printed);
        QSignalSpy noPrinter(&printer, &PagePrinter::noPrinter);
        QSignalSpy failed(&printer, &PagePrinter::failed);
        QThread *answeredOn = nullptr;
        const auto note = [&answeredOn] { answeredOn = QThread::currentThread(); };
        connect(&printer, &PagePrinter::noPrinter, this, note, Qt::DirectConnection);
        connect(&printer, &PagePrinter::failed, this, note, Qt::DirectConnection);

        printer.print(file);
        QCOMPARE(noPrinter.size() + failed.size(), 0);
        QTRY_COMPARE(noPrinter.size() + failed.size(), 1);
        QTEST(int(noPrinter.size()), "noPrinters");
        QTEST(failed.isEmpty() ? QString() : failed.first().first().toString(), "failure");
        QCOMPARE(printed.size(), 0);
        QCOMPARE(answeredOn, QThread::currentThread());
    }

    void printReturnsWhileThePageIsRead()
    {
        PipeFeeder feeder(path("slow.html"));
        QtPagePrinter printer;
        QSignalSpy noPrinter(&printer, &PagePrinter::noPrinter);
        printer.print(path("slow.html"));
        feeder.released = true;
        QVERIFY(noPrinter.wait());
        QVERIFY2(feeder.releasedBeforeWrite, "print() waited for the page to be read");
    }

    void printingThreadEndsWithThePrinter_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("idle") << QString();
        QTest::newRow("right after print") << path("page.html");
        QTest::newRow("while the page is read") << path("slow2.html");
    }

    void printingThreadEndsWithThePrinter()
    {
        QFETCH(QString, file);
        std::optional<PipeFeeder> feeder;
        if (file.endsWith(QStringLiteral("slow2.html")))
            feeder.emplace(file);
        {
            QtPagePrinter printer;
            QTRY_COMPARE(printingThreads(), 1);
            if (!file.isEmpty())
                printer.print(file);
            if (feeder) {
                QVERIFY(feeder->waitForReader());
                feeder->released = true;
            }
        }
        if (feeder) {
            QVERIFY2(feeder->written, "the printer went before its thread had read the page");
            feeder.reset();
        }
        QTRY_COMPARE(printingThreads(), 0);
        // Answers still on their way to the printer that went must vanish with it.
        QTest::qWait(50);
    }
};

QTEST_MAIN(TestPagePrinter)
#include "testpageprinter.moc"
