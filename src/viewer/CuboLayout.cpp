// The viewer's layout: a vertical stack of main toolbar, pivot, splitter, chart toolbar and chart,
// reckoned in twips of the window.
#include "designer/Campos.h"
#include "platform/os/Clock.h"
#include "platform/os/Twips.h"
#include "shell/GeneralGrid.h"
#include "viewer/Cubo.h"
#include "viewer/TwipsGeometry.h"

#include <QResizeEvent>
#include <algorithm>

using namespace TwipsGeometry;

int Cubo::WindowWidth() const {
    return pixelsToTwips(frameGeometry().width());
}
int Cubo::WindowHeight() const {
    return pixelsToTwips(frameGeometry().height());
}

void Cubo::SetWindowWidth(int twips) {
    const int frame = frameGeometry().width() - width();
    resize(twipsToPixels(twips) - frame, height());
}

void Cubo::SetWindowHeight(int twips) {
    const int frame = frameGeometry().height() - height();
    resize(width(), twipsToPixels(twips) - frame);
}

bool Cubo::ToolChecked(int id) const {
    for (QAction* a : AB->actions())
        if (a->property("toolId").toInt() == id) return a->isChecked();
    return false;
}

void Cubo::SetToolChecked(int id, bool on) {
    for (QAction* a : AB->actions())
        if (a->property("toolId").toInt() == id) a->setChecked(on);
}

void Cubo::AcomodarPantalla() {
    const bool noChart = ToolChecked(ToolNoChart);
    if (noChart) {
        Split->setTop(WindowHeight() - 800);
        Split->setVisible(false);
        CHA->hide();
        ABGraph->hide();
        frameCover->hide();
    } else {
        CHA->show();
        if (CHATag == "NOLOADED") OcultarChart(false);
    }
    if (WindowWidth() < 8000 || WindowHeight() < 8000) {
        // The window grows to the smallest usable size and is laid out again at that size, as its
        // resize would do; a screen that refuses the size gets the layout as it stands.
        if (WindowWidth() < 8000) SetWindowWidth(10000);
        if (WindowHeight() < 8000) SetWindowHeight(10000);
        if (WindowWidth() >= 8000 && WindowHeight() >= 8000) {
            Form_Resize();
            return;
        }
    }
    const int w = WindowWidth(), h = WindowHeight();
    // Toolbars keep their own height.
    AB->resize(AB->width(), AB->sizeHint().height());
    ABGraph->resize(ABGraph->width(), ABGraph->sizeHint().height());

    Split->setMaxTop(h - 1050);
    Split->setWidth(w);
    placeTwips(AB, 0, 0, w - 150, heightTwips(AB));
    Split->setMinTop(h / 3 + 100);
    SplitFil->setMinTop(1050);
    SplitFil->setMaxTop(h / 3);
    setLeftTwips(CHA, 0);
    setWidthTwips(DC, w - 150);
    if (!noChart) {
        placeTwips(ABGraph, 0, Split->Top() + Split->Height(), w, heightTwips(ABGraph));
        ABGraph->show();
        const int chaTop = Split->Top() + Split->Height() + heightTwips(ABGraph);
        placeTwips(CHA, leftTwips(CHA), chaTop, w - 150, (h - 830) - chaTop);
        if (CHATag == "NOLOADED") OcultarChart(false);
    }
    if (!frameCover->isHidden()) OcultarChart(false);
    ColorcarGrillaFiltros(false, false, false);
    placeTwips(cmdConectado, w - widthTwips(cmdConectado) - 150, 40, widthTwips(cmdConectado),
               heightTwips(cmdConectado));
    // The status bar sits along the bottom edge, over everything else.
    SB->setGeometry(0, height() - SB->sizeHint().height(), width(), SB->sizeHint().height());
    General::TraerAlFrente(SB);
    lastLayout_ = {h, w, Split->Top()}; // what a maximize or restore scales from
}

void Cubo::restoreChartArea() {
    const bool wereOff = ToolChecked(ToolNoChart);
    SetToolChecked(ToolNoChart, false);
    if (!wereOff) return;
    // Charts off left the splitter at the window's foot: the chart would have no height.
    Split->setTop(WindowHeight() / 2);
    Split->setVisible(true);
    CHA->setVisible(true);
    AcomodarPantalla();
}

void Cubo::scaleSplitOnStateChange() {
    // The window manager tells the new state first; the resize that follows scales the splitter.
    layoutBeforeState_ = lastLayout_;
    scaleOnResize_ = layoutBeforeState_.height > 0;
}

void Cubo::Form_Resize() {
    if (isMinimized()) return;
    const int w = WindowWidth(), h = WindowHeight();
    // The first resize of another size after the state change is the state's own.
    if (scaleOnResize_ && (h != layoutBeforeState_.height || w != layoutBeforeState_.width)) {
        scaleOnResize_ = false;
        Split->setTop(int(double(layoutBeforeState_.split) * h / layoutBeforeState_.height));
    }
    if (Split->Top() > h - 500) Split->setTop(h - 500);
    placeTwips(DC, 0, topTwips(AB) + heightTwips(AB), w - 100, h - heightTwips(AB) - 700);
    General::TraerAlFrente(SB);
    setWidthTwips(AB, w - 150);
    AcomodarPantalla();
}

void Cubo::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    Form_Resize();
}

void Cubo::Split_MoveComplete() {
    scaleOnResize_ = false; // the user's own place for the splitter
    ABGraph->setEnabled(false);
    AcomodarPantalla();
    Graph(QString());
    TimerWait->setEnabled(true);
}

void Cubo::SplitFil_MoveComplete() {
    AcomodarPantalla();
}
