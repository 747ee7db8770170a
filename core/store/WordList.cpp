#include "core/store/WordList.h"

#include "core/store/JsonText.h"

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
