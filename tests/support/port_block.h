#pragma once
// A run of consecutive free TCP ports on 127.0.0.1 reserved for one test peer.
//
// Test processes run side by side (ctest -j), each starting servers that need a
// control port and a passive range. Ports are taken below the kernel's ephemeral
// range so client sockets never collide with them, and each block is guarded by
// an flock()ed file that the kernel releases when the holder dies, so two test
// processes never pick the same block and a crashed run leaves nothing stale.

#include <QString>
#include <QtGlobal>
#include <memory>

namespace testsupport {

class PortBlock {
public:
    // Reserves `count` consecutive ports that are free right now; nullptr and a
    // reason when none could be found.
    static std::unique_ptr<PortBlock> Reserve(int count, QString *whyNot = nullptr);
    ~PortBlock();

    PortBlock(const PortBlock &) = delete;
    PortBlock &operator=(const PortBlock &) = delete;

    quint16 First() const { return first_; }
    quint16 Last() const { return quint16(first_ + count_ - 1); }
    int Count() const { return count_; }

    // True when nothing listens on 127.0.0.1:port and it can be bound now.
    static bool PortFree(quint16 port);

private:
    PortBlock(quint16 first, int count, int lockFd) : first_(first), count_(count), lockFd_(lockFd) {}
    quint16 first_;
    int count_;
    int lockFd_;
};

}  // namespace testsupport
