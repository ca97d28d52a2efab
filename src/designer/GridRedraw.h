#pragma once
// Screen updating of grids switched off for a block of writes and back on however the block ends.
#include "platform/grid/Grid.h"

#include <QPointer>
#include <QVector>
#include <initializer_list>

class RedrawOff {
public:
    explicit RedrawOff(std::initializer_list<bd::grid::Grid*> grids) {
        for (bd::grid::Grid* g : grids)
            if (g) {
                grids_.push_back(g);
                g->setRedraw(false);
            }
    }
    ~RedrawOff() { restore(); }
    RedrawOff(const RedrawOff&) = delete;
    RedrawOff& operator=(const RedrawOff&) = delete;
    void restore() {
        for (const QPointer<bd::grid::Grid>& g : grids_)
            if (g) g->setRedraw(true);
        grids_.clear();
    }

private:
    QVector<QPointer<bd::grid::Grid>> grids_;
};
