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

SystemInfo ReadSystemInfo();

// Parsers of the system files, for tests: /etc/os-release, /proc/cpuinfo, /proc/meminfo.
QString OsNameFromOsRelease(const QString &osRelease);
QString ProcessorFromCpuInfo(const QString &cpuInfo);
qint64 MemoryKilobytesFromMemInfo(const QString &memInfo);
