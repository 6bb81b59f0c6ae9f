#include "comm/relaylinebuffer.h"

RelayLineBuffer::RelayLineBuffer(int maxLineBytes)
    : mMaxLineBytes(maxLineBytes)
{ }

void RelayLineBuffer::append(const QByteArray &chunk)
{
    if (mSkipping) {
        const int end = chunk.indexOf('\n');
        if (end < 0)
            return;
        mSkipping = false;
        append(chunk.mid(end + 1));
        return;
    }
    mUnfinished.append(chunk);
    int start = 0;
    for (int end; (end = mUnfinished.indexOf('\n', start)) >= 0; start = end + 1) {
        const int size = end + 1 - start;
        mLines.append(size > mMaxLineBytes ? QByteArray() : mUnfinished.mid(start, size));
    }
    mUnfinished.remove(0, start);
    // Only the line itself counts: complete lines waiting to be taken are never dropped with it.
    if (mUnfinished.size() > mMaxLineBytes) {
        mLines.append(QByteArray());
        mUnfinished.clear();
        mSkipping = true;
    }
}

RelayLineBuffer::Taken RelayLineBuffer::take(QByteArray &line)
{
    if (mLines.isEmpty())
        return Nothing;
    line = mLines.takeFirst();
    return line.isEmpty() ? TooLong : Line;
}

void RelayLineBuffer::dropUnfinished()
{
    if (mUnfinished.isEmpty())
        return;
    mUnfinished.clear();
    mSkipping = true;
}

void RelayLineBuffer::clear()
{
    mUnfinished.clear();
    mLines.clear();
    mSkipping = false;
}
