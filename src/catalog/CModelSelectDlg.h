#pragma once

#include "CTemplateDialog.h"

namespace battsim {
class CBatteryModel;
class CModelCatalog;
}

class QListWidget;

// "Battary model selection" (template 130): lists the catalogue's models;
// picks one with OK, adds, edits and removes entries in memory. Line i of
// the list is always entry i of the catalogue.
class CModelSelectDlg final : public CTemplateDialog
{
    Q_OBJECT

public:
    CModelSelectDlg(QWidget* parent, battsim::CModelCatalog* catalog);

    // The entry chosen with OK; read only after the dialog ended with OK.
    battsim::CBatteryModel* m_pSelected = nullptr;

signals:
    // Emitted just before an entry is removed from the catalogue and deleted.
    void entryDeleting(const battsim::CBatteryModel* entry);

protected:
    void OnInitDialog() override;
    void OnOK() override;

private:
    void OnNewModel();
    void OnEditModel();
    void OnDeleteModel();
    int SelectedLine() const;

    battsim::CModelCatalog* m_pCatalog;
    QListWidget* m_listModels;
};
