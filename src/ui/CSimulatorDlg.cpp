#include "CSimulatorDlg.h"

#include "CAboutDlg.h"
#include "CCWGraph.h"
#include "CConstCurrentDlg.h"
#include "CConstLoadDlg.h"
#include "CGraphPlots.h"
#include "CHelpWindow.h"
#include "CMessageBox.h"
#include "CModelSelectDlg.h"
#include "CRunBridge.h"
#include "CVarCurrentDlg.h"
#include "AtomicFile.h"
#include "FileError.h"
#include "GraphArray.h"
#include "NetlistWriter.h"
#include "NumberText.h"
#include "PrintLayout.h"
#include "PrivateTempDir.h"
#include "ResultSummary.h"
#include "StringTable.h"

#include <qcustomplot.h>

#include <QCloseEvent>
#include <QFileDialog>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSvgGenerator>
#include <QTimerEvent>

#include <unistd.h>

using battsim::AnalysisSettings;
using battsim::CResultSeries;

CSimulatorDlg* g_pSimulatorDlg = nullptr;

namespace {

constexpr int kStopButton = 1019;

// The analyses' titles, as the netlist carries them.
constexpr const char* kConstantCurrentTitle = "Constant current analysis";
constexpr const char* kVariableCurrentTitle = "Variable current analysis";
constexpr const char* kConstantLoadTitle = "Constant load analysis";

struct MenuItem
{
    const char* text; // nullptr: separator
    int command;
    bool grayed;
};

QString Local(const std::string& text)
{
    return QString::fromLocal8Bit(text.c_str());
}

QString Engineering(double value, const char* unit)
{
    return QString::fromStdString(battsim::FormatEngineering(value, unit));
}

} // namespace

CSimulatorDlg::CSimulatorDlg(QWidget* parent)
    : CTemplateDialog(battsim::IDD_SIMULATOR, parent)
    , m_hIcon(QStringLiteral(":/art/icon128.svg"))
{
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint);
    m_btnSimulate = ControlAs<QPushButton>(1013);
    m_progressBar = ControlAs<QProgressBar>(1017);
    m_progressText = ControlAs<QLabel>(1018);
    m_graph = ControlAs<CCWGraph>(1015);

    connect(ControlAs<QPushButton>(1011), &QPushButton::clicked, this, [this] { OnCommand(ID_SELECT_BATTERY); });
    connect(m_btnSimulate, &QPushButton::clicked, this, &CSimulatorDlg::OnSimulate);
    connect(ControlAs<QPushButton>(kStopButton), &QPushButton::clicked, this,
            [this] { OnCommand(ID_STOP_SIMULATION); });
}

CSimulatorDlg::~CSimulatorDlg()
{
    StopRun();
    if (g_pSimulatorDlg == this)
        g_pSimulatorDlg = nullptr;
}

void CSimulatorDlg::OnInitDialog()
{
    char directory[4096];
    m_szStartDir = getcwd(directory, sizeof directory) ? directory : ".";

    // Linux windows have no system menu to extend with the About item.
    setWindowIcon(m_hIcon);
    BuildMenu();

    m_brBackground = QColor(230, 230, 230);
    QPalette background = palette();
    background.setColor(QPalette::Window, m_brBackground);
    setPalette(background);
    setAutoFillBackground(true);

    m_pCatalog = std::make_unique<battsim::CModelCatalog>("./models.md");
    m_pSelectedModel = nullptr;

    std::string directoryPath;
    if (battsim::PrivateTempDirectory(&directoryPath, &m_strTempError)) {
        m_strCircuitTempPath = directoryPath + "~~~00~~11.tmp";
        m_strParamTempPath = directoryPath + "~~~00~~12.tmp";
        // Copies left by a run that crashed go, unless another instance runs.
        battsim::CRunLock lock;
        if (lock.Acquire({directoryPath}, nullptr)) {
            ::unlink(m_strCircuitTempPath.c_str());
            ::unlink(m_strParamTempPath.c_str());
        }
    }
    // So do the work files such a run left in this folder.
    battsim::CRunLock folderLock;
    if (folderLock.Acquire({m_szStartDir}, nullptr)) {
        for (const char* name : {battsim::kNetlistName, battsim::kBatchName, battsim::kListingName})
            ::unlink((m_szStartDir + "/" + name).c_str());
    }

    const QSize face = m_btnSimulate->size() - QSize(8, 6);
    m_bmpSimulate = CDialogTemplate::RenderArt(QStringLiteral(":/art/bitmap140.svg"), face, devicePixelRatioF());
    m_btnSimulate->setText(QString());
    m_btnSimulate->setToolTip(QStringLiteral("Simulate: run the last accepted analysis again"));
    m_btnSimulate->setIcon(QIcon(m_bmpSimulate));
    m_btnSimulate->setIconSize(face);

    CTemplateDialog::OnInitDialog();
}

void CSimulatorDlg::BuildMenu()
{
    m_menu = new QMenuBar(this);
    m_menu->setObjectName(QStringLiteral("menu129"));
    const auto addItems = [this](QMenu* menu, std::initializer_list<MenuItem> items) {
        for (const MenuItem& item : items) {
            if (!item.text) {
                menu->addSeparator();
                continue;
            }
            QAction* action = menu->addAction(QString::fromUtf8(item.text));
            action->setObjectName(QStringLiteral("cmd%1").arg(item.command));
            action->setData(item.command);
            action->setEnabled(!item.grayed);
            if (!item.grayed)
                connect(action, &QAction::triggered, this, [this, command = item.command] { OnCommand(command); });
        }
    };

    QMenu* file = m_menu->addMenu(QStringLiteral("&File"));
    addItems(file, {{"&Select battery", ID_SELECT_BATTERY, false},
                    {"Save &model list", ID_SAVE_MODEL_LIST, false},
                    {nullptr, 0, false},
                    {"&Print", ID_PRINT, false},
                    {"Export graph as PN&G...", ID_EXPORT_PNG, false},
                    {"Export graph as S&VG...", ID_EXPORT_SVG, false},
                    {"Export graph as P&DF...", ID_EXPORT_PDF, false},
                    {"Export data as &CSV...", ID_EXPORT_CSV, false},
                    {nullptr, 0, false},
                    {"E&xit", ID_EXIT, false}});

    QMenu* analysis = m_menu->addMenu(QStringLiteral("&Analysis"));
    addItems(analysis->addMenu(QStringLiteral("&Basic")), {{"&Constant current", ID_CONSTANT_CURRENT, false},
                                                           {"&Variable current", ID_VARIABLE_CURRENT, false},
                                                           {"Constant &load", ID_CONSTANT_LOAD, false},
                                                           {"Constant &power", 32779, true}});
    addItems(analysis->addMenu(QStringLiteral("&Standard")),
             {{"Energy", 32780, true}, {"Power", 32781, true}, {"Charge", 32782, true}, {"Discharge", 32783, true},
              {"Rate capability", 32784, true}, {"Charge retention", 32785, true}, {"Ragone plot", 32786, true},
              {"Temperature dependence", 32787, true}});
    addItems(analysis->addMenu(QStringLiteral("&Application")),
             {{"DC motor operation", 32788, true}, {"EV driving simulation", 32789, true},
              {"Illumination", 32790, true}, {"Multimedia real-time test", 32791, true}});
    addItems(analysis, {{nullptr, 0, false}, {"St&op simulation", ID_STOP_SIMULATION, false}});
    Action(ID_STOP_SIMULATION)->setEnabled(false);

    QMenu* tool = m_menu->addMenu(QStringLiteral("&Tool"));
    addItems(tool, {{"&Battery builder", 32792, true}, {"&Circuit editor", 32793, true},
                    {"&Load pattern editor", 32794, true}});

    QAction* windows = m_menu->addAction(QStringLiteral("&Windows"));
    windows->setObjectName(QStringLiteral("cmd%1").arg(ID_WINDOWS));
    windows->setData(ID_WINDOWS);

    QMenu* help = m_menu->addMenu(QStringLiteral("&Help"));
    addItems(help, {{"&Help...", ID_HELP, false}, {nullptr, 0, false}, {"&About...", ID_ABOUT, false}});

    SetMenuBar(m_menu);
}

QAction* CSimulatorDlg::Action(int command) const
{
    return m_menu ? m_menu->findChild<QAction*>(QStringLiteral("cmd%1").arg(command)) : nullptr;
}

void CSimulatorDlg::OnCommand(int id)
{
    switch (id) {
    case ID_SAVE_MODEL_LIST:
        OnSaveModelList();
        break;
    case ID_EXIT:
        reject();
        break;
    case ID_SELECT_BATTERY:
        OnSelectBattery();
        break;
    case ID_CONSTANT_CURRENT:
        OnConstantCurrent();
        break;
    case ID_VARIABLE_CURRENT:
        OnVariableCurrent();
        break;
    case ID_CONSTANT_LOAD:
        OnConstantLoad();
        break;
    case ID_ABOUT:
        OnAbout();
        break;
    case ID_PRINT:
        OnPrintGraph();
        break;
    case ID_HELP:
        OnShowHelp();
        break;
    case ID_STOP_SIMULATION:
        OnStopSimulation();
        break;
    case ID_EXPORT_PNG:
    case ID_EXPORT_SVG:
    case ID_EXPORT_PDF:
        OnExportGraph(id);
        break;
    case ID_EXPORT_CSV:
        OnExportData();
        break;
    default:
        break;
    }
}

void CSimulatorDlg::OnSysCommand(unsigned command)
{
    if ((command & 0xFFF0) == 16)
        OnAbout();
}

void CSimulatorDlg::OnSelectBattery()
{
    CModelSelectDlg dialog(this, m_pCatalog.get());
    connect(&dialog, &CModelSelectDlg::entryDeleting, this, [this](const battsim::CBatteryModel* entry) {
        if (entry == m_pSelectedModel)
            m_pSelectedModel = nullptr;
    });
    if (dialog.DoModal() == QDialog::Accepted) {
        m_pSelectedModel = dialog.m_pSelected;
        m_settings.duration = 5.0;
        m_settings.timeStep = 1.0;
        m_settings.loadResistance = 100.0;
        m_graph->SetCaption(QStringLiteral("Simulation of %1").arg(Local(m_pSelectedModel->m_strName)));
        m_graph->ClearData();
        m_lastSeries = CResultSeries{};
    }
    if (::chdir(m_szStartDir.c_str()) != 0) {
        // The start-up folder is gone; relative paths then resolve where we are.
    }
}

void CSimulatorDlg::OnSaveModelList()
{
    std::string error;
    if (!m_pCatalog->Save(&error))
        CMessageBox::Error(this, QStringLiteral("The model list could not be saved.\n\n%1").arg(Local(error)));
}

bool CSimulatorDlg::CanStartAnalysis()
{
    if (!m_pSelectedModel) {
        CMessageBox::Error(this, QStringLiteral("No model selected!"), QMessageBox::NoIcon);
        return false;
    }
    if (m_pRun) {
        CMessageBox::Error(this, QStringLiteral("A simulation is already running. Wait until it has finished, "
                                                "or stop it with Analysis > Stop simulation."),
                           QMessageBox::Information);
        return false;
    }
    return true;
}

bool CSimulatorDlg::ReadyForRun()
{
    std::vector<std::string> folders{m_szStartDir};
    if (!m_strCircuitTempPath.empty())
        folders.push_back(m_strCircuitTempPath.substr(0, m_strCircuitTempPath.rfind('/') + 1));
    std::string error;
    if (!m_pendingLock.Acquire(folders, &error)) {
        CMessageBox::Error(this, Local(error), QMessageBox::Warning);
        return false;
    }
    return true;
}

void CSimulatorDlg::OnConstantCurrent()
{
    if (!CanStartAnalysis())
        return;
    CConstCurrentDlg dialog(this);
    dialog.m_dVoltage = m_pSelectedModel->m_dEmax;
    dialog.m_dCurrent = m_pSelectedModel->m_dIrat;
    dialog.m_dDuration = m_settings.duration;
    dialog.m_dTimeStep = m_settings.timeStep;
    if (dialog.DoModal() != QDialog::Accepted)
        return;
    m_settings = AnalysisSettings::Accepted(kConstantCurrentTitle, dialog.m_dVoltage, dialog.m_dDuration,
                                            dialog.m_dTimeStep);
    m_settings.constantCurrent = dialog.m_dCurrent;
    RunAccepted();
}

void CSimulatorDlg::OnVariableCurrent()
{
    if (!CanStartAnalysis())
        return;
    CVarCurrentDlg dialog(this);
    dialog.m_dVoltage = m_pSelectedModel->m_dEmax;
    dialog.m_dDuration = m_settings.duration;
    dialog.m_dTimeStep = m_settings.timeStep;
    if (dialog.DoModal() != QDialog::Accepted)
        return;
    m_settings = AnalysisSettings::Accepted(kVariableCurrentTitle, dialog.m_dVoltage, dialog.m_dDuration,
                                            dialog.m_dTimeStep);
    for (std::size_t i = 0; i < AnalysisSettings::kPointCount; ++i) {
        m_settings.pwlTime[i] = *dialog.m_pTime[i];
        m_settings.pwlCurrent[i] = *dialog.m_pCurrent[i];
    }
    RunAccepted();
}

void CSimulatorDlg::OnConstantLoad()
{
    if (!CanStartAnalysis())
        return;
    CConstLoadDlg dialog(this);
    dialog.m_dVoltage = m_pSelectedModel->m_dEmax;
    dialog.m_dResistance = m_settings.loadResistance;
    dialog.m_dDuration = m_settings.duration;
    dialog.m_dTimeStep = m_settings.timeStep;
    if (dialog.DoModal() != QDialog::Accepted)
        return;
    m_settings = AnalysisSettings::Accepted(kConstantLoadTitle, dialog.m_dVoltage, dialog.m_dDuration,
                                            dialog.m_dTimeStep);
    m_settings.loadResistance = dialog.m_dResistance;
    m_settings.switchLevel = 1.0;
    RunAccepted();
}

void CSimulatorDlg::RunAccepted()
{
    m_lastAccepted = m_settings;
    if (!ReadyForRun())
        return;
    if (WriteNetlist())
        StartSimulation();
    else
        m_pendingLock.Release();
}

void CSimulatorDlg::OnSimulate()
{
    if (!CanStartAnalysis())
        return;
    if (!m_lastAccepted) {
        CMessageBox::Framework(this,
                               QStringLiteral("Simulate runs the last accepted analysis again. Choose an analysis "
                                              "from the Analysis menu first."),
                               QMessageBox::Information);
        return;
    }
    m_settings = *m_lastAccepted;
    RunAccepted();
}

bool CSimulatorDlg::WriteNetlist()
{
    if (!m_strTempError.empty()) {
        CMessageBox::Error(this, Local(m_strTempError));
        return false;
    }
    try {
        const battsim::NetlistOutcome outcome = battsim::PrepareNetlist(
            *m_pSelectedModel, m_settings, m_strCircuitTempPath, m_strParamTempPath, battsim::kNetlistName);
        if (!outcome.ok) {
            CMessageBox::Error(this, Local(outcome.message));
            return false;
        }
    } catch (const battsim::CFileError& error) {
        CMessageBox::Framework(this, Local(error.what()), QMessageBox::Critical);
        return false;
    }
    return true;
}

void CSimulatorDlg::StartSimulation()
{
    g_pSimulatorDlg = this;
    battsim::RunRequest request;
    request.workDirectory = m_szStartDir;
    request.outputPath = m_pSelectedModel->m_strOutputFile;
    request.minimumVoltage = m_pSelectedModel->m_dEmin;
    request.circuitTempPath = m_strCircuitTempPath;
    request.paramTempPath = m_strParamTempPath;
    request.startWindow = m_startWindow;
    m_runSettings = m_settings;
    m_bRunValues = true;
    m_dRunMinimum = request.minimumVoltage;

    CRunBridge::Handlers handlers;
    handlers.showProgress = [this] { ShowProgress(); };
    handlers.setWindowEnabled = [this](bool enabled) { setEnabled(enabled); };
    handlers.showResult = [this](CResultSeries& series) { PlotSeries(series); };
    handlers.hideProgress = [this] { HideProgress(); };
    handlers.finished = [this](const battsim::RunOutcome& outcome) { OnRunFinished(outcome); };
    m_pBridge = std::make_unique<CRunBridge>(std::move(handlers), nullptr);
    m_pRun = std::make_unique<battsim::CSimulationRun>(std::move(request), *m_pBridge, std::move(m_pendingLock));
    m_pRun->Start();
}

void CSimulatorDlg::ShowProgress()
{
    m_progressBar->show();
    m_progressText->show();
    m_nProgressTick = 0;
    m_progressBar->setRange(0, 99);
    m_progressBar->setValue(0);
    if (m_nTimerId == 0)
        m_nTimerId = startTimer(200);
    ControlAs<QPushButton>(kStopButton)->setEnabled(true);
    Action(ID_STOP_SIMULATION)->setEnabled(true);
}

void CSimulatorDlg::HideProgress()
{
    if (m_nTimerId != 0) {
        killTimer(m_nTimerId);
        m_nTimerId = 0;
    }
    m_progressBar->hide();
    m_progressText->hide();
    ControlAs<QPushButton>(kStopButton)->setEnabled(false);
    Action(ID_STOP_SIMULATION)->setEnabled(false);
}

void CSimulatorDlg::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_nTimerId)
        OnTimer(kProgressTimer);
    else
        CTemplateDialog::timerEvent(event);
}

void CSimulatorDlg::OnTimer(unsigned)
{
    m_progressBar->setValue(static_cast<int>(m_nProgressTick));
    m_nProgressTick = (m_nProgressTick + 1) % 100;
}

void CSimulatorDlg::PlotResultFile(const std::string& path)
{
    const double minimum = m_pSelectedModel ? m_pSelectedModel->m_dEmin : 0.0;
    CResultSeries series = battsim::ReadResultFile(path, minimum);
    m_bRunValues = false;
    m_dRunMinimum = minimum;
    PlotSeries(series);
}

void CSimulatorDlg::PlotSeries(CResultSeries& series)
{
    const int count = static_cast<int>(series.Size());
    if (count == 0) {
        m_graph->ClearData();
    } else {
        try {
            const battsim::CGraphArray x(series.hours.data(), count, -1, -1);
            const battsim::CGraphArray y(series.volts.data(), count, -1, -1);
            m_graph->PlotCollection().Item(1.0).PlotXY(x, y);
        } catch (const battsim::CGraphArrayError& error) {
            CMessageBox::Error(this, QStringLiteral("The result could not be plotted: %1").arg(error.what()));
        }
    }
    m_lastSeries = std::move(series);
    ShowResultNote(QString());
}

void CSimulatorDlg::ShowResultNote(const QString& status)
{
    if (m_lastSeries.Size() == 0 && status.isEmpty()) {
        m_graph->SetNote(QString());
        return;
    }
    const AnalysisSettings& used = m_runSettings;
    QStringList lines;
    if (!status.isEmpty())
        lines << status;
    if (m_lastSeries.Size() > 0 && !m_bRunValues) {
        lines << QStringLiteral("Minimum voltage %1: %2").arg(Engineering(m_dRunMinimum, "V"),
            m_lastSeries.cutoffIndex ? QString::fromStdString(battsim::FormatRuntime(m_lastSeries.hours[*m_lastSeries.cutoffIndex]))
                                     : QStringLiteral("not reached"));
        m_graph->SetNote(lines.join(QLatin1Char('\n')));
        return;
    }
    const battsim::CResultSummary summary = battsim::Summarize(m_lastSeries, used);
    if (m_lastSeries.Size() > 0) {
        const QString cutoff = Engineering(m_dRunMinimum, "V");
        lines << (summary.runtimeHours
                      ? QStringLiteral("Runtime to %1: %2").arg(cutoff, QString::fromStdString(battsim::FormatRuntime(*summary.runtimeHours)))
                      : QStringLiteral("Runtime to %1: not reached").arg(cutoff));
        lines << QStringLiteral("Charge: %1   Energy: %2").arg(Engineering(summary.chargeAh, "Ah"), Engineering(summary.energyWh, "Wh"));
        lines << QStringLiteral("Mean voltage: %1").arg(Engineering(summary.meanVolts, "V"));
    }
    QString load;
    if (used.switchLevel >= 0.5)
        load = QStringLiteral("R = %1").arg(Engineering(used.loadResistance, "Ω"));
    else if (used.title == kVariableCurrentTitle)
        load = QStringLiteral("10-point current profile");
    else
        load = QStringLiteral("I = %1").arg(Engineering(used.constantCurrent, "A"));
    lines << QStringLiteral("%1, V0 = %2").arg(load, Engineering(used.initialVoltage, "V"));
    lines << QStringLiteral("%1 h, step %2").arg(QString::fromStdString(battsim::FormatG15(used.duration)),
                                                 Engineering(used.timeStep, "s"));
    m_graph->SetNote(lines.join(QLatin1Char('\n')));
}

void CSimulatorDlg::OnRunFinished(const battsim::RunOutcome& outcome)
{
    if (m_pRun) {
        m_pRun->Join();
        m_pRun.reset();
    }
    // Still inside one of the bridge's own calls: let it go once that returns.
    if (m_pBridge)
        m_pBridge.release()->deleteLater();
    setEnabled(true);
    switch (outcome.kind) {
    case battsim::RunOutcome::Kind::Completed:
        break;
    case battsim::RunOutcome::Kind::Stopped:
        ShowResultNote(QString::fromStdString(outcome.message));
        break;
    case battsim::RunOutcome::Kind::StartFailed:
    case battsim::RunOutcome::Kind::Failed:
        CMessageBox::Error(this, Local(outcome.message));
        break;
    }
    emit runFinished();
}

void CSimulatorDlg::OnStopSimulation()
{
    if (m_pRun)
        m_pRun->Stop();
}

void CSimulatorDlg::StopRun()
{
    if (!m_pRun)
        return;
    m_pRun->Abandon();
    m_pRun->Join();
    m_pRun.reset();
    // Reports the worker queued before it ended go with the bridge.
    m_pBridge.reset();
}

void CSimulatorDlg::reject()
{
    StopRun();
    CTemplateDialog::reject();
}

void CSimulatorDlg::closeEvent(QCloseEvent* event)
{
    StopRun();
    CTemplateDialog::closeEvent(event);
}

void CSimulatorDlg::OnAbout()
{
    CAboutDlg about(this);
    about.DoModal();
}

void CSimulatorDlg::OnShowHelp()
{
    CHelpWindow::ShowContext(this, kHelpContents);
}

void CSimulatorDlg::WithPrintColors(const std::function<void()>& work)
{
    const int backColor = m_graph->BackColor();
    const int frameStyle = m_graph->GetProperty(CCWGraph::kFrameStyle);
    const int plotArea = m_graph->GetProperty(CCWGraph::kPlotAreaColor);
    const int frameColor = m_graph->GetProperty(CCWGraph::kFrameColor);
    m_graph->SetBackColor(0xFFFFFF);
    m_graph->SetProperty(CCWGraph::kFrameStyle, 0);
    m_graph->SetProperty(CCWGraph::kPlotAreaColor, 0xFFFFFF);
    m_graph->SetProperty(CCWGraph::kFrameColor, 0xFFFFFF);
    work();
    m_graph->SetBackColor(backColor);
    m_graph->SetProperty(CCWGraph::kFrameStyle, frameStyle);
    m_graph->SetProperty(CCWGraph::kPlotAreaColor, plotArea);
    m_graph->SetProperty(CCWGraph::kFrameColor, frameColor);
}

void CSimulatorDlg::OnPrintGraph()
{
    QPrinter printer(QPrinter::HighResolution);
    bool accepted = false;
    if (m_fnChoosePrinter) {
        accepted = m_fnChoosePrinter(printer);
    } else {
        QPrintDialog dialog(&printer, this);
        QAbstractPrintDialog::PrintDialogOptions options = QAbstractPrintDialog::PrintShowPageSize;
        // Without any printer, printing to a file is the only way to print.
        if (QPrinterInfo::availablePrinters().isEmpty())
            options |= QAbstractPrintDialog::PrintToFile;
        dialog.setOptions(options);
        accepted = dialog.exec() == QDialog::Accepted;
    }
    if (!accepted)
        return;

    printer.setDocName(QStringLiteral("test run"));
    printer.setFullPage(false);
    QPainter painter;
    const bool started = painter.begin(&printer);

    const QScreen* screen = this->screen();
    const int screenX = qRound(screen->logicalDotsPerInchX());
    const int screenY = qRound(screen->logicalDotsPerInchY());
    const int printerX = printer.logicalDpiX();
    const int printerY = printer.logicalDpiY();
    const QRect graphRect = m_graph->geometry();
    const int printableMm = static_cast<int>(printer.pageLayout().paintRect(QPageLayout::Millimeter).width());
    const PrintLayout layout = ComputePrintLayout(printableMm, graphRect, screenX, screenY, printerX, printerY);

    m_graph->setUpdatesEnabled(false);
    m_graph->setGeometry(QRect(QPoint(0, 0), layout.captureSize));
    std::shared_ptr<QPicture> picture;
    WithPrintColors([this, &picture] { picture = m_graph->GraphPicture(); });

    if (started && picture)
        CCWGraph::RenderPicture(painter, *picture, layout.printRect);
    m_graph->setGeometry(graphRect);
    m_graph->setUpdatesEnabled(true);
    m_graph->update();
    if (started)
        painter.end();
}

QString CSimulatorDlg::ChooseSaveFile(const QString& title, const QString& filter, const QString& suffix)
{
    QString path;
    if (m_fnChooseSaveFile) {
        path = m_fnChooseSaveFile(title, filter);
    } else {
        // The dialog adds the suffix itself, so that it asks before
        // replacing the file of that full name.
        QFileDialog dialog(this, title, QString(), filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(suffix.mid(1));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        path = dialog.selectedFiles().front();
    }
    if (!path.isEmpty() && !path.endsWith(suffix, Qt::CaseInsensitive))
        path += suffix;
    return path;
}

void CSimulatorDlg::OnExportGraph(int command)
{
    struct Format
    {
        int command;
        const char* title;
        const char* filter;
        const char* suffix;
    };
    static constexpr Format kFormats[] = {
        {ID_EXPORT_PNG, "Export graph as PNG", "PNG image (*.png)", ".png"},
        {ID_EXPORT_SVG, "Export graph as SVG", "SVG drawing (*.svg)", ".svg"},
        {ID_EXPORT_PDF, "Export graph as PDF", "PDF document (*.pdf)", ".pdf"},
    };
    const Format* format = &kFormats[0];
    for (const Format& candidate : kFormats) {
        if (candidate.command == command)
            format = &candidate;
    }
    const QString path = ChooseSaveFile(QString::fromUtf8(format->title), QString::fromUtf8(format->filter),
                                        QString::fromLatin1(format->suffix));
    if (path.isEmpty())
        return;

    bool ok = false;
    WithPrintColors([&] {
        const std::shared_ptr<QPicture> picture = m_graph->GraphPicture();
        const QRect bounds = picture->boundingRect();
        if (command == ID_EXPORT_PNG) {
            QImage image(bounds.size() * 2, QImage::Format_RGB32);
            image.fill(Qt::white);
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            CCWGraph::RenderPicture(painter, *picture, QRectF(QPointF(0, 0), QSizeF(image.size())));
            painter.end();
            ok = image.save(path, "PNG");
        } else if (command == ID_EXPORT_SVG) {
            QSvgGenerator generator;
            generator.setFileName(path);
            generator.setSize(bounds.size());
            generator.setViewBox(QRect(QPoint(0, 0), bounds.size()));
            generator.setTitle(m_graph->Caption());
            QPainter painter;
            ok = painter.begin(&generator);
            if (ok) {
                CCWGraph::RenderPicture(painter, *picture, QRectF(QPointF(0, 0), QSizeF(bounds.size())));
                ok = painter.end();
            }
        } else {
            QPrinter pdf(QPrinter::HighResolution);
            pdf.setOutputFormat(QPrinter::PdfFormat);
            pdf.setOutputFileName(path);
            pdf.setPageLayout(QPageLayout(QPageSize(QSizeF(bounds.size()), QPageSize::Point), QPageLayout::Portrait,
                                          QMarginsF()));
            pdf.setDocName(m_graph->Caption());
            QPainter painter;
            ok = painter.begin(&pdf);
            if (ok) {
                CCWGraph::RenderPicture(painter, *picture, QRectF(QPointF(0, 0), QSizeF(pdf.width(), pdf.height())));
                ok = painter.end();
            }
        }
    });
    if (!ok)
        CMessageBox::Error(this, QStringLiteral("The graph could not be written to %1.").arg(path));
}

void CSimulatorDlg::OnExportData()
{
    if (m_lastSeries.Size() == 0) {
        CMessageBox::Framework(this, QStringLiteral("There is no plotted data to export yet."), QMessageBox::Information);
        return;
    }
    const QString path = ChooseSaveFile(QStringLiteral("Export data as CSV"), QStringLiteral("CSV table (*.csv)"),
                                        QStringLiteral(".csv"));
    if (path.isEmpty())
        return;
    // The table ends at the first point below the minimum voltage: the graph
    // shows the points after it at 0 V, which were never simulated values.
    const std::size_t rows = m_lastSeries.cutoffIndex ? *m_lastSeries.cutoffIndex + 1 : m_lastSeries.Size();
    std::string text = "time_h,time_s,voltage_V\n";
    text.reserve(rows * 40);
    for (std::size_t i = 0; i < rows; ++i) {
        const double hours = m_lastSeries.hours[i];
        // The points are single precision: seven digits hold all they have.
        text += battsim::FormatG(hours, 9) + "," + battsim::FormatG(hours * 3600.0, 7) + ","
            + battsim::FormatG(m_lastSeries.volts[i], 9) + "\n";
    }
    std::string error;
    if (!battsim::WriteFileAtomically(path.toLocal8Bit().toStdString(), text, &error))
        CMessageBox::Error(this, QStringLiteral("The data could not be written: %1").arg(Local(error)));
}
