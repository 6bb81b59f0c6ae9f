#ifndef FAKETRANSFERPROGRESS_H
#define FAKETRANSFERPROGRESS_H

#include "engine/transferprogress.h"

#include <QStringList>

#include <functional>

/// Test double of the progress dialog: records what it is shown and cancels at a chosen entry.
class FakeTransferProgress : public TransferProgress
{
public:
    void begin(const QString &title, int maximum) override
    {
        titles.append(title);
        maximums.append(maximum);
        if (onCall)
            onCall();
    }
    bool update(int value, const QString &label) override
    {
        values.append(value);
        labels.append(label);
        if (onCall)
            onCall();
        return cancelAt >= 0 && value >= cancelAt;
    }
    void end() override { ++ended; }

    int cancelAt = -1;
    QStringList titles;
    QList<int> maximums;
    QList<int> values;
    QStringList labels;
    int ended = 0;
    std::function<void()> onCall; // runs on begin and on every update
};

#endif // FAKETRANSFERPROGRESS_H
