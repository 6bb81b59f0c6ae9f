#ifndef DESCRIPTIONLOADPROGRESS_H
#define DESCRIPTIONLOADPROGRESS_H

#include <QString>

/// Receives the status texts of a running description search (the splash screen shows them).
class DescriptionLoadProgress
{
public:
    virtual ~DescriptionLoadProgress() = default;
    virtual void setStatus(const QString &text) = 0;
};

#endif // DESCRIPTIONLOADPROGRESS_H
