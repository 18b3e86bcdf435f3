<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>FormLoad</name>
    <message>
        <source>SMD to BIN</source>
        <translation>SMD to BIN</translation>
    </message>
    <message>
        <source>SMD files</source>
        <translation>SMD格式文件</translation>
    </message>
    <message>
        <source>BIN to SMD</source>
        <translation>BIN to SMD</translation>
    </message>
    <message>
        <source>BIN files</source>
        <translation>BIN格式文件</translation>
    </message>
    <message>
        <source>MD to BIN</source>
        <translation>MD to BIN</translation>
    </message>
    <message>
        <source>MD files</source>
        <translation>MD格式文件</translation>
    </message>
    <message>
        <source>BIN to MD</source>
        <translation>BIN to MD</translation>
    </message>
    <message>
        <source>All files</source>
        <translation>所有文件</translation>
    </message>
    <message>
        <source>SMD format to BIN format</source>
        <translation>SMD格式转换到BIN格式</translation>
    </message>
    <message>
        <source>BIN format to SMD format</source>
        <translation>BIN格式转换到SMD格式</translation>
    </message>
    <message>
        <source>MD format to BIN format</source>
        <translation>MD格式转换到BIN格式</translation>
    </message>
    <message>
        <source>BIN format to MD format</source>
        <translation>BIN格式转换到MD格式</translation>
    </message>
</context>
<context>
    <name>Form_About</name>
    <message>
        <source>About</source>
        <translation>关于</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Kestrix VERSION %1 by %2 (%3), with special thanks to %4 for technical help. Translations: %5</source>
        <extracomment>%1 the version, %2 the author, %3 the author&apos;s alias, %4 who is thanked, %5 the translators</extracomment>
        <translation>Kestrix VERSION %1 开发作者： %2(%3),特别感谢%4技术帮助支持。 简体中文版：%5</translation>
    </message>
    <message>
        <source>You can write to: %1.</source>
        <translation>你可以写信到: %1.</translation>
    </message>
    <message>
        <source>My blog: %1</source>
        <translation>我的博客: %1</translation>
    </message>
    <message>
        <source>My website: %1</source>
        <translation>我的网站: %1</translation>
    </message>
</context>
<context>
    <name>Form_Convert</name>
    <message>
        <source>Save files to...</source>
        <translation>保存文件到...</translation>
    </message>
    <message>
        <source>Path:</source>
        <translation>路径:</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>进度</translation>
    </message>
    <message>
        <source>Information</source>
        <translation>信息</translation>
    </message>
    <message>
        <source>Convert</source>
        <translation>转换</translation>
    </message>
    <message>
        <source>Press this button to start converting the files</source>
        <translation>按下此键 开始转换文件</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Press this button to stop converting the files</source>
        <translation>按下此键 取消转换文件</translation>
    </message>
    <message>
        <source>Add files</source>
        <translation>添加文件</translation>
    </message>
    <message>
        <source>Press this button to add game files to the conversion list</source>
        <translation>按下此键 添加游戏文件到转换列表</translation>
    </message>
    <message>
        <source>Remove files</source>
        <translation>移除文件</translation>
    </message>
    <message>
        <source>Press this button to remove the selected files</source>
        <translation>按下此键 移除已选文件</translation>
    </message>
    <message>
        <source>Select all files</source>
        <translation>选择所有文件</translation>
    </message>
    <message>
        <source>Press this button to select all files</source>
        <translation>按下此键 选择所有文件</translation>
    </message>
    <message>
        <source>Deselect all files</source>
        <translation>撤销所有文件</translation>
    </message>
    <message>
        <source>Press this button to deselect all files</source>
        <translation>按下此键 撤销所有文件</translation>
    </message>
    <message>
        <source>Files to convert</source>
        <translation>转换列表</translation>
    </message>
    <message>
        <source>Drive</source>
        <translation>驱动器</translation>
    </message>
    <message>
        <source>Folder</source>
        <translation>文件夹</translation>
    </message>
    <message>
        <source>Path</source>
        <translation>路径</translation>
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
        <translation>请选择文件输出路径</translation>
    </message>
</context>
<context>
    <name>Form_Main</name>
    <message>
        <source>Information</source>
        <translation>信息</translation>
    </message>
    <message>
        <source>SMD to BIN</source>
        <translation>SMD to BIN</translation>
    </message>
    <message>
        <source>Press this button to convert files from the SMD format to the BIN format</source>
        <translation>按下此键 可以从SMD格式转换文件到BIN格式</translation>
    </message>
    <message>
        <source>BIN to SMD</source>
        <translation>BIN to SMD</translation>
    </message>
    <message>
        <source>Press this button to convert files from the BIN format to the SMD format</source>
        <translation>按下此键 可以从BIN格式转换文件到SMD格式</translation>
    </message>
    <message>
        <source>MD to BIN</source>
        <translation>MD to BIN</translation>
    </message>
    <message>
        <source>Press this button to convert files from the MD format to the BIN format</source>
        <translation>按下此键 可以从MD格式转换文件到BIN格式</translation>
    </message>
    <message>
        <source>BIN to MD</source>
        <translation>BIN to MD</translation>
    </message>
    <message>
        <source>Press this button to convert files from the BIN format to the MD format</source>
        <translation>按下此键 可以从BIN格式转换文件到MD格式</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>退出</translation>
    </message>
    <message>
        <source>Press this button to leave the program</source>
        <translation>按下此键 程序退出</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>文件</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>退出</translation>
    </message>
    <message>
        <source>&amp;Convert</source>
        <translation>转换设置</translation>
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
        <translation>&amp;MD  to BIN</translation>
    </message>
    <message>
        <source>BIN  to M&amp;D</source>
        <translation>BIN  to M&amp;D</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>帮助</translation>
    </message>
    <message>
        <source>Online help guide</source>
        <translation>在线帮助指南</translation>
    </message>
    <message>
        <source>Visit the %1 home page</source>
        <extracomment>%1 is the maker&apos;s name</extracomment>
        <translation>访问%1主页</translation>
    </message>
    <message>
        <source>Visit the %1 blog</source>
        <extracomment>%1 is the maker&apos;s name</extracomment>
        <translation>访问%1博客</translation>
    </message>
    <message>
        <source>Visit the program&apos;s forum</source>
        <translation>访问程序社区</translation>
    </message>
    <message>
        <source>Read the release notes</source>
        <translation>读去更新说明</translation>
    </message>
    <message>
        <source>About the program</source>
        <translation>关于程序信息</translation>
    </message>
    <message>
        <source>&amp;Language</source>
        <extracomment>The language menu: its title is also written in English in the Chinese windows, so that a user who reads no Chinese finds it.</extracomment>
        <translation>语言(Language)</translation>
    </message>
    <message>
        <source>File not found</source>
        <translation>文件未找到</translation>
    </message>
    <message>
        <source>Kestrix logo</source>
        <translation>Kestrix 标志</translation>
    </message>
</context>
</TS>
