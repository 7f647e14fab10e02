// What the about box reads of the machine: os-release, cpuinfo and meminfo as real systems
// write them, and the unknown answer for files that are missing or make no sense.

#include "mainwindow/system_info.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const char kDebianOsRelease[] = "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"
                                "NAME=\"Debian GNU/Linux\"\n"
                                "VERSION_ID=\"12\"\n"
                                "VERSION=\"12 (bookworm)\"\n"
                                "VERSION_CODENAME=bookworm\n"
                                "ID=debian\n"
                                "HOME_URL=\"https://www.debian.org/\"\n";

const char kUbuntuOsRelease[] = "PRETTY_NAME=\"Ubuntu 22.04.3 LTS\"\n"
                                "NAME=\"Ubuntu\"\n"
                                "VERSION_ID=\"22.04\"\n"
                                "VERSION=\"22.04.3 LTS (Jammy Jellyfish)\"\n"
                                "VERSION_CODENAME=jammy\n"
                                "ID=ubuntu\n"
                                "ID_LIKE=debian\n"
                                "UBUNTU_CODENAME=jammy\n";

const char kIntelCpuInfo[] = "processor\t: 0\n"
                             "vendor_id\t: GenuineIntel\n"
                             "cpu family\t: 6\n"
                             "model\t\t: 158\n"
                             "model name\t: Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz\n"
                             "flags\t\t: fpu vme de pse tsc msr pae mce\n"
                             "\n"
                             "processor\t: 1\n"
                             "vendor_id\t: GenuineIntel\n"
                             "model name\t: Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz\n"
                             "\n";

const char kPi3CpuInfo[] = "processor\t: 0\n"
                           "model name\t: ARMv7 Processor rev 4 (v7l)\n"
                           "BogoMIPS\t: 38.40\n"
                           "CPU implementer\t: 0x41\n"
                           "CPU part\t: 0xd03\n"
                           "\n"
                           "processor\t: 1\n"
                           "model name\t: ARMv7 Processor rev 4 (v7l)\n"
                           "\n"
                           "Hardware\t: BCM2835\n"
                           "Revision\t: a02082\n"
                           "Model\t\t: Raspberry Pi 3 Model B Rev 1.2\n";

const char kPi4Aarch64CpuInfo[] = "processor\t: 0\n"
                                  "BogoMIPS\t: 108.00\n"
                                  "Features\t: fp asimd evtstrm crc32 cpuid\n"
                                  "CPU implementer\t: 0x41\n"
                                  "CPU architecture: 8\n"
                                  "CPU variant\t: 0x0\n"
                                  "CPU part\t: 0xd08\n"
                                  "CPU revision\t: 3\n"
                                  "\n"
                                  "processor\t: 1\n"
                                  "processor\t: 2\n"
                                  "processor\t: 3\n"
                                  "\n"
                                  "Hardware\t: BCM2835\n"
                                  "Model\t\t: Raspberry Pi 4 Model B Rev 1.1\n";

const char kNeoverseCpuInfo[] = "processor\t: 0\n"
                                "BogoMIPS\t: 243.75\n"
                                "CPU implementer\t: 0x41\n"
                                "CPU architecture: 8\n"
                                "CPU part\t: 0xd0c\n"
                                "\n"
                                "processor\t: 1\n"
                                "CPU implementer\t: 0x41\n"
                                "CPU part\t: 0xd0c\n";

const char kMemInfo[] = "MemTotal:       24683748 kB\n"
                        "MemFree:        20127604 kB\n"
                        "MemAvailable:   22861000 kB\n";

bool WriteFile(const QString &path, const QByteArray &bytes)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class TestSystemInfo : public QObject {
    Q_OBJECT
private slots:
    void osName_data();
    void osName();
    void processor_data();
    void processor();
    void memory_data();
    void memory();
    void readFromFiles_data();
    void readFromFiles();
};

void TestSystemInfo::osName_data()
{
    QTest::addColumn<QString>("osRelease");
    QTest::addColumn<QString>("name");

    QTest::newRow("Debian 12") << QString::fromUtf8(kDebianOsRelease) << QStringLiteral("Debian GNU/Linux 12 (bookworm)");
    QTest::newRow("Ubuntu 22.04") << QString::fromUtf8(kUbuntuOsRelease) << QStringLiteral("Ubuntu 22.04.3 LTS");
    QTest::newRow("unquoted") << QStringLiteral("ID=void\nPRETTY_NAME=Void\n") << QStringLiteral("Void");
    QTest::newRow("single quotes") << QStringLiteral("PRETTY_NAME='Fedora Linux 39 (Workstation Edition)'\n")
                                   << QStringLiteral("Fedora Linux 39 (Workstation Edition)");
    QTest::newRow("shell escapes") << QStringLiteral("PRETTY_NAME=\"Our \\\"Best\\\" \\$OS \\\\ 1\"\n")
                                   << QStringLiteral("Our \"Best\" $OS \\ 1");
    QTest::newRow("comments, blanks and CR LF")
        << QStringLiteral("# written by hand\r\n\r\n  PRETTY_NAME=\"openSUSE Leap 15.5\"\r\n")
        << QStringLiteral("openSUSE Leap 15.5");
    QTest::newRow("the last of two wins") << QStringLiteral("PRETTY_NAME=\"Old\"\nPRETTY_NAME=\"New\"\n")
                                          << QStringLiteral("New");
    QTest::newRow("no pretty name: name and version")
        << QStringLiteral("NAME=\"Debian GNU/Linux\"\nVERSION=\"12 (bookworm)\"\nVERSION_ID=\"12\"\n")
        << QStringLiteral("Debian GNU/Linux 12 (bookworm)");
    QTest::newRow("empty pretty name: name and version id")
        << QStringLiteral("PRETTY_NAME=\"\"\nNAME=Alpine\nVERSION_ID=3.18.4\n") << QStringLiteral("Alpine 3.18.4");
    QTest::newRow("name alone") << QStringLiteral("NAME=Gentoo\n") << QStringLiteral("Gentoo");
    QTest::newRow("no name at all") << QStringLiteral("ID=debian\nVERSION_ID=12\n") << QString();
    QTest::newRow("garbage") << QStringLiteral("\x01\x02 no equals here\n=\"orphan value\"\n\xff\xfe") << QString();
    QTest::newRow("empty") << QString() << QString();
}

void TestSystemInfo::osName()
{
    QFETCH(QString, osRelease);
    QFETCH(QString, name);
    QCOMPARE(OsNameFromOsRelease(osRelease), name);
}

void TestSystemInfo::processor_data()
{
    QTest::addColumn<QString>("cpuInfo");
    QTest::addColumn<QString>("machine");
    QTest::addColumn<QString>("processor");

    const QString x86 = QStringLiteral("x86_64");
    const QString arm64 = QStringLiteral("aarch64");
    QTest::newRow("Intel, two threads") << QString::fromUtf8(kIntelCpuInfo) << x86
                                        << QStringLiteral("Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz (2 个逻辑处理器)");
    QTest::newRow("padded model name")
        << QStringLiteral("processor\t: 0\nmodel name\t: AMD EPYC   7B13    64-Core Processor  \n") << x86
        << QStringLiteral("AMD EPYC 7B13 64-Core Processor (1 个逻辑处理器)");
    QTest::newRow("32-bit ARM names its model") << QString::fromUtf8(kPi3CpuInfo) << QStringLiteral("armv7l")
                                                << QStringLiteral("ARMv7 Processor rev 4 (v7l) (2 个逻辑处理器)");
    QTest::newRow("64-bit ARM board: Hardware") << QString::fromUtf8(kPi4Aarch64CpuInfo) << arm64
                                                << QStringLiteral("BCM2835 (4 个逻辑处理器)");
    QTest::newRow("64-bit ARM server: CPU part") << QString::fromUtf8(kNeoverseCpuInfo) << arm64
                                                 << QStringLiteral("ARM Neoverse-N1 (2 个逻辑处理器)");
    QTest::newRow("a part of another implementer")
        << QStringLiteral("processor\t: 0\nCPU implementer\t: 0x51\nCPU part\t: 0x803\n") << arm64
        << QStringLiteral("ARM 0x803 (1 个逻辑处理器)");
    QTest::newRow("empty model name, then Hardware")
        << QStringLiteral("processor\t: 0\nmodel name\t:\nHardware\t: Allwinner sun50i\n") << arm64
        << QStringLiteral("Allwinner sun50i (1 个逻辑处理器)");
    QTest::newRow("POWER") << QStringLiteral("processor\t: 0\ncpu\t\t: POWER9 (raw), altivec supported\n")
                           << QStringLiteral("ppc64le") << QStringLiteral("POWER9 (raw), altivec supported (1 个逻辑处理器)");
    QTest::newRow("RISC-V") << QStringLiteral("processor\t: 0\nhart\t\t: 1\nisa\t\t: rv64imafdc\nuarch\t\t: sifive,u74-mc\n")
                            << QStringLiteral("riscv64") << QStringLiteral("sifive,u74-mc (1 个逻辑处理器)");
    QTest::newRow("nothing named: the machine")
        << QStringLiteral("processor\t: 0\nBogoMIPS\t: 50.00\n\nprocessor\t: 1\n") << arm64
        << QStringLiteral("aarch64 (2 个逻辑处理器)");
    QTest::newRow("model without processor lines") << QStringLiteral("model name\t: Some CPU\n") << x86
                                                   << QStringLiteral("Some CPU");
    QTest::newRow("processor lines that are not numbers")
        << QStringLiteral("processor\t: zero\nmodel name\t: Some CPU\n") << x86 << QStringLiteral("Some CPU");
    QTest::newRow("garbage, machine unknown") << QStringLiteral("\x01\x02\x03\n:::\n\xff") << QString() << QString();
    QTest::newRow("empty, machine unknown") << QString() << QString() << QString();
}

void TestSystemInfo::processor()
{
    QFETCH(QString, cpuInfo);
    QFETCH(QString, machine);
    QFETCH(QString, processor);
    QCOMPARE(ProcessorFromCpuInfo(cpuInfo, machine), processor);
}

void TestSystemInfo::memory_data()
{
    QTest::addColumn<QString>("memInfo");
    QTest::addColumn<qint64>("kilobytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("this kind of machine") << QString::fromUtf8(kMemInfo) << qint64(24683748)
                                          << QStringLiteral("23.5 GB (24 683 748 KB)");
    QTest::newRow("not the first line") << QStringLiteral("MemFree:  1 kB\nMemTotal:  24529140 kB\n")
                                        << qint64(24529140) << QStringLiteral("23.4 GB (24 529 140 KB)");
    QTest::newRow("half a gigabyte") << QStringLiteral("MemTotal: 524288 kB\n") << qint64(524288)
                                     << QStringLiteral("512.0 MB (524 288 KB)");
    QTest::newRow("a terabyte") << QStringLiteral("MemTotal: 1073741824 kB\n") << qint64(1073741824)
                                << QStringLiteral("1024.0 GB (1 073 741 824 KB)");
    QTest::newRow("no unit") << QStringLiteral("MemTotal: 999\n") << qint64(999) << QStringLiteral("1.0 MB (999 KB)");
    QTest::newRow("missing") << QStringLiteral("MemFree: 1 kB\nSwapTotal: 2 kB\n") << qint64(-1) << QString();
    QTest::newRow("not a number") << QStringLiteral("MemTotal: lots kB\n") << qint64(-1) << QString();
    QTest::newRow("negative") << QStringLiteral("MemTotal: -5 kB\n") << qint64(-1) << QString();
    QTest::newRow("a unit it does not know") << QStringLiteral("MemTotal: 16 GB\n") << qint64(-1) << QString();
    QTest::newRow("empty") << QString() << qint64(-1) << QString();
}

void TestSystemInfo::memory()
{
    QFETCH(QString, memInfo);
    QFETCH(qint64, kilobytes);
    QFETCH(QString, text);
    QCOMPARE(MemoryKilobytesFromMemInfo(memInfo), kilobytes);
    QCOMPARE(MemoryText(kilobytes), text);
}

void TestSystemInfo::readFromFiles_data()
{
    QTest::addColumn<QString>("osReleasePath");
    QTest::addColumn<bool>("withCpuInfo");
    QTest::addColumn<bool>("withMemInfo");
    QTest::addColumn<QString>("osName");
    QTest::addColumn<QString>("processor");
    QTest::addColumn<QString>("memory");

    const QString unknown = QStringLiteral("未知");
    const QString debian = QStringLiteral("Debian GNU/Linux 12 (bookworm)");
    const QString intel = QStringLiteral("Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz (2 个逻辑处理器)");
    const QString memory = QStringLiteral("23.5 GB (24 683 748 KB)");
    QTest::newRow("every file") << QStringLiteral("etc/os-release") << true << true << debian << intel << memory;
    QTest::newRow("os-release in /usr/lib only")
        << QStringLiteral("usr/lib/os-release") << true << true << debian << intel << memory;
    QTest::newRow("no os-release") << QString() << true << true << unknown << intel << memory;
    QTest::newRow("no cpuinfo") << QStringLiteral("etc/os-release") << false << true << debian << unknown << memory;
    QTest::newRow("no meminfo") << QStringLiteral("etc/os-release") << true << false << debian << intel << unknown;
    QTest::newRow("no file at all") << QString() << false << false << unknown << unknown << unknown;
}

void TestSystemInfo::readFromFiles()
{
    QFETCH(QString, osReleasePath);
    QFETCH(bool, withCpuInfo);
    QFETCH(bool, withMemInfo);
    QFETCH(QString, osName);
    QFETCH(QString, processor);
    QFETCH(QString, memory);

    QTemporaryDir root;
    QVERIFY(root.isValid());
    if (!osReleasePath.isEmpty())
        QVERIFY(WriteFile(root.filePath(osReleasePath), kDebianOsRelease));
    if (withCpuInfo)
        QVERIFY(WriteFile(root.filePath(QStringLiteral("proc/cpuinfo")), kIntelCpuInfo));
    if (withMemInfo)
        QVERIFY(WriteFile(root.filePath(QStringLiteral("proc/meminfo")), kMemInfo));

    const SystemInfo info = ReadSystemInfoFrom(root.path());
    QCOMPARE(info.osName, osName);
    QCOMPARE(info.processor, processor);
    QCOMPARE(info.memory, memory);
    // The kernel's own names come from uname, whatever the files say.
    QVERIFY(info.osVersion.startsWith(QStringLiteral("Linux ")));
    QVERIFY(!info.osBuild.isEmpty() && info.osBuild != QStringLiteral("未知"));
}

QTEST_MAIN(TestSystemInfo)
#include "tst_system_info.moc"
