#pragma once

#include "CTemplateDialog.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

// "Add New Battery" (template 131): the five texts of one catalogue entry,
// with a file chooser for each path, and its rated current and voltage
// limits.
class CModelEditDlg final : public CTemplateDialog
{
    Q_OBJECT

public:
    // Shows an open-file chooser; returns the full path, or empty on Cancel.
    using FileChooser = std::function<QString(QWidget* owner, const QString& title, const QString& filter)>;

    explicit CModelEditDlg(QWidget* parent = nullptr);

    std::string m_strDescr;
    std::string m_strModelFile;
    std::string m_strName;
    std::string m_strOutputFile;
    std::string m_strParamFile;
    double m_dIrat = 1.0;
    double m_dEmax = 4.2;
    double m_dEmin = 3.0;

    // "Name (pattern)#pattern#..." texts to the chooser's filter list: each
    // "#" ends a field, fields pair up as display name and pattern.
    static std::vector<std::pair<std::string, std::string>> PrepareFilter(const std::string& stored);
    static QString QtFilter(const std::string& stored);

    static void SetFileChooser(FileChooser chooser);

protected:
    void DoDataExchange(CDataExchange& dx) override;

private:
    void Browse(int editId, const char* filter, const char* title);
    void OnBrowseModelFile();
    void OnBrowseParamFile();
    void OnBrowseOutputFile();

    static FileChooser& Chooser();
};
