#pragma once

#include <string>

class CTemplateDialog;
class QLineEdit;
class QString;

// One exchange between a dialog's fields and its edit controls. Showing
// formats numbers as "%.*g" with precision 15. Taking stops at the first
// field that fails: the user is told (exclamation icon, the application
// name as caption), the focus goes to that edit and its text is selected,
// and every later call does nothing.
class CDataExchange final
{
public:
    CDataExchange(CTemplateDialog& dialog, bool saveAndValidate);

    const bool m_bSaveAndValidate;

    void Text(int id, double& value);
    void Text(int id, std::string& value);
    // Checks the value of the last exchanged field, bounds included.
    void MinMaxDouble(double value, double minimum, double maximum);
    // Reports a rule of the dialog's own on the last exchanged field.
    void FailWith(const char* message);

    bool Failed() const { return m_bFailed; }

private:
    QLineEdit* Edit(int id);
    void Fail(const QString& message);

    CTemplateDialog& m_dialog;
    QLineEdit* m_pLastEdit = nullptr;
    bool m_bFailed = false;
};
