#pragma once

#include <QUrl>

// Where the services live. Each address is compiled in and can be overridden by an environment
// variable, so staging and the tests can point the real program at other servers. The transport
// refuses plain http to anything but this machine, whatever an override says.
namespace ServiceEndpoints {

QUrl gateway();   // MURMO_GATEWAY_URL
QUrl dashScope(); // MURMO_DASHSCOPE_URL
QUrl deepgram();  // MURMO_DEEPGRAM_URL
QUrl anthropic(); // MURMO_ANTHROPIC_URL

// The override in the named environment variable when it holds a valid absolute URL, else the
// compiled-in address.
QUrl resolve(const char* environmentVariable, const QUrl& builtIn);

// base with path appended as further path components, keeping any path prefix base already has
// ("https://h/api" + "v1/asr" gives "https://h/api/v1/asr").
QUrl appendPath(const QUrl& base, const QString& path);

} // namespace ServiceEndpoints
