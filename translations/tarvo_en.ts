<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>Application</name>
    <message>
        <source>未知错误</source>
        <translation>Unknown error</translation>
    </message>
</context>
<context>
    <name>CertificateDialog</name>
    <message>
        <source>证书尚未生效</source>
        <translation>The certificate is not valid yet</translation>
    </message>
    <message>
        <source>证书已经过期</source>
        <translation>The certificate has expired</translation>
    </message>
    <message>
        <source>证书是自签名的, 不是由受信任的证书机构颁发</source>
        <translation>The certificate is self-signed, not issued by a trusted certificate authority</translation>
    </message>
    <message>
        <source>证书链中有一个不受信任的自签名根证书</source>
        <translation>The certificate chain has an untrusted self-signed root certificate</translation>
    </message>
    <message>
        <source>证书的颁发者不在本机信任的证书机构中</source>
        <translation>The issuer of the certificate is not among the certificate authorities this computer trusts</translation>
    </message>
    <message>
        <source>证书已被吊销</source>
        <translation>The certificate has been revoked</translation>
    </message>
    <message>
        <source>证书验证失败: %1</source>
        <translation>Certificate verification failed: %1</translation>
    </message>
    <message>
        <source>服务器没有出示证书</source>
        <translation>The server presented no certificate</translation>
    </message>
    <message>
        <source>证书不是颁发给 %1 的</source>
        <translation>The certificate was not issued to %1</translation>
    </message>
    <message>
        <source>警告: 服务器证书已改变</source>
        <translation>Warning: the server certificate has changed</translation>
    </message>
    <message>
        <source>服务器证书</source>
        <translation>Server Certificate</translation>
    </message>
    <message>
        <source>&lt;b&gt;&lt;font color=&quot;#c00000&quot;&gt;服务器 %1 出示的证书与您上次选择信任的证书不同!&lt;/font&gt;&lt;/b&gt;&lt;br&gt;这可能是有人在截取您的连接 (中间人攻击), 也可能是服务器换了证书。除非您确知服务器换了证书, 否则请拒绝。</source>
        <translation>&lt;b&gt;&lt;font color=&quot;#c00000&quot;&gt;The certificate presented by server %1 differs from the one you chose to trust last time!&lt;/font&gt;&lt;/b&gt;&lt;br&gt;Someone may be intercepting your connection (a man-in-the-middle attack), or the server may have a new certificate. Unless you know for sure that the server changed its certificate, reject it.</translation>
    </message>
    <message>
        <source>无法验证服务器 %1 的证书。只有在您确认这就是您要连接的服务器时, 才接受这个证书。</source>
        <translation>The certificate of server %1 cannot be verified. Accept it only if you are sure this is the server you want to connect to.</translation>
    </message>
    <message>
        <source>问题:</source>
        <translation>Problem:</translation>
    </message>
    <message>
        <source>颁发给:</source>
        <translation>Issued to:</translation>
    </message>
    <message>
        <source>颁发者:</source>
        <translation>Issued by:</translation>
    </message>
    <message>
        <source>有效期:</source>
        <translation>Valid:</translation>
    </message>
    <message>
        <source>%1 至 %2</source>
        <translation>%1 to %2</translation>
    </message>
    <message>
        <source>SHA-256 指纹:</source>
        <translation>SHA-256 fingerprint:</translation>
    </message>
    <message>
        <source>总是信任(&amp;A)</source>
        <translation>&amp;Always Trust</translation>
    </message>
    <message>
        <source>仅本次接受(&amp;O)</source>
        <translation>Accept &amp;Once</translation>
    </message>
    <message>
        <source>拒绝(&amp;R)</source>
        <translation>&amp;Reject</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>地址中不能含有换行符或空字符</source>
        <translation>The address must not contain line breaks or null characters</translation>
    </message>
    <message>
        <source>不是 ftp:// 或 ftps:// 地址</source>
        <translation>Not an ftp:// or ftps:// address</translation>
    </message>
    <message>
        <source>端口号无效: %1</source>
        <translation>Invalid port number: %1</translation>
    </message>
    <message>
        <source>地址中没有主机名</source>
        <translation>The address has no host name</translation>
    </message>
    <message>
        <source>地址无效: %1</source>
        <translation>Invalid address: %1</translation>
    </message>
    <message>
        <source>Tarvo: FTP 客户端, 本地磁盘和 FTP 服务器并排显示</source>
        <translation>Tarvo: an FTP client showing the local disk and the FTP server side by side</translation>
    </message>
    <message>
        <source>显示这个帮助并退出</source>
        <translation>Show this help and exit</translation>
    </message>
    <message>
        <source>显示版本并退出</source>
        <translation>Show the version and exit</translation>
    </message>
    <message>
        <source>地址</source>
        <translation>address</translation>
    </message>
    <message>
        <source>要打开的 ftp:// 或 ftps:// 地址 (ftp://用户@主机:端口/路径)</source>
        <translation>The ftp:// or ftps:// address to open (ftp://user@host:port/path)</translation>
    </message>
    <message>
        <source>[ftp://用户@主机:端口/路径]</source>
        <translation>[ftp://user@host:port/path]</translation>
    </message>
    <message>
        <source>只能给出一个地址
</source>
        <translation>Give only one address
</translation>
    </message>
    <message>
        <source>不能打开地址: %1
</source>
        <translation>Cannot open the address: %1
</translation>
    </message>
</context>
<context>
    <name>Dialogs</name>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>中止(&amp;A)</source>
        <translation>&amp;Abort</translation>
    </message>
    <message>
        <source>重试(&amp;R)</source>
        <translation>&amp;Retry</translation>
    </message>
    <message>
        <source>忽略(&amp;I)</source>
        <translation>&amp;Ignore</translation>
    </message>
    <message>
        <source>是(&amp;Y)</source>
        <translation>&amp;Yes</translation>
    </message>
    <message>
        <source>否(&amp;N)</source>
        <translation>&amp;No</translation>
    </message>
</context>
<context>
    <name>EngineNotices</name>
    <message>
        <source>信息</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>确认</source>
        <translation>Confirm</translation>
    </message>
    <message>
        <source> 字节</source>
        <translation> bytes</translation>
    </message>
    <message>
        <source>  已经连接到 </source>
        <translation>  Connected to </translation>
    </message>
    <message>
        <source>  退出连接</source>
        <translation>  Disconnected</translation>
    </message>
    <message>
        <source> 正在查找 </source>
        <translation> Looking up </translation>
    </message>
    <message>
        <source> 连接 </source>
        <translation> Connecting to </translation>
    </message>
    <message>
        <source> 该主机不支持续传 </source>
        <translation> This server does not support resuming </translation>
    </message>
    <message>
        <source>登陆成功</source>
        <translation>Logged in</translation>
    </message>
    <message>
        <source> 正在获取主机当前文件列表.....</source>
        <translation> Getting the file list from the server.....</translation>
    </message>
    <message>
        <source>文件总大小:</source>
        <translation>File size: </translation>
    </message>
    <message>
        <source>字节</source>
        <translation> bytes</translation>
    </message>
    <message>
        <source>该主机支持续传</source>
        <translation>This server supports resuming</translation>
    </message>
    <message>
        <source>Winsock 错误</source>
        <translation>Winsock Error</translation>
    </message>
    <message>
        <source>Winsock 接口不能初始化，请确认您的机器装有 Winsock.</source>
        <translation>Winsock could not be initialized. Make sure Winsock is installed on this computer.</translation>
    </message>
    <message>
        <source>网络错误</source>
        <translation>Network Error</translation>
    </message>
    <message>
        <source>网络不通，请确认你目前已经在网络上.</source>
        <translation>The network is unreachable. Make sure you are connected to the network.</translation>
    </message>
    <message>
        <source>解析域名错误</source>
        <translation>Host Name Error</translation>
    </message>
    <message>
        <source>软件不能解析您要连线的FTP服务器，请确认该服务器是否存在</source>
        <translation>Cannot resolve the FTP server you want to connect to. Make sure the server exists.</translation>
    </message>
    <message>
        <source>Winsock 发生错误</source>
        <translation>A Winsock error occurred</translation>
    </message>
    <message>
        <source>连接错误</source>
        <translation>Connection Error</translation>
    </message>
    <message>
        <source>已经退出连接!</source>
        <translation>Disconnected!</translation>
    </message>
    <message>
        <source>超时连接错误</source>
        <translation>Connection Timeout</translation>
    </message>
    <message>
        <source>连接超时,已经退出当前连接.</source>
        <translation>The connection timed out and has been closed.</translation>
    </message>
    <message>
        <source>Winsock 使用过量，请关闭一些Winsock 软件，然后再连接</source>
        <translation>Too many sockets in use. Close some network programs, then connect again.</translation>
    </message>
    <message>
        <source>无法连接到 %1: 连接被拒绝</source>
        <translation>Cannot connect to %1: connection refused</translation>
    </message>
    <message>
        <source>服务器</source>
        <translation>Server</translation>
    </message>
    <message>
        <source>传输终止</source>
        <translation>Transfer Aborted</translation>
    </message>
    <message>
        <source>传输被终止.</source>
        <translation>The transfer was aborted.</translation>
    </message>
    <message>
        <source>服务器错误</source>
        <translation>Server Error</translation>
    </message>
    <message>
        <source>FTP 服务器 Down 了</source>
        <translation>The FTP server is down</translation>
    </message>
    <message>
        <source>拒绝访问</source>
        <translation>Access Denied</translation>
    </message>
    <message>
        <source>访问拒绝，请确认用户名和密码正确</source>
        <translation>Access denied. Make sure the user name and password are correct.</translation>
    </message>
    <message>
        <source>传输错误</source>
        <translation>Transfer Error</translation>
    </message>
    <message>
        <source>传输数据中发生错误</source>
        <translation>An error occurred while transferring data</translation>
    </message>
    <message>
        <source>修改拒绝</source>
        <translation>Change Refused</translation>
    </message>
    <message>
        <source>拒绝修改，属性必须在 0..0477 之间</source>
        <translation>Change refused: the permissions must be between 0 and 0477</translation>
    </message>
    <message>
        <source>  不能打开文件 </source>
        <translation>  Cannot open file </translation>
    </message>
    <message>
        <source>  不能写文件 </source>
        <translation>  Cannot write file </translation>
    </message>
    <message>
        <source>  不能读文件 </source>
        <translation>  Cannot read file </translation>
    </message>
    <message>
        <source>加密错误</source>
        <translation>Encryption Error</translation>
    </message>
    <message>
        <source>服务器不支持 TLS 加密; 按照设置, 不以明文登陆.</source>
        <translation>The server does not support TLS encryption; as set, the login is not sent in plain text.</translation>
    </message>
    <message>
        <source>TLS 加密连接建立失败.</source>
        <translation>The TLS encrypted connection could not be established.</translation>
    </message>
    <message>
        <source>证书错误</source>
        <translation>Certificate Error</translation>
    </message>
    <message>
        <source>服务器的证书没有被接受, 连接已断开.</source>
        <translation>The server certificate was not accepted; disconnected.</translation>
    </message>
    <message>
        <source>传输大小:</source>
        <translation>Transferred: </translation>
    </message>
    <message>
        <source>时间:</source>
        <translation>Time: </translation>
    </message>
    <message>
        <source>传输速率:</source>
        <translation>Speed: </translation>
    </message>
    <message>
        <source>(字节/秒)</source>
        <translation> bytes/s</translation>
    </message>
    <message>
        <source>本地</source>
        <translation>Local</translation>
    </message>
    <message>
        <source>远程</source>
        <translation>Remote</translation>
    </message>
    <message>
        <source>请输入 FTP 服务器名称</source>
        <translation>Enter the FTP server name</translation>
    </message>
    <message>
        <source>用户名</source>
        <translation>User</translation>
    </message>
    <message>
        <source>请输入登陆用户名</source>
        <translation>Enter the user name</translation>
    </message>
    <message>
        <source>文件 </source>
        <translation>File </translation>
    </message>
    <message>
        <source> 已经存在,且长度小于远程文件,要续传吗?</source>
        <translation> already exists and is shorter than the remote file. Resume?</translation>
    </message>
    <message>
        <source> 已经存在，且长度不小于远程文件，要覆盖原来文件吗?</source>
        <translation> already exists and is not shorter than the remote file. Overwrite it?</translation>
    </message>
    <message>
        <source>远程文件 </source>
        <translation>Remote file </translation>
    </message>
    <message>
        <source> 已经存在,且长度小于本地文件,要续传吗?</source>
        <translation> already exists and is shorter than the local file. Resume?</translation>
    </message>
    <message>
        <source> 已经存在，且长度不小于本地文件，要覆盖原来文件吗?</source>
        <translation> already exists and is not shorter than the local file. Overwrite it?</translation>
    </message>
    <message>
        <source>密码</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>请输入登陆密码</source>
        <translation>Enter the password</translation>
    </message>
    <message>
        <source>已跳过, 本地文件保持原样: </source>
        <translation>Skipped, the local file left as it was: </translation>
    </message>
    <message>
        <source>已跳过, 远程文件保持原样: </source>
        <translation>Skipped, the remote file left as it was: </translation>
    </message>
</context>
<context>
    <name>PaneInput</name>
    <message>
        <source>确实要删除 &quot;%1&quot; 吗?</source>
        <translation>Delete &quot;%1&quot;?</translation>
    </message>
    <message>
        <source>确实要删除选中的 %1 个项目吗?</source>
        <translation>Delete the %1 selected items?</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
</context>
<context>
    <name>QueueEntry</name>
    <message>
        <source>等待</source>
        <translation>Waiting</translation>
    </message>
    <message>
        <source>传输中</source>
        <translation>Transferring</translation>
    </message>
    <message>
        <source>完成</source>
        <translation>Done</translation>
    </message>
    <message>
        <source>失败: </source>
        <translation>Failed: </translation>
    </message>
    <message>
        <source>排队中</source>
        <translation>Queued</translation>
    </message>
</context>
<context>
    <name>QueueModel</name>
    <message>
        <source>源文件路径</source>
        <translation>Source path</translation>
    </message>
    <message>
        <source>文件大小</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>目标路径</source>
        <translation>Target path</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>State</translation>
    </message>
    <message>
        <source>已传输</source>
        <translation>Transferred</translation>
    </message>
    <message>
        <source>速度</source>
        <translation>Speed</translation>
    </message>
</context>
<context>
    <name>RemoteListModel</name>
    <message>
        <source>文件名</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>读取权限</source>
        <translation>Permissions</translation>
    </message>
    <message>
        <source>文件大小</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>创建时间</source>
        <translation>Date</translation>
    </message>
</context>
<context>
    <name>RemoteSearchWalk</name>
    <message>
        <source>跳过已经进入过的目录(循环链接): </source>
        <translation>Skipped a folder already visited (link loop): </translation>
    </message>
    <message>
        <source>目录层次超过 %1 层, 不再搜索: </source>
        <translation>Deeper than %1 levels, not searched: </translation>
    </message>
    <message>
        <source>搜索的目录超过 %1 个, 不再搜索: </source>
        <translation>More than %1 folders searched, stopped at: </translation>
    </message>
    <message>
        <source>不能进入目录, 跳过: </source>
        <translation>Cannot enter folder, skipped: </translation>
    </message>
    <message>
        <source>不能读取目录, 跳过: </source>
        <translation>Cannot read folder, skipped: </translation>
    </message>
</context>
<context>
    <name>SearchResultModel</name>
    <message>
        <source>文件大小</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>文件时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>文件连接</source>
        <translation>Link</translation>
    </message>
</context>
<context>
    <name>SendMailDialog</name>
    <message>
        <source>邮件没有发送。</source>
        <translation>The mail was not sent.</translation>
    </message>
    <message>
        <source>邮件服务器不提供加密连接 (STARTTLS)，设置为“必须加密”时不以明文发送，</source>
        <translation>The mail server offers no encryption (STARTTLS), and with &quot;Always encrypt&quot; nothing is sent in plain text. </translation>
    </message>
    <message>
        <source>与邮件服务器建立加密连接失败，</source>
        <translation>The encrypted connection to the mail server failed. </translation>
    </message>
    <message>
        <source>邮件服务器的证书没有被接受，</source>
        <translation>The mail server certificate was not accepted. </translation>
    </message>
    <message>
        <source>邮件服务器拒绝了用户名或密码，</source>
        <translation>The mail server refused the user name or password. </translation>
    </message>
    <message>
        <source>邮件服务器不支持本程序的登录方式 (PLAIN、LOGIN)，</source>
        <translation>The mail server supports none of our login methods (PLAIN, LOGIN). </translation>
    </message>
</context>
<context>
    <name>SiteListModel</name>
    <message>
        <source>站点名称</source>
        <translation>Site Name</translation>
    </message>
    <message>
        <source>主机名</source>
        <translation>Host</translation>
    </message>
    <message>
        <source>用户名</source>
        <translation>User</translation>
    </message>
    <message>
        <source>端口</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>本地目录</source>
        <translation>Local Folder</translation>
    </message>
    <message>
        <source>远程初始目录</source>
        <translation>Remote Folder</translation>
    </message>
    <message>
        <source>匿名登陆</source>
        <translation>Anonymous</translation>
    </message>
</context>
<context>
    <name>SiteOptions</name>
    <message>
        <source>只使用普通 FTP (不安全)</source>
        <translation>Plain FTP only (insecure)</translation>
    </message>
    <message>
        <source>如果服务器支持, 使用显式 TLS</source>
        <translation>Explicit TLS if the server supports it</translation>
    </message>
    <message>
        <source>要求显式 TLS</source>
        <translation>Require explicit TLS</translation>
    </message>
    <message>
        <source>要求隐式 TLS</source>
        <translation>Require implicit TLS</translation>
    </message>
</context>
<context>
    <name>SystemInfo</name>
    <message>
        <source>未知</source>
        <translation>Unknown</translation>
    </message>
    <message>
        <source> (%1 个逻辑处理器)</source>
        <translation> (%1 logical processors)</translation>
    </message>
</context>
<context>
    <name>TAboutBox</name>
    <message>
        <source>关于 Tarvo</source>
        <translation>About Tarvo</translation>
    </message>
    <message>
        <source>FTP 客户端软件</source>
        <translation>FTP client</translation>
    </message>
    <message>
        <source>操作系统:</source>
        <translation>Operating system:</translation>
    </message>
    <message>
        <source>版本:</source>
        <translation>Version:</translation>
    </message>
    <message>
        <source>处理器:</source>
        <translation>Processor:</translation>
    </message>
    <message>
        <source>物理内存:</source>
        <translation>Physical memory:</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>TFileListModel</name>
    <message>
        <source>名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>大小</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>类型</source>
        <translation>Type</translation>
    </message>
    <message>
        <source>修改</source>
        <translation>Modified</translation>
    </message>
    <message>
        <source>建立</source>
        <translation>Created</translation>
    </message>
    <message>
        <source>最近访问</source>
        <translation>Accessed</translation>
    </message>
    <message>
        <source>属性</source>
        <translation>Attributes</translation>
    </message>
    <message>
        <source>路径</source>
        <translation>Path</translation>
    </message>
</context>
<context>
    <name>TForm1</name>
    <message>
        <source>不能打开地址 %1
%2</source>
        <translation>Cannot open the address %1
%2</translation>
    </message>
    <message>
        <source>地址无效</source>
        <translation>Invalid Address</translation>
    </message>
    <message>
        <source>  正在执行其它操作, 请等它结束后再打开地址 </source>
        <translation>  Busy with another operation; open the address when it ends </translation>
    </message>
    <message>
        <source>密码</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>请输入 %1 的登陆密码</source>
        <translation>Enter the password for %1</translation>
    </message>
    <message>
        <source>要停止整个传输吗?
是: 停止全部; 否: 只停止当前文件, 继续传输其余的文件</source>
        <translation>Stop the whole transfer?
Yes: stop everything; No: stop only the current file and go on with the rest</translation>
    </message>
    <message>
        <source>停止传输</source>
        <translation>Stop Transfer</translation>
    </message>
    <message>
        <source>Tarvo - FTP 客户端</source>
        <translation>Tarvo - FTP Client</translation>
    </message>
    <message>
        <source> 未连接 </source>
        <translation> Not connected </translation>
    </message>
    <message>
        <source> 正在连接 %1 </source>
        <translation> Connecting to %1 </translation>
    </message>
    <message>
        <source> 已连接 %1 </source>
        <translation> Connected to %1 </translation>
    </message>
    <message>
        <source>已建立加密连接: %1, %2</source>
        <translation>Encrypted connection established: %1, %2</translation>
    </message>
    <message>
        <source>警告: 服务器不支持加密, 本次连接没有加密 (密码以明文发送)</source>
        <translation>Warning: the server does not support encryption; this connection is not encrypted (the password is sent in plain text)</translation>
    </message>
    <message>
        <source>主机应答:没有相应的操作权限</source>
        <translation>Server reply: permission denied</translation>
    </message>
    <message>
        <source> 主机应答:没有相应的操作权限 </source>
        <translation> Server reply: permission denied </translation>
    </message>
    <message>
        <source>主工具条</source>
        <translation>Main Toolbar</translation>
    </message>
    <message>
        <source>FTP 管理</source>
        <translation>FTP</translation>
    </message>
    <message>
        <source>设置选项</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>菜单条</source>
        <translation>Toolbars</translation>
    </message>
    <message>
        <source>界面设置</source>
        <translation>View</translation>
    </message>
    <message>
        <source>设置界面</source>
        <translation>Set up the view</translation>
    </message>
    <message>
        <source>FTP 搜索</source>
        <translation>FTP Search</translation>
    </message>
    <message>
        <source>FTP 邮件</source>
        <translation>FTP Mail</translation>
    </message>
    <message>
        <source>帮助说明</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>管理菜单</source>
        <translation>Site Toolbar</translation>
    </message>
    <message>
        <source>主机操作相关条</source>
        <translation>Server operations</translation>
    </message>
    <message>
        <source>站点管理</source>
        <translation>Site Manager</translation>
    </message>
    <message>
        <source>连接主机</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>退出连接</source>
        <translation>Disconnect</translation>
    </message>
    <message>
        <source>刷新</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>手工下载</source>
        <translation>Download by URL</translation>
    </message>
    <message>
        <source>批处理传输菜单</source>
        <translation>Queue Toolbar</translation>
    </message>
    <message>
        <source>批处理相关操作条</source>
        <translation>Queue operations</translation>
    </message>
    <message>
        <source>向下移动一格</source>
        <translation>Move down one place</translation>
    </message>
    <message>
        <source>向上移动一格</source>
        <translation>Move up one place</translation>
    </message>
    <message>
        <source>删除选择项</source>
        <translation>Remove selected items</translation>
    </message>
    <message>
        <source>删除所有批处理文件</source>
        <translation>Remove all queued files</translation>
    </message>
    <message>
        <source>开始传输批处理文件</source>
        <translation>Start transferring the queue</translation>
    </message>
    <message>
        <source>登陆菜单</source>
        <translation>Login Toolbar</translation>
    </message>
    <message>
        <source>服务器</source>
        <translation>Server</translation>
    </message>
    <message>
        <source>Ftp 服务器地址</source>
        <translation>FTP server address</translation>
    </message>
    <message>
        <source>端口</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>服务器端口(缺省 21)</source>
        <translation>Server port (default 21)</translation>
    </message>
    <message>
        <source>用户名</source>
        <translation>User</translation>
    </message>
    <message>
        <source>登陆使用的用户名</source>
        <translation>User name for the login</translation>
    </message>
    <message>
        <source>登陆的用户密码</source>
        <translation>Password for the login</translation>
    </message>
    <message>
        <source>显示模式</source>
        <translation>View mode</translation>
    </message>
    <message>
        <source>排列图标</source>
        <translation>Sort</translation>
    </message>
    <message>
        <source>改变当前路径</source>
        <translation>Change the current path</translation>
    </message>
    <message>
        <source>建立目录</source>
        <translation>New folder</translation>
    </message>
    <message>
        <source>删除文件</source>
        <translation>Delete files</translation>
    </message>
    <message>
        <source>重命名文件</source>
        <translation>Rename file</translation>
    </message>
    <message>
        <source>上传</source>
        <translation>Upload</translation>
    </message>
    <message>
        <source>上一层目录</source>
        <translation>Parent folder</translation>
    </message>
    <message>
        <source>下载</source>
        <translation>Download</translation>
    </message>
    <message>
        <source>文件大小写转换</source>
        <translation>Change name case</translation>
    </message>
    <message>
        <source>改变当前目录</source>
        <translation>Change the current folder</translation>
    </message>
    <message>
        <source>移动文件</source>
        <translation>Move files</translation>
    </message>
    <message>
        <source>刷新列表</source>
        <translation>Refresh the list</translation>
    </message>
    <message>
        <source>批处理窗口</source>
        <translation>Queue</translation>
    </message>
    <message>
        <source>记录所有操作的记录窗口</source>
        <translation>Log of every operation</translation>
    </message>
    <message>
        <source>本地路径</source>
        <translation>Local path</translation>
    </message>
    <message>
        <source>本地上一层目录</source>
        <translation>Local parent folder</translation>
    </message>
    <message>
        <source>本地文件列表</source>
        <translation>Local files</translation>
    </message>
    <message>
        <source>远程路径</source>
        <translation>Remote path</translation>
    </message>
    <message>
        <source>远程上一层目录</source>
        <translation>Remote parent folder</translation>
    </message>
    <message>
        <source>远程文件列表</source>
        <translation>Remote files</translation>
    </message>
    <message>
        <source>批处理队列</source>
        <translation>Transfer queue</translation>
    </message>
    <message>
        <source>记录窗口</source>
        <translation>Log</translation>
    </message>
    <message>
        <source>连接状态</source>
        <translation>Connection status</translation>
    </message>
    <message>
        <source>主目录</source>
        <translation>Home</translation>
    </message>
    <message>
        <source>浏览...</source>
        <translation>Browse...</translation>
    </message>
    <message>
        <source>浏览文件夹</source>
        <translation>Browse for Folder</translation>
    </message>
    <message>
        <source>目录不存在</source>
        <translation>the folder does not exist</translation>
    </message>
    <message>
        <source>这不是目录</source>
        <translation>this is not a folder</translation>
    </message>
    <message>
        <source>没有进入这个目录的权限</source>
        <translation>no permission to enter this folder</translation>
    </message>
    <message>
        <source>不能进入 &quot;%1&quot;: %2</source>
        <translation>Cannot enter &quot;%1&quot;: %2</translation>
    </message>
    <message>
        <source>改变路径</source>
        <translation>Change Path</translation>
    </message>
    <message>
        <source>请输入你要改变的目的路径</source>
        <translation>Enter the path to change to</translation>
    </message>
    <message>
        <source>目录</source>
        <translation>Folder</translation>
    </message>
    <message>
        <source>请输入新建目录名:</source>
        <translation>Enter the name of the new folder:</translation>
    </message>
    <message>
        <source>修改文件名</source>
        <translation>Rename</translation>
    </message>
    <message>
        <source>请输入你要修改后的文件名</source>
        <translation>Enter the new file name</translation>
    </message>
    <message>
        <source>操作错误</source>
        <translation>The operation failed</translation>
    </message>
    <message>
        <source>不能启动编辑器 </source>
        <translation>Cannot start the editor </translation>
    </message>
    <message>
        <source>建立进程</source>
        <translation>Start Process</translation>
    </message>
    <message>
        <source>断开连接 </source>
        <translation>Disconnect </translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>批处理菜单</source>
        <translation>Queue</translation>
    </message>
    <message>
        <source>窗口字体</source>
        <translation>Window Font</translation>
    </message>
    <message>
        <source>设置窗口的字体</source>
        <translation>Set the window font</translation>
    </message>
    <message>
        <source>本地窗口</source>
        <translation>Local Pane</translation>
    </message>
    <message>
        <source>远程窗口</source>
        <translation>Remote Pane</translation>
    </message>
    <message>
        <source>窗口颜色</source>
        <translation>Window Colour</translation>
    </message>
    <message>
        <source>帮助主题</source>
        <translation>Help Topics</translation>
    </message>
    <message>
        <source>关于软件</source>
        <translation>About</translation>
    </message>
    <message>
        <source>拷贝到剪贴板</source>
        <translation>Copy to Clipboard</translation>
    </message>
    <message>
        <source>全部选择</source>
        <translation>Select All</translation>
    </message>
    <message>
        <source>全部清除</source>
        <translation>Clear All</translation>
    </message>
    <message>
        <source>开始传输</source>
        <translation>Start Transfer</translation>
    </message>
    <message>
        <source>全部删除</source>
        <translation>Remove All</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>移到顶端</source>
        <translation>Move to Top</translation>
    </message>
    <message>
        <source>移到底端</source>
        <translation>Move to Bottom</translation>
    </message>
    <message>
        <source>向上移动</source>
        <translation>Move Up</translation>
    </message>
    <message>
        <source>向下移动</source>
        <translation>Move Down</translation>
    </message>
    <message>
        <source>浏览</source>
        <translation>Browse</translation>
    </message>
    <message>
        <source>文件名</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>文件大小</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>文件日期</source>
        <translation>Date</translation>
    </message>
    <message>
        <source>编辑</source>
        <translation>Edit</translation>
    </message>
    <message>
        <source>执行</source>
        <translation>Run</translation>
    </message>
    <message>
        <source>重命名</source>
        <translation>Rename</translation>
    </message>
    <message>
        <source>新建</source>
        <translation>New Folder</translation>
    </message>
    <message>
        <source>全选</source>
        <translation>Select All</translation>
    </message>
    <message>
        <source>修改文件属性</source>
        <translation>Change Permissions</translation>
    </message>
    <message>
        <source>转换文件名大小写</source>
        <translation>Change Name Case</translation>
    </message>
    <message>
        <source>全部变成大写</source>
        <translation>All to Upper Case</translation>
    </message>
    <message>
        <source>全部变成小写</source>
        <translation>All to Lower Case</translation>
    </message>
    <message>
        <source>转换成大写</source>
        <translation>To Upper Case</translation>
    </message>
    <message>
        <source>转换成小写</source>
        <translation>To Lower Case</translation>
    </message>
    <message>
        <source>主机拒绝</source>
        <translation>refused by the server</translation>
    </message>
    <message>
        <source>没有连接到主机</source>
        <translation>not connected to a server</translation>
    </message>
    <message>
        <source>正在执行其他操作, 请稍后再试</source>
        <translation>busy with another operation, try again later</translation>
    </message>
    <message>
        <source>请输入你的目的目录</source>
        <translation>Enter the target folder</translation>
    </message>
    <message>
        <source>移动文件的目的路径</source>
        <translation>Move files to</translation>
    </message>
    <message>
        <source>没有连接到 FTP 服务器。请先连接, 再按文件名搜索当前服务器。</source>
        <translation>Not connected to an FTP server. Connect first, then search the current server by file name.</translation>
    </message>
    <message>
        <source>正在执行其它操作, 请等它结束后再搜索。</source>
        <translation>Busy with another operation; search when it ends.</translation>
    </message>
    <message>
        <source>&lt;目录&gt;</source>
        <translation>&lt;folder&gt;</translation>
    </message>
    <message>
        <source>正在搜索 %1 (已找到 %2 个)</source>
        <translation>Searching %1 (%2 found)</translation>
    </message>
    <message>
        <source>搜索结束: 找到 %1 个, 搜索了 %2 个目录</source>
        <translation>Search finished: %1 found in %2 folders</translation>
    </message>
    <message>
        <source>, 跳过 %1 个目录</source>
        <translation>, %1 folders skipped</translation>
    </message>
    <message>
        <source> (已达到返回结果条数)</source>
        <translation> (result limit reached)</translation>
    </message>
    <message>
        <source> (已停止)</source>
        <translation> (stopped)</translation>
    </message>
    <message>
        <source>搜索已中断</source>
        <translation>Search interrupted</translation>
    </message>
    <message>
        <source>加密</source>
        <translation>Encryption</translation>
    </message>
    <message>
        <source>控制连接和数据连接是否用 TLS 加密</source>
        <translation>Whether the control and data connections are encrypted with TLS</translation>
    </message>
    <message>
        <source>加密状态</source>
        <translation>Encryption status</translation>
    </message>
    <message>
        <source>已加密 (%1)</source>
        <translation>Encrypted (%1)</translation>
    </message>
    <message>
        <source>未加密</source>
        <translation>Not encrypted</translation>
    </message>
    <message>
        <source>已加密: %1, %2</source>
        <translation>Encrypted: %1, %2</translation>
    </message>
    <message>
        <source>未加密: 密码和数据以明文传送</source>
        <translation>Not encrypted: password and data are sent in plain text</translation>
    </message>
    <message>
        <source>不能打开帮助文件 </source>
        <translation>Cannot open the help file </translation>
    </message>
    <message>
        <source>  没有连接, 不能下载 </source>
        <translation>  Not connected; cannot download </translation>
    </message>
    <message>
        <source>  正在执行其它操作, 请等它结束后再下载 </source>
        <translation>  Busy with another operation; download when it ends </translation>
    </message>
    <message>
        <source>  没有连接, 不能上传 </source>
        <translation>  Not connected; cannot upload </translation>
    </message>
    <message>
        <source>  正在执行其它操作, 请等它结束后再上传 </source>
        <translation>  Busy with another operation; upload when it ends </translation>
    </message>
    <message>
        <source>连接已断开</source>
        <translation>the connection was lost</translation>
    </message>
    <message>
        <source>下载失败: </source>
        <translation>Download failed: </translation>
    </message>
    <message>
        <source>上传失败: </source>
        <translation>Upload failed: </translation>
    </message>
    <message>
        <source>, 原因: </source>
        <translation>, cause: </translation>
    </message>
    <message>
        <source>; 已保留未完成的文件 (%1 字节), 再次下载时可以续传</source>
        <translation>; the partial file (%1 bytes) was kept and the next download can resume it</translation>
    </message>
    <message>
        <source>%1 个文件传输失败:</source>
        <translation>%1 file transfers failed:</translation>
    </message>
    <message>
        <source>...(其余的见日志)</source>
        <translation>...(see the log for the rest)</translation>
    </message>
    <message>
        <source>  %1 个文件传输失败, 详见日志</source>
        <translation>  %1 file transfers failed, see the log</translation>
    </message>
    <message>
        <source>传输错误</source>
        <translation>Transfer Error</translation>
    </message>
    <message>
        <source>请输入下载路径</source>
        <translation>Download by URL</translation>
    </message>
    <message>
        <source>请输入下载软件全路径</source>
        <translation>Enter the full URL of the file to download</translation>
    </message>
    <message>
        <source>确定要退出目前的连接吗?</source>
        <translation>Close the current connection?</translation>
    </message>
    <message>
        <source>确认</source>
        <translation>Confirm</translation>
    </message>
    <message>
        <source>大图标</source>
        <translation>Large Icons</translation>
    </message>
    <message>
        <source>小图标</source>
        <translation>Small Icons</translation>
    </message>
    <message>
        <source>列表</source>
        <translation>List</translation>
    </message>
    <message>
        <source>详细资料</source>
        <translation>Details</translation>
    </message>
    <message>
        <source>重试失败的批处理文件</source>
        <translation>Retry the failed batch entries</translation>
    </message>
    <message>
        <source>重试</source>
        <translation>Retry</translation>
    </message>
    <message>
        <source>批处理队列文件 %1 已损坏 (%2), 已改名为 %3 保留; 队列从空开始</source>
        <translation>The batch queue file %1 is damaged (%2); it was kept as %3 and the queue starts empty</translation>
    </message>
    <message>
        <source>无法打开批处理队列文件 %1 (%2); 本次运行的队列不会保存</source>
        <translation>Cannot open the batch queue file %1 (%2); the queue of this run will not be saved</translation>
    </message>
    <message>
        <source>%1 个批处理队列文件都在被其它 Tarvo 窗口使用</source>
        <translation>all %1 batch queue files are in use by other Tarvo windows</translation>
    </message>
    <message>
        <source>另一个 Tarvo 窗口正在使用 %1; 本窗口的批处理队列保存在 %2</source>
        <translation>Another Tarvo window is using %1; this window keeps its batch queue in %2</translation>
    </message>
    <message>
        <source>已接收已关闭的 Tarvo 窗口留下的 %1 个批处理队列条目</source>
        <translation>Took in %1 batch queue entries left by a Tarvo window that was closed</translation>
    </message>
    <message>
        <source>连接错误, 第 %1 次自动重试: %2</source>
        <translation>Connection error, automatic retry %1: %2</translation>
    </message>
    <message>
        <source>连接断开, 第 %1 次自动重试: 重新连接 %2</source>
        <translation>Connection lost, automatic retry %1: connecting again to %2</translation>
    </message>
    <message>
        <source>要停止全部传输吗?</source>
        <translation>Stop all transfers?</translation>
    </message>
    <message>
        <source>已在传输中, 跳过: %1</source>
        <translation>Already being transferred, skipped: %1</translation>
    </message>
    <message>
        <source>服务器不接受更多的连接%1, 文件改在当前连接上逐个传输</source>
        <translation>The server takes no more connections%1; the files go one after another over the current connection</translation>
    </message>
    <message>
        <source> %1 个文件传输中, %2 个等待 </source>
        <translation> %1 files transferring, %2 waiting </translation>
    </message>
    <message>
        <source> 已传输 %1 </source>
        <translation> Transferred %1 </translation>
    </message>
    <message>
        <source> 用时 %1 秒 </source>
        <translation> %1 seconds </translation>
    </message>
    <message>
        <source>传输已停止</source>
        <translation>Transfers stopped</translation>
    </message>
    <message>
        <source>同一个文件已在传输中</source>
        <translation>The same file is already being transferred</translation>
    </message>
    <message>
        <source>无法保存批处理队列 (%1); 队列仍在窗口中, 能保存时再保存</source>
        <translation>Cannot save the batch queue (%1); the queue stays in the window and is saved once that works again</translation>
    </message>
    <message>
        <source>批处理队列已重新保存</source>
        <translation>The batch queue is saved again</translation>
    </message>
    <message>
        <source>批处理队列文件 %1 由较新版本的程序写成, 本版本不能读取; 已改名为 %2 保留; 队列从空开始</source>
        <translation>The queue file %1 was written by a newer version of the program, which this version cannot read; it was kept as %2 and the queue starts empty</translation>
    </message>
</context>
<context>
    <name>TForm2</name>
    <message>
        <source>站点管理</source>
        <translation>Site Manager</translation>
    </message>
    <message>
        <source>用户资料</source>
        <translation>Account</translation>
    </message>
    <message>
        <source>保存密码</source>
        <translation>Save password</translation>
    </message>
    <message>
        <source>把密码保存在系统密钥环中, 不写入任何文件</source>
        <translation>Keep the password in the system keyring, never in a file</translation>
    </message>
    <message>
        <source>使用匿名登陆</source>
        <translation>Anonymous login</translation>
    </message>
    <message>
        <source>被动模式</source>
        <translation>Passive mode</translation>
    </message>
    <message>
        <source>由本机连接服务器传输数据 (PASV), 适合在路由器或防火墙之后使用</source>
        <translation>This computer opens the data connections (PASV): use it behind a router or firewall</translation>
    </message>
    <message>
        <source>连接</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>修改/添加到列表</source>
        <translation>Update/Add to List</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>站点名称</source>
        <translation>Site Name</translation>
    </message>
    <message>
        <source>主机名</source>
        <translation>Host</translation>
    </message>
    <message>
        <source>用户名</source>
        <translation>User</translation>
    </message>
    <message>
        <source>密码</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>端口</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>本地目录</source>
        <translation>Local Folder</translation>
    </message>
    <message>
        <source>远程初始目录</source>
        <translation>Remote Folder</translation>
    </message>
    <message>
        <source>加密</source>
        <translation>Encryption</translation>
    </message>
    <message>
        <source>没有填站点名称</source>
        <translation>The site name is missing</translation>
    </message>
    <message>
        <source>没有填主机名</source>
        <translation>The host name is missing</translation>
    </message>
    <message>
        <source>没有填用户名</source>
        <translation>The user name is missing</translation>
    </message>
    <message>
        <source>站点资料中不能含有字符 &quot;|&quot;</source>
        <translation>Site details must not contain the character &quot;|&quot;</translation>
    </message>
    <message>
        <source>无法把密码保存到系统密钥环: </source>
        <translation>Cannot save the password in the system keyring: </translation>
    </message>
    <message>
        <source>目录 </source>
        <translation>Folder </translation>
    </message>
    <message>
        <source> 不存在,请填正确</source>
        <translation> does not exist; enter a correct one</translation>
    </message>
    <message>
        <source>浏览文件夹</source>
        <translation>Browse for Folder</translation>
    </message>
</context>
<context>
    <name>TForm3</name>
    <message>
        <source>修改文件属性</source>
        <translation>Change Permissions</translation>
    </message>
    <message>
        <source>文件所有者的权限</source>
        <translation>Owner</translation>
    </message>
    <message>
        <source>组员的读写权限</source>
        <translation>Group</translation>
    </message>
    <message>
        <source>所有人的权限</source>
        <translation>Others</translation>
    </message>
    <message>
        <source>读</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>写</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>执行</source>
        <translation>Execute</translation>
    </message>
    <message>
        <source>手工修改</source>
        <translation>Octal</translation>
    </message>
    <message>
        <source>读(所有)</source>
        <translation>Read (all)</translation>
    </message>
    <message>
        <source>写(所有)</source>
        <translation>Write (all)</translation>
    </message>
    <message>
        <source>执行(所有)</source>
        <translation>Execute (all)</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>TForm4</name>
    <message>
        <source>配置</source>
        <translation>Configuration</translation>
    </message>
    <message>
        <source>一般选项</source>
        <translation>General</translation>
    </message>
    <message>
        <source>上传</source>
        <translation>Upload</translation>
    </message>
    <message>
        <source>下载</source>
        <translation>Download</translation>
    </message>
    <message>
        <source>编辑文件</source>
        <translation>Editing</translation>
    </message>
    <message>
        <source>高级选项</source>
        <translation>Advanced</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>你的邮件地址</source>
        <translation>Your e-mail address</translation>
    </message>
    <message>
        <source>缺省下载目录</source>
        <translation>Default download folder</translation>
    </message>
    <message>
        <source>超时断线时间</source>
        <translation>Disconnect after a silence of</translation>
    </message>
    <message>
        <source>秒</source>
        <translation>seconds</translation>
    </message>
    <message>
        <source>执行空操作时间</source>
        <translation>Keep-alive (NOOP) interval</translation>
    </message>
    <message>
        <source>删除文件或目录前询问</source>
        <translation>Ask before deleting files or folders</translation>
    </message>
    <message>
        <source>跟随桌面语言</source>
        <translation>The desktop&apos;s language</translation>
    </message>
    <message>
        <source>界面语言 (重新启动后生效)</source>
        <translation>Language (from the next start)</translation>
    </message>
    <message>
        <source>续传提示</source>
        <translation>When the file exists</translation>
    </message>
    <message>
        <source>窗口提示</source>
        <translation>Ask</translation>
    </message>
    <message>
        <source>不提示，直接续传</source>
        <translation>Resume without asking</translation>
    </message>
    <message>
        <source>不提示,直接覆盖</source>
        <translation>Overwrite without asking</translation>
    </message>
    <message>
        <source>文件名大小写</source>
        <translation>File name case</translation>
    </message>
    <message>
        <source>保持不变</source>
        <translation>Keep as it is</translation>
    </message>
    <message>
        <source>用大写名上传</source>
        <translation>Upload in upper case</translation>
    </message>
    <message>
        <source>用小写名上传</source>
        <translation>Upload in lower case</translation>
    </message>
    <message>
        <source>不提示，直接覆盖</source>
        <translation>Overwrite without asking</translation>
    </message>
    <message>
        <source>用大写名下载</source>
        <translation>Download in upper case</translation>
    </message>
    <message>
        <source>用小写名下载</source>
        <translation>Download in lower case</translation>
    </message>
    <message>
        <source>使用缺省方式编辑文件(按照文件扩展名)</source>
        <translation>Edit files the desktop&apos;s way (by file extension)</translation>
    </message>
    <message>
        <source>使用指定的编辑器编辑</source>
        <translation>Edit with this editor</translation>
    </message>
    <message>
        <source>文件传输完成后</source>
        <translation>After a transfer has finished</translation>
    </message>
    <message>
        <source>什么事都不发生</source>
        <translation>Do nothing</translation>
    </message>
    <message>
        <source>关闭该软件</source>
        <translation>Close the program</translation>
    </message>
    <message>
        <source>退出连接</source>
        <translation>Log out</translation>
    </message>
    <message>
        <source>连线后</source>
        <translation>After connecting</translation>
    </message>
    <message>
        <source>列出目录</source>
        <translation>List the folder</translation>
    </message>
    <message>
        <source>执行批处理</source>
        <translation>Run the batch queue</translation>
    </message>
    <message>
        <source>下载整个站点(mirror)</source>
        <translation>Download the whole site (mirror)</translation>
    </message>
    <message>
        <source>连接</source>
        <translation>Connection</translation>
    </message>
    <message>
        <source>被动模式 (由本机连接服务器传输数据, 适合在路由器或防火墙之后)</source>
        <translation>Passive mode (this computer opens the data connections; works behind routers and firewalls)</translation>
    </message>
    <message>
        <source>上传后保持文件的修改时间 (服务器支持 MFMT 时)</source>
        <translation>Keep the modification time of uploads (where the server supports MFMT)</translation>
    </message>
    <message>
        <source>批处理传输因连接错误失败时自动重试的次数</source>
        <translation>Automatic retries of a batch transfer after a connection error</translation>
    </message>
    <message>
        <source>FTP 搜索</source>
        <translation>FTP search</translation>
    </message>
    <message>
        <source>FTP 搜索引擎地址</source>
        <translation>FTP search engine address</translation>
    </message>
    <message>
        <source>例如 search.example.org 或 https://search.example.org:8443</source>
        <translation>for example search.example.org or https://search.example.org:8443</translation>
    </message>
    <message>
        <source>FTP 搜索窗口查询的搜索引擎 (空: 未设置)</source>
        <translation>The search engine the FTP search window asks (empty: not set)</translation>
    </message>
    <message>
        <source>所有文件 (*)</source>
        <translation>All files (*)</translation>
    </message>
    <message>
        <source>传输</source>
        <translation>Transfers</translation>
    </message>
    <message>
        <source>每个文件用一个单独的连接; 为 1 时在浏览的连接上逐个传输</source>
        <translation>Each file uses a connection of its own; with 1 the files go one after another over the browsing connection</translation>
    </message>
    <message>
        <source>不限制</source>
        <translation>No limit</translation>
    </message>
    <message>
        <source>同时传输的文件数</source>
        <translation>Files transferred at once</translation>
    </message>
    <message>
        <source>下载限速</source>
        <translation>Download speed limit</translation>
    </message>
    <message>
        <source>上传限速</source>
        <translation>Upload speed limit</translation>
    </message>
</context>
<context>
    <name>Tmailform</name>
    <message>
        <source>正在连接</source>
        <translation>Connecting to</translation>
    </message>
    <message>
        <source>已经连接</source>
        <translation>Connected to</translation>
    </message>
    <message>
        <source>收信人 :</source>
        <translation>To :</translation>
    </message>
    <message>
        <source>正在发送邮件</source>
        <translation>Sending</translation>
    </message>
    <message>
        <source>附件</source>
        <translation>Attachment</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>用户资料</source>
        <translation>Account</translation>
    </message>
    <message>
        <source>服务器资料</source>
        <translation>Servers</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>发送邮件</source>
        <translation>Send Mail</translation>
    </message>
    <message>
        <source>帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>个人资料</source>
        <translation>Personal Details</translation>
    </message>
    <message>
        <source>这是你取得邮件的服务器地址：
例如： zhangsan@163.net</source>
        <translation>The address where you receive mail:
for example: jane@example.net</translation>
    </message>
    <message>
        <source>这是你发送邮件的服务器地址
例如：202.96.199.133</source>
        <translation>The server that sends your mail
for example: smtp.example.net</translation>
    </message>
    <message>
        <source>你的收取邮件地址(pop3)</source>
        <translation>Your mail address (POP3)</translation>
    </message>
    <message>
        <source>发送邮件服务器(SMTP)</source>
        <translation>Outgoing mail server (SMTP)</translation>
    </message>
    <message>
        <source>你要下载的软件的完整URL</source>
        <translation>Full URL of the file to fetch</translation>
    </message>
    <message>
        <source>这是你要去哪，拿什么软件的地址
例如： ftp://ftp.gnu.org/gnu/hello/hello-2.12.tar.gz</source>
        <translation>Where to go and which file to fetch
for example: ftp://ftp.gnu.org/gnu/hello/hello-2.12.tar.gz</translation>
    </message>
    <message>
        <source>传输软件服务器(FTP协议)</source>
        <translation>FTP-by-mail servers</translation>
    </message>
    <message>
        <source>增加</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>发送邮件服务器(SMTP)登录</source>
        <translation>Outgoing mail server (SMTP) login</translation>
    </message>
    <message>
        <source>密码只在本次运行中保留，不写入文件</source>
        <translation>The password is kept for this run only, never written to a file</translation>
    </message>
    <message>
        <source>尽量加密</source>
        <translation>Encrypt when possible</translation>
    </message>
    <message>
        <source>必须加密</source>
        <translation>Always encrypt</translation>
    </message>
    <message>
        <source>不加密</source>
        <translation>Do not encrypt</translation>
    </message>
    <message>
        <source>服务器地址写成 主机:465 时从头加密连接</source>
        <translation>With the server written as host:465 the connection is encrypted from the start</translation>
    </message>
    <message>
        <source>SMTP 用户名</source>
        <translation>SMTP user</translation>
    </message>
    <message>
        <source>SMTP 密码</source>
        <translation>SMTP password</translation>
    </message>
    <message>
        <source>SMTP 加密</source>
        <translation>SMTP encryption</translation>
    </message>
    <message>
        <source>用户名</source>
        <translation>User</translation>
    </message>
    <message>
        <source>密码</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>加密</source>
        <translation>Encryption</translation>
    </message>
    <message>
        <source>邮件格式</source>
        <translation>Mail Format</translation>
    </message>
    <message>
        <source>传输格式</source>
        <translation>Transfer format</translation>
    </message>
    <message>
        <source>二进制传输</source>
        <translation>Binary</translation>
    </message>
    <message>
        <source>文本格式传输</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>分块传输</source>
        <translation>Splitting</translation>
    </message>
    <message>
        <source>不分块</source>
        <translation>Do not split</translation>
    </message>
    <message>
        <source>每封邮件 (K/封)</source>
        <translation>Per mail (KB)</translation>
    </message>
    <message>
        <source>发送邮件:</source>
        <translation>Send mail:</translation>
    </message>
    <message>
        <source>   左边就是你要发送到FTPMAIL</source>
        <translation>   On the left is the mail for</translation>
    </message>
    <message>
        <source>服务器的邮件内容，你可以自己</source>
        <translation>the FTPMAIL server. You can</translation>
    </message>
    <message>
        <source>就邮件内容进行修改。如果你对</source>
        <translation>edit it yourself. If you do not</translation>
    </message>
    <message>
        <source>里面的指令不明白，请看帮助，</source>
        <translation>understand its commands, see Help,</translation>
    </message>
    <message>
        <source>里面有详细的指令使用介绍</source>
        <translation>which explains each command</translation>
    </message>
    <message>
        <source>发送</source>
        <translation>Send</translation>
    </message>
    <message>
        <source>FTPMAIL介绍</source>
        <translation>About FTPMAIL</translation>
    </message>
    <message>
        <source>FTPMAIL 指令说明</source>
        <translation>FTPMAIL Commands</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>按确定后，你的FTP-Mail 
申请就发送出去了！</source>
        <translation>Press OK and your FTP-Mail 
request is sent!</translation>
    </message>
    <message>
        <source>取消操作</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>下载软件路径必须 ftp:// 开头</source>
        <translation>The URL must start with ftp://</translation>
    </message>
    <message>
        <source>没有填你的邮件地址</source>
        <translation>Your mail address is missing</translation>
    </message>
    <message>
        <source>没有选择好邮件服务器</source>
        <translation>No FTP-by-mail server is selected</translation>
    </message>
    <message>
        <source>没有填SMTP服务器</source>
        <translation>The SMTP server is missing</translation>
    </message>
    <message>
        <source>请输入 %1 在 %2 的密码</source>
        <translation>Enter the password of %1 at %2</translation>
    </message>
    <message>
        <source>请输入添加的服务器</source>
        <translation>Add Server</translation>
    </message>
    <message>
        <source>请输入你要添加的新服务器</source>
        <translation>Enter the new server to add</translation>
    </message>
</context>
<context>
    <name>TransferWalk</name>
    <message>
        <source>跳过已经进入过的目录(循环链接): </source>
        <translation>Skipped a folder already visited (link loop): </translation>
    </message>
    <message>
        <source>目录层次超过 %1 层, 跳过: </source>
        <translation>Deeper than %1 levels, skipped: </translation>
    </message>
    <message>
        <source>本地路径太长, 跳过: </source>
        <translation>Local path too long, skipped: </translation>
    </message>
    <message>
        <source>不能进入目录, 跳过: </source>
        <translation>Cannot enter folder, skipped: </translation>
    </message>
    <message>
        <source>不能读取目录, 跳过: </source>
        <translation>Cannot read folder, skipped: </translation>
    </message>
    <message>
        <source>跳过不安全的名称: &quot;</source>
        <translation>Skipped an unsafe name: &quot;</translation>
    </message>
</context>
<context>
    <name>Tsearch</name>
    <message>
        <source>查询</source>
        <translation>Search</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Tarvo Ftpsearch 客户端软件</source>
        <translation>Tarvo FTP Search</translation>
    </message>
    <message>
        <source>查询关键字</source>
        <translation>Keywords</translation>
    </message>
    <message>
        <source>输入查询关键字</source>
        <translation>Enter the keywords to search for</translation>
    </message>
    <message>
        <source>返回结果条数</source>
        <translation>Results</translation>
    </message>
    <message>
        <source>搜索来源</source>
        <translation>Search in</translation>
    </message>
    <message>
        <source>搜索引擎</source>
        <translation>Search engine</translation>
    </message>
    <message>
        <source>当前 FTP 服务器</source>
        <translation>Current FTP server</translation>
    </message>
    <message>
        <source>在搜索引擎中查询, 或按文件名(可用 * 和 ?)搜索当前连接的 FTP 服务器</source>
        <translation>Query a search engine, or search the connected FTP server by file name (* and ? allowed)</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>查询结果</source>
        <translation>Search results</translation>
    </message>
    <message>
        <source>连接</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>文件大小：</source>
        <translation>Size:</translation>
    </message>
    <message>
        <source>文件时间：</source>
        <translation>Time:</translation>
    </message>
    <message>
        <source>文件URL：</source>
        <translation>URL:</translation>
    </message>
    <message>
        <source>发送查询请求.....</source>
        <translation>Sending the query.....</translation>
    </message>
    <message>
        <source>返回数据: %1 字节</source>
        <translation>Received: %1 bytes</translation>
    </message>
    <message>
        <source>查询结束</source>
        <translation>Search finished</translation>
    </message>
    <message>
        <source>没有设置搜索引擎地址</source>
        <translation>No search engine address set</translation>
    </message>
    <message>
        <source>还没有设置 FTP 搜索引擎的地址 (%1 只是占位的保留地址)。

请在“设置选项”的“高级选项”页填写“FTP 搜索引擎地址”, 或者把“搜索来源”改为“当前 FTP 服务器”, 在已连接的服务器上按文件名搜索。</source>
        <translation>No FTP search engine address is set yet (%1 is only a reserved placeholder).

Enter the FTP search engine address on the advanced page of Options, or set &quot;Search in&quot; to &quot;Current FTP server&quot; to search the connected server by file name.</translation>
    </message>
    <message>
        <source>正在发送查询请求.....</source>
        <translation>Sending the query.....</translation>
    </message>
    <message>
        <source>正在搜索 FTP 服务器.....</source>
        <translation>Searching the FTP server.....</translation>
    </message>
    <message>
        <source>没有可以搜索的 FTP 服务器</source>
        <translation>No FTP server to search</translation>
    </message>
</context>
<context>
    <name>platform::PromptQueryDialog</name>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
</TS>
