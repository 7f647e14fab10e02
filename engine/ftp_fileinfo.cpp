#include "engine/ftp_fileinfo.h"

namespace {

// Digits without a leading zero (or "0" itself), short enough for qint64:
// such a text comes back unchanged from QByteArray::number. "007", "1,024" or
// "-" are kept as text.
bool PlainNumber(const QByteArray &text, qint64 *value)
{
    if (text.isEmpty() || text.size() > 18 || (text.size() > 1 && text.at(0) == '0'))
        return false;
    qint64 number = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        number = number * 10 + (c - '0');
    }
    *value = number;
    return true;
}

}  // namespace

void TMFtpFileInfoList::Add(const QByteArray &field0, const QByteArray &field1,
                            const QByteArray &field2, const QByteArray &field3,
                            const QByteArray &field4)
{
    Entry entry;
    entry.attributes = Intern(field0);
    entry.date = Intern(field1);
    if (!PlainNumber(field2, &entry.size))
        entry.size = ~qint64(Intern(field2));
    if (!field3.isEmpty() || !field4.isEmpty())
        m_extra.insert(int(m_entries.size()), {field3, field4});
    m_entries.push_back(entry);
}

void TMFtpFileInfoList::Clear()
{
    // Released, not kept for reuse: a listing of millions must not pin its
    // memory after the next, smaller one.
    std::vector<Entry>().swap(m_entries);
    m_texts = QList<QByteArray>();
    std::vector<quint32>().swap(m_textSlots);
    m_extra = QHash<int, std::pair<QByteArray, QByteArray>>();
}

bool TMFtpFileInfoList::GetInfo(int index, int field, QByteArray &value) const
{
    if (field < 0 || field >= FieldCount || index < 0 || size_t(index) >= m_entries.size())
        return false;
    const Entry &entry = m_entries[size_t(index)];
    switch (field) {
    case 0: value = m_texts.at(entry.attributes); break;
    case 1: value = m_texts.at(entry.date); break;
    case 2: value = entry.size >= 0 ? QByteArray::number(entry.size) : m_texts.at(qsizetype(~entry.size)); break;
    default: {
        const auto extra = m_extra.constFind(index);
        value = extra == m_extra.cend() ? QByteArray() : field == 3 ? extra->first : extra->second;
    }
    }
    return true;
}

int TMFtpFileInfoList::Count() const
{
    return int(m_entries.size());
}

quint32 TMFtpFileInfoList::Intern(const QByteArray &text)
{
    if (size_t(m_texts.size()) * 2 >= m_textSlots.size())
        GrowTextSlots();
    const size_t mask = m_textSlots.size() - 1;
    // Seeded per process, so that a server cannot line its texts up in one chain.
    for (size_t slot = qHash(text, QHashSeed::globalSeed()) & mask;; slot = (slot + 1) & mask) {
        const quint32 taken = m_textSlots[slot];
        if (taken == 0) {
            const quint32 index = quint32(m_texts.size());
            // Copied exactly: the caller's text may sit in a larger buffer.
            m_texts.append(QByteArray(text.constData(), text.size()));
            m_textSlots[slot] = index + 1;
            return index;
        }
        if (m_texts.at(taken - 1) == text)
            return taken - 1;
    }
}

void TMFtpFileInfoList::GrowTextSlots()
{
    std::vector<quint32> grown(qMax<size_t>(16, m_textSlots.size() * 2), 0);
    const size_t mask = grown.size() - 1;
    for (qsizetype index = 0; index < m_texts.size(); ++index) {
        size_t slot = qHash(m_texts.at(index), QHashSeed::globalSeed()) & mask;
        while (grown[slot] != 0)
            slot = (slot + 1) & mask;
        grown[slot] = quint32(index + 1);
    }
    m_textSlots.swap(grown);
}
