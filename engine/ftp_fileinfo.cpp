#include "engine/ftp_fileinfo.h"

void TMFtpFileInfoList::Add(const QByteArray &field0, const QByteArray &field1,
                            const QByteArray &field2, const QByteArray &field3,
                            const QByteArray &field4)
{
    m_fields[0].append(field0);
    m_fields[1].append(field1);
    m_fields[2].append(field2);
    m_fields[3].append(field3);
    m_fields[4].append(field4);
}

void TMFtpFileInfoList::Clear()
{
    for (QByteArrayList &list : m_fields)
        list.clear();
}

bool TMFtpFileInfoList::GetInfo(int index, int field, QByteArray &value) const
{
    if (field < 0 || field >= FieldCount)
        return false;
    const QByteArrayList &list = m_fields[size_t(field)];
    if (index < 0 || index >= list.size())
        return false;
    value = list.at(index);
    return true;
}

int TMFtpFileInfoList::Count() const
{
    return int(m_fields[0].size());
}
