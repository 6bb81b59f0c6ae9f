#ifndef RELAYLINEBUFFER_H
#define RELAYLINEBUFFER_H

#include <QByteArray>
#include <QList>

/// Splits what one end of the relay connection reads into lines, in order. A line longer than
/// the limit (line feed included) is reported once as too long, as soon as it crosses the limit,
/// and dropped up to its line feed; it still counts as one line, so that requests and replies
/// stay in step.
class RelayLineBuffer
{
public:
    enum Taken { Nothing, Line, TooLong };

    explicit RelayLineBuffer(int maxLineBytes);

    void append(const QByteArray &chunk);
    /// The next line with its line feed (Line), a dropped line (TooLong), or Nothing yet.
    Taken take(QByteArray &line);
    /// Drops the unfinished line, also what is still to come of it.
    void dropUnfinished();
    bool hasUnfinished() const { return !mUnfinished.isEmpty(); }
    void clear();

private:
    int mMaxLineBytes;
    QByteArray mUnfinished;
    // Complete lines; an empty entry stands for a line that was too long.
    QList<QByteArray> mLines;
    bool mSkipping = false;
};

#endif // RELAYLINEBUFFER_H
