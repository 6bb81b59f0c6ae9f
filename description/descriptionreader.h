#ifndef DESCRIPTIONREADER_H
#define DESCRIPTIONREADER_H

class CameraDescriptionFile;
class QIODevice;
class QXmlStreamReader;

/// Fills a CameraDescriptionFile from description XML. Never fails: reading stops at the first
/// error and keeps what was read, including the record being read at that moment. Nesting of
/// unknown content is skipped by the stream reader without recursion, so any input is safe.
class DescriptionReader
{
public:
    /// Reads only the root element's attributes.
    static void readHeader(QIODevice *device, CameraDescriptionFile &file);
    /// Reads the root attributes, the command set, the group states and the display elements,
    /// appending to the file's lists.
    static void readAll(QIODevice *device, CameraDescriptionFile &file);

private:
    static void readRoot(QXmlStreamReader &xml, CameraDescriptionFile &file);
};

#endif // DESCRIPTIONREADER_H
