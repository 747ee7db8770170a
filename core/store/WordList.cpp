#include "core/store/WordList.h"

#include "core/store/JsonText.h"

WordList::WordList(const QStringList& words)
{
    qsizetype units = 0;
    for (const QString& word : words)
        units += word.size();
    reserve(words.size(), units);
    for (const QString& word : words)
        append(word);
}

void WordList::reserve(qsizetype count, qsizetype units)
{
    m_ends.reserve(m_ends.size() + std::size_t(count));
    m_units.reserve(m_units.size() + units);
}

void WordList::append(QStringView word)
{
    m_units.append(word);
    m_ends.push_back(quint32(m_units.size()));
}

QStringView WordList::at(qsizetype index) const
{
    const quint32 start = index == 0 ? 0 : m_ends[std::size_t(index - 1)];
    return QStringView(m_units).sliced(start, m_ends[std::size_t(index)] - start);
}

QStringList WordList::toStringList() const
{
    QStringList out;
    out.reserve(size());
    for (const QStringView word : *this)
        out.append(word.toString());
    return out;
}

void WordList::appendJson(QByteArray& out) const
{
    out.append('[');
    for (qsizetype i = 0; i < size(); ++i) {
        if (i > 0)
            out.append(',');
        JsonText::appendString(out, at(i));
    }
    out.append(']');
}
