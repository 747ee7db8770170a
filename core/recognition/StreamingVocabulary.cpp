#include "core/recognition/StreamingVocabulary.h"

#include "core/text/Graphemes.h"
#include "core/text/TranscriptHeuristics.h"

#include <algorithm>

StreamingVocabulary::StreamingVocabulary(const QStringList& vocabulary)
{
    if (!vocabulary.isEmpty())
        m_corpusText = QStringLiteral("专有名词: ") + vocabulary.join(QStringLiteral(", "));
    m_normalisedCorpus = TranscriptHeuristics::normalizeEcho(m_corpusText);
    for (const QString& term : vocabulary) {
        const QString normalised = TranscriptHeuristics::normalizeEcho(term);
        if (!normalised.isEmpty() && !m_terms.contains(normalised)) {
            m_terms.insert(normalised);
            m_termsLongestFirst.append(normalised);
        }
    }
    std::stable_sort(m_termsLongestFirst.begin(), m_termsLongestFirst.end(),
                     [](const QString& a, const QString& b) { return Graphemes::count(a) > Graphemes::count(b); });
}

bool StreamingVocabulary::isCorpusEcho(const QString& text) const
{
    QString rest = TranscriptHeuristics::normalizeEcho(text);
    if (rest.isEmpty())
        return false;
    if (!m_corpusText.isEmpty() && rest == m_normalisedCorpus)
        return true;
    if (m_termsLongestFirst.isEmpty())
        return false;
    for (const QString& term : m_termsLongestFirst)
        rest.remove(term);
    return rest.isEmpty();
}
