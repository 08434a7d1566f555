#pragma once

#include <QString>

#include <stdexcept>

// A serial port that could not be opened or set up. Every caller catches this and carries on:
// an unusable port only leaves the barrier indicator hidden.
class EComError : public std::runtime_error
{
public:
    QString text() const { return QString::fromUtf8(what()); }

protected:
    using std::runtime_error::runtime_error;
};

// The device could not be acquired: absent, held by another program, no rights.
class EComHandle final : public EComError
{
public:
    explicit EComHandle(const QString &systemText)
        : EComError(QStringLiteral("Unable to open com port: %1").arg(systemText).toStdString())
    {
    }
};

// The device was acquired but refused its line settings.
class EComState final : public EComError
{
public:
    explicit EComState(const QString &systemText)
        : EComError(QStringLiteral("Unable to set com state: %1").arg(systemText).toStdString())
    {
    }
};
