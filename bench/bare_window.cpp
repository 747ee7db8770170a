// The baseline the launch benchmarks measure murmo against: a Qt Widgets program that loads the
// same Qt modules and opens one window, and does nothing else. With --typeset the window is a
// line of Chinese in each size and weight of type the main window shows at start: what any
// window of this design pays for its fonts before it is on screen.

#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>

namespace {

void typeset(QWidget& window)
{
    const struct
    {
        int pixels;
        QFont::Weight weight;
        QString text;
    } lines[] = {{12, QFont::Normal, QStringLiteral("按 Menu 听写，再按一下出字")},
                 {12, QFont::DemiBold, QStringLiteral("全部 听写 翻译 提问 改写")},
                 {17, QFont::DemiBold, QStringLiteral("Murmo")},
                 {13, QFont::Normal, QStringLiteral("说话，即成文")},
                 {11, QFont::Normal, QStringLiteral("词库已记住 0 条")},
                 {16, QFont::DemiBold, QStringLiteral("说句话试试")}};
    auto* column = new QVBoxLayout(&window);
    for (const auto& line : lines) {
        auto* label = new QLabel(line.text);
        QFont font = QGuiApplication::font();
        font.setPixelSize(line.pixels);
        font.setWeight(line.weight);
        label->setFont(font);
        column->addWidget(label);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QLabel window(QStringLiteral("Murmo"));
    if (application.arguments().contains(QStringLiteral("--typeset"))) {
        window.clear();
        typeset(window);
    }
    window.setWindowTitle(QStringLiteral("bare"));
    window.resize(780, 560);
    window.show();
    return application.exec();
}
