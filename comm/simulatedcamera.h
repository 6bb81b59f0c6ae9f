#ifndef SIMULATEDCAMERA_H
#define SIMULATEDCAMERA_H

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QString>

/// The protocol side of a simulated camera, without any transport: request bytes in, reply
/// bytes out. It answers "ID?" and "ERR?", stores sets and answers queries from its table.
/// A set with several arguments also files a table row under its first argument, and a query
/// with that argument ("LUT?5" after "LUT5;200") answers the row, so lookup tables and regions
/// read back what was written.
/// Faults can be scripted for the next commands, and every handled command is recorded.
/// All public operations are thread-safe, so a test may script faults while a transport thread
/// feeds the camera.
class SimulatedCamera
{
public:
    enum FaultKind {
        NoFault,
        NoAnswer, ///< the command is consumed, nothing is answered
        NakAnswer, ///< NAK instead of the answer
        Truncated, ///< only the first byte of the answer (the ACK of a query, or nothing)
        Garbage, ///< bytes that are neither ACK nor NAK
        Delayed, ///< the full answer, but only after delayMs
        LateTail ///< the first byte of the answer at once, the rest after delayMs
    };

    struct Fault
    {
        FaultKind kind = NoFault;
        int delayMs = 0;
    };

    /// A piece of output and how long after the request it is due.
    struct Chunk
    {
        int delayMs = 0;
        QByteArray bytes;
    };

    explicit SimulatedCamera(const QString &name = QString());

    QString name() const;

    /// Consumes request bytes (frames may be split or joined arbitrarily) and returns the
    /// answers of the commands completed by them, in order.
    QList<Chunk> receive(const QByteArray &bytes);

    /// The fault applies to the next command handled, then to the following ones in order.
    void queueFault(const Fault &fault);
    void queueFault(FaultKind kind, int delayMs = 0);
    /// Shorthand: the next command goes unanswered, its repetition is answered.
    void answerOnlyOnSecondTry() { queueFault(NoAnswer); }
    void clearFaults();
    int pendingFaults() const;

    /// Commands handled so far (the text between "@" and CR), oldest first.
    QList<QByteArray> receivedCommands() const;
    int receivedCommandCount() const;
    void clearReceivedCommands();

    /// Makes "ID?" answer this text instead of "VirtualDevice-" and the name (empty: default).
    void setIdentification(const QByteArray &text);

    /// Stored value text of a parameter (as it was framed), or a null array.
    QByteArray value(const QString &parameter) const;
    void setValue(const QString &parameter, const QByteArray &text);

    /// The regular answer to one command, without faults (table-testable).
    QByteArray answer(const QByteArray &command);

private:
    QByteArray answerLocked(const QByteArray &command);

    mutable QMutex mMutex;
    QString mName;
    QByteArray mIdentification;
    QByteArray mInput;
    QMap<QString, QByteArray> mValues;
    // Per command, rows by their first argument.
    QMap<QString, QMap<QByteArray, QByteArray>> mRows;
    QList<Fault> mFaults;
    QList<QByteArray> mReceived;
};

#endif // SIMULATEDCAMERA_H
