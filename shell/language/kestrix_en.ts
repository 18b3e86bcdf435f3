<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>FindingsModel</name>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Game</source>
        <translation>Game</translation>
    </message>
    <message>
        <source>File</source>
        <translation>File</translation>
    </message>
    <message>
        <source>Layout</source>
        <translation>Layout</translation>
    </message>
    <message>
        <source>Match or reason</source>
        <translation>Match or reason</translation>
    </message>
    <message>
        <source>(a game with no name)</source>
        <translation>(a game with no name)</translation>
    </message>
    <message>
        <source>have</source>
        <translation>have</translation>
    </message>
    <message>
        <source>incomplete</source>
        <translation>incomplete</translation>
    </message>
    <message>
        <source>missing</source>
        <translation>missing</translation>
    </message>
    <message>
        <source>bad dump</source>
        <translation>bad dump</translation>
    </message>
    <message>
        <source>never dumped</source>
        <translation>never dumped</translation>
    </message>
    <message>
        <source>unknown</source>
        <translation>unknown</translation>
    </message>
    <message>
        <source>duplicate</source>
        <translation>duplicate</translation>
    </message>
    <message>
        <source>unreadable</source>
        <translation>unreadable</translation>
    </message>
    <message>
        <source>file as it is</source>
        <translation>file as it is</translation>
    </message>
    <message>
        <source>plain content</source>
        <translation>plain content</translation>
    </message>
    <message>
        <source>lacks %1</source>
        <translation>lacks %1</translation>
    </message>
</context>
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
    <name>Form_Audit</name>
    <message>
        <source>DAT files</source>
        <translation>DAT files</translation>
    </message>
    <message>
        <source>Audit a collection</source>
        <translation>Audit a collection</translation>
    </message>
    <message>
        <source>&amp;DAT files:</source>
        <translation>&amp;DAT files:</translation>
    </message>
    <message>
        <source>F&amp;iles and folders:</source>
        <translation>F&amp;iles and folders:</translation>
    </message>
    <message>
        <source>S&amp;how:</source>
        <translation>S&amp;how:</translation>
    </message>
    <message>
        <source>Add D&amp;ATs...</source>
        <translation>Add D&amp;ATs...</translation>
    </message>
    <message>
        <source>Remo&amp;ve</source>
        <translation>Remo&amp;ve</translation>
    </message>
    <message>
        <source>Add fi&amp;les...</source>
        <translation>Add fi&amp;les...</translation>
    </message>
    <message>
        <source>Add f&amp;older...</source>
        <translation>Add f&amp;older...</translation>
    </message>
    <message>
        <source>R&amp;emove</source>
        <translation>R&amp;emove</translation>
    </message>
    <message>
        <source>Into &amp;subfolders</source>
        <translation>Into &amp;subfolders</translation>
    </message>
    <message>
        <source>&amp;Run</source>
        <translation>&amp;Run</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Cancel</translation>
    </message>
    <message>
        <source>Files and folders</source>
        <translation>Files and folders</translation>
    </message>
    <message>
        <source>Show</source>
        <translation>Show</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>Progress</translation>
    </message>
    <message>
        <source>Findings</source>
        <translation>Findings</translation>
    </message>
    <message>
        <source>Save &amp;fixdat...</source>
        <translation>Save &amp;fixdat...</translation>
    </message>
    <message>
        <source>A DAT of the games still missing (Ctrl+S)</source>
        <translation>A DAT of the games still missing (Ctrl+S)</translation>
    </message>
    <message>
        <source>Save re&amp;port...</source>
        <translation>Save re&amp;port...</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Add the DAT files to audit against.</source>
        <translation>Add the DAT files to audit against.</translation>
    </message>
    <message>
        <source>Add the files or folders to audit.</source>
        <translation>Add the files or folders to audit.</translation>
    </message>
    <message>
        <source>Reading the DAT files...</source>
        <translation>Reading the DAT files...</translation>
    </message>
    <message>
        <source>Cannot read the DAT file %1</source>
        <translation>Cannot read the DAT file %1</translation>
    </message>
    <message>
        <source>The audit was cancelled; nothing it found is shown.</source>
        <translation>The audit was cancelled; nothing it found is shown.</translation>
    </message>
    <message>
        <source>%1 games in the DAT files: %2 had, %3 incomplete, %4 missing, %5 bad dumps, %6 never dumped; %7 unknown files, %8 duplicates</source>
        <translation>%1 games in the DAT files: %2 had, %3 incomplete, %4 missing, %5 bad dumps, %6 never dumped; %7 unknown files, %8 duplicates</translation>
    </message>
    <message>
        <source>Have</source>
        <translation>Have</translation>
    </message>
    <message>
        <source>Incomplete</source>
        <translation>Incomplete</translation>
    </message>
    <message>
        <source>Missing</source>
        <translation>Missing</translation>
    </message>
    <message>
        <source>Bad dumps</source>
        <translation>Bad dumps</translation>
    </message>
    <message>
        <source>Never dumped</source>
        <translation>Never dumped</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>Unknown</translation>
    </message>
    <message>
        <source>Duplicates</source>
        <translation>Duplicates</translation>
    </message>
    <message>
        <source>Unreadable</source>
        <translation>Unreadable</translation>
    </message>
    <message>
        <source>All</source>
        <translation>All</translation>
    </message>
    <message>
        <source>DAT files (*.dat)</source>
        <translation>DAT files (*.dat)</translation>
    </message>
    <message>
        <source>Text files (*.txt)</source>
        <translation>Text files (*.txt)</translation>
    </message>
    <message>
        <source>JSON files (*.json)</source>
        <translation>JSON files (*.json)</translation>
    </message>
    <message>
        <source>The fixdat is saved as %1.</source>
        <translation>The fixdat is saved as %1.</translation>
    </message>
    <message>
        <source>Cannot save the report: %1</source>
        <translation>Cannot save the report: %1</translation>
    </message>
    <message>
        <source>The report is saved as %1.</source>
        <translation>The report is saved as %1.</translation>
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
    <name>Form_Export</name>
    <message>
        <source>All files</source>
        <translation>All files</translation>
    </message>
    <message>
        <source>Export for a device</source>
        <translation>Export for a device</translation>
    </message>
    <message>
        <source>&amp;Device:</source>
        <translation>&amp;Device:</translation>
    </message>
    <message>
        <source>&amp;Images and folders:</source>
        <translation>&amp;Images and folders:</translation>
    </message>
    <message>
        <source>DAT files for &amp;names:</source>
        <translation>DAT files for &amp;names:</translation>
    </message>
    <message>
        <source>&amp;Write into:</source>
        <translation>&amp;Write into:</translation>
    </message>
    <message>
        <source>Add fi&amp;les...</source>
        <translation>Add fi&amp;les...</translation>
    </message>
    <message>
        <source>Add f&amp;older...</source>
        <translation>Add f&amp;older...</translation>
    </message>
    <message>
        <source>R&amp;emove</source>
        <translation>R&amp;emove</translation>
    </message>
    <message>
        <source>Into &amp;subfolders</source>
        <translation>Into &amp;subfolders</translation>
    </message>
    <message>
        <source>Add D&amp;ATs...</source>
        <translation>Add D&amp;ATs...</translation>
    </message>
    <message>
        <source>Remo&amp;ve</source>
        <translation>Remo&amp;ve</translation>
    </message>
    <message>
        <source>&amp;Browse...</source>
        <translation>&amp;Browse...</translation>
    </message>
    <message>
        <source>&amp;Preview</source>
        <translation>&amp;Preview</translation>
    </message>
    <message>
        <source>E&amp;xport</source>
        <translation>E&amp;xport</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Cancel</translation>
    </message>
    <message>
        <source>&amp;Undo an export...</source>
        <translation>&amp;Undo an export...</translation>
    </message>
    <message>
        <source>&amp;Undo the last export</source>
        <translation>&amp;Undo the last export</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Device</source>
        <translation>Device</translation>
    </message>
    <message>
        <source>Images and folders</source>
        <translation>Images and folders</translation>
    </message>
    <message>
        <source>DAT files for names</source>
        <translation>DAT files for names</translation>
    </message>
    <message>
        <source>Write into</source>
        <translation>Write into</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>Progress</translation>
    </message>
    <message>
        <source>Files</source>
        <translation>Files</translation>
    </message>
    <message>
        <source>Source</source>
        <translation>Source</translation>
    </message>
    <message>
        <source>Written as</source>
        <translation>Written as</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Changes</source>
        <translation>Changes</translation>
    </message>
    <message>
        <source>Your own device profiles are not offered: %1</source>
        <translation>Your own device profiles are not offered: %1</translation>
    </message>
    <message>
        <source>Add the images or folders to export.</source>
        <translation>Add the images or folders to export.</translation>
    </message>
    <message>
        <source>Choose the folder to write into: the device&apos;s card, or a folder to copy onto it.</source>
        <translation>Choose the folder to write into: the device&apos;s card, or a folder to copy onto it.</translation>
    </message>
    <message>
        <source>The folder %1 does not exist.</source>
        <translation>The folder %1 does not exist.</translation>
    </message>
    <message>
        <source>Looking at the images...</source>
        <translation>Looking at the images...</translation>
    </message>
    <message>
        <source>Exporting...</source>
        <translation>Exporting...</translation>
    </message>
    <message>
        <source>Manifests of exports</source>
        <translation>Manifests of exports</translation>
    </message>
    <message>
        <source>Taking the export back...</source>
        <translation>Taking the export back...</translation>
    </message>
    <message>
        <source>to write</source>
        <translation>to write</translation>
    </message>
    <message>
        <source>written</source>
        <translation>written</translation>
    </message>
    <message>
        <source>left out</source>
        <translation>left out</translation>
    </message>
    <message>
        <source>kept</source>
        <translation>kept</translation>
    </message>
    <message>
        <source>refused</source>
        <translation>refused</translation>
    </message>
    <message>
        <source>removed</source>
        <translation>removed</translation>
    </message>
    <message>
        <source>kept: changed since</source>
        <translation>kept: changed since</translation>
    </message>
    <message>
        <source>gone already</source>
        <translation>gone already</translation>
    </message>
    <message>
        <source>it exists already</source>
        <translation>it exists already</translation>
    </message>
    <message>
        <source>Undone: %1 removed, %2 kept because they changed, %3 gone already, %4 could not be removed.</source>
        <translation>Undone: %1 removed, %2 kept because they changed, %3 gone already, %4 could not be removed.</translation>
    </message>
    <message>
        <source>%1 to write, %2 left out, %3 kept, %4 refused.</source>
        <translation>%1 to write, %2 left out, %3 kept, %4 refused.</translation>
    </message>
    <message>
        <source>%1 written, %2 left out, %3 kept, %4 refused or failed.</source>
        <translation>%1 written, %2 left out, %3 kept, %4 refused or failed.</translation>
    </message>
    <message>
        <source>Cancelled: </source>
        <translation>Cancelled: </translation>
    </message>
    <message>
        <source>The manifest %1 lets Undo take this export back.</source>
        <translation>The manifest %1 lets Undo take this export back.</translation>
    </message>
    <message>
        <source>Nothing is written yet: Export writes these files.</source>
        <translation>Nothing is written yet: Export writes these files.</translation>
    </message>
</context>
<context>
    <name>Form_Inspect</name>
    <message>
        <source>Cartridge images</source>
        <translation>Cartridge images</translation>
    </message>
    <message>
        <source>All files</source>
        <translation>All files</translation>
    </message>
    <message>
        <source>Inspect files</source>
        <translation>Inspect files</translation>
    </message>
    <message>
        <source>File</source>
        <translation>File</translation>
    </message>
    <message>
        <source>Layout</source>
        <translation>Layout</translation>
    </message>
    <message>
        <source>Title</source>
        <translation>Title</translation>
    </message>
    <message>
        <source>Checksum</source>
        <translation>Checksum</translation>
    </message>
    <message>
        <source>Dump</source>
        <translation>Dump</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>Images</source>
        <translation>Images</translation>
    </message>
    <message>
        <source>Report</source>
        <translation>Report</translation>
    </message>
    <message>
        <source>&amp;Add files...</source>
        <translation>&amp;Add files...</translation>
    </message>
    <message>
        <source>&amp;Remove</source>
        <translation>&amp;Remove</translation>
    </message>
    <message>
        <source>&amp;Copy report</source>
        <translation>&amp;Copy report</translation>
    </message>
    <message>
        <source>Save &amp;to:</source>
        <translation>Save &amp;to:</translation>
    </message>
    <message>
        <source>Save to</source>
        <translation>Save to</translation>
    </message>
    <message>
        <source>&amp;Folder...</source>
        <translation>&amp;Folder...</translation>
    </message>
    <message>
        <source>Fix c&amp;hecksum</source>
        <translation>Fix c&amp;hecksum</translation>
    </message>
    <message>
        <source>BIN (plain)</source>
        <translation>BIN (plain)</translation>
    </message>
    <message>
        <source>SMD</source>
        <translation>SMD</translation>
    </message>
    <message>
        <source>MD</source>
        <translation>MD</translation>
    </message>
    <message>
        <source>Layout to convert to</source>
        <translation>Layout to convert to</translation>
    </message>
    <message>
        <source>Con&amp;vert to</source>
        <translation>Con&amp;vert to</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>%1 already exists. Would you like to replace it?</source>
        <translation>%1 already exists. Would you like to replace it?</translation>
    </message>
    <message>
        <source>Replace the file?</source>
        <translation>Replace the file?</translation>
    </message>
    <message>
        <source>Tri&amp;m</source>
        <translation>Tri&amp;m</translation>
    </message>
    <message>
        <source>DAT files</source>
        <translation>DAT files</translation>
    </message>
    <message>
        <source>DAT name</source>
        <translation>DAT name</translation>
    </message>
    <message>
        <source>&amp;DAT files...</source>
        <translation>&amp;DAT files...</translation>
    </message>
    <message>
        <source>Cannot read the DAT file %1</source>
        <translation>Cannot read the DAT file %1</translation>
    </message>
    <message>
        <source>not in the DAT files</source>
        <translation>not in the DAT files</translation>
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
    <message>
        <source>&amp;Tools</source>
        <translation>&amp;Tools</translation>
    </message>
    <message>
        <source>Apply &amp;patches...</source>
        <translation>Apply &amp;patches...</translation>
    </message>
    <message>
        <source>&amp;Inspect files...</source>
        <translation>&amp;Inspect files...</translation>
    </message>
    <message>
        <source>&amp;Audit a collection...</source>
        <translation>&amp;Audit a collection...</translation>
    </message>
    <message>
        <source>&amp;Export for a device...</source>
        <translation>&amp;Export for a device...</translation>
    </message>
</context>
<context>
    <name>Form_MakePatch</name>
    <message>
        <source>Cartridge images</source>
        <translation>Cartridge images</translation>
    </message>
    <message>
        <source>All files</source>
        <translation>All files</translation>
    </message>
    <message>
        <source>BPS patches (*.bps)</source>
        <translation>BPS patches (*.bps)</translation>
    </message>
    <message>
        <source>IPS patches (*.ips)</source>
        <translation>IPS patches (*.ips)</translation>
    </message>
    <message>
        <source>UPS patches (*.ups)</source>
        <translation>UPS patches (*.ups)</translation>
    </message>
    <message>
        <source>Make a patch</source>
        <translation>Make a patch</translation>
    </message>
    <message>
        <source>&amp;Original:</source>
        <translation>&amp;Original:</translation>
    </message>
    <message>
        <source>&amp;Modified:</source>
        <translation>&amp;Modified:</translation>
    </message>
    <message>
        <source>&amp;Format:</source>
        <translation>&amp;Format:</translation>
    </message>
    <message>
        <source>&amp;Save as:</source>
        <translation>&amp;Save as:</translation>
    </message>
    <message>
        <source>C&amp;hoose...</source>
        <translation>C&amp;hoose...</translation>
    </message>
    <message>
        <source>Ch&amp;oose...</source>
        <translation>Ch&amp;oose...</translation>
    </message>
    <message>
        <source>&amp;Browse...</source>
        <translation>&amp;Browse...</translation>
    </message>
    <message>
        <source>Ma&amp;ke</source>
        <translation>Ma&amp;ke</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>%1 already exists. Would you like to replace it?</source>
        <translation>%1 already exists. Would you like to replace it?</translation>
    </message>
    <message>
        <source>Replace the file?</source>
        <translation>Replace the file?</translation>
    </message>
    <message>
        <source>Making the patch...</source>
        <translation>Making the patch...</translation>
    </message>
    <message>
        <source>No patch made: %1</source>
        <translation>No patch made: %1</translation>
    </message>
    <message>
        <source>%1: a %2 patch of %3 bytes, made between the plain contents of the original (%4) and the modified image (%5), read back and applied to the original.</source>
        <translation>%1: a %2 patch of %3 bytes, made between the plain contents of the original (%4) and the modified image (%5), read back and applied to the original.</translation>
    </message>
</context>
<context>
    <name>Form_Patch</name>
    <message>
        <source>Apply patches</source>
        <translation>Apply patches</translation>
    </message>
    <message>
        <source>&amp;Image:</source>
        <translation>&amp;Image:</translation>
    </message>
    <message>
        <source>&amp;Patches, applied in order:</source>
        <translation>&amp;Patches, applied in order:</translation>
    </message>
    <message>
        <source>What they &amp;expect:</source>
        <translation>What they &amp;expect:</translation>
    </message>
    <message>
        <source>Save &amp;to:</source>
        <translation>Save &amp;to:</translation>
    </message>
    <message>
        <source>&amp;Name:</source>
        <translation>&amp;Name:</translation>
    </message>
    <message>
        <source>&amp;Layout:</source>
        <translation>&amp;Layout:</translation>
    </message>
    <message>
        <source>C&amp;hoose...</source>
        <translation>C&amp;hoose...</translation>
    </message>
    <message>
        <source>&amp;Add...</source>
        <translation>&amp;Add...</translation>
    </message>
    <message>
        <source>&amp;Remove</source>
        <translation>&amp;Remove</translation>
    </message>
    <message>
        <source>&amp;Up</source>
        <translation>&amp;Up</translation>
    </message>
    <message>
        <source>Do&amp;wn</source>
        <translation>Do&amp;wn</translation>
    </message>
    <message>
        <source>&amp;Folder...</source>
        <translation>&amp;Folder...</translation>
    </message>
    <message>
        <source>Apply even though this image is not the one the patches were made for</source>
        <translation>Apply even though this image is not the one the patches were made for</translation>
    </message>
    <message>
        <source>Fix the header &amp;checksum</source>
        <translation>Fix the header &amp;checksum</translation>
    </message>
    <message>
        <source>The image&apos;s own</source>
        <translation>The image&apos;s own</translation>
    </message>
    <message>
        <source>BIN (plain)</source>
        <translation>BIN (plain)</translation>
    </message>
    <message>
        <source>SMD</source>
        <translation>SMD</translation>
    </message>
    <message>
        <source>MD</source>
        <translation>MD</translation>
    </message>
    <message>
        <source>A&amp;pply</source>
        <translation>A&amp;pply</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Cartridge images</source>
        <translation>Cartridge images</translation>
    </message>
    <message>
        <source>All files</source>
        <translation>All files</translation>
    </message>
    <message>
        <source>Patches</source>
        <translation>Patches</translation>
    </message>
    <message>
        <source>The image: %1, %2 bytes, plain CRC32 %3</source>
        <translation>The image: %1, %2 bytes, plain CRC32 %3</translation>
    </message>
    <message>
        <source>%1: cannot be used: %2</source>
        <translation>%1: cannot be used: %2</translation>
    </message>
    <message>
        <source>%1: %2, %3 records</source>
        <translation>%1: %2, %3 records</translation>
    </message>
    <message>
        <source>; made for %1 bytes with CRC32 %2, makes %3 bytes with CRC32 %4</source>
        <translation>; made for %1 bytes with CRC32 %2, makes %3 bytes with CRC32 %4</translation>
    </message>
    <message>
        <source>; an IPS patch names no image it was made for</source>
        <translation>; an IPS patch names no image it was made for</translation>
    </message>
    <message>
        <source>Choose the image to patch.</source>
        <translation>Choose the image to patch.</translation>
    </message>
    <message>
        <source>The image cannot be read: %1</source>
        <translation>The image cannot be read: %1</translation>
    </message>
    <message>
        <source>Add the patches to apply, in the order they go on.</source>
        <translation>Add the patches to apply, in the order they go on.</translation>
    </message>
    <message>
        <source>A patch cannot be used: see above.</source>
        <translation>A patch cannot be used: see above.</translation>
    </message>
    <message>
        <source>Ready: %1</source>
        <translation>Ready: %1</translation>
    </message>
    <message>
        <source>the patches apply to this image</source>
        <translation>the patches apply to this image</translation>
    </message>
    <message>
        <source>This is not the image the patches were made for: %1. Applying them would most likely give a broken game.</source>
        <translation>This is not the image the patches were made for: %1. Applying them would most likely give a broken game.</translation>
    </message>
    <message>
        <source>This cannot be applied: %1</source>
        <translation>This cannot be applied: %1</translation>
    </message>
    <message>
        <source>%1 already exists. Would you like to replace it?</source>
        <translation>%1 already exists. Would you like to replace it?</translation>
    </message>
    <message>
        <source>Replace the file?</source>
        <translation>Replace the file?</translation>
    </message>
    <message>
        <source>Written: %1%2</source>
        <translation>Written: %1%2</translation>
    </message>
    <message>
        <source>Nothing written: %1 is kept.</source>
        <translation>Nothing written: %1 is kept.</translation>
    </message>
    <message>
        <source>Nothing written: %1</source>
        <translation>Nothing written: %1</translation>
    </message>
    <message>
        <source>DAT files</source>
        <translation>DAT files</translation>
    </message>
    <message>
        <source>&amp;DAT files...</source>
        <translation>&amp;DAT files...</translation>
    </message>
    <message>
        <source>Not in the DAT files</source>
        <translation>Not in the DAT files</translation>
    </message>
    <message>
        <source>In the DAT files: %1</source>
        <translation>In the DAT files: %1</translation>
    </message>
    <message>
        <source>This image is %1 in the DAT files.</source>
        <translation>This image is %1 in the DAT files.</translation>
    </message>
    <message>
        <source>Cannot read the DAT file %1</source>
        <translation>Cannot read the DAT file %1</translation>
    </message>
    <message>
        <source>&amp;Make a patch...</source>
        <translation>&amp;Make a patch...</translation>
    </message>
</context>
<context>
    <name>ToolWindow</name>
    <message>
        <source>Cartridge images</source>
        <translation>Cartridge images</translation>
    </message>
    <message>
        <source>All files</source>
        <translation>All files</translation>
    </message>
    <message>
        <source>DAT files</source>
        <translation>DAT files</translation>
    </message>
</context>
</TS>
