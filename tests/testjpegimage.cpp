#include "platform/JpegImage.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

// The logo decoder: a good JPEG shows, anything else gives no picture and never a crash.
class TestJpegImage : public QObject
{
    Q_OBJECT

    QByteArray logo;

    // The logo with the frame header's height and width replaced.
    QByteArray withDimensions(int width, int height) const
    {
        QByteArray data = logo;
        qsizetype sof = -1;
        for (qsizetype i = 0; i + 1 < data.size(); ++i) {
            const auto marker = static_cast<unsigned char>(data[i + 1]);
            if (static_cast<unsigned char>(data[i]) == 0xFF && (marker == 0xC0 || marker == 0xC2)) {
                sof = i;
                break;
            }
        }
        if (sof < 0)
            return {};
        data[sof + 5] = char(height >> 8);
        data[sof + 6] = char(height & 0xFF);
        data[sof + 7] = char(width >> 8);
        data[sof + 8] = char(width & 0xFF);
        return data;
    }

private slots:
    void initTestCase()
    {
        QFile file(QFINDTESTDATA("../resources/Logo.jpg"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        logo = file.readAll();
        QVERIFY(logo.size() > 500);
    }

    void shippedLogo()
    {
        const QImage image = JpegImage::decode(logo);
        QCOMPARE(image.size(), QSize(150, 85));
        // The top left corner is money green, the chequered band black and white.
        const QColor corner = image.pixelColor(2, 2);
        QVERIFY(corner.green() > corner.red() && corner.green() > 180);
    }

    void grayscaleBecomesColour()
    {
        QImage gray(40, 20, QImage::Format_Grayscale8);
        gray.fill(128);
        QByteArray data;
        QBuffer buffer(&data);
        buffer.open(QIODevice::WriteOnly);
        if (!gray.save(&buffer, "JPG"))
            QSKIP("no JPEG writer in this Qt to make the sample");
        const QImage image = JpegImage::decode(data);
        QCOMPARE(image.size(), QSize(40, 20));
        QCOMPARE(image.format(), QImage::Format_RGB888);
    }

    void refused_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("only the start marker") << QByteArray("\xFF\xD8", 2);
        QTest::newRow("header cut off") << logo.left(100);
        QTest::newRow("half the file") << logo.left(logo.size() / 2);
        QTest::newRow("all but the end marker") << logo.left(logo.size() - 2).left(logo.size() - 40);
        QTest::newRow("text") << QByteArray("Logo.jpg (150x85)\n");
        static const char png[] = "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x10\0\0\0\x10\x08\x02\0\0\0";
        QTest::newRow("png under a jpg name") << QByteArray(png, sizeof(png) - 1);
        QTest::newRow("huge frame") << withDimensions(60000, 60000);
        QTest::newRow("zero width") << withDimensions(0, 85);
        QByteArray badMarkers = logo;
        badMarkers[2] = char(0x00);
        badMarkers[3] = char(0x00);
        QTest::newRow("broken markers") << badMarkers;
    }

    void refused()
    {
        QFETCH(QByteArray, data);
        QVERIFY(JpegImage::decode(data).isNull());
    }

    void damagedScanNeverCrashes()
    {
        // Damage in the picture data may still decode into wrong pixels; it must never crash.
        for (int step = 0; step < 40; ++step) {
            QByteArray data = logo;
            const qsizetype at = data.size() / 3 + step * 17;
            data[at] = char(~data[at]);
            data[at + 1] = char(step * 37);
            const QImage image = JpegImage::decode(data);
            QVERIFY(image.isNull() || image.size() == QSize(150, 85));
        }
    }

    void files()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(JpegImage::load(dir.filePath(QStringLiteral("missing.jpg"))).isNull());
        QVERIFY(JpegImage::load(dir.path()).isNull());
        QFile good(dir.filePath(QStringLiteral("Logo.jpg")));
        QVERIFY(good.open(QIODevice::WriteOnly));
        good.write(logo);
        good.close();
        QCOMPARE(JpegImage::load(good.fileName()).size(), QSize(150, 85));
    }
};

QTEST_GUILESS_MAIN(TestJpegImage)
#include "testjpegimage.moc"
