#ifndef DESCRIPTIONWRITER_H
#define DESCRIPTIONWRITER_H

class CameraDescriptionFile;
class QIODevice;

/// Writes a CameraDescriptionFile as description XML in the one fixed layout that makes the
/// digest independent of how the file was laid out on disk.
class DescriptionWriter
{
public:
    /// Writes the whole document; developer-only commands, Developer elements and Developer
    /// enumeration items only when includeDeveloper. False when the device failed.
    static bool write(QIODevice *device, const CameraDescriptionFile &file, bool includeDeveloper);
};

#endif // DESCRIPTIONWRITER_H
