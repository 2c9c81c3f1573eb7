#include "CDataExchange.h"

#include "CMessageBox.h"
#include "CTemplateDialog.h"
#include "DataExchangeRules.h"

#include <QLineEdit>

CDataExchange::CDataExchange(CTemplateDialog& dialog, bool saveAndValidate)
    : m_bSaveAndValidate(saveAndValidate)
    , m_dialog(dialog)
{
}

QLineEdit* CDataExchange::Edit(int id)
{
    m_pLastEdit = m_dialog.ControlAs<QLineEdit>(id);
    Q_ASSERT(m_pLastEdit);
    return m_pLastEdit;
}

void CDataExchange::Text(int id, double& value)
{
    if (m_bFailed)
        return;
    QLineEdit* edit = Edit(id);
    if (!m_bSaveAndValidate) {
        edit->setText(QString::fromStdString(battsim::ShowDouble(value)));
        return;
    }
    const auto taken = battsim::TakeDouble(edit->text().toStdString());
    if (!taken) {
        Fail(QString::fromUtf8(battsim::kPromptNumber));
        return;
    }
    value = *taken;
}

void CDataExchange::Text(int id, std::string& value)
{
    if (m_bFailed)
        return;
    QLineEdit* edit = Edit(id);
    if (m_bSaveAndValidate)
        value = edit->text().toLocal8Bit().toStdString();
    else
        edit->setText(QString::fromLocal8Bit(value.c_str()));
}

void CDataExchange::MinMaxDouble(double value, double minimum, double maximum)
{
    if (m_bFailed || !m_bSaveAndValidate)
        return;
    if (value < minimum || value > maximum)
        Fail(QString::fromStdString(battsim::RangeMessage(minimum, maximum)));
}

void CDataExchange::FailWith(const char* message)
{
    if (m_bFailed || !m_bSaveAndValidate)
        return;
    Fail(QString::fromUtf8(message));
}

void CDataExchange::Fail(const QString& message)
{
    m_bFailed = true;
    CMessageBox::Framework(&m_dialog, message, QMessageBox::Warning);
    if (m_pLastEdit) {
        m_pLastEdit->setFocus(Qt::OtherFocusReason);
        m_pLastEdit->selectAll();
    }
}
