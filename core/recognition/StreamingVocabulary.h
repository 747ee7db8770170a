#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

// The recognition vocabulary as the realtime recogniser is primed with it, and the test for the
// recogniser reading that prompt back instead of hearing speech.
class StreamingVocabulary
{
public:
    StreamingVocabulary() = default;
    explicit StreamingVocabulary(const QStringList& vocabulary);

    // "专有名词: " and the terms joined with ", "; empty without terms.
    const QString& corpusText() const { return m_corpusText; }
    // Each term in echo-normalised form (lower case, letters and digits only); terms with nothing
    // left are not kept.
    const QSet<QString>& corpusTerms() const { return m_terms; }

    // True when the text is the prompt itself in other punctuation or case, or nothing but terms.
    bool isCorpusEcho(const QString& text) const;

private:
    QString m_corpusText;
    QString m_normalisedCorpus;
    QSet<QString> m_terms;
    QStringList m_termsLongestFirst;
};
