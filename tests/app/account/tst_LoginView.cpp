#include "app/ui/Theme.h"
#include "tests/app/account/LoginHarness.h"
#include "tests/support/TestRegistry.h"

#include <QClipboard>
#include <QDialog>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

namespace {

QPushButton* buttonNamed(QWidget& view, const QString& text)
{
    for (QPushButton* b : view.findChildren<QPushButton*>())
        if (b->text() == text)
            return b;
    return nullptr;
}

QLineEdit* fieldFor(QWidget& view, const QString& placeholder)
{
    for (QLineEdit* f : view.findChildren<QLineEdit*>())
        if (f->placeholderText() == placeholder)
            return f;
    return nullptr;
}

bool shows(QWidget& view, QWidget* child)
{
    return child && child->isVisibleTo(&view);
}

bool showsText(QWidget& view, const QString& text)
{
    for (QLabel* l : view.findChildren<QLabel*>())
        if (l->text() == text && l->isVisibleTo(&view))
            return true;
    return false;
}

const QString kEmailField = QStringLiteral("邮箱地址");
const QString kCodeField = QStringLiteral("邮件里的 6 位验证码");
const QString kSend = QStringLiteral("发送验证码");
const QString kVerify = QStringLiteral("验证并登录");
const QString kResend = QStringLiteral("重新发送验证码");
const QString kApple = QStringLiteral("通过 Apple 登录");
const QString kGoogle = QStringLiteral("通过 Google 登录");
const QString kLater = QStringLiteral("以后再说");
const QString kCopyAddress = QStringLiteral("复制登录链接，到浏览器里打开");
const QString kNotConfigured = QStringLiteral("（登录服务未配置：Credentials.supabaseURL 为空）");

double luminance(const QColor& c)
{
    const auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

// Every visible control lies inside the sheet and no two overlap.
void expectTidyLayout(QWidget& view)
{
    QList<QWidget*> controls;
    for (QWidget* w : view.findChildren<QWidget*>()) {
        if (w->isVisibleTo(&view) && (qobject_cast<QPushButton*>(w) || qobject_cast<QLineEdit*>(w) ||
                                      (qobject_cast<QLabel*>(w) && !qobject_cast<QLabel*>(w)->text().isEmpty())))
            controls << w;
    }
    for (int i = 0; i < controls.size(); ++i) {
        const QRect a(controls[i]->mapTo(&view, QPoint()), controls[i]->size());
        QVERIFY2(view.rect().contains(a), qPrintable(controls[i]->objectName() + " outside the sheet"));
        for (int j = i + 1; j < controls.size(); ++j) {
            const QRect b(controls[j]->mapTo(&view, QPoint()), controls[j]->size());
            if (controls[j]->isAncestorOf(controls[i]) || controls[i]->isAncestorOf(controls[j]))
                continue;
            QVERIFY2(!a.intersects(b), "two controls overlap");
        }
    }
}

} // namespace

class TestLoginView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { Theme::setDark(false); }

    void everyStateInBothAppearances()
    {
        const QString dir = qEnvironmentVariable("MURMO_TEST_OUTPUT", QDir::tempPath()) + "/login-view";
        QDir().mkpath(dir);
        for (const bool dark : {false, true}) {
            Theme::setDark(dark);
            const QString appearance = dark ? "dark" : "light";
            // Main text on the sheet's ground stays readable (WCAG AA for body text).
            const double text = luminance(Theme::color(Theme::palette().text));
            const double ground = luminance(Theme::color(Theme::palette().bg));
            QVERIFY((std::max(text, ground) + 0.05) / (std::min(text, ground) + 0.05) >= 4.5);

            struct State
            {
                const char* name;
                bool configured;
                std::function<void(LoginHarness&)> setup;
                QSize size;
            };
            const QList<State> states{
                {"entry", true, [](LoginHarness&) {}, LoginView::entrySize},
                {"not-configured", false, [](LoginHarness&) {}, LoginView::entrySize},
                {"send-failed", true,
                 [](LoginHarness& h) {
                     h.service.setReply("POST", "/auth/v1/otp",
                                        FakeReply::json({{"msg", "Email rate limit exceeded, please try later"}}, 429));
                     fieldFor(*h.view, kEmailField)->setText("user@example.com");
                     buttonNamed(*h.view, kSend)->click();
                     QTRY_VERIFY_WITH_TIMEOUT(h.flow->errorText().has_value(), 20000);
                 },
                 LoginView::entrySize},
                {"code-entry", true,
                 [](LoginHarness& h) {
                     fieldFor(*h.view, kEmailField)->setText("user@example.com");
                     buttonNamed(*h.view, kSend)->click();
                     QTRY_VERIFY_WITH_TIMEOUT(h.flow->isCodeSent(), 20000);
                     fieldFor(*h.view, kCodeField)->setText("12345");
                 },
                 LoginView::codeEntrySize},
                {"code-wrong", true,
                 [](LoginHarness& h) {
                     fieldFor(*h.view, kEmailField)->setText("user@example.com");
                     buttonNamed(*h.view, kSend)->click();
                     QTRY_VERIFY_WITH_TIMEOUT(h.flow->isCodeSent(), 20000);
                     fieldFor(*h.view, kCodeField)->setText("654321");
                     buttonNamed(*h.view, kVerify)->click();
                     QTRY_VERIFY_WITH_TIMEOUT(h.flow->errorText().has_value(), 20000);
                 },
                 LoginView::codeEntrySize},
                {"busy", true,
                 [](LoginHarness& h) {
                     h.service.setReply("POST", "/auth/v1/otp", FakeReply::silent());
                     fieldFor(*h.view, kEmailField)->setText("user@example.com");
                     buttonNamed(*h.view, kSend)->click();
                     QVERIFY(h.flow->isBusy());
                 },
                 LoginView::entrySize},
                {"waiting-for-browser", true, [](LoginHarness& h) { buttonNamed(*h.view, kApple)->click(); },
                 LoginView::entrySize},
                {"browser-not-opened", true,
                 [](LoginHarness& h) {
                     h.browserOpens = false;
                     buttonNamed(*h.view, kApple)->click();
                     QTRY_VERIFY_WITH_TIMEOUT(h.flow->unopenedAddress().has_value(), 20000);
                 },
                 LoginView::entrySize},
            };
            for (const State& state : states) {
                LoginHarness h(state.configured);
                h.view->show();
                state.setup(h);
                QCOMPARE(h.view->size(), state.size);
                expectTidyLayout(*h.view);
                const QImage image = h.view->grab().toImage();
                QVERIFY(image.save(QStringLiteral("%1/%2-%3.png").arg(dir, appearance, state.name)));
                QCOMPARE(image.pixelColor(2, 2).rgb(), Theme::color(Theme::palette().bg).rgb());
            }
        }
    }

    // The sheet shows the flow's state, and its buttons act on what was typed in it.
    void theSheetFollowsTheFlow()
    {
        LoginHarness h;
        QCOMPARE(fieldFor(*h.view, kEmailField)->text(), QString());
        QVERIFY(!buttonNamed(*h.view, kSend)->isEnabled());
        fieldFor(*h.view, kEmailField)->setText("x@");
        QVERIFY(buttonNamed(*h.view, kSend)->isEnabled());
        h.service.queueReply("POST", "/auth/v1/otp", FakeReply::json({{"msg", "邮箱格式不正确"}}, 400));
        fieldFor(*h.view, kEmailField)->setText(" \tuser@example.com\t ");
        buttonNamed(*h.view, kSend)->click();
        QVERIFY(!buttonNamed(*h.view, kSend)->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(showsText(*h.view, QStringLiteral("邮箱格式不正确")), 20000);
        QCOMPARE(h.service.requests().last().json().value("email").toString(), QStringLiteral("user@example.com"));
        QCOMPARE(fieldFor(*h.view, kEmailField)->text(), QStringLiteral(" \tuser@example.com\t "));

        buttonNamed(*h.view, kSend)->click();
        QTRY_COMPARE_WITH_TIMEOUT(h.view->size(), LoginView::codeEntrySize, 20000);
        QVERIFY(!showsText(*h.view, QStringLiteral("邮箱格式不正确")));
        QVERIFY(shows(*h.view, fieldFor(*h.view, kCodeField)));
        QVERIFY(shows(*h.view, buttonNamed(*h.view, kResend)));
        QVERIFY(!shows(*h.view, buttonNamed(*h.view, kSend)));

        QLineEdit* code = fieldFor(*h.view, kCodeField);
        QPushButton* verify = buttonNamed(*h.view, kVerify);
        code->setText(" 12345\t");
        QVERIFY(!verify->isEnabled());
        code->setText("  123456 ");
        QVERIFY(verify->isEnabled());
        QSignalSpy done(h.view.get(), &LoginView::done);
        verify->click();
        QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 20000);
        QVERIFY(h.session->isLoggedIn());
    }

    void webSignInShowsItsWaitingRow()
    {
        LoginHarness h;
        buttonNamed(*h.view, kApple)->click();
        QCOMPARE(h.opened.size(), 1);
        QVERIFY(shows(*h.view, buttonNamed(*h.view, QStringLiteral("取消"))));
        QVERIFY(showsText(*h.view, QStringLiteral("请在浏览器中完成登录…")));
        QVERIFY(!shows(*h.view, buttonNamed(*h.view, kApple)));
        buttonNamed(*h.view, QStringLiteral("取消"))->click();
        QVERIFY(!h.flow->isWebSignInPending());
        QVERIFY(shows(*h.view, buttonNamed(*h.view, kGoogle)));

        QVERIFY(!shows(*h.view, buttonNamed(*h.view, kCopyAddress)));
    }

    // Where nothing could open the browser the sheet says so (and not that the browser has the
    // sign-in), the address can be copied, and giving up takes the error away.
    void aBrowserThatDidNotOpenLeavesTheAddressToCopy()
    {
        LoginHarness h;
        h.browserOpens = false;
        for (int attempt = 0; attempt < 2; ++attempt) {
            buttonNamed(*h.view, kGoogle)->click();
            QTRY_VERIFY_WITH_TIMEOUT(showsText(*h.view, QStringLiteral("无法打开浏览器")), 20000);
            QVERIFY(!showsText(*h.view, QStringLiteral("请在浏览器中完成登录…")));
            QPushButton* copy = buttonNamed(*h.view, kCopyAddress);
            QVERIFY(shows(*h.view, copy));
            QGuiApplication::clipboard()->clear();
            copy->click();
            QCOMPARE(QUrl(QGuiApplication::clipboard()->text()), h.opened.last());
            QCOMPARE(copy->text(), QStringLiteral("已复制"));
            buttonNamed(*h.view, QStringLiteral("取消"))->click();
            QVERIFY(shows(*h.view, buttonNamed(*h.view, kGoogle)));
            QVERIFY(!showsText(*h.view, QStringLiteral("无法打开浏览器")));
        }
    }

    // Every presentation starts empty, whatever the flow was left at by the one before.
    void aNewSheetStartsEmpty()
    {
        LoginHarness h;
        fieldFor(*h.view, kEmailField)->setText("user@example.com");
        buttonNamed(*h.view, kSend)->click();
        QTRY_COMPARE_WITH_TIMEOUT(h.view->size(), LoginView::codeEntrySize, 20000);
        h.view = std::make_unique<LoginView>(*h.flow, true);
        QCOMPARE(h.view->size(), LoginView::entrySize);
        QCOMPARE(fieldFor(*h.view, kEmailField)->text(), QString());
        QVERIFY(!shows(*h.view, fieldFor(*h.view, kCodeField)));
    }

    void returnInAFieldStartsNothing()
    {
        LoginHarness h;
        QDialog dialog;
        auto* layout = new QVBoxLayout(&dialog);
        h.view->setParent(&dialog);
        layout->addWidget(h.view.get());
        dialog.show();
        QLineEdit* email = fieldFor(*h.view, kEmailField);
        email->setFocus();
        QTest::keyClicks(email, "user@example.com");
        QTest::keyClick(email, Qt::Key_Return);
        QTest::keyClick(email, Qt::Key_Enter);
        // A press that reached a button would have started its step, or opened the browser, at once.
        QVERIFY(!h.flow->isBusy());
        QVERIFY(h.opened.isEmpty());
        QVERIFY(dialog.isVisible());
        for (QPushButton* b : h.view->findChildren<QPushButton*>())
            QVERIFY(!b->isDefault() && !b->autoDefault());
        h.view->setParent(nullptr);
    }

    void withoutConfigurationOnlyTheNoteShows()
    {
        LoginHarness h(false);
        QVERIFY(showsText(*h.view, kNotConfigured));
        QVERIFY(!buttonNamed(*h.view, kApple)->isEnabled());
        QVERIFY(!buttonNamed(*h.view, kGoogle)->isEnabled());
        LoginHarness configured;
        QVERIFY(!showsText(*configured.view, kNotConfigured));
        QVERIFY(buttonNamed(*configured.view, kApple)->isEnabled());
    }

    void laterLinkOnlyWhenOffered()
    {
        LoginHarness without(true, false);
        QVERIFY(!buttonNamed(*without.view, kLater));
        LoginHarness with(true, true);
        QSignalSpy cancelled(with.view.get(), &LoginView::cancelled);
        buttonNamed(*with.view, kLater)->click();
        QCOMPARE(cancelled.count(), 1);
    }
};

MURMO_TEST(TestLoginView)
#include "tst_LoginView.moc"
