#include "core/store/WordList.h"

#include "core/store/JsonText.h"

#include <algorithm>

WordList::WordList(const QStringList& words)
{
    for (const QString& word : words)
        append(word);
}

void WordList::append(QStringView word)
{
    if (m_size % kChunkWords == 0)
        m_chunks.append(Chunk{});
    Chunk& last = m_chunks.last();
    last.units.append(word);
    last.ends.append(quint32(last.units.size()));
    ++m_size;
    // A full chunk never grows again: the room its growth left is given back.
    if (last.ends.size() == kChunkWords) {
        last.units.squeeze();
        last.ends.squeeze();
    }
}

QStringView WordList::at(qsizetype index) const
{
    const Chunk& chunk = m_chunks.at(index / kChunkWords);
    const qsizetype inChunk = index % kChunkWords;
    const quint32 start = inChunk == 0 ? 0 : chunk.ends.at(inChunk - 1);
    return QStringView(chunk.units).sliced(start, chunk.ends.at(inChunk) - start);
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

QString WordList::fault() const
{
    if (m_chunks.size() != (m_size + kChunkWords - 1) / kChunkWords)
        return QStringLiteral("%1 chunks for %2 words").arg(m_chunks.size()).arg(m_size);
    for (qsizetype c = 0; c < m_chunks.size(); ++c) {
        const Chunk& chunk = m_chunks.at(c);
        const qsizetype words = c + 1 < m_chunks.size() ? kChunkWords : m_size - c * kChunkWords;
        if (chunk.ends.size() != words)
            return QStringLiteral("chunk %1 holds %2 words, not %3").arg(c).arg(chunk.ends.size()).arg(words);
        if (!std::is_sorted(chunk.ends.cbegin(), chunk.ends.cend()) || chunk.ends.constLast() != chunk.units.size())
            return QStringLiteral("chunk %1 has its words' ends out of place").arg(c);
    }
    return {};
}
