#include "app/ui/ModeCapsulePicker.h"

#include "app/ui/CapsuleButton.h"
#include "core/text/StyleMode.h"

#include <QHBoxLayout>

ModeCapsulePicker::ModeCapsulePicker(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    for (const StyleMode& mode : StyleMode::builtins()) {
        auto* capsule = new CapsuleButton(mode.name, CapsuleButton::Look::Solid, this);
        capsule->setToolTip(QStringLiteral("默认使用「%1」").arg(mode.name));
        connect(capsule, &CapsuleButton::clicked, this, [this, id = mode.id] {
            setSelection(id);
            Q_EMIT picked(id);
        });
        layout->addWidget(capsule, 0, Qt::AlignVCenter);
        m_capsules.append(capsule);
        m_ids.append(mode.id);
    }
}

void ModeCapsulePicker::setSelection(const QString& selection)
{
    m_selection = selection;
    for (int i = 0; i < m_capsules.size(); ++i)
        m_capsules[i]->setChosen(m_ids[i] == selection);
}
