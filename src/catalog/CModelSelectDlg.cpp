#include "CModelSelectDlg.h"

#include "CModelEditDlg.h"
#include "ModelCatalog.h"

#include <QListWidget>
#include <QPushButton>

#include <memory>

using battsim::CBatteryModel;

namespace {

QString LineText(const CBatteryModel& entry)
{
    return QString::fromLocal8Bit(entry.m_strName.c_str());
}

void CopyToEditor(const CBatteryModel& entry, CModelEditDlg& editor)
{
    editor.m_strName = entry.m_strName;
    editor.m_strDescr = entry.m_strDescr;
    editor.m_strModelFile = entry.m_strModelFile;
    editor.m_strParamFile = entry.m_strParamFile;
    editor.m_strOutputFile = entry.m_strOutputFile;
    editor.m_dIrat = entry.m_dIrat;
    editor.m_dEmax = entry.m_dEmax;
    editor.m_dEmin = entry.m_dEmin;
}

void CopyFromEditor(const CModelEditDlg& editor, CBatteryModel& entry)
{
    entry.m_strName = editor.m_strName;
    entry.m_strDescr = editor.m_strDescr;
    entry.m_strModelFile = editor.m_strModelFile;
    entry.m_strParamFile = editor.m_strParamFile;
    entry.m_strOutputFile = editor.m_strOutputFile;
    entry.m_dIrat = editor.m_dIrat;
    entry.m_dEmax = editor.m_dEmax;
    entry.m_dEmin = editor.m_dEmin;
}

} // namespace

CModelSelectDlg::CModelSelectDlg(QWidget* parent, battsim::CModelCatalog* catalog)
    : CTemplateDialog(battsim::IDD_MODEL_SELECT, parent)
    , m_pCatalog(catalog)
    , m_listModels(ControlAs<QListWidget>(1000))
{
    connect(ControlAs<QPushButton>(3), &QPushButton::clicked, this, &CModelSelectDlg::OnNewModel);
    connect(ControlAs<QPushButton>(4), &QPushButton::clicked, this, &CModelSelectDlg::OnEditModel);
    connect(ControlAs<QPushButton>(5), &QPushButton::clicked, this, &CModelSelectDlg::OnDeleteModel);
}

void CModelSelectDlg::OnInitDialog()
{
    for (std::size_t i = 0; i < m_pCatalog->GetCount(); ++i)
        m_listModels->addItem(LineText(*m_pCatalog->GetAt(i)));
    CTemplateDialog::OnInitDialog();
}

int CModelSelectDlg::SelectedLine() const
{
    const QList<QListWidgetItem*> selected = m_listModels->selectedItems();
    return selected.isEmpty() ? -1 : m_listModels->row(selected.front());
}

void CModelSelectDlg::OnOK()
{
    const int line = SelectedLine();
    if (line < 0)
        return;
    m_pSelected = m_pCatalog->GetAt(static_cast<std::size_t>(line));
    accept();
}

void CModelSelectDlg::OnNewModel()
{
    CModelEditDlg editor(this);
    if (editor.DoModal() != QDialog::Accepted)
        return;
    auto entry = std::make_unique<CBatteryModel>();
    CopyFromEditor(editor, *entry);
    const CBatteryModel* added = m_pCatalog->AddTail(std::move(entry));
    m_listModels->addItem(LineText(*added));
}

void CModelSelectDlg::OnEditModel()
{
    const int line = SelectedLine();
    if (line < 0)
        return;
    CBatteryModel* entry = m_pCatalog->GetAt(static_cast<std::size_t>(line));
    CModelEditDlg editor(this);
    CopyToEditor(*entry, editor);
    if (editor.DoModal() != QDialog::Accepted)
        return;
    CopyFromEditor(editor, *entry);
    std::unique_ptr<QListWidgetItem>(m_listModels->takeItem(line)).reset();
    m_listModels->insertItem(line, LineText(*entry));
    m_listModels->clearSelection();
    m_listModels->setCurrentRow(-1);
}

void CModelSelectDlg::OnDeleteModel()
{
    const int line = SelectedLine();
    if (line < 0)
        return;
    std::unique_ptr<QListWidgetItem>(m_listModels->takeItem(line)).reset();
    emit entryDeleting(m_pCatalog->GetAt(static_cast<std::size_t>(line)));
    m_pCatalog->RemoveAt(static_cast<std::size_t>(line));
    m_listModels->clearSelection();
}
