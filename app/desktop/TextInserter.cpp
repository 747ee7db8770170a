#include "app/desktop/TextInserter.h"

#include "app/desktop/TerminalEmulators.h"
#include "core/async/ContinueOn.h"
#include "platform/Accessibility.h"
#include "platform/Clipboard.h"
#include "platform/KeySynthesizer.h"
#include "platform/Workspace.h"

#include <QFuture>

#include <memory>
#include <utility>

TextInserter::TextInserter(Clipboard& clipboard, KeySynthesizer& keys, Workspace& workspace,
                           Accessibility& accessibility, Clock& clock, QObject* parent)
    : QObject(parent)
    , m_clipboard(clipboard)
    , m_keys(keys)
    , m_workspace(workspace)
    , m_accessibility(accessibility)
    , m_clock(clock)
{}

bool TextInserter::insert(const QString& text, const std::optional<QString>& targetBundleId, Completion completion,
                          HeldBack heldBack)
{
    const auto report = [&completion](bool delivered) {
        if (completion)
            completion(delivered);
    };
    // The program is ending: the clipboard would go with it.
    if (m_stopped) {
        report(false);
        return false;
    }
    if (!canType()) {
        clipboardOnly(text);
        report(false);
        return false;
    }
    const QString own = m_workspace.ownBundleId();
    const std::optional<QString> ownId = own.isEmpty() ? std::nullopt : std::optional<QString>(own);
    if (targetBundleId == ownId || (targetBundleId && m_workspace.runningApplications(*targetBundleId).isEmpty())) {
        // Our own window, or the application the user dictated for has gone: whatever is in
        // front now is not where the text was meant to go.
        clipboardOnly(text);
        report(false);
        return false;
    }
    m_queue.push_back(Queued{text, targetBundleId, std::move(completion), std::move(heldBack)});
    startNext();
    // Behind a text that waits for held keys, this one waits for them as well.
    if (!m_keyWaits.empty())
        tellHeldBack();
    return true;
}

bool TextInserter::Turn::end(bool delivered)
{
    if (std::exchange(ended, true))
        return false;
    if (completion)
        completion(delivered);
    return true;
}

int TextInserter::stop()
{
    m_stopped = true;
    for (const auto& [id, wait] : std::exchange(m_keyWaits, {}))
        m_clock.cancel(wait.lookAgain);
    // Taken out before any completion runs: one may give another text.
    const std::deque<Queued> queued = std::exchange(m_queue, {});
    const std::shared_ptr<Turn> turn = std::exchange(m_turn, nullptr);
    int givenUp = turn && turn->end(false) ? 1 : 0;
    for (const Queued& text : queued) {
        ++givenUp;
        if (text.completion)
            text.completion(false);
    }
    return givenUp;
}

void TextInserter::startNext()
{
    if (m_stopped || m_busy || m_queue.empty())
        return;
    m_busy = true;
    m_turnStarted = m_clock.now();
    Queued next = std::move(m_queue.front());
    m_queue.pop_front();
    m_heldBack = std::move(next.heldBack);
    // Ended once: by the text's own outcome, or by a stop before it went out.
    m_turn = std::make_shared<Turn>(Turn{std::move(next.completion)});
    next.completion = [turn = m_turn](bool delivered) { turn->end(delivered); };
    QPointer<TextInserter> self(this);
    // A key held now is most likely the talk key of the next dictation: bringing the target to
    // the front would take the window the user is speaking into away from them, and the paste
    // would go to the key's grab. The text goes once the key is let go, however long it is held.
    afterKeysLetGo([self, next = std::move(next)] {
        if (self)
            self->begin(next);
    });
}

void TextInserter::afterKeysLetGo(std::function<void()> action)
{
    Q_EMIT keyReleaseWanted();
    if (!keyHeld()) {
        action();
        return;
    }
    QPointer<TextInserter> self(this);
    waitForKeyRelease([self, action = std::move(action)]() mutable {
        if (self)
            self->afterKeysLetGo(std::move(action));
    });
}

void TextInserter::advance()
{
    m_busy = false;
    m_heldBack = nullptr;
    m_turn.reset();
    startNext();
}

void TextInserter::begin(const Queued& queued)
{
    const QString text = queued.text;
    const Completion completion = queued.completion;
    std::optional<RunningApplication> target;
    if (queued.targetBundleId) {
        const QList<RunningApplication> running = m_workspace.runningApplications(*queued.targetBundleId);
        if (running.isEmpty()) {
            // It quit while the text waited for its turn.
            clipboardOnly(text);
            if (completion)
                completion(false);
            advance();
            return;
        }
        target = running.first();
        if (!m_workspace.isActive(*target))
            m_workspace.activate(*target);
    }

    const bool accessibilityFirst =
        queued.targetBundleId && queued.targetBundleId->toLower().contains(QLatin1String("whatsapp"));
    // Read back from the application that owns it, the user's clipboard takes a few round trips
    // (many more for a picture): read now, while the target settles, it holds up nothing.
    auto early = std::make_shared<std::optional<PendingRestore>>();
    QPointer<TextInserter> self(this);
    whenReady(target, 0, [self, text, accessibilityFirst, completion, early](bool ready) {
        if (!self)
            return;
        if (!ready) {
            // Pasting now would drop the text into some other window; leave it for the user.
            self->clipboardOnly(text);
            if (completion)
                completion(false);
            if (self)
                self->advance();
            return;
        }
        const auto finish = [self, text, completion](bool delivered) {
            if (self)
                self->finish(text, delivered, completion);
        };
        if (!accessibilityFirst) {
            self->pasteWithRestore(text, restoreDelay, *early, finish);
            return;
        }
        self->axInsert(text, [self, text, finish](bool inserted) {
            if (!self)
                return;
            if (!inserted) {
                self->pasteWithRestore(text, accessibilityRestoreDelay, std::nullopt, finish);
                return;
            }
            finish(true);
            if (self)
                self->advance();
        });
    });
    if (!accessibilityFirst)
        *early = readAhead();
}

bool TextInserter::canType() const
{
    return m_accessibility.isTrusted() && m_keys.isAvailable();
}

std::optional<TextInserter::PendingRestore> TextInserter::readAhead() const
{
    // Our own text still on it from the last paste: the user's content is kept already.
    if (m_pendingRestore && m_clipboard.changeCount() == m_pendingRestore->noted)
        return std::nullopt;
    // Noted before reading, so that a change while it is read makes the paste read again.
    const quint64 noted = m_clipboard.changeCount();
    return PendingRestore{m_clipboard.snapshot(), noted};
}

void TextInserter::whenReady(std::optional<RunningApplication> target, int attempt,
                             std::function<void(bool ready)> action)
{
    if (m_stopped)
        return;
    QPointer<TextInserter> self(this);
    const bool inFront = !target || m_workspace.isActive(*target);
    // The key that stopped the recording may still be down: the paste would go to its grab.
    // Asked for before looking, so that a release right after the look is not missed.
    if (inFront)
        Q_EMIT keyReleaseWanted();
    if (inFront && keyHeld()) {
        // Waiting for a key is not waiting for the target: it costs no attempt.
        waitForKeyRelease([self, target, attempt, action = std::move(action)]() mutable {
            if (self)
                self->whenReady(std::move(target), attempt, std::move(action));
        });
        return;
    }
    if (!inFront && attempt < maxWaits) {
        m_clock.schedule(waitStep, [self, target, attempt, action = std::move(action)]() mutable {
            if (self)
                self->whenReady(std::move(target), attempt + 1, std::move(action));
        });
        return;
    }
    m_clock.schedule(settleDelay, [self, target, attempt, action = std::move(action)]() mutable {
        if (!self || self->m_stopped)
            return;
        // Right before the keys go out: a key pressed during the settle (the talk key of the next
        // dictation) would take the paste into its grab as well.
        if (self->keyHeld()) {
            self->whenReady(std::move(target), attempt, std::move(action));
            return;
        }
        // Looked at again after the settle delay: the user may have switched away meanwhile.
        action(!target || self->m_workspace.isActive(*target));
    });
}

bool TextInserter::keyHeld() const
{
    return m_keys.isKeyHeld() && m_clock.now() - m_turnStarted < keyHoldLimit;
}

void TextInserter::tellHeldBack()
{
    // Each text is told once, at the first wait it sees.
    if (const HeldBack heldBack = std::exchange(m_heldBack, nullptr))
        heldBack();
    for (Queued& queued : m_queue) {
        if (const HeldBack heldBack = std::exchange(queued.heldBack, nullptr))
            heldBack();
    }
}

void TextInserter::waitForKeyRelease(std::function<void()> resume)
{
    tellHeldBack();
    const quint64 id = ++m_lastKeyWait;
    QPointer<TextInserter> self(this);
    // Looking again after a while still ends the wait where no release is reported (the hotkey
    // engine is not running, or lost the keyboard).
    const Clock::TimerId lookAgain = m_clock.schedule(waitStep, [self, id] {
        if (self)
            self->endKeyWait(id);
    });
    m_keyWaits.emplace(id, KeyWait{lookAgain, std::move(resume)});
}

void TextInserter::endKeyWait(quint64 id)
{
    auto wait = m_keyWaits.extract(id);
    if (!wait.empty())
        wait.mapped().resume();
}

void TextInserter::keyReleased()
{
    // Taken out first: a wait that resumes into another wait adds it anew.
    std::map<quint64, KeyWait> waits = std::exchange(m_keyWaits, {});
    for (auto& [id, wait] : waits) {
        m_clock.cancel(wait.lookAgain);
        wait.resume();
    }
}

void TextInserter::axInsert(const QString& text, std::function<void(bool)> done)
{
    Accessibility* accessibility = &m_accessibility;
    continueOn(m_accessibility.focusedElement(), this, [this, accessibility, text, done](AccessibleElementPtr element) {
        if (!element || element->isSecret()) {
            done(false);
            return;
        }
        continueOn(
            accessibility->replaceSelection(element, text), this, [this, accessibility, element, text, done](bool set) {
                if (set) {
                    done(true);
                    return;
                }
                continueOn(accessibility->value(element), this,
                           [this, accessibility, element, text, done](std::optional<QString> value) {
                               // A field that already holds text is never overwritten.
                               if (!value.value_or(QString()).isEmpty()) {
                                   done(false);
                                   return;
                               }
                               continueOn(accessibility->setValue(element, text), this, [done](bool ok) { done(ok); });
                           });
            });
    });
}

void TextInserter::pasteWithRestore(const QString& text, std::chrono::milliseconds delay,
                                    const std::optional<PendingRestore>& early, std::function<void(bool pasted)> done)
{
    // Stopped while accessibility was tried first.
    if (m_stopped)
        return;
    const quint64 changes = m_clipboard.changeCount();
    ClipboardSnapshot saved;
    if (m_pendingRestore && changes == m_pendingRestore->noted)
        saved = m_pendingRestore->saved;
    else if (early && changes == early->noted)
        saved = early->saved;
    else
        saved = m_clipboard.snapshot();
    if (!saved.whole)
        Q_EMIT clipboardNotKept();
    const quint64 readsBefore = m_clipboard.readCount();
    m_clipboard.setText(text);
    const quint64 noted = m_clipboard.changeCount();
    m_pendingRestore = PendingRestore{saved, noted};
    QPointer<TextInserter> self(this);
    pressPaste([self, noted, readsBefore, delay, done = std::move(done)](bool pasted) {
        if (!self)
            return;
        if (pasted) {
            self->restoreLater(noted, readsBefore, delay);
        } else if (self->m_pendingRestore && self->m_pendingRestore->noted == noted) {
            // The text stays on the clipboard for the user to paste.
            self->m_pendingRestore.reset();
        }
        done(pasted);
        if (!pasted && self)
            self->advance();
    });
}

void TextInserter::restoreLater(quint64 noted, quint64 readsBefore, std::chrono::milliseconds delay,
                                std::chrono::milliseconds waited)
{
    QPointer<TextInserter> self(this);
    // The next text waits until then: put on the clipboard earlier, it could be what the target
    // reads for this paste.
    m_clock.schedule(delay, [self, noted, readsBefore, waited] {
        if (!self)
            return;
        // Someone put something else on the clipboard meanwhile (the user copied, or the text
        // was left there for the user): that content wins.
        const bool ours = self->m_pendingRestore && self->m_pendingRestore->noted == noted &&
                          self->m_clipboard.changeCount() == noted;
        if (ours && self->m_clipboard.readCount() == readsBefore && waited < maxReadWait) {
            self->restoreLater(noted, readsBefore, waitStep, waited + waitStep);
            return;
        }
        if (ours) {
            const ClipboardSnapshot saved = std::move(self->m_pendingRestore->saved);
            self->m_pendingRestore.reset();
            self->m_clipboard.restore(saved);
        }
        self->advance();
    });
}

void TextInserter::pressPaste(std::function<void(bool pressed)> done)
{
    const std::optional<RunningApplication> front = m_workspace.frontApplication();
    quint64 flags = KeySynthesizer::controlFlag;
    if (front && TerminalEmulators::isTerminal(front->bundleId))
        flags |= KeySynthesizer::shiftFlag;
    Q_EMIT keyReleaseWanted();
    if (m_keys.postKey(KeySynthesizer::keyV, flags, true)) {
        // The release goes out even if this inserter is gone by then: a V left held down would
        // repeat into the user's window.
        KeySynthesizer* keys = &m_keys;
        m_clock.schedule(keyUpDelay, [keys, flags] { keys->postKey(KeySynthesizer::keyV, flags, false); });
        done(true);
        return;
    }
    // A key went down since the last look (the talk key of the next dictation): the paste goes
    // once it is let go.
    if (keyHeld()) {
        QPointer<TextInserter> self(this);
        waitForKeyRelease([self, done = std::move(done)]() mutable {
            if (self)
                self->pressPaste(std::move(done));
        });
        return;
    }
    done(false);
}

void TextInserter::clipboardOnly(const QString& text)
{
    m_clipboard.setText(text);
}

void TextInserter::finish(const QString& text, bool delivered, const Completion& completion)
{
    if (completion)
        completion(delivered);
    if (delivered)
        Q_EMIT inserted(text);
}
