<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>FormLoad</name>
    <message>
        <source>SMD to BIN</source>
        <translation>SMD to BIN</translation>
    </message>
    <message>
        <source>SMD files</source>
        <translation>SMD files</translation>
    </message>
    <message>
        <source>BIN to SMD</source>
        <translation>BIN to SMD</translation>
    </message>
    <message>
        <source>BIN files</source>
        <translation>BIN files</translation>
    </message>
    <message>
        <source>MD to BIN</source>
        <translation>MD to BIN</translation>
    </message>
    <message>
        <source>MD files</source>
        <translation>MD files</translation>
    </message>
    <message>
        <source>BIN to MD</source>
        <translation>BIN to MD</translation>
    </message>
    <message>
        <source>All files</source>
        <translation>All files</translation>
    </message>
    <message>
        <source>SMD format to BIN format</source>
        <translation>SMD format to BIN format</translation>
    </message>
    <message>
        <source>BIN format to SMD format</source>
        <translation>BIN format to SMD format</translation>
    </message>
    <message>
        <source>MD format to BIN format</source>
        <translation>MD format to BIN format</translation>
    </message>
    <message>
        <source>BIN format to MD format</source>
        <translation>BIN format to MD format</translation>
    </message>
</context>
<context>
    <name>Form_About</name>
    <message>
        <source>About</source>
        <translation>About</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Kestrix VERSION %1 by %2 (%3), with special thanks to %4 for technical help. Translations: %5</source>
        <extracomment>%1 the version, %2 the author, %3 the author&apos;s alias, %4 who is thanked, %5 the translators</extracomment>
        <translation>Kestrix VERSION %1 by %2 (%3), with special thanks to %4 for technical help. Translations: %5</translation>
    </message>
    <message>
        <source>You can write to: %1.</source>
        <translation>You can write to: %1.</translation>
    </message>
    <message>
        <source>My blog: %1</source>
        <translation>My blog: %1</translation>
    </message>
    <message>
        <source>My website: %1</source>
        <translation>My website: %1</translation>
    </message>
</context>
<context>
    <name>Form_Convert</name>
    <message>
        <source>Save files to...</source>
        <translation>Save files to...</translation>
    </message>
    <message>
        <source>Path:</source>
        <translation>Path:</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>Progress</translation>
    </message>
    <message>
        <source>Information</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>Convert</source>
        <translation>Convert</translation>
    </message>
    <message>
        <source>Press this button to start converting the files</source>
        <translation>Press this button to start converting the files</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Press this button to stop converting the files</source>
        <translation>Press this button to stop converting the files</translation>
    </message>
    <message>
        <source>Add files</source>
        <translation>Add files</translation>
    </message>
    <message>
        <source>Press this button to add game files to the conversion list</source>
        <translation>Press this button to add game files to the conversion list</translation>
    </message>
    <message>
        <source>Remove files</source>
        <translation>Remove files</translation>
    </message>
    <message>
        <source>Press this button to remove the selected files</source>
        <translation>Press this button to remove the selected files</translation>
    </message>
    <message>
        <source>Select all files</source>
        <translation>Select all files</translation>
    </message>
    <message>
        <source>Press this button to select all files</source>
        <translation>Press this button to select all files</translation>
    </message>
    <message>
        <source>Deselect all files</source>
        <translation>Deselect all files</translation>
    </message>
    <message>
        <source>Press this button to deselect all files</source>
        <translation>Press this button to deselect all files</translation>
    </message>
    <message>
        <source>Files to convert</source>
        <translation>Files to convert</translation>
    </message>
    <message>
        <source>Drive</source>
        <translation>Drive</translation>
    </message>
    <message>
        <source>Folder</source>
        <translation>Folder</translation>
    </message>
    <message>
        <source>Path</source>
        <translation>Path</translation>
    </message>
    <message>
        <source>Cannot inspect this file: %1</source>
        <translation>Cannot inspect this file: %1</translation>
    </message>
    <message>
        <source>This is a disc image, not a cartridge: no conversion fits it.</source>
        <translation>This is a disc image, not a cartridge: no conversion fits it.</translation>
    </message>
    <message>
        <source>kestrix-convert to-bin turns it into a plain image</source>
        <translation>kestrix-convert to-bin turns it into a plain image</translation>
    </message>
    <message>
        <source>the %1 conversion fits it</source>
        <translation>the %1 conversion fits it</translation>
    </message>
    <message>
        <source> or </source>
        <translation> or </translation>
    </message>
    <message>
        <source>This is not what this conversion reads: %1.</source>
        <translation>This is not what this conversion reads: %1.</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <extracomment>a line of a file&apos;s hint: %1 what is told, %2 its value</extracomment>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>layout</source>
        <translation>layout</translation>
    </message>
    <message>
        <source>why</source>
        <translation>why</translation>
    </message>
    <message>
        <source>title</source>
        <translation>title</translation>
    </message>
    <message>
        <source>header</source>
        <translation>header</translation>
    </message>
    <message>
        <source>machine</source>
        <translation>machine</translation>
    </message>
    <message>
        <source>dump</source>
        <translation>dump</translation>
    </message>
    <message>
        <source>checksum</source>
        <translation>checksum</translation>
    </message>
    <message>
        <source>size</source>
        <translation>size</translation>
    </message>
    <message>
        <source>Not converted: %1.</source>
        <translation>Not converted: %1.</translation>
    </message>
    <message>
        <source>Please choose the folder to save the files to</source>
        <translation>Please choose the folder to save the files to</translation>
    </message>
</context>
<context>
    <name>Form_Main</name>
    <message>
        <source>Information</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>SMD to BIN</source>
        <translation>SMD to BIN</translation>
    </message>
    <message>
        <source>Press this button to convert files from the SMD format to the BIN format</source>
        <translation>Press this button to convert files from the SMD format to the BIN format</translation>
    </message>
    <message>
        <source>BIN to SMD</source>
        <translation>BIN to SMD</translation>
    </message>
    <message>
        <source>Press this button to convert files from the BIN format to the SMD format</source>
        <translation>Press this button to convert files from the BIN format to the SMD format</translation>
    </message>
    <message>
        <source>MD to BIN</source>
        <translation>MD to BIN</translation>
    </message>
    <message>
        <source>Press this button to convert files from the MD format to the BIN format</source>
        <translation>Press this button to convert files from the MD format to the BIN format</translation>
    </message>
    <message>
        <source>BIN to MD</source>
        <translation>BIN to MD</translation>
    </message>
    <message>
        <source>Press this button to convert files from the BIN format to the MD format</source>
        <translation>Press this button to convert files from the BIN format to the MD format</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>Press this button to leave the program</source>
        <translation>Press this button to leave the program</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>&amp;Convert</source>
        <translation>&amp;Convert</translation>
    </message>
    <message>
        <source>&amp;SMD to BIN</source>
        <translation>&amp;SMD to BIN</translation>
    </message>
    <message>
        <source>&amp;BIN to SMD</source>
        <translation>&amp;BIN to SMD</translation>
    </message>
    <message>
        <source>&amp;MD  to BIN</source>
        <translation>&amp;MD to BIN</translation>
    </message>
    <message>
        <source>BIN  to M&amp;D</source>
        <translation>BIN to M&amp;D</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>Online help guide</source>
        <translation>Online help guide</translation>
    </message>
    <message>
        <source>Visit the %1 home page</source>
        <extracomment>%1 is the maker&apos;s name</extracomment>
        <translation>Visit the %1 home page</translation>
    </message>
    <message>
        <source>Visit the %1 blog</source>
        <extracomment>%1 is the maker&apos;s name</extracomment>
        <translation>Visit the %1 blog</translation>
    </message>
    <message>
        <source>Visit the program&apos;s forum</source>
        <translation>Visit the program&apos;s forum</translation>
    </message>
    <message>
        <source>Read the release notes</source>
        <translation>Read the release notes</translation>
    </message>
    <message>
        <source>About the program</source>
        <translation>About the program</translation>
    </message>
    <message>
        <source>&amp;Language</source>
        <extracomment>The language menu: its title is also written in English in the Chinese windows, so that a user who reads no Chinese finds it.</extracomment>
        <translation>&amp;Language</translation>
    </message>
    <message>
        <source>File not found</source>
        <translation>File not found</translation>
    </message>
    <message>
        <source>Kestrix logo</source>
        <translation>Kestrix logo</translation>
    </message>
</context>
</TS>
