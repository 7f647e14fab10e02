#pragma once
// What the about box tells of this machine: the operating system's name,
// version and build, the processor and the physical memory.

#include <QString>

struct SystemInfo {
    QString osName;      // e.g. "Debian GNU/Linux 12 (bookworm)"
    QString osVersion;   // kernel release
    QString osBuild;     // kernel version string (build)
    QString processor;   // model name and count of logical processors
    QString memory;      // physical memory, e.g. "23.4 GB (24 529 140 KB)"
};

// What cannot be read is "未知"; never fails.
SystemInfo ReadSystemInfo();
// The same with the system files looked up under `root` instead of "/" (for tests).
SystemInfo ReadSystemInfoFrom(const QString &root);

// Parsers of the system files, for tests: /etc/os-release, /proc/cpuinfo, /proc/meminfo.
// Each gives an empty text (or -1) when the file holds nothing it can use.
QString OsNameFromOsRelease(const QString &osRelease);
// `machine` (uname's machine name) stands in when the file names no processor.
QString ProcessorFromCpuInfo(const QString &cpuInfo, const QString &machine = QString());
qint64 MemoryKilobytesFromMemInfo(const QString &memInfo);
// "23.4 GB (24 529 140 KB)"; empty for a negative size.
QString MemoryText(qint64 kilobytes);
