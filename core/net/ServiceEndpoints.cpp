#include "core/net/ServiceEndpoints.h"

#include <QtGlobal>

namespace ServiceEndpoints {

QUrl resolve(const char* environmentVariable, const QUrl& builtIn)
{
    const QString value = qEnvironmentVariable(environmentVariable);
    if (value.isEmpty())
        return builtIn;
    const QUrl url(value, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative() || url.host().isEmpty()) {
        qWarning("Ignoring %s: not an absolute URL", environmentVariable);
        return builtIn;
    }
    return url;
}

QUrl gateway()
{
    return resolve("MURMO_GATEWAY_URL", QUrl(QStringLiteral("https://gateway.murmo.app/")));
}

QUrl dashScope()
{
    return resolve("MURMO_DASHSCOPE_URL", QUrl(QStringLiteral("https://dashscope.aliyuncs.com")));
}

QUrl deepgram()
{
    return resolve("MURMO_DEEPGRAM_URL", QUrl(QStringLiteral("https://api.deepgram.com")));
}

QUrl anthropic()
{
    return resolve("MURMO_ANTHROPIC_URL", QUrl(QStringLiteral("https://api.anthropic.com")));
}

QUrl appendPath(const QUrl& base, const QString& path)
{
    QUrl url = base;
    QString joined = base.path();
    if (!joined.endsWith(QLatin1Char('/')))
        joined += QLatin1Char('/');
    joined += path.startsWith(QLatin1Char('/')) ? path.mid(1) : path;
    url.setPath(joined);
    return url;
}

} // namespace ServiceEndpoints
