#include "CTemplateDialog.h"

#include "CDataExchange.h"
#include "CHelpWindow.h"

#include <QKeyEvent>
#include <QMenuBar>
#include <QPushButton>
#include <QVBoxLayout>

CTemplateDialog::CTemplateDialog(int templateNumber, QWidget* parent)
    : QDialog(parent)
    , m_nTemplate(templateNumber)
    , m_layout(battsim::GetDialogTemplate(templateNumber))
{
    const battsim::DialogTemplate& dialogTemplate = battsim::GetDialogTemplate(templateNumber);
    setWindowTitle(QString::fromUtf8(dialogTemplate.caption));
    setObjectName(QStringLiteral("dialog%1").arg(templateNumber));
    setFont(m_layout.Font());

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    m_pClient = new QWidget(this);
    m_pClient->setObjectName(QStringLiteral("client"));
    m_pClient->setFixedSize(m_layout.ClientSize());
    layout->addWidget(m_pClient);
    m_layout.Build(m_pClient);

    if (auto* ok = ControlAs<QPushButton>(1))
        connect(ok, &QPushButton::clicked, this, [this] { OnOK(); });
    if (auto* cancel = ControlAs<QPushButton>(2))
        connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QWidget* CTemplateDialog::Control(int id) const
{
    return m_pClient->findChild<QWidget*>(CDialogTemplate::ObjectName(id), Qt::FindDirectChildrenOnly);
}

bool CTemplateDialog::UpdateData(bool saveAndValidate)
{
    CDataExchange dx(*this, saveAndValidate);
    DoDataExchange(dx);
    return !dx.Failed();
}

void CTemplateDialog::DoDataExchange(CDataExchange&)
{
}

void CTemplateDialog::OnInitDialog()
{
    UpdateData(false);
    for (QWidget* child : m_pClient->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (child->isEnabled() && !child->isHidden() && (child->focusPolicy() & Qt::TabFocus)) {
            child->setFocus(Qt::OtherFocusReason);
            break;
        }
    }
}

void CTemplateDialog::OnOK()
{
    if (UpdateData(true))
        accept();
}

void CTemplateDialog::SetMenuBar(QMenuBar* menuBar)
{
    static_cast<QVBoxLayout*>(layout())->setMenuBar(menuBar);
}

void CTemplateDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_bInitialised) {
        m_bInitialised = true;
        OnInitDialog();
    }
}

void CTemplateDialog::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::NoModifier) {
        CHelpWindow::ShowContext(this, kHelpContextBase + m_nTemplate);
        return;
    }
    QDialog::keyPressEvent(event);
}
