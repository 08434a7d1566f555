#pragma once

#include "platform/SerialDevice.h"

#include <QMutex>
#include <QObject>
#include <QTimer>
#include <QWaitCondition>

#include <cstdint>
#include <memory>
#include <optional>

class QThread;
class TickSource;

// The serial line monitor: opens one port by number, holds DTR and RTS up for the barriers and
// raises every change of CTS, DSR and carrier detect on the GUI thread. An event thread
// (TComThread) waits on the device and hands each wake over synchronously.
// Handlers must not open or close the port (a close from inside one does not hang, but the rest
// of that wake is then dropped).
class TComPort final : public QObject
{
    Q_OBJECT

public:
    // The device is the port's own; the clock stamps each wake and must outlive the port.
    TComPort(std::unique_ptr<SerialDevice> device, const TickSource &clock, QObject *parent = nullptr);
    // Closes the port (raising OnClose when it was open).
    ~TComPort() override;

    // "COM" n, 1..16; 0 means no port. Takes effect at the next Open; ends any retrying of the old one.
    int Port() const { return mPort; }
    void setPort(int port);
    // Line settings for the next Open; DataBits is brought into 5..8.
    const SerialSettings &Settings() const { return mSettings; }
    void setSettings(const SerialSettings &settings);
    void setDataBits(int bits) { mSettings.DataBits = SerialSettings::clampDataBits(bits); }
    // EV_ bits of the line changes the event thread waits for; by default all.
    int Events() const { return mEvents; }
    void setEvents(int eventMask) { mEvents = eventMask; }
    // The device path of Port() (empty for 0).
    QString DevicePath() const;

    // True from a successful Open until Close (or until the device is lost).
    bool Connected() const { return mConnected; }
    // Closes any open port, opens Port() and starts waiting; raises OnOpen on success.
    // Throws EComHandle or EComState and stays closed otherwise (then, with reopenWhenBack,
    // it is tried again like a lost device).
    void Open();
    // Stops the event thread (dispatching an event it is handing over), releases the device,
    // then raises OnClose. Nothing happens when closed.
    void Close();
    // The input lines now, as MS_ bits; 0 when closed or unreadable.
    int ModemStatus() const;

    // After the device is lost or an Open failed, try to open it again once a second until it
    // is there; Close, Open and setPort end the tries.
    void setReopenWhenBack(bool on);
    bool reopenWhenBack() const { return mReopenWhenBack; }

    // True while the event thread waits for the GUI thread to dispatch its event.
    bool handOverWaiting() const;

signals:
    void OnOpen();
    void OnClose(); // always after the device is released
    void OnCTS();
    void OnDSR();
    void OnRLSD();
    // One whole wake, raised before its OnCTS/OnDSR/OnRLSD: tick is the race clock when the wait
    // returned, modemStatus the MS_ bits of the lines as this wake's edges leave them, lines the
    // EV_ bits that changed, and pulses those of them that changed twice or more (a pulse
    // shorter than the hand-over).
    void lineEvent(std::int32_t tick, int modemStatus, int lines, int pulses);
    // The device went away (unplugged). The port is closed already; OnClose came just before.
    void lost(const QString &reason);
    // The lost (or missing) device is open again (only with reopenWhenBack); OnOpen came just before.
    void reconnected();

private:
    friend class TComThread;

    // What the event thread hands over for one wake.
    struct LineEvent
    {
        std::int32_t tick = 0;
        int modemStatus = 0;
        int lines = 0;
        int pulses = 0;
    };

    // Event thread: posts the event and blocks until it is dispatched. False when the port is
    // stopping (the event is dropped: a stop wins over a simultaneous change).
    bool handOver(const LineEvent &event);
    // Event thread: the device is gone; the GUI thread closes the port soon after.
    void reportLost(quint64 generation, const QString &reason);

    void servePending();
    void dispatch(const LineEvent &event);
    void onLost(quint64 generation, const QString &reason);
    void openPort();
    void closePort();
    void release();
    void tryReopen();

    std::unique_ptr<SerialDevice> mDevice;
    const TickSource &mClock;
    int mPort = 1;
    SerialSettings mSettings;
    int mEvents = 0x01FF;
    bool mConnected = false;
    bool mReleasing = false;   // release() is running: a nested Close does nothing
    quint64 mGeneration = 0;   // counts opens, so a late report from an old thread is ignored
    std::unique_ptr<QThread> mThread;

    // The hand-over mailbox: one event at a time, guarded by mHandOverMutex.
    mutable QMutex mHandOverMutex;
    QWaitCondition mHandedOver;
    std::optional<LineEvent> mPending; // posted, not yet taken by the GUI thread
    quint64 mPosted = 0;               // events posted so far
    quint64 mFinished = 0;             // events dispatched (or released by a close) so far
    bool mStopping = false;            // no more hand-overs: the port is closing

    bool mReopenWhenBack = false;
    QTimer mReopenTimer;
};
