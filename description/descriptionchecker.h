#ifndef DESCRIPTIONCHECKER_H
#define DESCRIPTIONCHECKER_H

#include <QList>
#include <QString>
#include <QStringList>

class CameraDescriptionFile;

/// Finds what makes a description misbehave at run time, long before a camera is connected:
/// references and InvalidatedBy entries that name nothing, broken expressions or expressions
/// naming unknown values, duplicate names and Ids, and limits that cannot work.
class DescriptionChecker
{
public:
    enum class Subject { Element, Command };

    /// One problem, with the element (by Name) or command (by Id) it concerns.
    struct Finding
    {
        Subject subject = Subject::Element;
        QString name;
        QString message;
        /// Place of the element in displayElements() or of the command in commands(): a loaded
        /// description may use a name twice.
        int index = -1;

        /// "element "Gain": Increment 0 is not above 0"
        QString text() const;
        bool operator==(const Finding &other) const
        {
            return subject == other.subject && name == other.name && message == other.message;
        }
    };

    /// Loads the description fully and returns its findings: commands first, then elements,
    /// each in list order.
    static QList<Finding> check(CameraDescriptionFile &description);

    /// The names an expression reads from its environment: identifiers that are not keywords,
    /// not property names after a dot, not inside string literals, regular expressions or
    /// comments, and not declared by the expression itself.
    static QStringList freeNames(const QString &expression);
    /// The names every expression may use besides the description's own values: the standard
    /// ECMAScript globals and the functions of the basic script library.
    static QStringList scriptGlobals();
};

#endif // DESCRIPTIONCHECKER_H
