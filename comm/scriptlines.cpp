#include "comm/scriptlines.h"

QList<ScriptLines::Line> ScriptLines::split(const QByteArray &script)
{
    QList<Line> lines;
    int start = 0;
    for (int number = 1; start < script.size(); ++number) {
        int end = start;
        while (end < script.size() && script.at(end) != '\n' && script.at(end) != '\r')
            ++end;
        if (end > start)
            lines.append(Line { script.mid(start, end - start), number });
        start = end + (script.mid(end, 2) == "\r\n" ? 2 : 1);
    }
    return lines;
}
