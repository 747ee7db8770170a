#include "core/store/WordList.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

namespace {

// Words encoded through one JSON array at a time: few enough that the array's strings stay small
// next to the list itself.
constexpr qsizetype kWordsEncodedTogether = 4096;

} // namespace

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

QByteArray WordList::toJson() const
{
    // An array's compact text is its elements' texts joined by commas, so the words are encoded in
    // slices and the slices' brackets dropped.
    QByteArray out("[");
    for (qsizetype first = 0; first < size(); first += kWordsEncodedTogether) {
        QJsonArray slice;
        for (qsizetype i = first; i < std::min(size(), first + kWordsEncodedTogether); ++i)
            slice.append(at(i).toString());
        const QByteArray text = QJsonDocument(slice).toJson(QJsonDocument::Compact);
        if (first > 0)
            out.append(',');
        out.append(QByteArrayView(text).sliced(1, text.size() - 2));
    }
    out.append(']');
    return out;
}
