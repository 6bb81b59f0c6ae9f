#ifndef TRANSFERPROGRESS_H
#define TRANSFERPROGRESS_H

#include <QString>

/// Progress display of a list or region transfer that the user may cancel (a progress dialog in
/// the user interface). The engine polls it before every entry.
class TransferProgress
{
public:
    virtual ~TransferProgress() = default;

    /// A transfer of maximum entries starts; title names it.
    virtual void begin(const QString &title, int maximum) = 0;
    /// Entry value is next; returns true when the user has cancelled.
    virtual bool update(int value, const QString &label) = 0;
    /// The transfer is over (also after a cancel).
    virtual void end() = 0;
};

#endif // TRANSFERPROGRESS_H
