#include "engine/scriptedcameravalue.h"

#include "engine/cameradatabase.h"

ScriptedCameraValue::ScriptedCameraValue(
    const QString &parameterId, CameraDatabase *database, QObject *parent)
    : QObject(parent)
    , mParameterId(parameterId)
    , mDatabase(database)
{ }

QString ScriptedCameraValue::text()
{
    return mDatabase ? mDatabase->readScriptValue(mParameterId) : QString();
}

QScriptValue ScriptedCameraValue::valueOf()
{
    return QScriptValue(text());
}

bool ScriptedCameraValue::isEmpty()
{
    return text().isEmpty();
}

bool ScriptedCameraValue::equals(const QScriptValue &other)
{
    return text() == other.toString();
}

bool ScriptedCameraValue::contains(const QScriptValue &other)
{
    return text().contains(other.toString(), Qt::CaseSensitive);
}

bool ScriptedCameraValue::startsWith(const QScriptValue &other)
{
    return text().startsWith(other.toString(), Qt::CaseSensitive);
}

bool ScriptedCameraValue::endsWith(const QScriptValue &other)
{
    return text().endsWith(other.toString(), Qt::CaseSensitive);
}

QString ScriptedCameraValue::substr(int start, int length)
{
    return text().mid(start, length);
}

int ScriptedCameraValue::hexToDec()
{
    bool ok = false;
    const int number = text().toInt(&ok, 16);
    return ok ? number : 0;
}

QString ScriptedCameraValue::decToHex()
{
    // As a script converts: "12.5" is 12 (a plain toInt() would reject it and give 0).
    return QString::number(QScriptValue(text()).toInt32(), 16);
}

QString ScriptedCameraValue::toString()
{
    return text();
}
