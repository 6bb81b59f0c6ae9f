#ifndef SCRIPTEDCAMERAVALUE_H
#define SCRIPTEDCAMERAVALUE_H

#include <QObject>
#include <QScriptValue>
#include <QScriptable>
#include <QString>

class CameraDatabase;

/// A camera value as a global object of the expression engine. It holds no value of its own:
/// every use reads the database, fetching the value from the camera when it is missing or
/// stale. In expressions it behaves as its text.
class ScriptedCameraValue : public QObject, protected QScriptable
{
    Q_OBJECT

public:
    ScriptedCameraValue(
        const QString &parameterId, CameraDatabase *database, QObject *parent = nullptr);

    QString parameterId() const { return mParameterId; }

public slots:
    QScriptValue valueOf();
    bool isEmpty();
    bool equals(const QScriptValue &other);
    bool contains(const QScriptValue &other);
    bool startsWith(const QScriptValue &other);
    bool endsWith(const QScriptValue &other);
    QString substr(int start, int length);
    int hexToDec();
    QString decToHex();
    /// The text, so that String(x) and text conversions see the value, not the object.
    QString toString();

private:
    QString text();

    QString mParameterId;
    CameraDatabase *mDatabase;
};

#endif // SCRIPTEDCAMERAVALUE_H
