#ifndef VALUESUBSCRIBER_H
#define VALUESUBSCRIBER_H

#include <QString>
#include <QVariant>

/// Something that shows a camera value and wants to hear when it changes (the tree items).
/// Keeps the value engine free of user-interface code.
class ValueSubscriber
{
public:
    virtual ~ValueSubscriber() = default;

    /// The value of id changed to value; an empty value means that a reply to the command id
    /// arrived (nothing stored).
    virtual void valueChanged(const QString &id, const QVariant &value) = 0;
};

#endif // VALUESUBSCRIBER_H
