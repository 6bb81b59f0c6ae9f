#include "description/descriptionchecker.h"

#include "description/boolelement.h"
#include "description/cameradescriptionfile.h"
#include "description/commandelement.h"
#include "description/doubleelement.h"
#include "description/enumerationelement.h"
#include "description/integerelement.h"
#include "description/listelement.h"
#include "description/roielement.h"
#include "description/stringelement.h"

#include <QFile>
#include <QScriptEngine>
#include <QScriptSyntaxCheckResult>
#include <QScriptValueIterator>
#include <QSet>

#include <algorithm>

// The resources of a static library must be registered by hand, outside any namespace.
static void initCheckerResources()
{
    Q_INIT_RESOURCE(core);
}

namespace {

using Finding = DescriptionChecker::Finding;
using Subject = DescriptionChecker::Subject;

bool hasLineEnd(const QByteArray &bytes)
{
    return bytes.contains('\r') || bytes.contains('\n');
}

const QSet<QString> &keywords()
{
    static const QSet<QString> words { "break", "case", "catch", "continue", "default", "delete",
        "do", "else", "false", "finally", "for", "function", "if", "in", "instanceof", "new",
        "null", "return", "switch", "this", "throw", "true", "try", "typeof", "var", "void",
        "while", "with" };
    return words;
}

bool isNameStart(QChar c)
{
    return c.isLetter() || c == QLatin1Char('_') || c == QLatin1Char('$');
}

bool isNamePart(QChar c)
{
    return isNameStart(c) || c.isDigit();
}

// Collects the findings of one description; the sets of known names are built once.
class Checker
{
public:
    explicit Checker(CameraDescriptionFile &description)
    {
        mCommands = description.commands();
        mValueNames.insert(QStringLiteral("ID")); // the database adds it when it is missing
        for (const Command &command : qAsConst(mCommands)) {
            mCommandIds.insert(command.id);
            for (const QList<CommandParameter> *list : { &command.paramsSet, &command.paramsGet,
                     &command.returnValueSet, &command.returnValueGet }) {
                for (const CommandParameter &parameter : *list) {
                    if (parameter.type != CommandParameterType::Const)
                        mValueNames.insert(parameter.id);
                }
            }
        }
        const QStringList globals = DescriptionChecker::scriptGlobals();
        mScriptNames = mValueNames + QSet<QString>(globals.cbegin(), globals.cend());
        mElements = description.displayElements();
    }

    QList<Finding> run()
    {
        QSet<QString> seen;
        for (const Command &command : qAsConst(mCommands)) {
            ++mIndex;
            if (seen.contains(command.id))
                add(Subject::Command, command.id,
                    QStringLiteral("another command has the same Id"));
            seen.insert(command.id);
            // The communicator refuses such a command: it would split into two on the line.
            if (hasLineEnd(command.code))
                add(Subject::Command, command.id, QStringLiteral("Code holds a line end"));
            for (const CommandParameter &parameter : command.paramsSet + command.paramsGet) {
                if (parameter.type == CommandParameterType::Const && hasLineEnd(parameter.value))
                    add(Subject::Command, command.id,
                        QStringLiteral("constant \"%1\" holds a line end")
                            .arg(QString::fromLatin1(parameter.value).simplified()));
            }
        }
        seen.clear();
        mIndex = -1;
        for (const DisplayElement *element : qAsConst(mElements)) {
            ++mIndex;
            mName = element->name;
            if (seen.contains(element->name))
                add(QStringLiteral("another element has the same name"));
            seen.insert(element->name);
            checkElement(*element);
        }
        return mFindings;
    }

private:
    void add(Subject subject, const QString &name, const QString &message)
    {
        mFindings.append({ subject, name, message, mIndex });
    }
    void add(const QString &message) { add(Subject::Element, mName, message); }

    void checkElement(const DisplayElement &element)
    {
        if (!element.group.isEmpty() && element.group.split(QLatin1Char('/')).contains(QString()))
            add(QStringLiteral("group \"%1\" has an empty part").arg(element.group));
        expression(QStringLiteral("IsAvailable"), element.isAvailable, false);
        for (const QString &entry : element.invalidatedBy) {
            if (!entry.isEmpty() && !mCommandIds.contains(entry) && !mValueNames.contains(entry))
                add(QStringLiteral("InvalidatedBy entry \"%1\" names no command or camera value")
                        .arg(entry));
        }

        switch (element.type()) {
        case DisplayElementType::Command:
            command(QStringLiteral("Reference"),
                static_cast<const CommandElement &>(element).reference);
            break;
        case DisplayElementType::Bool:
            value(QStringLiteral("Reference"), static_cast<const BoolElement &>(element).reference);
            break;
        case DisplayElementType::Integer: {
            const auto &e = static_cast<const IntegerElement &>(element);
            value(QStringLiteral("Reference"), e.reference);
            limits(QStringLiteral("Value"), e.minimumValue, e.maximumValue);
            if (e.increment <= 0)
                add(QStringLiteral("Increment %1 is not above 0").arg(e.increment));
            break;
        }
        case DisplayElementType::Double: {
            const auto &e = static_cast<const DoubleElement &>(element);
            value(QStringLiteral("Reference"), e.reference);
            limits(QStringLiteral("Value"), e.minimumValue, e.maximumValue);
            if (!(e.increment > 0))
                add(QStringLiteral("Increment %1 is not above 0").arg(e.increment));
            if (e.convertMultiply == 0)
                add(QStringLiteral("ConvertMultiply is 0"));
            break;
        }
        case DisplayElementType::String: {
            const auto &e = static_cast<const StringElement &>(element);
            value(QStringLiteral("Reference"), e.reference);
            limits(QStringLiteral("Length"), e.minimumLength, e.maximumLength);
            break;
        }
        case DisplayElementType::Enumeration:
            enumeration(static_cast<const EnumerationElement &>(element));
            break;
        case DisplayElementType::List: {
            const auto &e = static_cast<const ListElement &>(element);
            command(QStringLiteral("Start"), e.start);
            command(QStringLiteral("End"), e.end);
            expression(QStringLiteral("Count"), e.count, true);
            value(QStringLiteral("Get"), e.get);
            value(QStringLiteral("Set"), e.set);
            value(QStringLiteral("Index"), e.index);
            break;
        }
        case DisplayElementType::ROI: {
            const auto &e = static_cast<const RoiElement &>(element);
            // A single region needs no Start, End or Index.
            if (!e.start.isEmpty())
                command(QStringLiteral("Start"), e.start);
            if (!e.end.isEmpty())
                command(QStringLiteral("End"), e.end);
            expression(QStringLiteral("ScreenWidth"), e.screenWidth, true);
            expression(QStringLiteral("ScreenHeight"), e.screenHeight, true);
            value(QStringLiteral("X"), e.x);
            value(QStringLiteral("Y"), e.y);
            value(QStringLiteral("Width"), e.width);
            value(QStringLiteral("Height"), e.height);
            expression(QStringLiteral("Count"), e.count, true);
            if (!e.index.isEmpty())
                value(QStringLiteral("Index"), e.index);
            command(QStringLiteral("GetCommand"), e.getCommand);
            command(QStringLiteral("SetCommand"), e.setCommand);
            break;
        }
        }
    }

    void enumeration(const EnumerationElement &element)
    {
        value(QStringLiteral("Reference"), element.reference);
        for (int i = 0; i < element.items.size(); ++i) {
            const EnumerationItem &item = element.items.at(i);
            for (int j = 0; j < i; ++j) {
                if (element.items.at(j).value == item.value) {
                    add(QStringLiteral("items \"%1\" and \"%2\" have the same Value %3")
                            .arg(element.items.at(j).name, item.name)
                            .arg(item.value));
                    break;
                }
            }
            expression(QStringLiteral("IsAvailable of item \"%1\"").arg(item.name),
                item.isAvailable, false);
        }
    }

    template<typename T> void limits(const QString &what, T minimum, T maximum)
    {
        if (minimum > maximum)
            add(QStringLiteral("Minimum%1 %2 is above Maximum%1 %3")
                    .arg(what, QString::number(minimum), QString::number(maximum)));
    }

    // A field that must name a camera value.
    void value(const QString &field, const QString &name)
    {
        if (name.isEmpty())
            add(field + QStringLiteral(" is empty"));
        else if (!mValueNames.contains(name))
            add(QStringLiteral("%1 \"%2\" names no camera value").arg(field, name));
    }

    // A field naming what is sent; the database finds commands by their Id and by the names
    // of their values.
    void command(const QString &field, const QString &name)
    {
        if (name.isEmpty())
            add(field + QStringLiteral(" is empty"));
        else if (!mCommandIds.contains(name) && !mValueNames.contains(name))
            add(QStringLiteral("%1 \"%2\" names no command or camera value").arg(field, name));
    }

    void expression(const QString &field, const QString &text, bool required)
    {
        if (text.trimmed().isEmpty()) {
            if (required)
                add(field + QStringLiteral(" is empty"));
            return;
        }
        const QScriptSyntaxCheckResult syntax = QScriptEngine::checkSyntax(text);
        if (syntax.state() != QScriptSyntaxCheckResult::Valid) {
            const QString message = syntax.errorMessage().isEmpty()
                ? QStringLiteral("Expected more script to follow")
                : syntax.errorMessage();
            add(QStringLiteral("%1 has a syntax error: %2").arg(field, message));
            return;
        }
        const QStringList names = DescriptionChecker::freeNames(text);
        for (const QString &name : names) {
            if (!mScriptNames.contains(name))
                add(QStringLiteral("%1 uses the unknown name \"%2\"").arg(field, name));
        }
    }

    QList<Command> mCommands;
    QList<DisplayElement *> mElements;
    QSet<QString> mCommandIds;
    QSet<QString> mValueNames;
    QSet<QString> mScriptNames;
    QString mName;
    int mIndex = -1;
    QList<Finding> mFindings;
};

} // namespace

QString DescriptionChecker::Finding::text() const
{
    return QStringLiteral("%1 \"%2\": %3")
        .arg(subject == Subject::Command ? QStringLiteral("command") : QStringLiteral("element"),
            name, message);
}

QList<DescriptionChecker::Finding> DescriptionChecker::check(CameraDescriptionFile &description)
{
    return Checker(description).run();
}

QStringList DescriptionChecker::freeNames(const QString &s)
{
    QStringList names;
    QSet<QString> declared;
    QString previousWord;
    // After a value a "/" divides; anywhere else it starts a regular expression.
    bool afterValue = false;
    bool afterDot = false;
    // Function and catch parameters are declared, and so is every name a var statement lists
    // (after "var" and after each comma at the statement's own nesting depth).
    bool parametersNext = false;
    bool inParameters = false;
    bool declareNext = false;
    int depth = 0;
    int varDepth = -1;
    const int n = s.size();
    int i = 0;
    while (i < n) {
        const QChar c = s.at(i);
        const QChar next = i + 1 < n ? s.at(i + 1) : QChar();
        if (c.isSpace()) {
            ++i;
        } else if (c == QLatin1Char('/') && next == QLatin1Char('/')) {
            while (i < n && s.at(i) != QLatin1Char('\n'))
                ++i;
        } else if (c == QLatin1Char('/') && next == QLatin1Char('*')) {
            const int end = s.indexOf(QLatin1String("*/"), i + 2);
            i = end < 0 ? n : end + 2;
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')
            || (c == QLatin1Char('/') && !afterValue)) {
            bool inClass = false;
            for (++i; i < n; ++i) {
                const QChar d = s.at(i);
                if (d == QLatin1Char('\\'))
                    ++i;
                else if (c == QLatin1Char('/') && d == QLatin1Char('['))
                    inClass = true;
                else if (inClass && d == QLatin1Char(']'))
                    inClass = false;
                else if (d == c && !inClass)
                    break;
            }
            ++i;
            while (c == QLatin1Char('/') && i < n && isNamePart(s.at(i)))
                ++i; // flags
            afterValue = true;
            afterDot = false;
            previousWord.clear();
        } else if (c.isDigit() || (c == QLatin1Char('.') && next.isDigit())) {
            const bool hex
                = c == QLatin1Char('0') && (next == QLatin1Char('x') || next == QLatin1Char('X'));
            for (++i; i < n; ++i) {
                const QChar d = s.at(i);
                const QChar before = s.at(i - 1);
                const bool exponentSign = !hex && (d == QLatin1Char('+') || d == QLatin1Char('-'))
                    && (before == QLatin1Char('e') || before == QLatin1Char('E'));
                if (!isNamePart(d) && d != QLatin1Char('.') && !exponentSign)
                    break;
            }
            afterValue = true;
            afterDot = false;
            previousWord.clear();
        } else if (isNameStart(c)) {
            const int start = i;
            while (i < n && isNamePart(s.at(i)))
                ++i;
            const QString word = s.mid(start, i - start);
            const bool keyword = keywords().contains(word);
            if (!afterDot && !keyword) {
                if (declareNext || inParameters || previousWord == QLatin1String("function"))
                    declared.insert(word);
                else if (!names.contains(word))
                    names.append(word);
            }
            declareNext = word == QLatin1String("var");
            if (declareNext)
                varDepth = depth;
            if (word == QLatin1String("function") || word == QLatin1String("catch"))
                parametersNext = true;
            afterValue = !keyword || word == QLatin1String("this") || word == QLatin1String("true")
                || word == QLatin1String("false") || word == QLatin1String("null");
            afterDot = false;
            previousWord = word;
        } else {
            if (c == QLatin1Char('(') || c == QLatin1Char('[') || c == QLatin1Char('{')) {
                inParameters = parametersNext && c == QLatin1Char('(');
                parametersNext = false;
                ++depth;
            } else if (c == QLatin1Char(')') || c == QLatin1Char(']') || c == QLatin1Char('}')) {
                inParameters = false;
                if (--depth < varDepth)
                    varDepth = -1;
            } else if (c == QLatin1Char(';') && depth == varDepth) {
                varDepth = -1;
            }
            declareNext = c == QLatin1Char(',') && depth == varDepth;
            afterDot = c == QLatin1Char('.');
            afterValue = c == QLatin1Char(')') || c == QLatin1Char(']');
            previousWord.clear();
            ++i;
        }
    }
    names.erase(std::remove_if(names.begin(), names.end(),
                    [&declared](const QString &name) { return declared.contains(name); }),
        names.end());
    return names;
}

QStringList DescriptionChecker::scriptGlobals()
{
    static const QStringList globals = [] {
        initCheckerResources();
        QScriptEngine engine;
        QFile library(QStringLiteral(":/script/basicScript.js"));
        if (library.open(QIODevice::ReadOnly))
            engine.evaluate(QString::fromUtf8(library.readAll()));
        QStringList names;
        QScriptValueIterator it(engine.globalObject());
        while (it.hasNext()) {
            it.next();
            names.append(it.name());
        }
        return names;
    }();
    return globals;
}
