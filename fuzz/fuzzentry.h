#ifndef FUZZENTRY_H
#define FUZZENTRY_H

#include <QByteArray>
#include <QList>
#include <QString>

/// The entry points through which the fuzzers and the test suite's corpus replay feed one input
/// to a parser. Each checks what must hold for any input and returns what broke (empty when
/// everything held); crashes and undefined behaviour are left to the sanitizers.
class FuzzEntry
{
public:
    using Function = QString (*)(const QByteArray &input);
    struct Target
    {
        /// Also the name of the fuzzer (fuzz_<name>) and of its corpus folder.
        const char *name;
        Function run;
    };

    static const QList<Target> &targets();
    /// The entry point of a target, or null.
    static Function find(const QString &name);

    /// A description file: the header alone reads as the whole file does, and what was read
    /// saves and reads again to the same digest (also without developer items).
    static QString description(const QByteArray &input);
    /// A camera reply (the first byte chooses how many values a get or set returns): decoded,
    /// mapped onto the command's values and shown as each element kind shows a value.
    static QString reply(const QByteArray &input);
    /// Console input: the bytes as a typed line (UTF-8) and as a script file.
    static QString console(const QByteArray &input);
    /// Lines read off a relay connection, in chunks (the first byte sets the line limit, each
    /// chunk is a length byte and its bytes): every line comes out once, in order, the ones too
    /// long as such.
    static QString relayLines(const QByteArray &input);
    /// Request lines to the relay program, served by a simulated camera: each is answered with
    /// exactly one reply line.
    static QString relayRequests(const QByteArray &input);
    /// A camera settings file: what was read writes and reads again to the same items, its
    /// list and region blocks likewise, and every value is either refused or goes out as one
    /// frame that says what the file says.
    static QString settingsFile(const QByteArray &input);
    /// A LUT text file (the first byte sets the number of rows): line i goes to row i as a
    /// whole number, and the values save and load again unchanged.
    static QString lutFile(const QByteArray &input);
};

#endif // FUZZENTRY_H
