#include "CDialogTemplate.h"

#include "CCWGraph.h"

#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSvgRenderer>
#include <QPainter>
#include <QPixmap>
#include <QIcon>

using battsim::ControlKind;
using battsim::ControlTemplate;

namespace {

} // namespace

QPixmap CDialogTemplate::RenderArt(const QString& resource, const QSize& size, qreal ratio)
{
    QSvgRenderer renderer(resource);
    QSize target = renderer.defaultSize().scaled(size, Qt::KeepAspectRatio);
    if (target.isEmpty())
        target = size;
    QPixmap pixmap(target * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(target)));
    return pixmap;
}

namespace {

QWidget* CreateControl(const ControlTemplate& control, QWidget* parent, const QRect& rect)
{
    const bool noPrefix = control.flags & battsim::CF_NOPREFIX;
    QWidget* widget = nullptr;
    switch (control.kind) {
    case ControlKind::PushButton:
    case ControlKind::DefPushButton: {
        auto* button = new QPushButton(QString::fromUtf8(control.text), parent);
        button->setAutoDefault(true);
        button->setDefault(control.kind == ControlKind::DefPushButton);
        widget = button;
        break;
    }
    case ControlKind::Edit: {
        auto* edit = new QLineEdit(parent);
        edit->setFrame(control.flags & battsim::CF_BORDER);
        edit->setMaxLength(32767);
        widget = edit;
        break;
    }
    case ControlKind::Label:
    case ControlKind::CenteredLabel: {
        auto* label = new QLabel(CDialogTemplate::LabelText(control.text, noPrefix), parent);
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        label->setAlignment((control.kind == ControlKind::CenteredLabel ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
        if (control.flags & battsim::CF_BORDER)
            label->setFrameStyle(QFrame::Box | QFrame::Plain);
        widget = label;
        break;
    }
    case ControlKind::Picture:
    case ControlKind::Icon: {
        auto* label = new QLabel(parent);
        const QString art = QString::fromUtf8(control.text);
        if (control.flags & battsim::CF_NATURALSIZE) {
            const QSize natural = QSvgRenderer(art).defaultSize();
            label->setPixmap(CDialogTemplate::RenderArt(art, natural, parent->devicePixelRatioF()));
            label->setGeometry(QRect(rect.topLeft(), natural));
            widget = label;
            break;
        }
        label->setPixmap(CDialogTemplate::RenderArt(art, rect.size(), parent->devicePixelRatioF()));
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        if (control.flags & battsim::CF_SUNKEN) {
            label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            label->setAlignment(Qt::AlignCenter);
        }
        widget = label;
        break;
    }
    case ControlKind::GroupBox:
        widget = new QGroupBox(QString::fromUtf8(control.text), parent);
        break;
    case ControlKind::ListBox: {
        auto* list = new QListWidget(parent);
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        list->setSortingEnabled(false);
        widget = list;
        break;
    }
    case ControlKind::HScrollBar:
        widget = new QScrollBar(Qt::Horizontal, parent);
        static_cast<QScrollBar*>(widget)->setRange(0, 0);
        break;
    case ControlKind::ProgressBar: {
        auto* bar = new QProgressBar(parent);
        bar->setTextVisible(false);
        widget = bar;
        break;
    }
    case ControlKind::Graph:
        widget = new CCWGraph(parent);
        break;
    }
    if (!(control.flags & battsim::CF_NATURALSIZE))
        widget->setGeometry(rect);
    if (control.id >= 0)
        widget->setObjectName(CDialogTemplate::ObjectName(control.id));
    if (control.flags & battsim::CF_DISABLED)
        widget->setEnabled(false);
    if (control.flags & battsim::CF_HIDDEN)
        widget->hide();
    return widget;
}

} // namespace

CDialogTemplate::CDialogTemplate(const battsim::DialogTemplate& dialogTemplate)
    : m_template(dialogTemplate)
    , m_font(QString::fromUtf8(dialogTemplate.fontFamily), dialogTemplate.pointSize)
{
    const QFontMetrics metrics(m_font);
    // The average width of the letters, as dialog base units are measured.
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    m_nBaseX = (metrics.horizontalAdvance(letters) / 26 + 1) / 2;
    m_nBaseY = metrics.height();
}

QRect CDialogTemplate::ToPixels(int x, int y, int cx, int cy) const
{
    const auto px = [this](int units) { return units * m_nBaseX / 4; };
    const auto py = [this](int units) { return units * m_nBaseY / 8; };
    return QRect(px(x), py(y), px(cx), py(cy));
}

QSize CDialogTemplate::ClientSize() const
{
    return ToPixels(0, 0, m_template.cx, m_template.cy).size();
}

void CDialogTemplate::Build(QWidget* parent) const
{
    parent->setFont(m_font);
    for (const ControlTemplate& control : m_template.controls)
        CreateControl(control, parent, ToPixels(control.x, control.y, control.cx, control.cy));
}

QString CDialogTemplate::LabelText(const char* text, bool noPrefix)
{
    const QString raw = QString::fromUtf8(text);
    if (noPrefix)
        return raw;
    // A label has no mnemonic to show: "&&" is one "&", a single "&" goes.
    QString shown;
    for (int i = 0; i < raw.size(); ++i) {
        if (raw[i] == QLatin1Char('&')) {
            if (i + 1 < raw.size() && raw[i + 1] == QLatin1Char('&')) {
                shown += QLatin1Char('&');
                ++i;
            }
            continue;
        }
        shown += raw[i];
    }
    return shown;
}
