#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QHash>

#include <utility>
#include <vector>

// Details of a listing's entries, parallel to the engine's name lists: entry i
// here belongs to name i. Fields: 0 attributes, 1 date, 2 size, 3 and 4 unused
// (always filed empty, kept so that field numbers stay what callers expect).
//
// A listing can hold millions of entries, so an entry is 16 bytes: attribute
// words and dates repeat and are kept once per list, a plain decimal size is
// kept as a number. GetInfo gives back the bytes as they were added.
class TMFtpFileInfoList
{
public:
    static constexpr int FieldCount = 5;

    void Add(const QByteArray &field0, const QByteArray &field1, const QByteArray &field2,
             const QByteArray &field3, const QByteArray &field4);
    void Clear();

    // Stores field `field` of entry `index` into value. A field number outside
    // 0..4 or an index outside the list leaves value as it was; the result
    // tells whether value was set.
    bool GetInfo(int index, int field, QByteArray &value) const;

    int Count() const;

private:
    struct Entry {
        quint32 attributes;  // index into m_texts
        quint32 date;        // index into m_texts
        qint64 size;         // the size itself, or ~index into m_texts when the text is no plain number
    };
    quint32 Intern(const QByteArray &text);
    void GrowTextSlots();

    std::vector<Entry> m_entries;
    QList<QByteArray> m_texts;
    // Open addressing over m_texts (index + 1, 0 for free), at most half full:
    // a few bytes per distinct text where a QHash would take some forty.
    std::vector<quint32> m_textSlots;
    // Fields 3 and 4 of the few entries that have them, by entry.
    QHash<int, std::pair<QByteArray, QByteArray>> m_extra;
};
