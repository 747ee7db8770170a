#include "app/controller/HistoryOperations.h"

#include "app/controller/AppState.h"
#include "app/controller/GatewayAccount.h"
#include "app/controller/ServiceSelector.h"
#include "app/controller/TakeRecipe.h"
#include "app/feedback/RecordingOverlay.h"
#include "core/MurmoError.h"
#include "core/async/BulkPool.h"
#include "core/audio/AudioStorage.h"
#include "core/store/HistoryStore.h"
#include "core/store/Lexicon.h"
#include "core/store/StyleProfile.h"
#include "core/text/DictationPipeline.h"
#include "core/text/StyleMode.h"

#include <QCoroFuture>
#include <QPointer>
#include <QtConcurrent>

HistoryOperations::HistoryOperations(AppState& state, Settings& settings, PersonalData data,
                                     const ServiceSelector& services, GatewayAccount& gateway,
                                     RecordingOverlay& overlay, Clock& clock, QObject* parent)
    : QObject(parent)
    , m_state(state)
    , m_settings(settings)
    , m_data(std::move(data))
    , m_services(services)
    , m_gateway(gateway)
    , m_overlay(overlay)
    , m_clock(clock)
{}

void HistoryOperations::retranscribe(const HistoryEntry& entry)
{
    recogniseAgain(entry);
}

QCoro::Task<void> HistoryOperations::recogniseAgain(HistoryEntry entry)
{
    // Held in memory while the disk had no room for it, else its file.
    const HistoryStore::Audio audio = m_data.history.audioOf(entry.id);
    if (!audio) {
        m_state.setStatusLine(QStringLiteral("该条目没有保存录音"));
        co_return;
    }
    m_state.setStatusLine(QStringLiteral("重新识别中…"));
    // The texts the entry shows now: a correction saved while this runs wins over the result.
    const QString shownText = m_data.history.entry(entry.id).value_or(entry).finalText;

    // The current mode, never translated, and the settings' preferences alone.
    const TakeRecipe recipe = TakeRecipe::make(m_state, m_settings, m_data, m_services, m_clock, {});
    const QPointer<HistoryOperations> self(this);

    QString failure;
    try {
        // Decoding a long recording takes a while; the windows keep drawing meanwhile.
        QFuture<std::shared_ptr<const Samples>> decoding =
            QtConcurrent::run(&bulkPool(), [audio] { return std::make_shared<const Samples>(audio.read()); });
        std::shared_ptr<const Samples> samples = co_await decoding;
        if (!self)
            co_return;
        if (samples->empty()) {
            m_state.setStatusLine(QStringLiteral("重新识别失败：录音文件无法读取"));
            co_return;
        }
        QCoro::Task<DictationPipeline::Output> recognising = recipe.pipeline.run(
            std::move(samples), recipe.mode, recipe.preferences, false, recipe.languageHint, recipe.vocabulary);
        const DictationPipeline::Output output = co_await std::move(recognising);
        if (!self)
            co_return;
        if (!m_data.history.replaceTexts(entry.id, shownText, output.asrText, output.finalText)) {
            m_state.setStatusLine(QStringLiteral("重新识别结果未保存：条目已被修改或删除"));
            co_return;
        }
        m_state.bumpHistoryVersion();
        m_state.setStatusLine(QStringLiteral("✓ 已重新识别"));
        co_return;
    } catch (const MurmoError& error) {
        failure = error.description();
    } catch (const std::exception& error) {
        failure = QString::fromUtf8(error.what());
    }
    if (self)
        m_state.setStatusLine(QStringLiteral("重新识别失败：") + failure);
}

void HistoryOperations::correctHistory(const HistoryEntry& entry, const QString& newText)
{
    const std::optional<QString> old = m_data.history.updateFinalText(entry.id, newText);
    if (!old)
        return;
    QStringList rights;
    bool profileDue = false;
    if (!HistoryEntry::isPlaceholder(*old)) {
        for (const CorrectionPair& pair : m_data.lexicon->learn(*old, newText)) {
            // learn() hands back the pairs it refused as well; only stored rules were learned.
            if (!Lexicon::isRefused(pair.wrong, pair.right, QStringLiteral("manual_edit")))
                rights.append(pair.right);
        }
        profileDue = m_data.styleProfile.record(*old, newText);
    }
    m_state.bumpHistoryVersion();
    if (!rights.isEmpty()) {
        m_gateway.syncLexicon();
        announceLearned(rights);
    } else {
        m_state.setStatusLine(QStringLiteral("已保存（这次没提取到可学的新词）"));
        m_overlay.note(QStringLiteral("已保存"), QStringLiteral("这次没有提取到可学的新词"));
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
    m_state.setStatusLine(QStringLiteral("✓ 已学习 ") + words + QStringLiteral("，下次识别会优先用它"));
    m_overlay.note(QStringLiteral("已学习 ") + words, QStringLiteral("已加入词库 · 下次识别会优先用它"));
}

QCoro::Task<void> HistoryOperations::refreshAfterCorrections()
{
    const QPointer<HistoryOperations> self(this);
    StyleProfile& profile = m_data.styleProfile;
    const std::optional<QDateTime> before = profile.updatedAt();
    co_await profile.refresh(m_services.makeStyler());
    if (!self)
        co_return;
    m_state.bumpHistoryVersion();
    // A refresh never throws; a new date is how a successful one shows.
    m_state.setStatusLine(profile.updatedAt() != before ? kProfileUpdated : kProfileNotUpdated);
}

QCoro::Task<void> HistoryOperations::refreshStyleProfile()
{
    const QPointer<HistoryOperations> self(this);
    StyleProfile& profile = m_data.styleProfile;
    std::shared_ptr<const Styler> styler = m_services.makeStyler();
    m_state.setStatusLine(QStringLiteral("正在提炼风格画像…"));
    const std::optional<QDateTime> before = profile.updatedAt();
    co_await profile.refresh(std::move(styler));
    if (!self)
        co_return;
    m_state.bumpHistoryVersion();
    if (profile.updatedAt() != before)
        m_state.setStatusLine(kProfileUpdated);
    else if (profile.sampleCount() < StyleProfile::kMinimumSamples)
        m_state.setStatusLine(QStringLiteral("先在历史里校对满 3 条，才能提炼"));
    else
        m_state.setStatusLine(kProfileNotUpdated);
}
