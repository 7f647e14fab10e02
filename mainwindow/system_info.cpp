#include "system_info.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QStringList>

#include <sys/utsname.h>

namespace {

const QString &Unknown()
{
    static const QString text = QCoreApplication::translate("SystemInfo", "未知");
    return text;
}

QString OrUnknown(const QString &text)
{
    return text.isEmpty() ? Unknown() : text;
}

// The whole of a small system file, or an empty text when it cannot be read. /proc files
// report a size of 0, so they are read to their end rather than by size.
QString ReadSmallFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.read(1 << 20));
}

// One os-release value: quoted with " or ' (shell escapes \" \\ \$ \` inside double
// quotes) or bare.
QString UnquoteOsReleaseValue(const QString &raw)
{
    const QString value = raw.trimmed();
    if (value.size() >= 2 && value.front() == u'\'' && value.back() == u'\'')
        return value.mid(1, value.size() - 2);
    if (value.size() >= 2 && value.front() == u'"' && value.back() == u'"') {
        QString out;
        const QString inner = value.mid(1, value.size() - 2);
        for (qsizetype i = 0; i < inner.size(); ++i) {
            if (inner[i] == u'\\' && i + 1 < inner.size() && QStringLiteral("\"\\$`").contains(inner[i + 1]))
                ++i;
            out.append(inner[i]);
        }
        return out;
    }
    return value;
}

// "key : value" lines of /proc/cpuinfo, in file order.
struct CpuInfoLine {
    QString key;
    QString value;
};

QList<CpuInfoLine> CpuInfoLines(const QString &cpuInfo)
{
    QList<CpuInfoLine> lines;
    for (const QString &line : cpuInfo.split(u'\n')) {
        const qsizetype colon = line.indexOf(u':');
        if (colon <= 0)
            continue;
        lines.append({line.left(colon).trimmed(), line.mid(colon + 1).simplified()});
    }
    return lines;
}

// The ARM cores that the kernel names only by their part number (implementer 0x41).
QString ArmCoreName(const QString &part)
{
    static const QHash<QString, QString> kParts = {
        {QStringLiteral("0xb76"), QStringLiteral("ARM1176")},       {QStringLiteral("0xc07"), QStringLiteral("Cortex-A7")},
        {QStringLiteral("0xc08"), QStringLiteral("Cortex-A8")},     {QStringLiteral("0xc09"), QStringLiteral("Cortex-A9")},
        {QStringLiteral("0xc0f"), QStringLiteral("Cortex-A15")},    {QStringLiteral("0xd03"), QStringLiteral("Cortex-A53")},
        {QStringLiteral("0xd04"), QStringLiteral("Cortex-A35")},    {QStringLiteral("0xd05"), QStringLiteral("Cortex-A55")},
        {QStringLiteral("0xd07"), QStringLiteral("Cortex-A57")},    {QStringLiteral("0xd08"), QStringLiteral("Cortex-A72")},
        {QStringLiteral("0xd09"), QStringLiteral("Cortex-A73")},    {QStringLiteral("0xd0a"), QStringLiteral("Cortex-A75")},
        {QStringLiteral("0xd0b"), QStringLiteral("Cortex-A76")},    {QStringLiteral("0xd0c"), QStringLiteral("Neoverse-N1")},
        {QStringLiteral("0xd0d"), QStringLiteral("Cortex-A77")},    {QStringLiteral("0xd40"), QStringLiteral("Neoverse-V1")},
        {QStringLiteral("0xd41"), QStringLiteral("Cortex-A78")},    {QStringLiteral("0xd44"), QStringLiteral("Cortex-X1")},
        {QStringLiteral("0xd46"), QStringLiteral("Cortex-A510")},   {QStringLiteral("0xd47"), QStringLiteral("Cortex-A710")},
        {QStringLiteral("0xd49"), QStringLiteral("Neoverse-N2")},   {QStringLiteral("0xd4f"), QStringLiteral("Neoverse-V2")},
    };
    return kParts.value(part.toLower());
}

QString KilobyteGroups(qint64 kilobytes)
{
    QString digits = QString::number(kilobytes);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, u' ');
    return digits;
}

} // namespace

QString OsNameFromOsRelease(const QString &osRelease)
{
    QHash<QString, QString> values;
    for (const QString &rawLine : osRelease.split(u'\n')) {
        const QString line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed();
        values.insert(key, UnquoteOsReleaseValue(line.mid(equals + 1)).simplified());
    }
    const QString pretty = values.value(QStringLiteral("PRETTY_NAME"));
    if (!pretty.isEmpty())
        return pretty;
    const QString name = values.value(QStringLiteral("NAME"));
    if (name.isEmpty())
        return QString();
    QString version = values.value(QStringLiteral("VERSION"));
    if (version.isEmpty())
        version = values.value(QStringLiteral("VERSION_ID"));
    return version.isEmpty() ? name : name + u' ' + version;
}

QString ProcessorFromCpuInfo(const QString &cpuInfo, const QString &machine)
{
    const QList<CpuInfoLine> lines = CpuInfoLines(cpuInfo);
    int logical = 0;
    QHash<QString, QString> first; // the first non-empty value of each key
    for (const CpuInfoLine &line : lines) {
        bool number = false;
        if (line.key == QStringLiteral("processor")) {
            line.value.toInt(&number);
            logical += number ? 1 : 0;
        }
        if (!line.value.isEmpty() && !first.contains(line.key))
            first.insert(line.key, line.value);
    }

    // x86 and 32-bit ARM name the model; 64-bit ARM kernels often name only the board
    // ("Hardware") or the core's part number; POWER says "cpu", RISC-V "uarch".
    QString name = first.value(QStringLiteral("model name"));
    if (name.isEmpty())
        name = first.value(QStringLiteral("Hardware"));
    if (name.isEmpty() && first.contains(QStringLiteral("CPU part"))) {
        const QString part = first.value(QStringLiteral("CPU part"));
        const QString core = first.value(QStringLiteral("CPU implementer")).toLower() == QStringLiteral("0x41")
            ? ArmCoreName(part)
            : QString();
        name = core.isEmpty() ? QStringLiteral("ARM ") + part : QStringLiteral("ARM ") + core;
    }
    if (name.isEmpty())
        name = first.value(QStringLiteral("cpu"));
    if (name.isEmpty())
        name = first.value(QStringLiteral("uarch"));
    if (name.isEmpty())
        name = machine.trimmed();
    if (name.isEmpty())
        return QString();
    if (logical == 0)
        return name;
    return name + QCoreApplication::translate("SystemInfo", " (%1 个逻辑处理器)").arg(logical);
}

qint64 MemoryKilobytesFromMemInfo(const QString &memInfo)
{
    for (const QString &line : memInfo.split(u'\n')) {
        if (!line.startsWith(QStringLiteral("MemTotal:")))
            continue;
        const QStringList fields = line.mid(9).simplified().split(u' ');
        if (fields.size() > 2 || (fields.size() == 2 && fields[1].compare(QStringLiteral("kB"), Qt::CaseInsensitive)))
            return -1;
        bool ok = false;
        const qint64 kilobytes = fields.value(0).toLongLong(&ok);
        return ok && kilobytes >= 0 ? kilobytes : -1;
    }
    return -1;
}

QString MemoryText(qint64 kilobytes)
{
    if (kilobytes < 0)
        return QString();
    const double megabytes = double(kilobytes) / 1024.0;
    const QString size = megabytes >= 1024.0 ? QString::number(megabytes / 1024.0, 'f', 1) + QStringLiteral(" GB")
                                             : QString::number(megabytes, 'f', 1) + QStringLiteral(" MB");
    return size + QStringLiteral(" (") + KilobyteGroups(kilobytes) + QStringLiteral(" KB)");
}

SystemInfo ReadSystemInfoFrom(const QString &root)
{
    QString osRelease = ReadSmallFile(root + QStringLiteral("/etc/os-release"));
    if (osRelease.isEmpty())
        osRelease = ReadSmallFile(root + QStringLiteral("/usr/lib/os-release"));

    QString machine;
    SystemInfo info;
    struct utsname names {};
    if (uname(&names) == 0) {
        info.osVersion = QString::fromUtf8(names.sysname) + u' ' + QString::fromUtf8(names.release);
        info.osBuild = QString::fromUtf8(names.version);
        machine = QString::fromUtf8(names.machine);
    }
    info.osName = OrUnknown(OsNameFromOsRelease(osRelease));
    info.osVersion = OrUnknown(info.osVersion);
    info.osBuild = OrUnknown(info.osBuild);
    const QString cpuInfo = ReadSmallFile(root + QStringLiteral("/proc/cpuinfo"));
    info.processor = OrUnknown(ProcessorFromCpuInfo(cpuInfo, cpuInfo.isEmpty() ? QString() : machine));
    info.memory = OrUnknown(MemoryText(MemoryKilobytesFromMemInfo(ReadSmallFile(root + QStringLiteral("/proc/meminfo")))));
    return info;
}

SystemInfo ReadSystemInfo()
{
    return ReadSystemInfoFrom(QString());
}
