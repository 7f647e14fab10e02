#include "core/remote_search_walk.h"

#include "core/transfer_walk.h"
#include "platform/codepage.h"
#include <QCoreApplication>

using namespace Qt::StringLiterals;

namespace {

QString LoopText() { return QCoreApplication::translate("RemoteSearchWalk", "跳过已经进入过的目录(循环链接): "); }
QString TooDeepText() { return QCoreApplication::translate("RemoteSearchWalk", "目录层次超过 %1 层, 不再搜索: "); }
QString TooManyText() { return QCoreApplication::translate("RemoteSearchWalk", "搜索的目录超过 %1 个, 不再搜索: "); }
QString NotEnteredText() { return QCoreApplication::translate("RemoteSearchWalk", "不能进入目录, 跳过: "); }
QString UnreadableText() { return QCoreApplication::translate("RemoteSearchWalk", "不能读取目录, 跳过: "); }

// Control characters would reach the log, the list and the next command
// line: such a name is never used.
bool IsPlainName(const QByteArray &name)
{
    if (!IsWalkableName(name))
        return false;
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            return false;
    }
    return true;
}

QString Shown(const QString &text)
{
    QString shown = text;
    for (QChar &c : shown) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = u'?';
    }
    return shown;
}

} // namespace

bool WildcardMatch(QStringView mask, QStringView name)
{
    qsizetype m = 0, n = 0;
    qsizetype starMask = -1, starName = 0;
    auto same = [](QChar a, QChar b) { return a == b || a.toCaseFolded() == b.toCaseFolded(); };
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == u'*') {
            starMask = m++;
            starName = n;
        } else if (m < mask.size() && (mask[m] == u'?' || same(mask[m], name[n]))) {
            ++m;
            ++n;
        } else if (starMask >= 0) {
            // The last "*" takes one character more; earlier ones never need to.
            m = starMask + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == u'*')
        ++m;
    return m == mask.size();
}

RemoteSearchWalk::RemoteSearchWalk()
{
    DecodeRemote = [](const QByteArray &bytes) { return platform::DecodeAnsi(bytes); };
}

void RemoteSearchWalk::cancel()
{
    m_running = m_stopping = m_stopped = m_limitReached = m_left = false;
    m_mask.clear();
    m_start.clear();
    m_entering.clear();
    m_enteringDepth = 0;
    m_pending.clear();
    m_guard.clear();
    m_hitCount = m_listed = m_skippedDirectories = m_logLines = 0;
}

void RemoteSearchWalk::note(RemoteSearchStep *step, const QString &line)
{
    if (m_logLines++ < MaxLogLines)
        step->log << line;
}

RemoteSearchStep RemoteSearchWalk::start(const QString &mask, const QByteArray &startDirectory)
{
    cancel();
    m_running = true;
    m_mask = mask;
    m_start = startDirectory;
    m_entering = startDirectory;
    m_enteringDepth = 0;
    // Listed afresh: what the pane shows may be older than the server's folder.
    RemoteSearchStep step;
    step.kind = RemoteSearchStep::List;
    return step;
}

void RemoteSearchWalk::scan(const QByteArray &directory, int depth, const QList<RemoteItem> &listing,
                            RemoteSearchStep *step)
{
    for (const RemoteItem &item : listing) {
        const QString name = DecodeRemote(item.name);
        if (!IsPlainName(item.name)) {
            note(step, UnsafeNameLogLine(name));
            continue;
        }
        const QByteArray path = JoinRemotePath(directory, item.name);
        if (WildcardMatch(m_mask, name)) {
            const qsizetype blank = item.details.indexOf(' ');
            step->hits.append({path, item.isDirectory, blank < 0 ? item.details : item.details.left(blank),
                               blank < 0 ? QByteArray() : item.details.mid(blank + 1)});
            if (++m_hitCount >= MaxHits) {
                m_limitReached = true;
                return;
            }
        }
        if (!item.isDirectory)
            continue;
        if (depth + 1 > MaxDepth) {
            ++m_skippedDirectories;
            note(step, TooDeepText().arg(MaxDepth) + Shown(DecodeRemote(path)));
        } else if (m_listed + qsizetype(m_pending.size()) >= MaxDirectories) {
            ++m_skippedDirectories;
            note(step, TooManyText().arg(MaxDirectories) + Shown(DecodeRemote(path)));
        } else {
            m_pending.push_back({path, depth + 1});
        }
    }
}

RemoteSearchStep RemoteSearchWalk::next(RemoteSearchStep step)
{
    if (m_limitReached || m_stopping || m_pending.empty())
        return finish(std::move(step));
    Pending pending = std::move(m_pending.front());
    m_pending.pop_front();
    m_entering = pending.path;
    m_enteringDepth = pending.depth;
    m_left = true;
    step.kind = RemoteSearchStep::ChangeDirectory;
    step.path = pending.path;
    return step;
}

RemoteSearchStep RemoteSearchWalk::finish(RemoteSearchStep step)
{
    step.kind = RemoteSearchStep::Finished;
    step.path = m_left ? m_start : QByteArray();
    m_stopped = m_stopping;
    m_running = m_stopping = false;
    m_pending.clear();
    m_guard.clear();
    return step;
}

RemoteSearchStep RemoteSearchWalk::onDirectoryChanged(bool entered)
{
    if (!m_running)
        return {};
    RemoteSearchStep step;
    if (m_stopping)
        return finish(std::move(step));
    if (!entered) {
        ++m_skippedDirectories;
        note(&step, NotEnteredText() + Shown(DecodeRemote(m_entering)));
        return next(std::move(step));
    }
    step.kind = RemoteSearchStep::List;
    return step;
}

RemoteSearchStep RemoteSearchWalk::onListing(const QByteArray &currentDirectory, const QList<RemoteItem> &listing,
                                             bool listed)
{
    if (!m_running)
        return {};
    RemoteSearchStep step;
    if (m_stopping)
        return finish(std::move(step));
    if (!listed) {
        ++m_skippedDirectories;
        note(&step, UnreadableText() + Shown(DecodeRemote(m_entering)));
        return next(std::move(step));
    }
    if (m_listed == 0) {
        // The folder the search starts in.
        m_start = currentDirectory;
        m_guard.record(currentDirectory, listing);
    } else if (!m_guard.enter(currentDirectory, listing)) {
        note(&step, LoopText() + Shown(DecodeRemote(m_entering)));
        return next(std::move(step));
    }
    ++m_listed;
    // The server's own name for where it is: the hits' paths lead back there.
    scan(currentDirectory, m_enteringDepth, listing, &step);
    return next(std::move(step));
}
