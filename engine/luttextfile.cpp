#include "engine/luttextfile.h"

#include <QIODevice>

QString LutTextFile::cellValue(const QString &text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    return QString::number(ok ? value : 0);
}

QStringList LutTextFile::read(QIODevice *device, int rows)
{
    QStringList values;
    qint64 budget = qint64(qMax(rows, 0)) * LineLimit + SlackBytes;
    while (values.size() < rows && budget > 0) {
        QByteArray line = device->readLine(LineLimit);
        if (line.isEmpty()) // the end, or a read error
            break;
        budget -= line.size();
        // The rest of an overlong line is read and dropped, so that the next line still goes
        // to the next row.
        bool overlong = false;
        while (!line.endsWith('\n') && !device->atEnd() && budget > 0) {
            line = device->readLine(LineLimit);
            if (line.isEmpty())
                break;
            budget -= line.size();
            overlong = true;
        }
        values.append(overlong ? QStringLiteral("0") : cellValue(QString::fromLatin1(line)));
    }
    while (values.size() < rows)
        values.append(QStringLiteral("0"));
    return values;
}

QByteArray LutTextFile::toText(const QStringList &values)
{
    QByteArray text;
    for (const QString &value : values)
        text += value.toLatin1() + '\n';
    return text;
}
