#pragma once

#include <QString>

#include <optional>

class QSettings;
struct SessionSetup;

// What the program keeps between runs, under organisation "Zeitkontor" and the program
// file's base name. Written back in full when the program closes.
struct ProgramSettings
{
    static constexpr const char *Organisation = "Zeitkontor";

    std::optional<int> left;  // placement chosen by the desktop when absent
    std::optional<int> top;
    int width = 1024;
    int height = 632;         // stored, but the window takes the height that fits its rows
    int acc = 2;              // decimals of race times: always two
    int autos = 20;           // participants, 1..20
    int time = 14400;         // race duration in seconds
    QString title = QStringLiteral("Circuit de Monaco, Monte Carlo");
    QString timeWarn = QStringLiteral("00:30");
    int port = 0;             // serial port number, 0 = none
    int alg1 = 0;             // start barrier output: 0 NPN, 1 PNP
    int alg2 = 0;             // finish barrier output: 0 NPN, 1 PNP
    bool oneLuch = true;      // one-barrier mode
    int lockStopTime = 20;    // finish lock after a start, seconds, 1..999
    // The vendor's web address behind the word mark and the information box's logo. Read
    // only: it is set by editing the settings file.
    QString webAddress = QStringLiteral("https://www.chronolauf.example/");
    // The TCP port of the live standings page on the local network (0: any free one). Read
    // only, like the web address; a value outside 0..65535 keeps the default.
    int livePort = 8080;
    // The one address the live standings listen on, e.g. "192.168.1.20"; empty: all of this
    // machine's addresses. Read only, like the port; checked when the server starts.
    QString liveBind;
    // "Bediener": who signs the corrections made on this computer. Read only, like the web
    // address; empty means the login name (see operatorName()).
    QString bediener;
    // Publishing the standings to a web host. Read only like the web address, except
    // PublishOn: the URL of the remote folder (sftp://, ftps://, ftp://, https:// for WebDAV;
    // empty: never published), the seconds between uploads (2..600), whether plain ftp://
    // is allowed, and the SFTP key file (empty: ~/.ssh/id_ed25519, then id_rsa).
    QString publishUrl;
    int publishInterval = 10;
    bool publishAllowPlain = false;
    QString publishKey;
    // Whether the operator left publishing on (Ctrl+Shift+U): it comes back on at the next
    // start. Written when toggled, not with the other values, so it never needs the window.
    bool publishOn = false;

    static constexpr int MinPublishInterval = 2;
    static constexpr int MaxPublishInterval = 600;

    // The name a correction carries: the "Bediener" setting, else the login name from the
    // environment, so that the trail never shows a correction without a name.
    QString operatorName() const;

    // The SFTP key: the PublishKey setting, else the first of id_ed25519 and id_rsa in the
    // home folder's .ssh that exists; empty when there is none (the SSH agent may have one).
    QString publishKeyFile(const QString &home) const;

    // Each value on its own: a missing or mistyped value keeps its default and the others
    // still apply. Numbers must be whole numbers.
    static ProgramSettings read(QSettings &store);
    // The fourteen values, in their fixed order.
    void write(QSettings &store) const;
    // PublishOn alone, at once: the operator's switch survives a crash of the program.
    static void writePublishOn(QSettings &store, bool on);

    // The stored set-up fields put into a session's set-up (the rest of it stays).
    void applyTo(SessionSetup &setup) const;
    // The set-up fields taken from a session's set-up; a barrier output type the program
    // does not know is kept as it was stored.
    void takeFrom(const SessionSetup &setup);
};
