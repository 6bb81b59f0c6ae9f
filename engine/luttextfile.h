#ifndef LUTTEXTFILE_H
#define LUTTEXTFILE_H

#include <QByteArray>
#include <QString>
#include <QStringList>

class QIODevice;

/// The text files of the LUT editor: one decimal whole number per line, line i for row i.
class LutTextFile
{
public:
    /// A line longer than this holds no whole number: it reads as 0 (and is still one line).
    static constexpr int LineLimit = 1024;
    /// How much of a file is read beyond rows × LineLimit, so that overlong lines cost little
    /// and an endless file ends.
    static constexpr qint64 SlackBytes = 1 << 20;

    /// The cell rule: the whole number a text holds, blanks around it ignored, else "0".
    static QString cellValue(const QString &text);
    /// The values of rows rows from the device: line i (converted by the cell rule) for row i,
    /// "0" for rows without a line; lines beyond the rows are not read.
    static QStringList read(QIODevice *device, int rows);
    /// Every value followed by a line feed.
    static QByteArray toText(const QStringList &values);
};

#endif // LUTTEXTFILE_H
