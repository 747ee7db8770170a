#include "app/ui/MurmoCardModifier.h"
#include "app/ui/Theme.h"
#include "app/ui/ThemeAppearance.h"
#include "tests/support/FakeAppearance.h"
#include "tests/support/TestRegistry.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

class TestTheme : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        Theme::setPalette(ThemePalette::xuan());
        Theme::setDark(false);
        QApplication::setPalette(QPalette());
    }

    void builtInSkinsInPickerOrder()
    {
        QStringList ids;
        QStringList names;
        for (const ThemePalette& p : ThemePalette::all()) {
            ids << p.id;
            names << p.name;
        }
        QCOMPARE(ids, QStringList({"native", "xuan", "celadon", "zhupi"}));
        QCOMPARE(names, QStringList({"跟随系统", "宣纸", "青瓷", "朱批"}));
    }

    void byId_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("expected");
        QTest::newRow("native") << "native"
                                << "native";
        QTest::newRow("celadon") << "celadon"
                                 << "celadon";
        QTest::newRow("zhupi") << "zhupi"
                               << "zhupi";
        QTest::newRow("xuan") << "xuan"
                              << "xuan";
        QTest::newRow("empty") << ""
                               << "xuan";
        QTest::newRow("other case") << "Xuan"
                                    << "xuan";
        QTest::newRow("other case native") << "NATIVE"
                                           << "xuan";
        QTest::newRow("unknown") << "midnight"
                                 << "xuan";
        QTest::newRow("padded") << " native"
                                << "xuan";
    }
    void byId()
    {
        QFETCH(QString, id);
        QFETCH(QString, expected);
        QCOMPARE(ThemePalette::byId(id).id, expected);
    }

    void currentSkinStartsAsXuan() { QCOMPARE(Theme::palette().id, QStringLiteral("xuan")); }

    void pairsResolvePerAppearance_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::addColumn<QString>("role");
        QTest::addColumn<QString>("light");
        QTest::addColumn<QString>("dark");
        QTest::addColumn<double>("lightAlpha");
        QTest::addColumn<double>("darkAlpha");
        QTest::newRow("xuan bg") << "xuan"
                                 << "bg"
                                 << "#f4f1ea"
                                 << "#211d18" << 1.0 << 1.0;
        QTest::newRow("celadon bgCard") << "celadon"
                                        << "bgCard"
                                        << "#f8fbfa"
                                        << "#1c2a2b" << 1.0 << 1.0;
        QTest::newRow("zhupi bgSub darker than bg") << "zhupi"
                                                    << "bgSub"
                                                    << "#edeae4"
                                                    << "#0f0c0a" << 1.0 << 1.0;
        QTest::newRow("zhupi accent") << "zhupi"
                                      << "accent"
                                      << "#be452d"
                                      << "#e2684a" << 1.0 << 1.0;
        QTest::newRow("xuan onAccent is bg.dark") << "xuan"
                                                  << "onAccent"
                                                  << "#ffffff"
                                                  << "#211d18" << 1.0 << 1.0;
        QTest::newRow("native onAccent white") << "native"
                                               << "onAccent"
                                               << "#ffffff"
                                               << "#ffffff" << 1.0 << 1.0;
        QTest::newRow("native hairline") << "native"
                                         << "hairline"
                                         << "#000000"
                                         << "#ffffff" << 0.06 << 0.12;
        QTest::newRow("celadon hairline") << "celadon"
                                          << "hairline"
                                          << "#16302b"
                                          << "#dcf2ec" << 0.07 << 0.10;
        QTest::newRow("shared gold") << "celadon"
                                     << "gold"
                                     << "#b87400"
                                     << "#f2ae0a" << 1.0 << 1.0;
        QTest::newRow("shared tealBright") << "zhupi"
                                           << "tealBright"
                                           << "#1abfab"
                                           << "#73ebd6" << 1.0 << 1.0;
        QTest::newRow("shared violet") << "native"
                                       << "violet"
                                       << "#6e54de"
                                       << "#a891fc" << 1.0 << 1.0;
        QTest::newRow("xuan red") << "xuan"
                                  << "red"
                                  << "#c97070"
                                  << "#d98e8e" << 1.0 << 1.0;
    }
    void pairsResolvePerAppearance()
    {
        QFETCH(QString, skin);
        QFETCH(QString, role);
        QFETCH(QString, light);
        QFETCH(QString, dark);
        QFETCH(double, lightAlpha);
        QFETCH(double, darkAlpha);
        const ThemePalette& p = ThemePalette::byId(skin);
        const QMap<QString, ColorPair> roles{
            {"bg", p.bg},         {"bgCard", p.bgCard},         {"bgSub", p.bgSub},
            {"accent", p.accent}, {"onAccent", p.onAccent},     {"hairline", p.hairline},
            {"gold", p.gold},     {"tealBright", p.tealBright}, {"violet", p.violet},
            {"red", p.red}};
        const ColorPair pair = roles.value(role);
        QVERIFY(!pair.isSemantic());
        // The same pair answers differently as the appearance flips; the skin is not set again.
        Theme::setPalette(p);
        Theme::setDark(false);
        QCOMPARE(Theme::color(pair).name(), light);
        QVERIFY(qAbs(Theme::color(pair).alphaF() - lightAlpha) < 0.001);
        Theme::setDark(true);
        QCOMPARE(Theme::color(pair).name(), dark);
        QVERIFY(qAbs(Theme::color(pair).alphaF() - darkAlpha) < 0.001);
    }

    void softAccentOpacities_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::addColumn<double>("light");
        QTest::addColumn<double>("dark");
        QTest::newRow("xuan") << "xuan" << 0.13 << 0.20;
        QTest::newRow("celadon") << "celadon" << 0.14 << 0.18;
        QTest::newRow("zhupi") << "zhupi" << 0.12 << 0.22;
    }
    void softAccentOpacities()
    {
        QFETCH(QString, skin);
        QFETCH(double, light);
        QFETCH(double, dark);
        Theme::setPalette(ThemePalette::byId(skin));
        Theme::setDark(false);
        QVERIFY(qAbs(Theme::softAccent().alphaF() - light) < 0.005);
        Theme::setDark(true);
        QVERIFY(qAbs(Theme::softAccent().alphaF() - dark) < 0.005);
    }

    void nativeFollowsTheDesktopPaletteOfItsAppearance_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<bool>("dark");
        QTest::addColumn<QString>("text");
        // The desktop's text colour where its palette is of the appearance in force; plain black
        // or white where it is not (a dark desktop behind Qt's light palette).
        QTest::newRow("light palette, light") << "#efefef" << false << "#123456";
        QTest::newRow("light palette, dark") << "#efefef" << true << "#ffffff";
        QTest::newRow("dark palette, dark") << "#2a2a2a" << true << "#123456";
        QTest::newRow("dark palette, light") << "#2a2a2a" << false << "#000000";
    }
    void nativeFollowsTheDesktopPaletteOfItsAppearance()
    {
        QFETCH(QString, window);
        QFETCH(bool, dark);
        QFETCH(QString, text);
        QPalette desktop;
        desktop.setColor(QPalette::Window, QColor(window));
        desktop.setColor(QPalette::WindowText, QColor("#123456"));
        desktop.setColor(QPalette::Highlight, QColor("#ff8800"));
        QApplication::setPalette(desktop);
        const ThemePalette& native = ThemePalette::native();
        QVERIFY(native.text.isSemantic());
        QVERIFY(native.accent.isSemantic());
        Theme::setDark(dark);
        QCOMPARE(Theme::color(native.text).name(), text);
        QCOMPARE(native.accent.color(dark).name(), QStringLiteral("#ff8800"));
        // The dimmer text roles are the same ink, fainter.
        QCOMPARE(native.textDim.color(dark).name(), text);
        QVERIFY(native.textDim.color(dark).alphaF() < 1.0f);
        QVERIFY(native.textFaint.color(dark).alphaF() < native.textDim.color(dark).alphaF());
    }

    void semanticPairKeepsLightOpacityInBothAppearances()
    {
        const ColorPair accent = ThemePalette::native().accent;
        QVERIFY(qAbs(accent.color(0.3, 0.8, false).alphaF() - 0.3) < 0.005);
        QVERIFY(qAbs(accent.color(0.3, 0.8, true).alphaF() - 0.3) < 0.005);
        const ColorPair plain = ThemePalette::xuan().accent;
        QVERIFY(qAbs(plain.color(0.3, 0.8, true).alphaF() - 0.8) < 0.005);
        QCOMPARE(plain.color(0.3, 0.8, true).name(), QStringLiteral("#c99b72"));
    }

    void mixed_data()
    {
        QTest::addColumn<QColor>("from");
        QTest::addColumn<QColor>("to");
        QTest::addColumn<double>("t");
        QTest::addColumn<QColor>("expected");
        QTest::newRow("half grey") << QColor(Qt::black) << QColor(Qt::white) << 0.5
                                   << QColor::fromRgbF(0.5, 0.5, 0.5, 1);
        QTest::newRow("below zero keeps from") << QColor("#336699") << QColor(Qt::white) << -1.0 << QColor("#336699");
        QTest::newRow("above one gives to") << QColor("#336699") << QColor("#ff0000") << 2.0 << QColor("#ff0000");
        QTest::newRow("exactly one gives to") << QColor("#336699") << QColor("#ff0000") << 1.0 << QColor("#ff0000");
        QTest::newRow("alpha blends too")
            << QColor::fromRgbF(1, 0, 0, 0) << QColor::fromRgbF(1, 0, 0, 1) << 0.25 << QColor::fromRgbF(1, 0, 0, 0.25);
        QTest::newRow("invalid is transparent black")
            << QColor() << QColor::fromRgbF(1, 1, 1, 1) << 0.5 << QColor::fromRgbF(0.5, 0.5, 0.5, 0.5);
    }
    void mixed()
    {
        QFETCH(QColor, from);
        QFETCH(QColor, to);
        QFETCH(double, t);
        QFETCH(QColor, expected);
        const QColor result = Theme::mixed(from, to, t);
        QVERIFY2(qAbs(result.redF() - expected.redF()) < 0.002 && qAbs(result.greenF() - expected.greenF()) < 0.002 &&
                     qAbs(result.blueF() - expected.blueF()) < 0.002 &&
                     qAbs(result.alphaF() - expected.alphaF()) < 0.002,
                 qPrintable(result.name(QColor::HexArgb)));
    }

    void glassRimStops()
    {
        const QLinearGradient rim = Theme::glassRim(QRectF(10, 20, 100, 40));
        QCOMPARE(rim.start(), QPointF(60, 20));
        QCOMPARE(rim.finalStop(), QPointF(60, 60));
        const QGradientStops stops = rim.stops();
        QCOMPARE(stops.size(), 3);
        QCOMPARE(stops[0].first, 0.0);
        QVERIFY(qAbs(stops[0].second.alphaF() - 0.55) < 0.005);
        QCOMPARE(stops[1].first, 0.5);
        QVERIFY(qAbs(stops[1].second.alphaF() - 0.12) < 0.005);
        QCOMPARE(stops[2].first, 1.0);
        QVERIFY(qAbs(stops[2].second.alphaF() - 0.04) < 0.005);
    }

    void translateSymbolIsShipped() { QCOMPARE(Theme::translateIcon(), QStringLiteral("translate")); }

    void cardSolidity_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::addColumn<bool>("solidLight");
        QTest::addColumn<bool>("solidDark");
        QTest::newRow("native") << "native" << false << false;
        QTest::newRow("xuan") << "xuan" << true << true;
        QTest::newRow("celadon") << "celadon" << false << true;
        QTest::newRow("zhupi") << "zhupi" << false << true;
    }
    void cardSolidity()
    {
        QFETCH(QString, skin);
        QFETCH(bool, solidLight);
        QFETCH(bool, solidDark);
        Theme::setPalette(ThemePalette::byId(skin));
        QCOMPARE(MurmoCardModifier(false).solid(), solidLight);
        QCOMPARE(MurmoCardModifier(true).solid(), solidDark);

        // A solid card covers what lies under it; a see-through one lets some of it show.
        for (bool dark : {false, true}) {
            QImage image(60, 60, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            QPainter painter(&image);
            MurmoCardModifier(dark).paint(painter, QRectF(0, 0, 60, 60));
            painter.end();
            const int alpha = qAlpha(image.pixel(30, 30));
            QCOMPARE(alpha == 255, dark ? solidDark : solidLight);
            QVERIFY(alpha > 150);
        }
        QCOMPARE(MurmoCardModifier::contentMargins(), QMargins(16, 14, 16, 14));
    }

    void appearanceChangesReachTheTheme()
    {
        FakeAppearance appearance(true);
        ThemeAppearance follower(appearance);
        QVERIFY(Theme::isDark());
        QSignalSpy changed(&follower, &ThemeAppearance::changed);
        appearance.setDark(false);
        QVERIFY(!Theme::isDark());
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toBool(), false);
        appearance.setDark(true);
        QVERIFY(Theme::isDark());
        QCOMPARE(changed.count(), 2);
        QCOMPARE(Theme::color(ThemePalette::xuan().bg).name(), QStringLiteral("#211d18"));
    }
};

MURMO_TEST(TestTheme)
#include "tst_Theme.moc"
