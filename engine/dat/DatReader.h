#pragma once

#include "EngineError.h"
#include "SafeFile.h"

#include <QByteArrayView>
#include <QString>

// Reads the entries of a DAT file as they come, a piece of the file at a
// time and without building a document: Logiqx XML (<game name="...">
// holding <rom name="..." size="..." crc="..." md5="..." sha1="..."/>), or
// ClrMamePro's text form (game ( name "..." rom ( name ... size ... ) )).
namespace DatFile {

// A ROM entry's fields as the file gives them (entities decoded), empty
// where it gives none. They are valid only during the call they are
// handed to.
struct RomFields {
    QByteArrayView name;
    QByteArrayView size;
    QByteArrayView crc;
    QByteArrayView md5;
    QByteArrayView sha1;
    QByteArrayView status;
};

// What a reader hands on, in the file's order. Every <rom> element is handed
// on, in a game or not; a game's name is empty when it has none.
class Entries {
public:
    virtual ~Entries() = default;
    virtual void Game(QByteArrayView name) = 0;
    virtual void GameEnd() = 0;
    virtual void Rom(const RomFields& rom) = 0;
    // The set's name in a ClrMamePro header (an XML header is copied whole
    // where it is needed).
    virtual void SetName(QByteArrayView) {}
};

enum class Syntax { Xml, ClrMamePro };

// Which of the two a DAT file is written in, by its first bytes; false
// when it is neither (an XML document other than a DAT is not one).
bool SyntaxOf(QByteArrayView head, Syntax* syntax);

// Reads a DAT file's entries into entries: what went wrong (the line where
// it is not well-formed, or that it is no DAT file), naming path. Which
// form it is written in goes into syntax.
EngineError Read(const SafeFile::Source& source, const QString& path, Entries& entries,
                 Syntax* syntax);

} // namespace DatFile
