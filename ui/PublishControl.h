#pragma once

#include <QLabel>

class QDateTime;
class QSettings;

// The operator's side of publishing to the internet: the switch (Ctrl+Shift+U, "Im Internet
// veröffentlichen"), kept in the settings at once, and a status bar panel that says how the
// uploads go. It takes the uploader's outcomes as plain calls, so it works with any
// transport; a single failure stays quiet, since the next upload usually goes through.
class PublishControl final : public QLabel
{
    Q_OBJECT

public:
    static constexpr int PanelWidth = 300;

    // store: where the switch is kept (PublishOn).
    explicit PublishControl(QSettings &store, QWidget *parent = nullptr);

    bool isOn() const { return mOn; }
    // Whether a target is set (PublishUrl) and whether it is plain FTP ("unverschlüsselt").
    void setTarget(bool configured, bool plain);
    // At start-up: the switch as the last run left it, not written back.
    void restore(bool on);
    // Ctrl+Shift+U: on or off, kept in the settings.
    void toggle();
    // The target cannot be used (a bad URL, a missing key): publishing goes off and the
    // reason stays in red until the operator tries again.
    void refuse(const QString &reason);

    // An upload of every file went through at this time.
    void published(const QDateTime &at);
    // An upload failed; failuresInRow counts since the last success.
    void failed(const QString &reason, int failuresInRow);

signals:
    // The uploads are to start (with the current results at once) or to stop.
    void switchedOn();
    void switchedOff();
    // A passing note for the main window's message panel.
    void message(const QString &text);

private:
    void setOn(bool on, bool save);
    void showState(const QString &text, bool error);

    QSettings &mStore;
    bool mOn = false;
    bool mConfigured = false;
    bool mPlain = false;
    // What the panel says before the "unverschlüsselt" note.
    QString mState;
    bool mError = false;
};
