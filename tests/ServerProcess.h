#pragma once

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <csignal>
#include <sys/types.h>

// A server program the test starts on the loopback, and ends with all it forked (sshd keeps
// a process per connection, which would otherwise carry on after the listener is gone).
class ServerProcess
{
public:
    ~ServerProcess() { stop(); }

    // A port nothing listens on right now.
    static quint16 freePort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return probe.serverPort();
    }

    // Starts the program and waits until the port takes connections.
    bool start(const QString &program, const QStringList &arguments, quint16 port)
    {
        stop();
        mPort = port;
        mProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        mProcess.start(program, arguments);
        if (!mProcess.waitForStarted(5000))
            return false;
        for (int i = 0; i < 100; ++i) {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, port);
            if (probe.waitForConnected(100))
                return true;
            if (mProcess.state() != QProcess::Running)
                return false;
            QThread::msleep(50);
        }
        return false;
    }

    void stop()
    {
        if (mProcess.state() == QProcess::NotRunning)
            return;
        const auto pid = pid_t(mProcess.processId());
        for (pid_t child : descendants(pid))
            ::kill(child, SIGKILL);
        mProcess.kill();
        mProcess.waitForFinished(5000);
    }

    quint16 port() const { return mPort; }

private:
    // Every process below pid, read from /proc.
    static QList<pid_t> descendants(pid_t pid)
    {
        QList<pid_t> found;
        QList<pid_t> parents{pid};
        while (!parents.isEmpty()) {
            const pid_t parent = parents.takeFirst();
            for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
                bool number = false;
                const pid_t candidate = pid_t(entry.toInt(&number));
                if (!number)
                    continue;
                QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
                if (!stat.open(QIODevice::ReadOnly))
                    continue;
                // "pid (name) state ppid ...": the name may hold spaces, so read after the ')'.
                const QByteArray line = stat.readAll();
                const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
                if (fields.size() > 1 && fields[1].toInt() == parent) {
                    found.append(candidate);
                    parents.append(candidate);
                }
            }
        }
        return found;
    }

    QProcess mProcess;
    quint16 mPort = 0;
};
