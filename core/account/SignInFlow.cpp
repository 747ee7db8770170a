#include "core/account/SignInFlow.h"

#include "core/MurmoError.h"
#include "core/account/SessionStore.h"
#include "core/async/ContinueOn.h"

#include <QPointer>
#include <QRandomGenerator>

namespace {

// The service wants the address and code without surrounding blanks; only spaces and tabs count,
// as a pasted code may carry them.
QString trimmedOfBlanks(const QString& text)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    const auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (start < end && blank(text[start]))
        ++start;
    while (end > start && blank(text[end - 1]))
        --end;
    return text.mid(start, end - start);
}

// 128 bits from the system's generator: nobody can guess the value a callback must carry.
QString newState()
{
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    const QByteArray bytes(reinterpret_cast<const char*>(words), sizeof(words));
    return QString::fromLatin1(bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

// A step whose only result is that it did not fail.
QCoro::Task<bool> succeeded(QCoro::Task<void> step)
{
    co_await std::move(step);
    co_return true;
}

} // namespace

SignInFlow::SignInFlow(SessionStore& session, HttpTransport& transport, std::optional<SupabaseAuth::Config> config,
                       QUrl gatewayURL, UrlOpener opener, QObject* parent)
    : QObject(parent)
    , m_session(session)
    , m_transport(transport)
    , m_config(std::move(config))
    , m_gatewayURL(std::move(gatewayURL))
    , m_opener(std::move(opener))
{}

bool SignInFlow::canSendCode(const QString& email) const
{
    return !m_busy && email.contains(u'@');
}

bool SignInFlow::canVerifyCode(const QString& code) const
{
    return !m_busy && trimmedOfBlanks(code).size() >= 6;
}

void SignInFlow::restart()
{
    ++m_generation;
    m_busy = false;
    m_codeSent = false;
    dropWebSignIn();
    m_errorText.reset();
    Q_EMIT changed();
}

void SignInFlow::dropWebSignIn()
{
    m_webState.reset();
    m_unopenedAddress.reset();
}

void SignInFlow::setError(std::optional<QString> text)
{
    m_errorText = std::move(text);
    Q_EMIT changed();
}

template <typename T> QCoro::Task<std::optional<T>> SignInFlow::runStep(QCoro::Task<T> step)
{
    const quint64 generation = m_generation;
    m_busy = true;
    setError(std::nullopt);
    const QPointer<SignInFlow> self(this);
    std::optional<T> result;
    std::exception_ptr failure;
    try {
        result = co_await std::move(step);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self || generation != m_generation)
        co_return std::nullopt;
    m_busy = false;
    setError(failure ? std::optional(MurmoError::userText(failure)) : std::nullopt);
    co_return result;
}

QCoro::Task<void> SignInFlow::sendCode(QString email)
{
    // One e-mail request at a time.
    if (!m_config || m_busy)
        co_return;
    QCoro::Task<std::optional<bool>> sending =
        runStep(succeeded(SupabaseAuth::requestOTP(m_transport, *m_config, trimmedOfBlanks(email))));
    const std::optional<bool> sent = co_await std::move(sending);
    if (!sent)
        co_return;
    m_codeSent = true;
    Q_EMIT changed();
}

QCoro::Task<void> SignInFlow::verifyCode(QString email, QString code)
{
    if (!m_config || m_busy)
        co_return;
    QCoro::Task<std::optional<SupabaseAuth::TokenPair>> verifying = runStep(SupabaseAuth::verifyOTP(
        m_transport, *m_config, trimmedOfBlanks(email), trimmedOfBlanks(code), m_session.now()));
    const std::optional<SupabaseAuth::TokenPair> pair = co_await std::move(verifying);
    if (pair)
        finish(*pair);
}

void SignInFlow::startWebSignIn(const QString& provider)
{
    if (!m_config)
        return;
    dropWebSignIn();
    setError(std::nullopt);
    const QString state = newState();
    const QUrl address = SupabaseAuth::authorizeURL(*m_config, provider, state);
    m_webState = state;
    Q_EMIT changed();
    // The opener's answer may come long after (it can wait for the browser it started): by then
    // this sign-in may have been answered, given up or replaced, and its outcome is old news.
    QFuture<bool> opening = m_opener ? m_opener(address) : QtFuture::makeReadyFuture(false);
    continueOn(opening, this, [this, state, address](bool opened) {
        if (opened || m_webState != state)
            return;
        m_unopenedAddress = address;
        setError(QStringLiteral("无法打开浏览器"));
    });
}

void SignInFlow::cancelWebSignIn()
{
    dropWebSignIn();
    Q_EMIT changed();
}

void SignInFlow::handleCallback(const QUrl& url)
{
    // Not asked for, asked for by another sign-in, or already answered: none may choose whose
    // session this is.
    if (!m_webState || SupabaseAuth::callbackState(url) != m_webState)
        return;
    dropWebSignIn();
    Q_EMIT changed();
    // A callback without both tokens ends the attempt quietly; the user may try again.
    if (const auto pair = SupabaseAuth::parseCallback(url, m_session.now()))
        finish(*pair);
}

void SignInFlow::finish(const SupabaseAuth::TokenPair& pair)
{
    // Signed in by code while the browser still had a sign-in: its late answer is not taken.
    dropWebSignIn();
    m_session.adopt(pair);
    Q_EMIT changed();
    Q_EMIT signedIn();
    // Renews the token first when it runs out soon; the address shown comes from the gateway.
    m_session.refreshMe(m_gatewayURL);
}
