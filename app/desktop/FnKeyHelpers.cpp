#include "app/desktop/FnKeyHelpers.h"

#include "app/desktop/SystemSettings.h"

#include <QMessageBox>
#include <QPushButton>

namespace FnKeyHelpers {

bool fnKeyHijacksSystem()
{
    return false;
}

bool setFnKeyToNoAction()
{
    return true;
}

void fixFnKeyOneClick(ProcessLauncher& launcher, QWidget* parent)
{
    QMessageBox alert(parent);
    alert.setTextFormat(Qt::PlainText);
    if (setFnKeyToNoAction()) {
        alert.setText(QStringLiteral("已替你把「🌐 键」设为「无操作」"));
        alert.setInformativeText(QStringLiteral("已刷新系统缓存，通常立刻生效——Fn 键即可作为听写键，不再弹输入法/"
                                                "表情。若仍冲突，重启一次兜底即可。"));
        alert.addButton(QStringLiteral("好"), QMessageBox::AcceptRole);
        alert.exec();
        return;
    }
    alert.setText(QStringLiteral("自动设置未成功"));
    alert.setInformativeText(QStringLiteral("请手动打开「系统设置 → 键盘」，把「按下🌐键以」改为「无操作」。"));
    QPushButton* open = alert.addButton(QStringLiteral("打开键盘设置"), QMessageBox::AcceptRole);
    alert.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    alert.exec();
    if (alert.clickedButton() == open)
        openKeyboardSettings(launcher);
}

bool openKeyboardSettings(ProcessLauncher& launcher)
{
    return SystemSettings::open(SystemSettings::Panel::keyboard, launcher);
}

} // namespace FnKeyHelpers
