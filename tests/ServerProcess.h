#pragma once

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
    // Every process below pid (the servers here are single-threaded), read from /proc.
    static QList<pid_t> descendants(pid_t pid)
    {
        QFile file(QStringLiteral("/proc/%1/task/%1/children").arg(pid));
        QList<pid_t> found;
        if (file.open(QIODevice::ReadOnly)) {
            for (const QByteArray &child : file.readAll().split(' ')) {
                if (const auto id = pid_t(child.toInt()); id > 0)
                    found << descendants(id) << id;
            }
        }
        return found;
    }

    QProcess mProcess;
    quint16 mPort = 0;
};
