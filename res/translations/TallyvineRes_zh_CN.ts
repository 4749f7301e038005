<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>CAboutDlg</name>
    <message>
        <source>About Tallyvine 1.0.5</source>
        <translation>关于 Tallyvine 1.0.5</translation>
    </message>
    <message>
        <source>Tallyvine 1.0.5</source>
        <translation>Tallyvine 1.0.5</translation>
    </message>
    <message>
        <source>Orbelle</source>
        <translation>Orbelle</translation>
    </message>
    <message>
        <source>OK(&amp;O)</source>
        <translation>确定(&amp;O)</translation>
    </message>
</context>
<context>
    <name>CStringTable</name>
    <message>
        <source>About Tallyvine(&amp;A)...</source>
        <translation>关于 Tallyvine(&amp;A)...</translation>
    </message>
    <message>
        <source>Tallyvine</source>
        <translation>Tallyvine</translation>
    </message>
    <message>
        <source>Querying %s</source>
        <translation>正在查询 %s</translation>
    </message>
    <message>
        <source>No</source>
        <translation>序号</translation>
    </message>
    <message>
        <source>Domain name</source>
        <translation>域名</translation>
    </message>
    <message>
        <source>PR</source>
        <translation>PR</translation>
    </message>
    <message>
        <source>GSite</source>
        <translation>GSite</translation>
    </message>
    <message>
        <source>GSearch1</source>
        <translation>GSearch1</translation>
    </message>
    <message>
        <source>GSearch2</source>
        <translation>GSearch2</translation>
    </message>
    <message>
        <source>BSite</source>
        <translation>BSite</translation>
    </message>
    <message>
        <source>BSearch1</source>
        <translation>BSearch1</translation>
    </message>
    <message>
        <source>BSearch2</source>
        <translation>BSearch2</translation>
    </message>
    <message>
        <source>Exit?</source>
        <translation>退出吗？</translation>
    </message>
    <message>
        <source>Please Input domain or url with correct format</source>
        <translation>请输入格式正确的域名或网址</translation>
    </message>
    <message>
        <source>Ready</source>
        <translation>就绪</translation>
    </message>
    <message>
        <source>Please stop work thread first</source>
        <translation>请先停止工作线程</translation>
    </message>
    <message>
        <source>Alexa</source>
        <translation>Alexa</translation>
    </message>
    <message>
        <source>GLink</source>
        <translation>GLink</translation>
    </message>
    <message>
        <source>BLink</source>
        <translation>BLink</translation>
    </message>
    <message>
        <source>The list could not be imported: %s</source>
        <translation>无法导入列表：%s</translation>
    </message>
    <message>
        <source>The list could not be exported: %s</source>
        <translation>无法导出列表：%s</translation>
    </message>
    <message>
        <source>The score list is empty: no file was written.</source>
        <translation>评分列表为空，未写入任何文件。</translation>
    </message>
    <message>
        <source>The scan could not be started: %s</source>
        <translation>无法开始扫描：%s</translation>
    </message>
    <message>
        <source>Rescan failed cells</source>
        <translation>重新扫描失败的单元格</translation>
    </message>
    <message>
        <source>nothing found</source>
        <translation>未找到任何结果</translation>
    </message>
    <message>
        <source>fetched %s</source>
        <translation>获取于 %s</translation>
    </message>
    <message>
        <source>Ready. %s</source>
        <translation>就绪。%s</translation>
    </message>
    <message>
        <source>Failed cells: %s</source>
        <translation>失败的单元格：%s</translation>
    </message>
    <message>
        <source>%s: every query failed</source>
        <translation>%s：所有查询均失败</translation>
    </message>
    <message>
        <source>A source file was left out: %s</source>
        <translation>已跳过一个来源文件：%s</translation>
    </message>
    <message>
        <source>could not resolve the host</source>
        <translation>无法解析主机名</translation>
    </message>
    <message>
        <source>could not connect</source>
        <translation>无法连接</translation>
    </message>
    <message>
        <source>no answer for 30 seconds</source>
        <translation>30 秒内无应答</translation>
    </message>
    <message>
        <source>the answer came too slowly</source>
        <translation>应答太慢</translation>
    </message>
    <message>
        <source>the answer was too large</source>
        <translation>应答过大</translation>
    </message>
    <message>
        <source>too many redirects</source>
        <translation>重定向过多</translation>
    </message>
    <message>
        <source>the service answered with an error</source>
        <translation>服务返回错误</translation>
    </message>
    <message>
        <source>blocked by the service</source>
        <translation>被服务拦截</translation>
    </message>
    <message>
        <source>the page held no value (changed or unexpected)</source>
        <translation>页面中没有数值（页面已改变或不符合预期）</translation>
    </message>
    <message>
        <source>cancelled</source>
        <translation>已取消</translation>
    </message>
    <message>
        <source>suspended until %s</source>
        <translation>暂停至 %s</translation>
    </message>
    <message>
        <source>the list is not available</source>
        <translation>列表不可用</translation>
    </message>
    <message>
        <source>About Tallyvine</source>
        <translation>关于 Tallyvine</translation>
    </message>
    <message>
        <source>Exit Tallyvine</source>
        <translation>退出 Tallyvine</translation>
    </message>
</context>
<context>
    <name>CSystemTray</name>
    <message>
        <source>&amp;About</source>
        <translation>关于(&amp;A)</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>退出(&amp;X)</translation>
    </message>
</context>
<context>
    <name>CTallyvineApp</name>
    <message>
        <source>The network library could not be started. Tallyvine will end.</source>
        <translation>无法启动网络库，Tallyvine 将退出。</translation>
    </message>
</context>
<context>
    <name>CTallyvineDlg</name>
    <message>
        <source>Tallyvine 1.0.5</source>
        <translation>Tallyvine 1.0.5</translation>
    </message>
    <message>
        <source>PR: Google PageRank</source>
        <translation>PR: Google PageRank 值</translation>
    </message>
    <message>
        <source>Alexa: Alexa web traffic ranking</source>
        <translation>Alexa: Alexa 网站流量排名</translation>
    </message>
    <message>
        <source>Interval:</source>
        <translation>间隔：</translation>
    </message>
    <message>
        <source>Milliseconds</source>
        <translation>毫秒</translation>
    </message>
    <message>
        <source>Orbelle</source>
        <translation>Orbelle</translation>
    </message>
    <message>
        <source>GSite: Google Site</source>
        <translation>GSite: Google 收录</translation>
    </message>
    <message>
        <source>GLink: Google Link</source>
        <translation>GLink: Google 反向链接</translation>
    </message>
    <message>
        <source>GSearch1: Google Search1</source>
        <translation>GSearch1: Google 搜索1</translation>
    </message>
    <message>
        <source>GSearch2: Google Search2</source>
        <translation>GSearch2: Google 搜索2</translation>
    </message>
    <message>
        <source>Donate Orbelle</source>
        <translation>捐助 Orbelle</translation>
    </message>
    <message>
        <source>BSite: Baidu Site</source>
        <translation>BSite: 百度收录</translation>
    </message>
    <message>
        <source>BLink: Baidu Link</source>
        <translation>BLink: 百度反向链接</translation>
    </message>
    <message>
        <source>BSearch1: Baidu Search1</source>
        <translation>BSearch1: 百度搜索1</translation>
    </message>
    <message>
        <source>BSearch2: Baidu Search2</source>
        <translation>BSearch2: 百度搜索2</translation>
    </message>
    <message>
        <source>Domain name:</source>
        <translation>域名：</translation>
    </message>
    <message>
        <source>Add(&amp;A)</source>
        <translation>添加(&amp;A)</translation>
    </message>
    <message>
        <source>Import(&amp;I)</source>
        <translation>导入(&amp;I)</translation>
    </message>
    <message>
        <source>Export(&amp;E)</source>
        <translation>导出(&amp;E)</translation>
    </message>
    <message>
        <source>Rescan(&amp;R)</source>
        <translation>重新扫描(&amp;R)</translation>
    </message>
    <message>
        <source>Stop(&amp;S)</source>
        <translation>停止(&amp;S)</translation>
    </message>
    <message>
        <source>Clean(&amp;C)</source>
        <translation>清空(&amp;C)</translation>
    </message>
    <message>
        <source>Score List:</source>
        <translation>评分列表：</translation>
    </message>
    <message>
        <source>List Files (*.txt);;All Files (*)</source>
        <translation>列表文件 (*.txt);;所有文件 (*)</translation>
    </message>
    <message>
        <source>Excel Files (*.csv);;All Files (*)</source>
        <translation>Excel 文件 (*.csv);;所有文件 (*)</translation>
    </message>
</context>
<context>
    <name>QPlatformTheme</name>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>&amp;Yes</source>
        <translation>是(&amp;Y)</translation>
    </message>
    <message>
        <source>&amp;No</source>
        <translation>否(&amp;N)</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>打开</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>保存</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
</context>
</TS>
