#include "app/controller/HotkeyRole.h"
#include "app/settings/editors/AppRulesEditor.h"
#include "app/settings/editors/CustomPrefsEditor.h"
#include "app/settings/editors/HotkeyCaptureSession.h"
#include "app/settings/editors/HotkeyRecorderView.h"
#include "app/settings/editors/LexiconEditor.h"
#include "app/settings/editors/LexiconImportButton.h"
#include "app/settings/editors/RecentForeignApplication.h"
#include "app/settings/editors/StyleProfileView.h"
#include "app/ui/Theme.h"
#include "platform/KeyEvent.h"
#include "tests/app/settings_editors/EditorRig.h"
#include "tests/support/TestRegistry.h"

#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyleOptionFrame>
#include <QTest>
#include <QVBoxLayout>

#include <functional>

namespace {

constexpr int kWidth = 560;

QString outputDir()
{
    const QString dir = qEnvironmentVariable("MURMO_TEST_OUTPUT", QDir::tempPath() + "/murmo-test-output") +
                        QStringLiteral("/settings-editors");
    QDir().mkpath(dir);
    return dir;
}

// The editor on a card of the skin, the way a settings section shows it.
class Card : public QWidget
{
public:
    explicit Card(QWidget* editor)
    {
        QPalette colours = palette();
        colours.setColor(QPalette::Window, Theme::color(Theme::palette().bgCard));
        colours.setColor(QPalette::WindowText, Theme::color(Theme::palette().text));
        colours.setColor(QPalette::Text, Theme::color(Theme::palette().text));
        colours.setColor(QPalette::Base, Theme::color(Theme::palette().bgSub));
        setPalette(colours);
        setAutoFillBackground(true);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(14, 10, 14, 10);
        layout->addWidget(editor);
        resize(kWidth, sizeHint().height());
    }
};

using Fill = std::function<void(EditorRig&)>;
using Build = std::function<QWidget*(EditorRig&)>;

struct Editor
{
    const char* name;
    Fill content;
    Build build;
};

} // namespace

class TestEditorRenders : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { Theme::setDark(false); }

    void renders()
    {
        std::unique_ptr<HotkeyCaptureSession> session;
        std::unique_ptr<RecentForeignApplication> recent;
        const QList<Editor> editors{
            {"hotkeys",
             [](EditorRig& rig) {
                 rig.settings().setHotkey(SettingKey::hkTalk, Hotkey{KeyCode::menu, 0, true});
                 rig.settings().setHotkey(SettingKey::hkAsk, Hotkey{49, KeyModifier::control, false});
             },
             [&](EditorRig& rig) -> QWidget* {
                 session = std::make_unique<HotkeyCaptureSession>(rig.app.hotkeys());
                 auto* box = new QWidget;
                 auto* layout = new QVBoxLayout(box);
                 layout->setContentsMargins(0, 0, 0, 0);
                 layout->addWidget(new HotkeyRecorderView(rig.settings(), *session, *HotkeyRole::byId("talk")));
                 layout->addWidget(new HotkeyRecorderView(rig.settings(), *session, *HotkeyRole::byId("ask")));
                 auto* translate = new HotkeyRecorderView(rig.settings(), *session, *HotkeyRole::byId("translate"));
                 layout->addWidget(translate);
                 translate->findChild<QPushButton*>(QStringLiteral("capture"))->click();
                 return box;
             }},
            {"custom-rules",
             [](EditorRig& rig) {
                 rig.settings().setValue(SettingKey::prefCustomNotes,
                                         QStringLiteral("英文术语保留原文\n列表项用「-」开头"));
             },
             [](EditorRig& rig) -> QWidget* {
                 auto* editor = new CustomPrefsEditor(rig.state(), rig.app.customRules());
                 // A rule being typed, in Chinese, on one line.
                 editor->findChild<QPlainTextEdit*>()->setPlainText(QStringLiteral("数字一律用阿拉伯数字"));
                 return editor;
             }},
            {"app-rules",
             [](EditorRig& rig) {
                 rig.settings().setAppModeRules({{QStringLiteral("org.telegram.desktop"), QStringLiteral("casual")},
                                                 {QStringLiteral("libreoffice-writer"), QStringLiteral("formal")}});
             },
             [&](EditorRig& rig) -> QWidget* {
                 recent = std::make_unique<RecentForeignApplication>(rig.fake.workspace);
                 return new AppRulesEditor(rig.state(), rig.settings(), *recent);
             }},
            {"style-profile",
             [](EditorRig& rig) {
                 StyleProfile::Snapshot snapshot;
                 snapshot.profileText = QStringLiteral("偏好短句；技术词保留英文；列表用「-」开头，不用句号收尾。");
                 snapshot.samples = {{QStringLiteral("a"), QStringLiteral("b")}};
                 snapshot.updatedAt = QDateTime(QDate(2026, 12, 1), QTime(9, 30), Qt::UTC);
                 QFile file(rig.app.styleProfile().filePath());
                 if (file.open(QIODevice::WriteOnly))
                     file.write(StyleProfile::encode(snapshot));
             },
             [](EditorRig& rig) -> QWidget* {
                 // Opened again so the view reads the file written above.
                 auto* profile = new StyleProfile(rig.fake.dataDirectory());
                 auto* view = new StyleProfileView(rig.state(), *profile, {});
                 profile->setParent(view);
                 return view;
             }},
            {"lexicon",
             [](EditorRig& rig) {
                 rig.app.lexicon()->addRule(QStringLiteral("扣德"), QStringLiteral("code"), "user_added");
                 rig.app.lexicon()->addRule(QStringLiteral("派森"), QStringLiteral("Python"), "user_added");
             },
             [](EditorRig& rig) -> QWidget* {
                 auto* box = new QWidget;
                 auto* layout = new QVBoxLayout(box);
                 layout->setContentsMargins(0, 0, 0, 0);
                 auto* editor = new LexiconEditor(rig.state(), *rig.app.lexicon());
                 layout->addWidget(editor);
                 // The rows are built on a worker.
                 if (!QTest::qWaitFor(
                         [&] { return editor->list()->model()->rowCount() == rig.app.lexicon()->ruleCount(); }))
                     QTest::qFail("the rules never showed", __FILE__, __LINE__);
                 layout->addWidget(
                     new LexiconImportButton(rig.state(), rig.app.lexicon(), [](QWidget*) { return QString(); }));
                 return box;
             }},
        };

        for (const Editor& editor : editors) {
            for (const bool withContent : {true, false}) {
                for (const bool dark : {false, true}) {
                    Theme::setDark(dark);
                    EditorRig rig;
                    if (withContent)
                        editor.content(rig);
                    Card card(editor.build(rig));
                    card.show();
                    const QString name =
                        QStringLiteral("%1/%2-%3-%4.png")
                            .arg(outputDir(), editor.name, withContent ? "content" : "empty", dark ? "dark" : "light");
                    const QImage image = card.grab().toImage();
                    QVERIFY(image.save(name));
                    // Every control fits the card's width, a field's hint is whole, and a field of a
                    // line or few shows no scroll bar.
                    for (const QWidget* control : card.findChildren<QWidget*>()) {
                        if (!control->isVisible())
                            continue;
                        QVERIFY2(control->mapTo(&card, QPoint(control->width(), 0)).x() <= card.width(),
                                 qPrintable(name + " " + control->objectName()));
                        if (const auto* field = qobject_cast<const QLineEdit*>(control)) {
                            QStyleOptionFrame option;
                            option.initFrom(field);
                            const QRect text =
                                field->style()->subElementRect(QStyle::SE_LineEditContents, &option, field);
                            QVERIFY2(field->fontMetrics().horizontalAdvance(field->placeholderText()) <=
                                         text.width() - 4,
                                     qPrintable(name + " hint cut: " + field->placeholderText()));
                        }
                        if (const auto* field = qobject_cast<const QPlainTextEdit*>(control))
                            QVERIFY2(!field->verticalScrollBar()->isVisible(), qPrintable(name + " scroll bar"));
                    }
                    session.reset();
                    recent.reset();
                }
            }
        }
    }
};

MURMO_TEST(TestEditorRenders)
#include "tst_EditorRenders.moc"
