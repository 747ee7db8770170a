// Window titles and the text of other applications' fields are outside data: they go through
// term extraction and into the styling prompt.
#include "app/desktop/ScreenContext.h"

#include <QSet>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const QStringList terms = ScreenContext::extractTerms(text);
    if (terms.size() > ScreenContext::maxTerms)
        std::abort();
    QSet<QString> seen;
    for (const QString& term : terms) {
        if (term.size() < 2 || !text.contains(term) || seen.contains(term.toLower()))
            std::abort();
        const QChar first = term.front();
        const QChar last = term.back();
        if (first == u'.' || first == u'_' || first == u'/' || first == u'-' || last == u'.' || last == u'_' ||
            last == u'/' || last == u'-')
            std::abort();
        for (const QChar c : term) {
            if (c.unicode() > 0x7f)
                std::abort();
        }
        seen.insert(term.toLower());
    }

    // Split the input into an application name, a title and nearby text.
    const qsizetype third = text.size() / 3;
    const ScreenContext::Info info{text.left(third), text.mid(third, third), text.mid(2 * third)};
    const std::optional<QString> line = ScreenContext::promptLine(info);
    const bool anything =
        !info.appName.isEmpty() || !ScreenContext::extractTerms(info.windowTitle + u' ' + info.nearbyText).isEmpty();
    if (line.has_value() != anything)
        std::abort();
    if (line && !line->startsWith(QStringLiteral("【场景参考")))
        std::abort();
    return 0;
}
