<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>FindingsModel</name>
    <message>
        <source>Status</source>
        <translation>状态</translation>
    </message>
    <message>
        <source>Game</source>
        <translation>游戏</translation>
    </message>
    <message>
        <source>File</source>
        <translation>文件</translation>
    </message>
    <message>
        <source>Layout</source>
        <translation>格式</translation>
    </message>
    <message>
        <source>Match or reason</source>
        <translation>匹配方式或原因</translation>
    </message>
    <message>
        <source>(a game with no name)</source>
        <translation>（无名游戏）</translation>
    </message>
    <message>
        <source>have</source>
        <translation>已有</translation>
    </message>
    <message>
        <source>incomplete</source>
        <translation>不完整</translation>
    </message>
    <message>
        <source>missing</source>
        <translation>缺少</translation>
    </message>
    <message>
        <source>bad dump</source>
        <translation>坏转储</translation>
    </message>
    <message>
        <source>never dumped</source>
        <translation>从未转储</translation>
    </message>
    <message>
        <source>unknown</source>
        <translation>未知</translation>
    </message>
    <message>
        <source>duplicate</source>
        <translation>重复</translation>
    </message>
    <message>
        <source>unreadable</source>
        <translation>无法读取</translation>
    </message>
    <message>
        <source>file as it is</source>
        <translation>文件原样</translation>
    </message>
    <message>
        <source>plain content</source>
        <translation>普通内容</translation>
    </message>
    <message>
        <source>lacks %1</source>
        <translation>缺少 %1</translation>
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
    <name>Form_Audit</name>
    <message>
        <source>DAT files</source>
        <translation>DAT 文件</translation>
    </message>
    <message>
        <source>Audit a collection</source>
        <translation>核对收藏</translation>
    </message>
    <message>
        <source>&amp;DAT files:</source>
        <translation>DAT 文件(&amp;D):</translation>
    </message>
    <message>
        <source>F&amp;iles and folders:</source>
        <translation>文件和文件夹(&amp;I):</translation>
    </message>
    <message>
        <source>S&amp;how:</source>
        <translation>显示(&amp;H):</translation>
    </message>
    <message>
        <source>Add D&amp;ATs...</source>
        <translation>添加 DAT(&amp;A)...</translation>
    </message>
    <message>
        <source>Remo&amp;ve</source>
        <translation>移除(&amp;V)</translation>
    </message>
    <message>
        <source>Add fi&amp;les...</source>
        <translation>添加文件(&amp;L)...</translation>
    </message>
    <message>
        <source>Add f&amp;older...</source>
        <translation>添加文件夹(&amp;O)...</translation>
    </message>
    <message>
        <source>R&amp;emove</source>
        <translation>移除(&amp;E)</translation>
    </message>
    <message>
        <source>Into &amp;subfolders</source>
        <translation>包括子文件夹(&amp;S)</translation>
    </message>
    <message>
        <source>&amp;Run</source>
        <translation>运行(&amp;R)</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>取消(&amp;C)</translation>
    </message>
    <message>
        <source>Files and folders</source>
        <translation>文件和文件夹</translation>
    </message>
    <message>
        <source>Show</source>
        <translation>显示</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>进度</translation>
    </message>
    <message>
        <source>Findings</source>
        <translation>核对结果</translation>
    </message>
    <message>
        <source>Save &amp;fixdat...</source>
        <translation>保存缺失清单(&amp;F)...</translation>
    </message>
    <message>
        <source>A DAT of the games still missing (Ctrl+S)</source>
        <translation>列出仍缺少的游戏的 DAT 文件 (Ctrl+S)</translation>
    </message>
    <message>
        <source>Save re&amp;port...</source>
        <translation>保存报告(&amp;P)...</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>Add the DAT files to audit against.</source>
        <translation>请添加用来核对的 DAT 文件。</translation>
    </message>
    <message>
        <source>Add the files or folders to audit.</source>
        <translation>请添加要核对的文件或文件夹。</translation>
    </message>
    <message>
        <source>Reading the DAT files...</source>
        <translation>正在读取 DAT 文件...</translation>
    </message>
    <message>
        <source>Cannot read the DAT file %1</source>
        <translation>无法读取 DAT 文件 %1</translation>
    </message>
    <message>
        <source>The audit was cancelled; nothing it found is shown.</source>
        <translation>核对已取消；不显示任何结果。</translation>
    </message>
    <message>
        <source>%1 games in the DAT files: %2 had, %3 incomplete, %4 missing, %5 bad dumps, %6 never dumped; %7 unknown files, %8 duplicates</source>
        <translation>DAT 文件中共 %1 个游戏：已有 %2 个，不完整 %3 个，缺少 %4 个，坏转储 %5 个，从未转储 %6 个；未知文件 %7 个，重复 %8 个</translation>
    </message>
    <message>
        <source>Have</source>
        <translation>已有</translation>
    </message>
    <message>
        <source>Incomplete</source>
        <translation>不完整</translation>
    </message>
    <message>
        <source>Missing</source>
        <translation>缺少</translation>
    </message>
    <message>
        <source>Bad dumps</source>
        <translation>坏转储</translation>
    </message>
    <message>
        <source>Never dumped</source>
        <translation>从未转储</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>未知</translation>
    </message>
    <message>
        <source>Duplicates</source>
        <translation>重复</translation>
    </message>
    <message>
        <source>Unreadable</source>
        <translation>无法读取</translation>
    </message>
    <message>
        <source>All</source>
        <translation>全部</translation>
    </message>
    <message>
        <source>DAT files (*.dat)</source>
        <translation>DAT 文件 (*.dat)</translation>
    </message>
    <message>
        <source>Text files (*.txt)</source>
        <translation>文本文件 (*.txt)</translation>
    </message>
    <message>
        <source>JSON files (*.json)</source>
        <translation>JSON 文件 (*.json)</translation>
    </message>
    <message>
        <source>The fixdat is saved as %1.</source>
        <translation>缺失清单已保存为 %1。</translation>
    </message>
    <message>
        <source>Cannot save the report: %1</source>
        <translation>无法保存报告：%1</translation>
    </message>
    <message>
        <source>The report is saved as %1.</source>
        <translation>报告已保存为 %1。</translation>
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
    <name>Form_Export</name>
    <message>
        <source>All files</source>
        <translation>所有文件</translation>
    </message>
    <message>
        <source>Export for a device</source>
        <translation>导出到设备</translation>
    </message>
    <message>
        <source>&amp;Device:</source>
        <translation>设备(&amp;D):</translation>
    </message>
    <message>
        <source>&amp;Images and folders:</source>
        <translation>映像和文件夹(&amp;I):</translation>
    </message>
    <message>
        <source>DAT files for &amp;names:</source>
        <translation>用于命名的 DAT 文件(&amp;N):</translation>
    </message>
    <message>
        <source>&amp;Write into:</source>
        <translation>写入到(&amp;W):</translation>
    </message>
    <message>
        <source>Add fi&amp;les...</source>
        <translation>添加文件(&amp;L)...</translation>
    </message>
    <message>
        <source>Add f&amp;older...</source>
        <translation>添加文件夹(&amp;O)...</translation>
    </message>
    <message>
        <source>R&amp;emove</source>
        <translation>移除(&amp;E)</translation>
    </message>
    <message>
        <source>Into &amp;subfolders</source>
        <translation>包括子文件夹(&amp;S)</translation>
    </message>
    <message>
        <source>Add D&amp;ATs...</source>
        <translation>添加 DAT(&amp;A)...</translation>
    </message>
    <message>
        <source>Remo&amp;ve</source>
        <translation>移除(&amp;V)</translation>
    </message>
    <message>
        <source>&amp;Browse...</source>
        <translation>浏览(&amp;B)...</translation>
    </message>
    <message>
        <source>&amp;Preview</source>
        <translation>预览(&amp;P)</translation>
    </message>
    <message>
        <source>E&amp;xport</source>
        <translation>导出(&amp;X)</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>取消(&amp;C)</translation>
    </message>
    <message>
        <source>&amp;Undo an export...</source>
        <translation>撤销一次导出(&amp;U)...</translation>
    </message>
    <message>
        <source>&amp;Undo the last export</source>
        <translation>撤销上次导出(&amp;U)</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>Device</source>
        <translation>设备</translation>
    </message>
    <message>
        <source>Images and folders</source>
        <translation>映像和文件夹</translation>
    </message>
    <message>
        <source>DAT files for names</source>
        <translation>用于命名的 DAT 文件</translation>
    </message>
    <message>
        <source>Write into</source>
        <translation>写入到</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>进度</translation>
    </message>
    <message>
        <source>Files</source>
        <translation>文件列表</translation>
    </message>
    <message>
        <source>Source</source>
        <translation>来源</translation>
    </message>
    <message>
        <source>Written as</source>
        <translation>写入为</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>状态</translation>
    </message>
    <message>
        <source>Changes</source>
        <translation>变化</translation>
    </message>
    <message>
        <source>Your own device profiles are not offered: %1</source>
        <translation>未提供你自己的设备配置：%1</translation>
    </message>
    <message>
        <source>Add the images or folders to export.</source>
        <translation>请添加要导出的映像或文件夹。</translation>
    </message>
    <message>
        <source>Choose the folder to write into: the device&apos;s card, or a folder to copy onto it.</source>
        <translation>请选择写入的文件夹：设备的存储卡，或稍后复制到卡上的文件夹。</translation>
    </message>
    <message>
        <source>The folder %1 does not exist.</source>
        <translation>文件夹 %1 不存在。</translation>
    </message>
    <message>
        <source>Looking at the images...</source>
        <translation>正在查看映像...</translation>
    </message>
    <message>
        <source>Exporting...</source>
        <translation>正在导出...</translation>
    </message>
    <message>
        <source>Manifests of exports</source>
        <translation>导出清单</translation>
    </message>
    <message>
        <source>Taking the export back...</source>
        <translation>正在撤销导出...</translation>
    </message>
    <message>
        <source>to write</source>
        <translation>待写入</translation>
    </message>
    <message>
        <source>written</source>
        <translation>已写入</translation>
    </message>
    <message>
        <source>left out</source>
        <translation>已排除</translation>
    </message>
    <message>
        <source>kept</source>
        <translation>保留</translation>
    </message>
    <message>
        <source>refused</source>
        <translation>拒绝</translation>
    </message>
    <message>
        <source>removed</source>
        <translation>已删除</translation>
    </message>
    <message>
        <source>kept: changed since</source>
        <translation>保留：导出后已更改</translation>
    </message>
    <message>
        <source>gone already</source>
        <translation>已不存在</translation>
    </message>
    <message>
        <source>it exists already</source>
        <translation>已存在</translation>
    </message>
    <message>
        <source>Undone: %1 removed, %2 kept because they changed, %3 gone already, %4 could not be removed.</source>
        <translation>已撤销：删除 %1 个，因已更改保留 %2 个，已不存在 %3 个，无法删除 %4 个。</translation>
    </message>
    <message>
        <source>%1 to write, %2 left out, %3 kept, %4 refused.</source>
        <translation>待写入 %1 个，排除 %2 个，保留 %3 个，拒绝 %4 个。</translation>
    </message>
    <message>
        <source>%1 written, %2 left out, %3 kept, %4 refused or failed.</source>
        <translation>已写入 %1 个，排除 %2 个，保留 %3 个，拒绝或失败 %4 个。</translation>
    </message>
    <message>
        <source>Cancelled: </source>
        <translation>已取消：</translation>
    </message>
    <message>
        <source>The manifest %1 lets Undo take this export back.</source>
        <translation>清单 %1 可用于撤销这次导出。</translation>
    </message>
    <message>
        <source>Nothing is written yet: Export writes these files.</source>
        <translation>尚未写入任何文件：点击“导出”写入这些文件。</translation>
    </message>
</context>
<context>
    <name>Form_Inspect</name>
    <message>
        <source>Cartridge images</source>
        <translation>卡带映像</translation>
    </message>
    <message>
        <source>All files</source>
        <translation>所有文件</translation>
    </message>
    <message>
        <source>Inspect files</source>
        <translation>检查文件</translation>
    </message>
    <message>
        <source>File</source>
        <translation>文件</translation>
    </message>
    <message>
        <source>Layout</source>
        <translation>格式</translation>
    </message>
    <message>
        <source>Title</source>
        <translation>标题</translation>
    </message>
    <message>
        <source>Checksum</source>
        <translation>校验和</translation>
    </message>
    <message>
        <source>Dump</source>
        <translation>转储</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>大小</translation>
    </message>
    <message>
        <source>Images</source>
        <translation>映像列表</translation>
    </message>
    <message>
        <source>Report</source>
        <translation>报告</translation>
    </message>
    <message>
        <source>&amp;Add files...</source>
        <translation>添加文件(&amp;A)...</translation>
    </message>
    <message>
        <source>&amp;Remove</source>
        <translation>移除(&amp;R)</translation>
    </message>
    <message>
        <source>&amp;Copy report</source>
        <translation>复制报告(&amp;C)</translation>
    </message>
    <message>
        <source>Save &amp;to:</source>
        <translation>保存到(&amp;T):</translation>
    </message>
    <message>
        <source>Save to</source>
        <translation>保存到</translation>
    </message>
    <message>
        <source>&amp;Folder...</source>
        <translation>文件夹(&amp;F)...</translation>
    </message>
    <message>
        <source>Fix c&amp;hecksum</source>
        <translation>修正校验和(&amp;H)</translation>
    </message>
    <message>
        <source>BIN (plain)</source>
        <translation>BIN（普通）</translation>
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
        <translation>转换的目标格式</translation>
    </message>
    <message>
        <source>Con&amp;vert to</source>
        <translation>转换为(&amp;V)</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>%1 already exists. Would you like to replace it?</source>
        <translation>%1 已存在。是否替换？</translation>
    </message>
    <message>
        <source>Replace the file?</source>
        <translation>替换文件？</translation>
    </message>
    <message>
        <source>Tri&amp;m</source>
        <translation>裁剪(&amp;M)</translation>
    </message>
    <message>
        <source>DAT files</source>
        <translation>DAT 文件</translation>
    </message>
    <message>
        <source>DAT name</source>
        <translation>DAT 名称</translation>
    </message>
    <message>
        <source>&amp;DAT files...</source>
        <translation>DAT 文件(&amp;D)...</translation>
    </message>
    <message>
        <source>Cannot read the DAT file %1</source>
        <translation>无法读取 DAT 文件 %1</translation>
    </message>
    <message>
        <source>not in the DAT files</source>
        <translation>不在 DAT 文件中</translation>
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
    <message>
        <source>&amp;Tools</source>
        <translation>工具</translation>
    </message>
    <message>
        <source>Apply &amp;patches...</source>
        <translation>应用补丁(&amp;P)...</translation>
    </message>
    <message>
        <source>&amp;Inspect files...</source>
        <translation>检查文件(&amp;I)...</translation>
    </message>
    <message>
        <source>&amp;Audit a collection...</source>
        <translation>核对收藏(&amp;A)...</translation>
    </message>
    <message>
        <source>&amp;Export for a device...</source>
        <translation>导出到设备(&amp;E)...</translation>
    </message>
</context>
<context>
    <name>Form_MakePatch</name>
    <message>
        <source>Cartridge images</source>
        <translation>卡带映像</translation>
    </message>
    <message>
        <source>All files</source>
        <translation>所有文件</translation>
    </message>
    <message>
        <source>BPS patches (*.bps)</source>
        <translation>BPS 补丁 (*.bps)</translation>
    </message>
    <message>
        <source>IPS patches (*.ips)</source>
        <translation>IPS 补丁 (*.ips)</translation>
    </message>
    <message>
        <source>UPS patches (*.ups)</source>
        <translation>UPS 补丁 (*.ups)</translation>
    </message>
    <message>
        <source>Make a patch</source>
        <translation>制作补丁</translation>
    </message>
    <message>
        <source>&amp;Original:</source>
        <translation>原始映像(&amp;O):</translation>
    </message>
    <message>
        <source>&amp;Modified:</source>
        <translation>修改后映像(&amp;M):</translation>
    </message>
    <message>
        <source>&amp;Format:</source>
        <translation>格式(&amp;F):</translation>
    </message>
    <message>
        <source>&amp;Save as:</source>
        <translation>保存为(&amp;S):</translation>
    </message>
    <message>
        <source>C&amp;hoose...</source>
        <translation>选择(&amp;H)...</translation>
    </message>
    <message>
        <source>Ch&amp;oose...</source>
        <translation>选择(&amp;O)...</translation>
    </message>
    <message>
        <source>&amp;Browse...</source>
        <translation>浏览(&amp;B)...</translation>
    </message>
    <message>
        <source>Ma&amp;ke</source>
        <translation>制作(&amp;K)</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>%1 already exists. Would you like to replace it?</source>
        <translation>%1 已存在。是否替换？</translation>
    </message>
    <message>
        <source>Replace the file?</source>
        <translation>替换文件？</translation>
    </message>
    <message>
        <source>Making the patch...</source>
        <translation>正在制作补丁...</translation>
    </message>
    <message>
        <source>No patch made: %1</source>
        <translation>未制作补丁：%1</translation>
    </message>
    <message>
        <source>%1: a %2 patch of %3 bytes, made between the plain contents of the original (%4) and the modified image (%5), read back and applied to the original.</source>
        <translation>%1：%2 补丁，%3 字节，由原始映像（%4）与修改后映像（%5）的普通内容制作，已读回并在原始映像上验证。</translation>
    </message>
</context>
<context>
    <name>Form_Patch</name>
    <message>
        <source>Apply patches</source>
        <translation>应用补丁</translation>
    </message>
    <message>
        <source>&amp;Image:</source>
        <translation>游戏映像(&amp;I):</translation>
    </message>
    <message>
        <source>&amp;Patches, applied in order:</source>
        <translation>补丁（按顺序应用）(&amp;P):</translation>
    </message>
    <message>
        <source>What they &amp;expect:</source>
        <translation>补丁要求(&amp;E):</translation>
    </message>
    <message>
        <source>Save &amp;to:</source>
        <translation>保存到(&amp;T):</translation>
    </message>
    <message>
        <source>&amp;Name:</source>
        <translation>文件名(&amp;N):</translation>
    </message>
    <message>
        <source>&amp;Layout:</source>
        <translation>格式(&amp;L):</translation>
    </message>
    <message>
        <source>C&amp;hoose...</source>
        <translation>选择(&amp;H)...</translation>
    </message>
    <message>
        <source>&amp;Add...</source>
        <translation>添加(&amp;A)...</translation>
    </message>
    <message>
        <source>&amp;Remove</source>
        <translation>移除(&amp;R)</translation>
    </message>
    <message>
        <source>&amp;Up</source>
        <translation>上移(&amp;U)</translation>
    </message>
    <message>
        <source>Do&amp;wn</source>
        <translation>下移(&amp;W)</translation>
    </message>
    <message>
        <source>&amp;Folder...</source>
        <translation>文件夹(&amp;F)...</translation>
    </message>
    <message>
        <source>Apply even though this image is not the one the patches were made for</source>
        <translation>仍然应用，即使此映像不是补丁所针对的映像</translation>
    </message>
    <message>
        <source>Fix the header &amp;checksum</source>
        <translation>修正文件头校验和(&amp;C)</translation>
    </message>
    <message>
        <source>The image&apos;s own</source>
        <translation>与映像相同</translation>
    </message>
    <message>
        <source>BIN (plain)</source>
        <translation>BIN（普通）</translation>
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
        <translation>应用(&amp;P)</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>Cartridge images</source>
        <translation>卡带映像</translation>
    </message>
    <message>
        <source>All files</source>
        <translation>所有文件</translation>
    </message>
    <message>
        <source>Patches</source>
        <translation>补丁</translation>
    </message>
    <message>
        <source>The image: %1, %2 bytes, plain CRC32 %3</source>
        <translation>映像：%1，%2 字节，普通内容 CRC32 %3</translation>
    </message>
    <message>
        <source>%1: cannot be used: %2</source>
        <translation>%1：无法使用：%2</translation>
    </message>
    <message>
        <source>%1: %2, %3 records</source>
        <translation>%1：%2，%3 条记录</translation>
    </message>
    <message>
        <source>; made for %1 bytes with CRC32 %2, makes %3 bytes with CRC32 %4</source>
        <translation>；针对 %1 字节、CRC32 %2 的映像，生成 %3 字节、CRC32 %4 的映像</translation>
    </message>
    <message>
        <source>; an IPS patch names no image it was made for</source>
        <translation>；IPS 补丁不指明其针对的映像</translation>
    </message>
    <message>
        <source>Choose the image to patch.</source>
        <translation>请选择要打补丁的映像。</translation>
    </message>
    <message>
        <source>The image cannot be read: %1</source>
        <translation>无法读取映像：%1</translation>
    </message>
    <message>
        <source>Add the patches to apply, in the order they go on.</source>
        <translation>请按应用顺序添加补丁。</translation>
    </message>
    <message>
        <source>A patch cannot be used: see above.</source>
        <translation>有补丁无法使用：见上文。</translation>
    </message>
    <message>
        <source>Ready: %1</source>
        <translation>可以应用：%1</translation>
    </message>
    <message>
        <source>the patches apply to this image</source>
        <translation>补丁适用于此映像</translation>
    </message>
    <message>
        <source>This is not the image the patches were made for: %1. Applying them would most likely give a broken game.</source>
        <translation>这不是补丁所针对的映像：%1。应用后很可能得到无法正常运行的游戏。</translation>
    </message>
    <message>
        <source>This cannot be applied: %1</source>
        <translation>无法应用：%1</translation>
    </message>
    <message>
        <source>%1 already exists. Would you like to replace it?</source>
        <translation>%1 已存在。是否替换？</translation>
    </message>
    <message>
        <source>Replace the file?</source>
        <translation>替换文件？</translation>
    </message>
    <message>
        <source>Written: %1%2</source>
        <translation>已写入：%1%2</translation>
    </message>
    <message>
        <source>Nothing written: %1 is kept.</source>
        <translation>未写入：保留了 %1。</translation>
    </message>
    <message>
        <source>Nothing written: %1</source>
        <translation>未写入：%1</translation>
    </message>
    <message>
        <source>DAT files</source>
        <translation>DAT 文件</translation>
    </message>
    <message>
        <source>&amp;DAT files...</source>
        <translation>DAT 文件(&amp;D)...</translation>
    </message>
    <message>
        <source>Not in the DAT files</source>
        <translation>不在 DAT 文件中</translation>
    </message>
    <message>
        <source>In the DAT files: %1</source>
        <translation>DAT 文件中的名称：%1</translation>
    </message>
    <message>
        <source>This image is %1 in the DAT files.</source>
        <translation>按 DAT 文件，此映像是 %1。</translation>
    </message>
    <message>
        <source>Cannot read the DAT file %1</source>
        <translation>无法读取 DAT 文件 %1</translation>
    </message>
    <message>
        <source>&amp;Make a patch...</source>
        <translation>制作补丁(&amp;M)...</translation>
    </message>
</context>
<context>
    <name>ToolWindow</name>
    <message>
        <source>Cartridge images</source>
        <translation>卡带映像</translation>
    </message>
    <message>
        <source>All files</source>
        <translation>所有文件</translation>
    </message>
    <message>
        <source>DAT files</source>
        <translation>DAT 文件</translation>
    </message>
</context>
</TS>
