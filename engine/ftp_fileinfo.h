#pragma once

#include <QByteArray>
#include <QByteArrayList>

#include <array>

// Details of a listing's entries, parallel to the engine's name lists: entry i
// here belongs to name i. Fields: 0 attributes, 1 date, 2 size, 3 and 4 unused
// (always filed empty, kept so that field numbers stay what callers expect).
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
    std::array<QByteArrayList, FieldCount> m_fields;
};
