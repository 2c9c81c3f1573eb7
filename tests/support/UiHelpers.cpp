#include "UiHelpers.h"

#include "CModelSelectDlg.h"
#include "CSimulatorDlg.h"
#include "CTemplateDialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

CModalScript::CModalScript()
{
    m_timer.setInterval(10);
    connect(&m_timer, &QTimer::timeout, this, &CModalScript::Poll);
    m_timer.start();
}

CModalScript::~CModalScript() = default;

CModalScript& CModalScript::Then(std::function<void(QWidget*)> step)
{
    m_steps.push_back(std::move(step));
    return *this;
}

CModalScript& CModalScript::ThenCloseBox()
{
    return Then([this](QWidget* window) { RecordBox(window, &m_boxes); });
}

void CModalScript::Poll()
{
    QWidget* active = QApplication::activeModalWidget();
    if (active == m_last)
        return;
    m_last = active;
    if (!active || m_steps.empty())
        return;
    auto step = std::move(m_steps.front());
    m_steps.pop_front();
    // The step may open further modal windows; let this poll return first.
    QTimer::singleShot(0, active, [step = std::move(step), window = QPointer<QWidget>(active)] {
        if (window)
            step(window);
    });
}

void RecordBox(QWidget* window, std::vector<CModalScript::Box>* boxes)
{
    auto* box = qobject_cast<QMessageBox*>(window);
    if (!box) {
        boxes->push_back({QStringLiteral("<not a message box>"), window->windowTitle(), -1});
        window->close();
        return;
    }
    boxes->push_back({box->windowTitle(), box->text(), static_cast<int>(box->icon())});
    box->accept();
}

void SetText(CTemplateDialog& dialog, int id, const QString& text)
{
    auto* edit = dialog.ControlAs<QLineEdit>(id);
    Q_ASSERT(edit);
    edit->setText(text);
}

QString Text(const CTemplateDialog& dialog, int id)
{
    auto* edit = dialog.ControlAs<QLineEdit>(id);
    return edit ? edit->text() : QString();
}

void Click(CTemplateDialog& dialog, int id)
{
    auto* button = dialog.ControlAs<QPushButton>(id);
    Q_ASSERT(button);
    button->click();
}

bool WaitUntil(const std::function<bool()>& condition, int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > milliseconds)
            return false;
        QTest::qWait(10);
    }
    return true;
}

void SelectModelInWindow(CSimulatorDlg& window, int line)
{
    CModalScript script;
    script.Then([line](QWidget* dialog) {
        auto* select = static_cast<CModelSelectDlg*>(dialog);
        select->ControlAs<QListWidget>(1000)->setCurrentRow(line);
        Click(*select, 1);
    });
    window.OnCommand(CSimulatorDlg::ID_SELECT_BATTERY);
}

std::vector<CModalScript::Box> AcceptAnalysisInWindow(CSimulatorDlg& window, int command,
                                                      const std::function<void(CTemplateDialog&)>& edit,
                                                      const std::function<bool()>& done, int milliseconds)
{
    CModalScript script;
    script.Then([edit](QWidget* dialog) {
        auto* analysis = static_cast<CTemplateDialog*>(dialog);
        if (edit)
            edit(*analysis);
        Click(*analysis, 1);
    });
    script.ThenCloseBox();
    window.OnCommand(command);
    if (done && !WaitUntil(done, milliseconds))
        ADD_FAILURE() << "the analysis did not end in time";
    // A box may follow the end of the run.
    QTest::qWait(done ? 100 : 50);
    return script.Boxes();
}
