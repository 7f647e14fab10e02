<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>Application</name>
    <message>
        <source>未知错误</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CertificateDialog</name>
    <message>
        <source>证书尚未生效</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>证书已经过期</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>证书是自签名的, 不是由受信任的证书机构颁发</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>证书链中有一个不受信任的自签名根证书</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>证书的颁发者不在本机信任的证书机构中</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>证书已被吊销</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>证书验证失败: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>服务器没有出示证书</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>证书不是颁发给 %1 的</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>警告: 服务器证书已改变</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>服务器证书</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&lt;b&gt;&lt;font color=&quot;#c00000&quot;&gt;服务器 %1 出示的证书与您上次选择信任的证书不同!&lt;/font&gt;&lt;/b&gt;&lt;br&gt;这可能是有人在截取您的连接 (中间人攻击), 也可能是服务器换了证书。除非您确知服务器换了证书, 否则请拒绝。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>无法验证服务器 %1 的证书。只有在您确认这就是您要连接的服务器时, 才接受这个证书。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>问题:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>颁发给:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>颁发者:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>有效期:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 至 %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SHA-256 指纹:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>总是信任(&amp;A)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>仅本次接受(&amp;O)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>拒绝(&amp;R)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>地址中不能含有换行符或空字符</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>不是 ftp:// 或 ftps:// 地址</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>端口号无效: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>地址中没有主机名</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>地址无效: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tarvo: FTP 客户端, 本地磁盘和 FTP 服务器并排显示</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>显示这个帮助并退出</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>显示版本并退出</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>地址</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>要打开的 ftp:// 或 ftps:// 地址 (ftp://用户@主机:端口/路径)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>[ftp://用户@主机:端口/路径]</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>只能给出一个地址
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>不能打开地址: %1
</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Dialogs</name>
    <message>
        <source>确定</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>取消</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>中止(&amp;A)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>重试(&amp;R)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>忽略(&amp;I)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>是(&amp;Y)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>否(&amp;N)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>EngineNotices</name>
    <message>
        <source>信息</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>确认</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> 字节</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>  已经连接到 </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>  退出连接</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> 正在查找 </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> 连接 </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> 该主机不支持续传 </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>登陆成功</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> 正在获取主机当前文件列表.....</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>文件总大小:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>字节</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>该主机支持续传</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Winsock 错误</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Winsock 接口不能初始化，请确认您的机器装有 Winsock.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>网络错误</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>网络不通，请确认你目前已经在网络上.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>解析域名错误</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>软件不能解析您要连线的FTP服务器，请确认该服务器是否存在</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Winsock 发生错误</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>连接错误</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>已经退出连接!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>超时连接错误</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>连接超时,已经退出当前连接.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Winsock 使用过量，请关闭一些Winsock 软件，然后再连接</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>无法连接到 %1: 连接被拒绝</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>服务器</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>传输终止</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>传输被终止.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>服务器错误</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>FTP 服务器 Down 了</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>拒绝访问</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>访问拒绝，请确认用户名和密码正确</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>传输错误</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>传输数据中发生错误</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>修改拒绝</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>拒绝修改，属性必须在 0..0477 之间</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>  不能打开文件 </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>  不能写文件 </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>  不能读文件 </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>加密错误</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>服务器不支持 TLS 加密; 按照设置, 不以明文登陆.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>TLS 加密连接建立失败.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>证书错误</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>服务器的证书没有被接受, 连接已断开.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>传输大小:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>时间:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>传输速率:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>(字节/秒)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>本地</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>远程</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>请输入 FTP 服务器名称</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>用户名</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>请输入登陆用户名</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>文件 </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> 已经存在,且长度小于远程文件,要续传吗?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> 已经存在，且长度不小于远程文件，要覆盖原来文件吗?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>远程文件 </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> 已经存在,且长度小于本地文件,要续传吗?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> 已经存在，且长度不小于本地文件，要覆盖原来文件吗?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>密码</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>请输入登陆密码</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PaneInput</name>
    <message>
        <source>确实要删除 &quot;%1&quot; 吗?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>确实要删除选中的 %1 个项目吗?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>删除</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>RemoteListModel</name>
    <message>
        <source>文件名</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>读取权限</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>文件大小</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>创建时间</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>RemoteSearchWalk</name>
    <message>
        <source>跳过已经进入过的目录(循环链接): </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>目录层次超过 %1 层, 不再搜索: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>搜索的目录超过 %1 个, 不再搜索: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>不能进入目录, 跳过: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>不能读取目录, 跳过: </source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SearchResultModel</name>
    <message>
        <source>文件大小</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>文件时间</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>文件连接</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SendMailDialog</name>
    <message>
        <source>邮件没有发送。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>邮件服务器不提供加密连接 (STARTTLS)，设置为“必须加密”时不以明文发送，</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>与邮件服务器建立加密连接失败，</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>邮件服务器的证书没有被接受，</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>邮件服务器拒绝了用户名或密码，</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>邮件服务器不支持本程序的登录方式 (PLAIN、LOGIN)，</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SiteListModel</name>
    <message>
        <source>站点名称</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>主机名</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>用户名</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>端口</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>本地目录</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>远程初始目录</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>匿名登陆</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SiteOptions</name>
    <message>
        <source>只使用普通 FTP (不安全)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>如果服务器支持, 使用显式 TLS</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>要求显式 TLS</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>要求隐式 TLS</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SystemInfo</name>
    <message>
        <source>未知</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> (%1 个逻辑处理器)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TAboutBox</name>
    <message>
        <source>关于 Tarvo</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>FTP 客户端软件</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>操作系统:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>版本:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>处理器:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>物理内存:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>确定</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TFileListModel</name>
    <message>
        <source>名称</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>大小</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>类型</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>修改</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>建立</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>最近访问</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>属性</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>路径</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TForm1</name>
    <message>
        <source>不能打开地址 %1
%2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>地址无效</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>  正在执行其它操作, 请等它结束后再打开地址 </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>密码</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>请输入 %1 的登陆密码</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>要停止整个传输吗?
是: 停止全部; 否: 只停止当前文件, 继续传输其余的文件</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>停止传输</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tarvo - FTP 客户端</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> 未连接 </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> 正在连接 %1 </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> 已连接 %1 </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>已建立加密连接: %1, %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>警告: 服务器不支持加密, 本次连接没有加密 (密码以明文发送)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>主机应答:没有相应的操作权限</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> 主机应答:没有相应的操作权限 </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>主工具条</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>FTP 管理</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>设置选项</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>菜单条</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>界面设置</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>设置界面</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>FTP 搜索</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>FTP 邮件</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>帮助说明</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>管理菜单</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>主机操作相关条</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>站点管理</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>连接主机</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>退出连接</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>刷新</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>手工下载</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>批处理传输菜单</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>批处理相关操作条</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>向下移动一格</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>向上移动一格</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>删除选择项</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>删除所有批处理文件</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>开始传输批处理文件</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>登陆菜单</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>服务器</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ftp 服务器地址</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>端口</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>服务器端口(缺省 21)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>用户名</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>登陆使用的用户名</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>登陆的用户密码</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>显示模式</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>排列图标</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>改变当前路径</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>建立目录</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>删除文件</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>重命名文件</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>上传</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>上一层目录</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>下载</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>文件大小写转换</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>改变当前目录</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>移动文件</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>刷新列表</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>批处理窗口</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>记录所有操作的记录窗口</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>本地路径</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>本地上一层目录</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>本地文件列表</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>远程路径</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>远程上一层目录</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>远程文件列表</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>批处理队列</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>记录窗口</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>连接状态</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>主目录</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>浏览...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>浏览文件夹</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>目录不存在</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>这不是目录</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>没有进入这个目录的权限</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>不能进入 &quot;%1&quot;: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>改变路径</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>请输入你要改变的目的路径</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>目录</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>请输入新建目录名:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>修改文件名</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>请输入你要修改后的文件名</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>操作错误</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>不能启动编辑器 </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>建立进程</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>断开连接 </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>退出</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>批处理菜单</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>窗口字体</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>设置窗口的字体</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>本地窗口</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>远程窗口</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>窗口颜色</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>帮助主题</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>关于软件</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>拷贝到剪贴板</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>全部选择</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>全部清除</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>开始传输</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>全部删除</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>删除</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>移到顶端</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>移到底端</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>向上移动</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>向下移动</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>浏览</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>文件名</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>文件大小</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>文件日期</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>编辑</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>执行</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>重命名</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>新建</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>全选</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>修改文件属性</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>转换文件名大小写</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>全部变成大写</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>全部变成小写</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>转换成大写</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>转换成小写</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>主机拒绝</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>没有连接到主机</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>正在执行其他操作, 请稍后再试</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>请输入你的目的目录</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>移动文件的目的路径</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>没有连接到 FTP 服务器。请先连接, 再按文件名搜索当前服务器。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>正在执行其它操作, 请等它结束后再搜索。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&lt;目录&gt;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>正在搜索 %1 (已找到 %2 个)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>搜索结束: 找到 %1 个, 搜索了 %2 个目录</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>, 跳过 %1 个目录</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> (已达到返回结果条数)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> (已停止)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>搜索已中断</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>加密</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>控制连接和数据连接是否用 TLS 加密</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>加密状态</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>已加密 (%1)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>未加密</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>已加密: %1, %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>未加密: 密码和数据以明文传送</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>不能打开帮助文件 </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>  没有连接, 不能下载 </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>  正在执行其它操作, 请等它结束后再下载 </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>  没有连接, 不能上传 </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>  正在执行其它操作, 请等它结束后再上传 </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>连接已断开</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>下载失败: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>上传失败: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>, 原因: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>; 已保留未完成的文件 (%1 字节), 再次下载时可以续传</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 个文件传输失败:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>...(其余的见日志)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>  %1 个文件传输失败, 详见日志</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>传输错误</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>请输入下载路径</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>请输入下载软件全路径</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TForm2</name>
    <message>
        <source>站点管理</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>用户资料</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>保存密码</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>把密码保存在系统密钥环中, 不写入任何文件</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>使用匿名登陆</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>被动模式</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>由本机连接服务器传输数据 (PASV), 适合在路由器或防火墙之后使用</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>连接</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>修改/添加到列表</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>保存</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>删除</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>取消</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>站点名称</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>主机名</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>用户名</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>密码</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>端口</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>本地目录</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>远程初始目录</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>加密</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>没有填站点名称</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>没有填主机名</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>没有填用户名</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>站点资料中不能含有字符 &quot;|&quot;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>无法把密码保存到系统密钥环: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>目录 </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> 不存在,请填正确</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>浏览文件夹</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TForm3</name>
    <message>
        <source>修改文件属性</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>文件所有者的权限</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>组员的读写权限</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>所有人的权限</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>读</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>写</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>执行</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>手工修改</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>读(所有)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>写(所有)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>执行(所有)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>确定</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>取消</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Tmailform</name>
    <message>
        <source>正在连接</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>已经连接</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>收信人 :</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>正在发送邮件</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>附件</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>取消</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>用户资料</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>服务器资料</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>设置</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>发送邮件</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>帮助</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>个人资料</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>这是你取得邮件的服务器地址：
例如： zhangsan@163.net</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>这是你发送邮件的服务器地址
例如：202.96.199.133</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>你的收取邮件地址(pop3)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>发送邮件服务器(SMTP)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>你要下载的软件的完整URL</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>这是你要去哪，拿什么软件的地址
例如： ftp://ftp.gnu.org/gnu/hello/hello-2.12.tar.gz</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>传输软件服务器(FTP协议)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>增加</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>发送邮件服务器(SMTP)登录</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>密码只在本次运行中保留，不写入文件</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>尽量加密</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>必须加密</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>不加密</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>服务器地址写成 主机:465 时从头加密连接</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SMTP 用户名</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SMTP 密码</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SMTP 加密</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>用户名</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>密码</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>加密</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>邮件格式</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>传输格式</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>二进制传输</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>文本格式传输</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>分块传输</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>不分块</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>每封邮件 (K/封)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>发送邮件:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>   左边就是你要发送到FTPMAIL</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>服务器的邮件内容，你可以自己</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>就邮件内容进行修改。如果你对</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>里面的指令不明白，请看帮助，</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>里面有详细的指令使用介绍</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>发送</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>FTPMAIL介绍</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>FTPMAIL 指令说明</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>确定</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>按确定后，你的FTP-Mail 
申请就发送出去了！</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>取消操作</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>下载软件路径必须 ftp:// 开头</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>没有填你的邮件地址</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>没有选择好邮件服务器</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>没有填SMTP服务器</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>请输入 %1 在 %2 的密码</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>请输入添加的服务器</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>请输入你要添加的新服务器</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TransferWalk</name>
    <message>
        <source>跳过已经进入过的目录(循环链接): </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>目录层次超过 %1 层, 跳过: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>本地路径太长, 跳过: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>不能进入目录, 跳过: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>不能读取目录, 跳过: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>跳过不安全的名称: &quot;</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Tsearch</name>
    <message>
        <source>查询</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>停止</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tarvo Ftpsearch 客户端软件</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>查询关键字</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>输入查询关键字</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>返回结果条数</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>搜索来源</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>搜索引擎</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>当前 FTP 服务器</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>在搜索引擎中查询, 或按文件名(可用 * 和 ?)搜索当前连接的 FTP 服务器</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>取消</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>查询结果</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>连接</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>删除</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>文件大小：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>文件时间：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>文件URL：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>发送查询请求.....</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>返回数据: %1 字节</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>查询结束</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>没有设置搜索引擎地址</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>还没有设置 FTP 搜索引擎的地址 (%1 只是占位的保留地址)。

请在“设置选项”的“高级选项”页填写“FTP 搜索引擎地址”, 或者把“搜索来源”改为“当前 FTP 服务器”, 在已连接的服务器上按文件名搜索。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>正在发送查询请求.....</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>正在搜索 FTP 服务器.....</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>没有可以搜索的 FTP 服务器</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>platform::PromptQueryDialog</name>
    <message>
        <source>确定</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>取消</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
