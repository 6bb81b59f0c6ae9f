#ifndef CONSOLE_H
#define CONSOLE_H

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <atomic>

class CommunicationThreadObject;

/// The command console: turns typed lines into console commands at the front of the queue and
/// shows the traffic on the line as readable text. It owns no widget; every line goes out
/// through lineLogged, which the main window attaches to its output pane.
/// There is one console in the process; it registers itself as instance() at construction.
class Console : public QObject
{
    Q_OBJECT

public:
    explicit Console(CommunicationThreadObject *communication, QObject *parent = nullptr);
    ~Console() override;

    /// The process-wide console, or null.
    static Console *instance();
    /// Hands a frame about to be written (or a reply read) to the process-wide console, if
    /// there is one. Safe from any thread, also while the console is being destroyed.
    static void logSentData(const QString &id, const QString &text);
    static void logReceivedData(const QString &id, const QString &text);
    /// Shows a line of the program's own (for example that the camera refused a value) in the
    /// process-wide console, if there is one. Safe from any thread.
    static void logNotice(const QString &line);

    /// Makes the control bytes of the line protocol readable ("[STX]", "[ETX]", "[ACK]", "[NAK]").
    static QString visibleControlBytes(QString text);
    /// Every control character in readable form, so that a text shown on a terminal cannot
    /// move its cursor: CR, ACK and NAK as above, LF as "[LF]", the others in hex ("[1B]").
    static QString escapedControls(const QString &text);
    /// A typed line as the console sends it: its leading letters in upper case. query tells
    /// whether the character after them is "?".
    static QString commandText(QString line, bool *query = nullptr);

    /// One raw camera command of the console: the command text as sent, whether a reply is
    /// expected and, in a script, the line it stands on (from 1).
    struct Request
    {
        QByteArray text;
        bool query = false;
        int line = 0;
    };
    /// A typed line as it is sent: leading letters upper-cased, line ends as spaces (as the
    /// line edit shows them), a query when "?" follows the letters.
    static Request typedRequest(QString line);
    /// Whether every character of a typed line has a byte on the line (Latin-1).
    static bool isSendable(const QString &line);
    /// The commands of a console script, one per non-empty line (lines end at LF, CR or CRLF);
    /// a line is a query when it contains "?".
    static QList<Request> scriptRequests(const QByteArray &script);

    void setShowDebug(bool showAll);
    bool showDebug() const;
    void setTimed(bool timed) { mTimed = timed; }
    bool timed() const { return mTimed; }

signals:
    /// One line for the output pane (emitted in the console's thread).
    void lineLogged(QString line);

public slots:
    void sendCommand(QString line);
    void sendData(QString id, QString logLine);
    void receivedData(QString id, QString logLine);
    void normalLog(QString logLine);
    void logSwitchedToPort(QString portName);

private:
    void logTraffic(const QString &id, const QString &text, const QString &format);

    CommunicationThreadObject *mCommunication;
    std::atomic<bool> mShowAllTraffic { false };
    bool mTimed = false;
};

#endif // CONSOLE_H
