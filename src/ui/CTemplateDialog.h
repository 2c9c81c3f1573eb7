#pragma once

#include "CDialogTemplate.h"

#include <QDialog>

class CDataExchange;
class QMenuBar;

// A dialog built from its numbered template: controls are found by number,
// values go in when it opens and come out on OK through DoDataExchange, OK
// (control 1) accepts only when every field passes, Cancel (control 2),
// Escape and the close box reject, F1 opens the help at this dialog's topic.
class CTemplateDialog : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kHelpContextBase = 0x20000;

    CTemplateDialog(int templateNumber, QWidget* parent);

    int TemplateNumber() const { return m_nTemplate; }
    QWidget* Control(int id) const;
    template <class T>
    T* ControlAs(int id) const
    {
        return qobject_cast<T*>(Control(id));
    }

    // Moves values into the controls (false) or out of them with validation
    // (true); false when a field failed (the user has been told).
    bool UpdateData(bool saveAndValidate);

    int DoModal() { return exec(); }

protected:
    virtual void DoDataExchange(CDataExchange& dx);
    // Runs once, when the dialog first opens: shows the values and puts the
    // focus on the first control that takes it.
    virtual void OnInitDialog();
    virtual void OnOK();

    // Reserves a menu bar above the template's client area.
    void SetMenuBar(QMenuBar* menuBar);
    QWidget* ClientArea() const { return m_pClient; }
    const CDialogTemplate& Layout() const { return m_layout; }

    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int m_nTemplate;
    CDialogTemplate m_layout;
    QWidget* m_pClient = nullptr;
    bool m_bInitialised = false;
};
