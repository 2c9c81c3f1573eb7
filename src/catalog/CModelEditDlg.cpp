#include "CModelEditDlg.h"

#include "CDataExchange.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr const char* kCircuitFilter = "Circuit file (*.CIR)#*.CIR#All files (*.*)#*.*#";
constexpr const char* kParamFilter = "Parameter file (*.CIR)#*.CIR#All files (*.*)#*.*#";
constexpr const char* kOutputFilter = "Output file (*.FIG)#*.FIG#All files (*.*)#*.*#";

QString ChooseWithDialog(QWidget* owner, const QString& title, const QString& filter)
{
    return QFileDialog::getOpenFileName(owner, title, QString(), filter);
}

} // namespace

CModelEditDlg::CModelEditDlg(QWidget* parent)
    : CTemplateDialog(battsim::IDD_MODEL_EDIT, parent)
{
    connect(ControlAs<QPushButton>(1010), &QPushButton::clicked, this, &CModelEditDlg::OnBrowseModelFile);
    connect(ControlAs<QPushButton>(1011), &QPushButton::clicked, this, &CModelEditDlg::OnBrowseParamFile);
    connect(ControlAs<QPushButton>(1012), &QPushButton::clicked, this, &CModelEditDlg::OnBrowseOutputFile);
}

void CModelEditDlg::DoDataExchange(CDataExchange& dx)
{
    dx.Text(1004, m_strDescr);
    dx.Text(1006, m_strModelFile);
    dx.Text(1003, m_strName);
    dx.Text(1008, m_strOutputFile);
    dx.Text(1007, m_strParamFile);
    dx.Text(1020, m_dIrat);
    dx.MinMaxDouble(m_dIrat, -1e6, 1e6);
    dx.Text(1021, m_dEmax);
    dx.MinMaxDouble(m_dEmax, 0.0, 1e7);
    dx.Text(1022, m_dEmin);
    dx.MinMaxDouble(m_dEmin, 0.0, 1e7);
    if (dx.m_bSaveAndValidate && !dx.Failed() && !(m_dEmin < m_dEmax))
        dx.FailWith("The minimum voltage must be below the maximum voltage.");
}

std::vector<std::pair<std::string, std::string>> CModelEditDlg::PrepareFilter(const std::string& stored)
{
    std::vector<std::string> fields;
    std::string field;
    for (const char c : stored) {
        if (c == '#') {
            fields.push_back(field);
            field.clear();
        } else {
            field += c;
        }
    }
    std::vector<std::pair<std::string, std::string>> filters;
    for (std::size_t i = 0; i + 1 < fields.size(); i += 2) {
        if (fields[i].empty())
            break;
        filters.emplace_back(fields[i], fields[i + 1]);
    }
    return filters;
}

QString CModelEditDlg::QtFilter(const std::string& stored)
{
    QStringList entries;
    for (const auto& [display, pattern] : PrepareFilter(stored)) {
        const QString name = QString::fromStdString(display);
        // The chooser takes the patterns from the parentheses of each entry.
        entries << (name.contains(QLatin1Char('(')) ? name : name + QStringLiteral(" (%1)").arg(QString::fromStdString(pattern)));
    }
    return entries.join(QStringLiteral(";;"));
}

CModelEditDlg::FileChooser& CModelEditDlg::Chooser()
{
    static FileChooser chooser = ChooseWithDialog;
    return chooser;
}

void CModelEditDlg::SetFileChooser(FileChooser chooser)
{
    Chooser() = chooser ? std::move(chooser) : FileChooser(ChooseWithDialog);
}

void CModelEditDlg::Browse(int editId, const char* filter, const char* title)
{
    const QString path = Chooser()(this, QString::fromUtf8(title), QtFilter(filter));
    if (!path.isEmpty())
        ControlAs<QLineEdit>(editId)->setText(path);
}

void CModelEditDlg::OnBrowseModelFile()
{
    Browse(1006, kCircuitFilter, "Select a model circuit file");
}

void CModelEditDlg::OnBrowseParamFile()
{
    Browse(1007, kParamFilter, "Select a model parameter file");
}

void CModelEditDlg::OnBrowseOutputFile()
{
    Browse(1008, kOutputFilter, "Select a model output file");
}
