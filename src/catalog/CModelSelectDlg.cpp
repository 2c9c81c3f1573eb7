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

// The editor and the entry name their eight fields alike; this copies them
// either way.
template <class From, class To>
void CopyFields(const From& from, To& to)
{
    to.m_strName = from.m_strName;
    to.m_strDescr = from.m_strDescr;
    to.m_strModelFile = from.m_strModelFile;
    to.m_strParamFile = from.m_strParamFile;
    to.m_strOutputFile = from.m_strOutputFile;
    to.m_dIrat = from.m_dIrat;
    to.m_dEmax = from.m_dEmax;
    to.m_dEmin = from.m_dEmin;
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
    // The list, not OK, takes the keys first: the arrow keys pick a line at
    // once and Enter still presses OK.
    m_listModels->setFocus(Qt::OtherFocusReason);
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
    CopyFields(editor, *entry);
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
    CopyFields(*entry, editor);
    if (editor.DoModal() != QDialog::Accepted)
        return;
    CopyFields(editor, *entry);
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
