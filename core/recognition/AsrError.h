#pragma once

#include "core/MurmoError.h"

// A recognition failure, worded the same whichever recogniser failed.
class AsrError : public MurmoError
{
public:
    enum class Kind
    {
        MissingApiKey,
        HttpError,
        EmptyResult,
    };

    // "未配置 <provider> 的 API key"
    static AsrError missingApiKey(const QString& provider);
    // "ASR 请求失败 (HTTP <status>): <first 200 characters of body>"
    static AsrError httpError(int status, const QString& body);
    // "识别结果为空"
    static AsrError emptyResult();

    Kind kind() const { return m_kind; }
    const QString& provider() const { return m_provider; }
    int status() const { return m_status; }
    const QString& body() const { return m_body; }

private:
    AsrError(Kind kind, QString description, QString provider, int status, QString body);

    Kind m_kind;
    QString m_provider;
    int m_status = 0;
    QString m_body;
};
