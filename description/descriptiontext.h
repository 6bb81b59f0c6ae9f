#ifndef DESCRIPTIONTEXT_H
#define DESCRIPTIONTEXT_H

#include "description/displayelement.h"

#include <QString>

/// Text forms of the description enumerations and booleans, as used in files and the editor.
/// Reading is case-sensitive; unknown texts are mapped to a fixed value with a debug line.
namespace DescriptionText {

/// "Beginner" .. "Hidden"; any other number gives "Beginner".
QString fromVisibility(Visibility visibility);
/// Unknown text gives Hidden and the line "Unknown visibility string: <text>".
Visibility toVisibility(const QString &text);

/// "RO", "RW", "WO"; any other number gives "RW".
QString fromAccessMode(AccessMode accessMode);
/// Unknown text gives RO and the line "Unknown access mode string: <text>".
AccessMode toAccessMode(const QString &text);

/// "True" or "False".
QString fromBool(bool value);
/// "True" is true; anything else false, with the line "Unknown bool string: <text>" unless the
/// text is "False" or empty.
bool toBool(const QString &text);

} // namespace DescriptionText

#endif // DESCRIPTIONTEXT_H
