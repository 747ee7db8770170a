#include "app/controller/HistoryOperations.h"

#include "app/controller/AppServices.h"
#include "app/controller/DictationSetup.h"
#include "core/MurmoError.h"
#include "core/audio/AudioStorage.h"
#include "core/text/DictationPipeline.h"
#include "core/text/StyleMode.h"

#include <QCoroFuture>
#include <QPointer>
#include <QtConcurrent>

HistoryOperations::HistoryOperations(AppServices& app, QObject* parent)
    : QObject(parent)
    , m_app(app)
{}

void HistoryOperations::retranscribe(const HistoryEntry& entry)
{
    recogniseAgain(entry);
}

QCoro::Task<void> HistoryOperations::recogniseAgain(HistoryEntry entry)
{
    AppState& state = m_app.state();
    const std::optional<QString> path = m_app.history().audioURL(entry);
    if (!path) {
        state.setStatusLine(QStringLiteral("该条目没有保存录音"));
        co_return;
    }
    state.setStatusLine(QStringLiteral("重新识别中…"));
    // The texts the entry shows now: a correction saved while this runs wins over the result.
    const QString shownText = m_app.history().entry(entry.id).value_or(entry).finalText;

    const Settings& settings = m_app.settings();
    const StyleMode mode = DictationSetup::currentMode(settings);
    const std::optional<QString> hint = DictationSetup::languageHint(settings);
    DictationPipeline pipeline = DictationSetup::pipeline(m_app.services(), m_app.lexicon(), m_app.ports().clock);
    const StylePreferences preferences = state.preferences();
    const QPointer<HistoryOperations> self(this);

    QString failure;
    try {
        // Decoding a long recording takes a while; the windows keep drawing meanwhile.
        const QString file = *path;
        QFuture<Samples> decoding = QtConcurrent::run(&AudioStorage::readSamples, file);
        Samples samples = co_await decoding;
        if (!self)
            co_return;
        if (samples.empty()) {
            state.setStatusLine(QStringLiteral("重新识别失败：录音文件无法读取"));
            co_return;
        }
        const DictationPipeline::Output output =
            co_await pipeline.run(std::move(samples), mode, preferences, false, hint);
        if (!self)
            co_return;
        if (!m_app.history().replaceTexts(entry.id, shownText, output.asrText, output.finalText)) {
            state.setStatusLine(QStringLiteral("重新识别结果未保存：条目已被修改或删除"));
            co_return;
        }
        state.bumpHistoryVersion();
        state.setStatusLine(QStringLiteral("✓ 已重新识别"));
        co_return;
    } catch (const MurmoError& error) {
        failure = error.description();
    } catch (const std::exception& error) {
        failure = QString::fromUtf8(error.what());
    }
    if (self)
        state.setStatusLine(QStringLiteral("重新识别失败：") + failure);
}

void HistoryOperations::correctHistory(const HistoryEntry& entry, const QString& newText)
{
    AppState& state = m_app.state();
    const std::optional<QString> old = m_app.history().updateFinalText(entry.id, newText);
    if (!old)
        return;
    QStringList rights;
    bool profileDue = false;
    if (!HistoryEntry::isPlaceholder(*old)) {
        for (const CorrectionPair& pair : m_app.lexicon()->learn(*old, newText)) {
            // learn() hands back the pairs it refused as well; only stored rules were learned.
            if (!Lexicon::isRefused(pair.wrong, pair.right, QStringLiteral("manual_edit")))
                rights.append(pair.right);
        }
        profileDue = m_app.styleProfile().record(*old, newText);
    }
    state.bumpHistoryVersion();
    if (!rights.isEmpty()) {
        m_app.gateway().syncLexicon();
        announceLearned(rights);
    } else {
        state.setStatusLine(QStringLiteral("已保存（这次没提取到可学的新词）"));
        m_app.overlay().note(QStringLiteral("已保存"), QStringLiteral("这次没有提取到可学的新词"));
    }
    if (profileDue)
        refreshAfterCorrections();
}

void HistoryOperations::announceLearned(const QStringList& rights)
{
    QStringList quoted;
    for (const QString& right : rights)
        quoted.append(QStringLiteral("「") + right + QStringLiteral("」"));
    const QString words = quoted.join(QLatin1Char(' '));
    m_app.state().setStatusLine(QStringLiteral("✓ 已学习 ") + words + QStringLiteral("，下次识别会优先用它"));
    m_app.overlay().note(QStringLiteral("已学习 ") + words, QStringLiteral("已加入词库 · 下次识别会优先用它"));
}

QCoro::Task<void> HistoryOperations::refreshAfterCorrections()
{
    const QPointer<HistoryOperations> self(this);
    StyleProfile& profile = m_app.styleProfile();
    const std::optional<QDateTime> before = profile.updatedAt();
    co_await profile.refresh(m_app.services().makeStyler());
    if (!self)
        co_return;
    m_app.state().bumpHistoryVersion();
    // A refresh never throws; a new date is how a successful one shows.
    m_app.state().setStatusLine(profile.updatedAt() != before ? kProfileUpdated : kProfileNotUpdated);
}

QCoro::Task<void> HistoryOperations::refreshStyleProfile()
{
    const QPointer<HistoryOperations> self(this);
    StyleProfile& profile = m_app.styleProfile();
    std::shared_ptr<const Styler> styler = m_app.services().makeStyler();
    m_app.state().setStatusLine(QStringLiteral("正在提炼风格画像…"));
    const std::optional<QDateTime> before = profile.updatedAt();
    co_await profile.refresh(std::move(styler));
    if (!self)
        co_return;
    m_app.state().bumpHistoryVersion();
    if (profile.updatedAt() != before)
        m_app.state().setStatusLine(kProfileUpdated);
    else if (profile.sampleCount() < StyleProfile::kMinimumSamples)
        m_app.state().setStatusLine(QStringLiteral("先在历史里校对满 3 条，才能提炼"));
    else
        m_app.state().setStatusLine(kProfileNotUpdated);
}
