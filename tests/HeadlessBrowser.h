#pragma once

#include <QByteArray>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QVariant>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <optional>

// Headless Chromium driven over its DevTools pipe (fd 3 in, fd 4 out, messages ended by NUL),
// so a test can read a live page's DOM while the page keeps running, without a WebSocket.
class HeadlessBrowser
{
public:
    static constexpr const char *Program = "/usr/bin/chromium";

    static bool available() { return QFile::exists(QString::fromLatin1(Program)); }

    // extraArguments: more of Chromium's switches, e.g. to trust a test server's certificate.
    explicit HeadlessBrowser(const QStringList &extraArguments = {})
    {
        if (pipe2(mToBrowser, O_CLOEXEC) != 0 || pipe2(mFromBrowser, O_CLOEXEC) != 0)
            return;
        const int in = mToBrowser[0];
        const int out = mFromBrowser[1];
        mProcess.setChildProcessModifier([in, out] {
            // dup2 clears close-on-exec on the copies, so only these two reach the browser.
            dup2(in, 3);
            dup2(out, 4);
        });
        mProcess.start(QString::fromLatin1(Program),
                       QStringList{QStringLiteral("--headless"), QStringLiteral("--no-sandbox"), QStringLiteral("--disable-gpu"),
                        QStringLiteral("--no-first-run"), QStringLiteral("--disable-background-networking"),
                        QStringLiteral("--user-data-dir=") + mProfile.path(), QStringLiteral("--remote-debugging-pipe")}
                           + extraArguments + QStringList{QStringLiteral("about:blank")});
        close(mToBrowser[0]);
        close(mFromBrowser[1]);
        mToBrowser[0] = mFromBrowser[1] = -1;
    }

    ~HeadlessBrowser()
    {
        if (mProcess.state() != QProcess::NotRunning) {
            call("Browser.close", {});
            if (!mProcess.waitForFinished(5000))
                mProcess.kill();
            mProcess.waitForFinished(5000);
        }
        for (const int fd : {mToBrowser[1], mFromBrowser[0]})
            if (fd >= 0)
                close(fd);
    }

    // Opens a tab on the address; false when the browser does not answer.
    bool open(const QString &url)
    {
        const auto target = call("Target.createTarget", {{QStringLiteral("url"), url}});
        if (!target)
            return false;
        const auto attached = call("Target.attachToTarget",
                                   {{QStringLiteral("targetId"), target->value(QStringLiteral("targetId"))},
                                    {QStringLiteral("flatten"), true}});
        if (!attached)
            return false;
        mSession = attached->value(QStringLiteral("sessionId")).toString();
        return !mSession.isEmpty();
    }

    // The value of a script expression in the open tab (a string, or empty).
    QString evaluate(const QString &expression)
    {
        const auto result = call("Runtime.evaluate", {{QStringLiteral("expression"), expression},
                                                      {QStringLiteral("returnByValue"), true}}, mSession);
        if (!result)
            return {};
        return result->value(QStringLiteral("result")).toObject().value(QStringLiteral("value")).toVariant().toString();
    }

private:
    // One command and its answer; events that arrive meanwhile are passed over.
    std::optional<QJsonObject> call(const char *method, const QJsonObject &params, const QString &session = {})
    {
        QJsonObject message{{QStringLiteral("id"), ++mLastId}, {QStringLiteral("method"), QString::fromLatin1(method)},
                            {QStringLiteral("params"), params}};
        if (!session.isEmpty())
            message.insert(QStringLiteral("sessionId"), session);
        const QByteArray bytes = QJsonDocument(message).toJson(QJsonDocument::Compact) + '\0';
        if (mToBrowser[1] < 0 || write(mToBrowser[1], bytes.constData(), bytes.size()) != bytes.size())
            return std::nullopt;
        while (true) {
            const qsizetype end = mPending.indexOf('\0');
            if (end < 0) {
                pollfd ready{mFromBrowser[0], POLLIN, 0};
                char chunk[65536];
                if (poll(&ready, 1, 60000) <= 0)
                    return std::nullopt;
                const ssize_t n = read(mFromBrowser[0], chunk, sizeof chunk);
                if (n <= 0)
                    return std::nullopt;
                mPending.append(chunk, n);
                continue;
            }
            const QJsonObject answer = QJsonDocument::fromJson(mPending.left(end)).object();
            mPending.remove(0, end + 1);
            if (answer.value(QStringLiteral("id")).toInt() == mLastId)
                return answer.value(QStringLiteral("result")).toObject();
        }
    }

    QTemporaryDir mProfile;
    QProcess mProcess;
    int mToBrowser[2] = {-1, -1};
    int mFromBrowser[2] = {-1, -1};
    QByteArray mPending;
    QString mSession;
    int mLastId = 0;
};
